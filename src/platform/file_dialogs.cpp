#include "platform/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

namespace quillon {

QString QtFilterString(const FileFilter& filter) {
    // Descriptions often carry their patterns already ("Profile (*.pro)"); QFileDialog reads the
    // patterns from the parentheses, so exactly one pair, holding the filter's patterns, is kept.
    static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    QString text = filter.text;
    text.remove(trailingPatterns);
    text = text.trimmed();
    const QString patterns = filter.patterns.isEmpty() ? QStringLiteral("*") : filter.patterns.join(' ');
    if (text.isEmpty())
        return patterns;
    return text + QStringLiteral(" (") + patterns + ')';
}

QString WithDefaultExtension(const QString& path, const QString& extension) {
    QString suffix = extension;
    while (suffix.startsWith('.'))
        suffix.remove(0, 1);
    if (path.isEmpty() || suffix.isEmpty())
        return path;
    const QString name = QFileInfo(path).fileName();
    // A leading dot starts a hidden name, not an extension.
    if (name.lastIndexOf('.') > 0)
        return path;
    return path + '.' + suffix;
}

namespace {

void Prepare(QFileDialog& dialog, const FileDialogRequest& request) {
    if (!request.title.isEmpty())
        dialog.setWindowTitle(request.title);
    QStringList filters;
    for (const FileFilter& filter : request.filters)
        filters << QtFilterString(filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    QString suffix = request.defaultExtension;
    while (suffix.startsWith('.'))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!request.initialPath.isEmpty()) {
        const QFileInfo initial(request.initialPath);
        if (initial.isDir()) {
            dialog.setDirectory(request.initialPath);
        } else {
            if (!initial.path().isEmpty() && initial.dir().exists())
                dialog.setDirectory(initial.path());
            dialog.selectFile(initial.fileName());
        }
    }
}

std::optional<QString> Run(QFileDialog& dialog, const QString& defaultExtension) {
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty())
        return std::nullopt;
    // Native dialogs may ignore the default suffix; the request's extension holds either way.
    return WithDefaultExtension(chosen.front(), defaultExtension);
}

}  // namespace

std::optional<QString> QtFileDialogs::GetOpenFileName(const FileDialogRequest& request) {
    QFileDialog dialog(request.parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist == MustExist::Yes ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
    Prepare(dialog, request);
    return Run(dialog, request.mustExist == MustExist::Yes ? QString() : request.defaultExtension);
}

std::optional<QString> QtFileDialogs::GetSaveFileName(const FileDialogRequest& request) {
    QFileDialog dialog(request.parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, request.overwritePrompt == OverwritePrompt::No);
    Prepare(dialog, request);
    return Run(dialog, request.defaultExtension);
}

}  // namespace quillon
