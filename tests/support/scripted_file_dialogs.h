#pragma once
// File dialogs answered by the test: each expected dialog is scripted beforehand with the path
// the user "chooses" or a cancel, and every request is kept for inspection. A dialog that was
// not expected, or of the other kind, fails the running test and is cancelled. Installed as the
// process-wide seam for the lifetime of the object.
//
//     ScriptedFileDialogs dialogs;
//     dialogs.ExpectSave("/tmp/x/Profile 1.pro");
//     ... click export ...
//     EXPECT_EQ(dialogs.Requests()[0].request.defaultExtension, "pro");

#include <deque>
#include <optional>
#include <vector>

#include "platform/file_dialogs.h"
#include "platform/services.h"

namespace quillon::test {

class ScriptedFileDialogs final : public FileDialogs {
public:
    enum class Kind { Open, Save };
    struct Seen {
        Kind kind;
        FileDialogRequest request;
    };

    ScriptedFileDialogs();
    ~ScriptedFileDialogs() override;

    void ExpectOpen(std::optional<QString> answer);
    void ExpectSave(std::optional<QString> answer);
    void ExpectOpenCancelled() { ExpectOpen(std::nullopt); }
    void ExpectSaveCancelled() { ExpectSave(std::nullopt); }

    const std::vector<Seen>& Requests() const { return m_seen; }
    std::size_t Pending() const { return m_script.size(); }

    std::optional<QString> GetOpenFileName(const FileDialogRequest& request) override;
    std::optional<QString> GetSaveFileName(const FileDialogRequest& request) override;

private:
    std::optional<QString> Answer(Kind kind, const FileDialogRequest& request);

    std::deque<std::pair<Kind, std::optional<QString>>> m_script;
    std::vector<Seen> m_seen;
    ScopedServices m_installed;
};

}  // namespace quillon::test
