#pragma once
// One running copy per user. The first copy holds a per-user lock and listens on a local socket;
// a second start finds the lock taken, asks the running copy through the socket to come forward
// (its window receives MSG_ACTIVATE_INSTANCE, 1037, with wParam 0 and lParam 0, synchronously)
// and ends with exit code 1. quillon-cli sends its requests to the running copy on the same
// socket (SendRequest, SetRequestHandler).
//
//     SingleInstance instance;                 // the lock and socket named "Quillon"
//     if (!instance.ClaimOrActivate())
//         return kSecondStartExitCode;
//     ... create the main window ...
//     instance.SetActivationTarget(mainWindow.handle());
//
// A lock left behind by a copy that crashed or was killed is recognised as stale (its process is
// gone) and taken over.

#include <QString>

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/messages.h"

namespace quillon {

inline constexpr int kSecondStartExitCode = 1;

// True when `path` is a folder of this user that nobody else may enter: it is made with mode 0700
// when missing, a folder of this user that others may enter is closed to them, and anything else
// (another user's folder, a symbolic link, a file) is refused.
bool OwnPrivateFolder(const QString& path);

// The lock and socket folder when the desktop gives no runtime folder: "<base>/quillon-<uid>" when
// it is this user's private folder (or can be made so), else a new folder with an unpredictable
// name, so that another user who made the usual name first cannot keep Quillon from starting.
QString PrivateFallbackFolder(const QString& base);

// Who is at the other end of an accepted connection; tests replace the kernel's answer.
using PeerUidQuery = std::optional<uid_t> (*)(int fd);
PeerUidQuery SetPeerUidQuery(PeerUidQuery query);  // null restores the kernel's; returns the previous

class SingleInstance {
public:
    // `folder` holds the lock file "<name>.lock" and the socket "<name>"; empty means the user's
    // runtime folder ($XDG_RUNTIME_DIR), or PrivateFallbackFolder of the temporary folder. Only
    // this user's processes are served on the socket.
    explicit SingleInstance(QString name = QStringLiteral("Quillon"), QString folder = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process is now the running copy (it holds the lock and listens). False when
    // another copy runs; that copy has then been asked to come forward. When the lock cannot be
    // made at all (no usable folder), the program runs as if it were the first copy.
    bool ClaimOrActivate();

    // The window that receives `message` when the program is started again. Until one is set,
    // such requests are answered and otherwise dropped.
    void SetActivationTarget(HWND window, UINT message = MSG_ACTIVATE_INSTANCE);

    // Takes the lock and listens, as ClaimOrActivate does, but asks no running copy to come
    // forward: false when another copy holds the lock.
    bool Claim();

    // Every request line other than "activate" (a command line's request, see
    // core/remote/command_request.h) goes to `handler` on the UI thread, without its "\n"; what it
    // returns is written back as the answer. Until a handler is set, such requests are refused
    // with an answer saying that another program is using the mouse. Only this user's requests
    // ever arrive.
    using RequestHandler = std::function<std::string(std::string_view line)>;
    void SetRequestHandler(RequestHandler handler);

    // The other side: sends `line` ("\n" included) to the copy that holds the lock and returns
    // its answer line; nothing when no copy listens, or none answered within `timeoutMs`.
    std::optional<std::string> SendRequest(std::string_view line, int timeoutMs) const;

    bool IsFirst() const;
    QString LockFilePath() const;
    QString SocketPath() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace quillon
