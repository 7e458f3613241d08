#pragma once
// What the user and the log hear about a store file (the profiles, the macros): a save that failed,
// and a damaged file that was repaired at start-up (with where its backup went).
//
// Every failed save is logged with the file and the system's reason. The user is told once per
// run of failures: the first failed save shows the message box, further failures stay quiet until
// a save succeeds again, so that a full disk does not raise a box at every apply. The box is never
// shown from inside the code that saved (an apply's last step, a status report): the notice is
// posted and shown from the event loop, once the page is back in a plain state.
//
//     StoreNotices notices(store.FilePath(), StoreNotices::kProfileTexts,
//                          [owner](QString key, QStringList arguments) {
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

    // The language keys of the three messages, and what the log calls the store's content.
    struct Texts {
        const char* what;              // "profiles"
        const char* repaired;          // %1: where the damaged file was kept
        const char* repairedNoBackup;  // no argument
        const char* saveFailed;        // %1: the file, %2: the system's reason
    };
    static constexpr Texts kProfileTexts{"profiles", "store_repaired_text", "store_repaired_no_backup_text",
                                         "save_failed_text"};
    static constexpr Texts kMacroTexts{"macros", "macro_store_repaired_text",
                                       "macro_store_repaired_no_backup_text", "macro_save_failed_text"};

    StoreNotices(std::filesystem::path storeFile, Texts texts, ShowBox show);
    ~StoreNotices();
    StoreNotices(const StoreNotices&) = delete;
    StoreNotices& operator=(const StoreNotices&) = delete;

    // The report of loading the profile store at start-up: a repaired file and the save after it.
    void OnLoaded(const LoadReport& report);
    // A damaged file was repaired at start-up; its original went to `backupPath` when kept.
    void OnRepaired(bool backupKept, const std::filesystem::path& backupPath);
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
    Texts m_texts;
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
