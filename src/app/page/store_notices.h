#pragma once
// What the user and the log hear about the profile store: a save that failed, and a damaged file
// that was repaired at start-up (with where its backup went).
//
// Every failed save is logged with the file and the system's reason. The user is told once per
// run of failures: the first failed save shows the message box, further failures stay quiet until
// a save succeeds again, so that a full disk does not raise a box at every apply. The box is never
// shown from inside the code that saved (an apply's last step, a status report): the notice is
// posted and shown from the event loop, once the page is back in a plain state.
//
//     StoreNotices notices(store.FilePath(), [owner](QString key, QStringList arguments) {
//         CMsgWnd::MessageBox(owner, "warning_title_text", key, arguments);
//     });
//     profiles.SetSaveObserver([&](const WriteResult& r) { notices.OnSaved(r); });
//     notices.OnLoaded(profiles.Load(...));

#include <QString>
#include <QStringList>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>

#include "core/store/profile_store.h"

namespace quillon {

class MessageWindow;

class StoreNotices {
public:
    // Shows the message box with the text of `messageKey`, the arguments filled in.
    using ShowBox = std::function<void(const QString& messageKey, const QStringList& arguments)>;

    StoreNotices(std::filesystem::path storeFile, ShowBox show);
    ~StoreNotices();
    StoreNotices(const StoreNotices&) = delete;
    StoreNotices& operator=(const StoreNotices&) = delete;

    // The report of loading the store at start-up: a repaired file and the save after it.
    void OnLoaded(const LoadReport& report);
    // The result of any save while the program runs.
    void OnSaved(const WriteResult& result);
    // The save on the way out: logged only, since the window has gone and a box could hold up the
    // end of the desktop session.
    void OnExitSave(const WriteResult& result);

private:
    void LogFailure(const WriteResult& result) const;
    void Tell(QString messageKey, QStringList arguments);
    void ShowQueued();

    std::filesystem::path m_storeFile;
    ShowBox m_show;
    bool m_failureTold = false;
    struct Notice {
        QString messageKey;
        QStringList arguments;
    };
    std::deque<Notice> m_queued;
    std::unique_ptr<MessageWindow> m_window;
};

}  // namespace quillon
