#pragma once
// Choosing a file to open or to save under, as the import and export commands do.
//
// A request says what the dialog offers (filters with their patterns, a default extension) and
// which checks it makes; the answer is the chosen path, or nothing when the user cancelled. The
// program asks `services().fileDialogs()`; tests script the answers (tests/support).

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QWidget;

namespace quillon {

struct FileFilter {
    QString text;          // what the user reads, e.g. "Profile files"
    QStringList patterns;  // e.g. {"*.pro"}
};

enum class OverwritePrompt { No, Yes };
enum class MustExist { No, Yes };

struct FileDialogRequest {
    QWidget* parent = nullptr;
    QString title;
    std::vector<FileFilter> filters;
    // Without a leading dot, e.g. "pro"; added to a chosen name that has no extension.
    QString defaultExtension;
    // A folder, or a file name to start with (the proposed name when saving).
    QString initialPath;
    // Saving: ask before replacing an existing file.
    OverwritePrompt overwritePrompt = OverwritePrompt::Yes;
    // Opening: only an existing file can be chosen.
    MustExist mustExist = MustExist::Yes;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual std::optional<QString> GetOpenFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> GetSaveFileName(const FileDialogRequest& request) = 0;
};

// Modal QFileDialogs.
class QtFileDialogs final : public FileDialogs {
public:
    std::optional<QString> GetOpenFileName(const FileDialogRequest& request) override;
    std::optional<QString> GetSaveFileName(const FileDialogRequest& request) override;
};

// The filter as QFileDialog writes it: "Profile files (*.pro)". Patterns already written in the
// text in parentheses are replaced by the filter's own.
QString QtFilterString(const FileFilter& filter);

// `path` with ".extension" added when its file name has no extension yet.
QString WithDefaultExtension(const QString& path, const QString& extension);

}  // namespace quillon
