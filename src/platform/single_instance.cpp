#include "platform/single_instance.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <list>
#include <optional>

#include "core/remote/command_request.h"
#include "platform/message_window.h"

namespace quillon {
namespace {

// What the second copy writes, and what the first answers once its window has handled 1037.
constexpr char kActivateRequest[] = "activate\n";
constexpr char kActivatedReply[] = "done\n";
// How long a second start waits for the running copy; it exits with 1 either way.
constexpr int kConnectAttempts = 20;
constexpr int kWaitMs = 5000;
// A request is one line: "activate", or a command line's request of at most kMaxCommandRequest
// bytes. A peer that sends more without a line end is cut off.
constexpr qsizetype kMaxRequest = static_cast<qsizetype>(kMaxCommandRequest);
// An answer goes out in full unless the peer stops reading for this long.
constexpr int kReplySendTimeoutMs = 2000;

QString DefaultFolder() {
    // Qt's runtime location is $XDG_RUNTIME_DIR, or a folder it checks the same way.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!folder.isEmpty() && OwnPrivateFolder(folder))
        return folder;
    return PrivateFallbackFolder(QDir::tempPath());
}

// Whose connection this is: the peer's user id from the kernel.
std::optional<uid_t> KernelPeerUid(int fd) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return std::nullopt;
    return credentials.uid;
}

PeerUidQuery g_peerUid = KernelPeerUid;

// The socket address of `path`, or nothing when the path does not fit one.
std::optional<sockaddr_un> SocketAddress(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    sockaddr_un address{};
    if (bytes.isEmpty() || static_cast<std::size_t>(bytes.size()) >= sizeof address.sun_path)
        return std::nullopt;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return address;
}

// Writes all of `data` to the blocking socket `fd`; false when the peer went away.
bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = send(fd, data, size, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

bool OwnPrivateFolder(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    // lstat: a symbolic link planted in the folder's place is refused, not followed.
    struct stat info {};
    if (lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid())
        return false;
    if ((info.st_mode & 0077) != 0)
        return chmod(name.constData(), 0700) == 0;
    return true;
}

QString PrivateFallbackFolder(const QString& base) {
    // The usual name, so that a second start finds the first; when someone else holds that name
    // (another user made it first, or it is open to others), a folder nobody can predict.
    const QString usual = base + QStringLiteral("/quillon-") + QString::number(getuid());
    if (OwnPrivateFolder(usual))
        return usual;
    qWarning("quillon: %s is not a private folder of this user; using a folder of its own instead",
             qUtf8Printable(usual));
    QByteArray pattern = QFile::encodeName(usual + QStringLiteral("-XXXXXX"));
    if (mkdtemp(pattern.data()) == nullptr)
        return {};
    return QFile::decodeName(pattern);
}

PeerUidQuery SetPeerUidQuery(PeerUidQuery query) {
    PeerUidQuery previous = g_peerUid;
    g_peerUid = query != nullptr ? query : KernelPeerUid;
    return previous;
}

// The plain local socket of the running copy. It is served from the event loop through socket
// notifiers, so the program needs no networking library for it.
struct SingleInstance::Impl {
    // One connected second start, until it has sent its line and had its answer.
    struct Peer {
        int fd = -1;
        std::unique_ptr<QSocketNotifier> notifier;
        QByteArray received;
    };

    QString name;
    QString folder;
    int lock = -1;  // the lock file, held open (and locked) while this copy is the first
    bool first = false;
    int listener = -1;
    std::unique_ptr<QSocketNotifier> listenerNotifier;
    std::list<Peer> peers;
    HWND target = nullptr;
    UINT message = MSG_ACTIVATE_INSTANCE;
    RequestHandler handler;

    QString LockPath() const { return folder + '/' + name + QStringLiteral(".lock"); }
    QString SocketPath() const { return folder + '/' + name; }

    void Listen();
    void StopListening();
    void AcceptPending();
    void Read(std::list<Peer>::iterator peer);
    void Close(std::list<Peer>::iterator peer);
    void ActivateRunning() const;
    int ConnectRunning() const;
    bool TakeLock();
};

void SingleInstance::Impl::Listen() {
    const auto address = SocketAddress(SocketPath());
    if (!address)
        return;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    // We hold the lock, so a socket file still there is left over from a copy that died.
    unlink(address->sun_path);
    // Only this user may connect: the socket is made with no rights for anyone else.
    const mode_t previousMask = umask(0077);
    const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0;
    umask(previousMask);
    if (!bound || ::listen(fd, SOMAXCONN) != 0) {
        close(fd);
        return;
    }
    listener = fd;
    listenerNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(listenerNotifier.get(), &QSocketNotifier::activated, listenerNotifier.get(),
                     [this] { AcceptPending(); });
}

void SingleInstance::Impl::StopListening() {
    while (!peers.empty())
        Close(peers.begin());
    listenerNotifier.reset();
    if (listener >= 0) {
        close(listener);
        listener = -1;
        if (const auto address = SocketAddress(SocketPath()))
            unlink(address->sun_path);
    }
}

void SingleInstance::Impl::AcceptPending() {
    for (;;) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return;  // nothing more waiting (or a connection that failed before we took it)
        }
        // The socket's mode already keeps other users out; the kernel's word on who connected
        // keeps them out also where the folder or the mode is not what it should be.
        if (const auto uid = g_peerUid(fd); !uid || *uid != getuid()) {
            qWarning("quillon: refused a request on the instance socket from user %d",
                     uid ? static_cast<int>(*uid) : -1);
            close(fd);
            continue;
        }
        peers.push_back(Peer{fd, std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read), {}});
        const auto peer = std::prev(peers.end());
        QObject::connect(peer->notifier.get(), &QSocketNotifier::activated, peer->notifier.get(),
                         [this, peer] { Read(peer); });
        // The request may already be there.
        Read(peer);
    }
}

void SingleInstance::Impl::Read(std::list<Peer>::iterator peer) {
    char buffer[kMaxRequest];
    for (;;) {
        const ssize_t count = recv(peer->fd, buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;  // wait for the rest of the line
        if (count <= 0) {
            Close(peer);  // the peer left without a whole line
            return;
        }
        peer->received.append(buffer, count);
        if (peer->received.contains('\n') || peer->received.size() > kMaxRequest)
            break;
    }
    const qsizetype end = peer->received.indexOf('\n');
    if (end < 0) {
        if (peer->received.size() > kMaxRequest)
            Close(peer);
        return;
    }
    const QByteArray request = peer->received.left(end + 1);
    // The answer goes out before the window may run further events; the socket is then closed.
    const int fd = peer->fd;
    peer->notifier->setEnabled(false);
    if (request == kActivateRequest) {
        if (target != nullptr)
            SendMessage(target, message, 0, 0);
        // The socket is non-blocking; the short reply fits its buffer.
        WriteAll(fd, kActivatedReply, sizeof kActivatedReply - 1);
        Close(peer);
        return;
    }
    std::string reply;
    if (handler) {
        reply = handler(std::string_view(request.constData(), static_cast<std::size_t>(end)));
    } else {
        // The lock's holder takes no requests (a command line working on the mouse itself, or a
        // window still starting): the request is refused, never queued.
        reply = EncodeCommandReply(
            {kExitRefused, {}, "quillon-cli: another Quillon program is using the mouse; try again\n"});
    }
    // A long answer may not fit the socket's buffer: it is written blocking, but a peer that stops
    // reading holds the program up for a bounded time only.
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    timeval timeout{kReplySendTimeoutMs / 1000, (kReplySendTimeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    WriteAll(fd, reply.data(), reply.size());
    Close(peer);
}

void SingleInstance::Impl::Close(std::list<Peer>::iterator peer) {
    peer->notifier->setEnabled(false);
    // The notifier may be the sender of the signal being handled: it goes once control is back
    // in the event loop.
    peer->notifier.release()->deleteLater();
    close(peer->fd);
    peers.erase(peer);
}

int SingleInstance::Impl::ConnectRunning() const {
    const auto address = SocketAddress(SocketPath());
    if (!address)
        return -1;
    int fd = -1;
    // The running copy may have taken the lock a moment ago and not be listening yet.
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return -1;
        if (connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0)
            return fd;
        close(fd);
        fd = -1;
        usleep(static_cast<useconds_t>(kWaitMs / kConnectAttempts) * 1000u);
    }
    return -1;
}

void SingleInstance::Impl::ActivateRunning() const {
    const int fd = ConnectRunning();
    if (fd < 0)
        return;
    if (WriteAll(fd, kActivateRequest, sizeof kActivateRequest - 1)) {
        // Like a sent message: return once the running copy has handled it (its reply line
        // arrives, or it closes the socket, or it stays silent for the waiting time).
        pollfd wait{fd, POLLIN, 0};
        char reply[16];
        for (;;) {
            const int ready = poll(&wait, 1, kWaitMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break;
            const ssize_t count = recv(fd, reply, sizeof reply, 0);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0 || std::memchr(reply, '\n', static_cast<std::size_t>(count)) != nullptr)
                break;
        }
    }
    close(fd);
}

SingleInstance::SingleInstance(QString name, QString folder) : m_impl(std::make_unique<Impl>()) {
    m_impl->name = std::move(name);
    m_impl->folder = folder.isEmpty() ? DefaultFolder() : std::move(folder);
    if (m_impl->folder.isEmpty())
        m_impl->folder = QDir::tempPath();  // no private folder at all: the lock then cannot be made
}

SingleInstance::~SingleInstance() {
    m_impl->StopListening();
    if (m_impl->lock >= 0)
        close(m_impl->lock);
}

bool SingleInstance::Impl::TakeLock() {
    if (first)
        return true;
    QDir().mkpath(folder);
    // A lock of the kernel's on the file: it goes with the process that holds it, however that
    // ends, so a copy that died never keeps the next one out, and taking it writes nothing.
    const int fd = open(QFile::encodeName(LockPath()).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) {
        lock = fd;
        first = true;
        Listen();
        return true;
    }
    const bool held = fd >= 0 && errno == EWOULDBLOCK;
    if (fd >= 0)
        close(fd);
    if (!held) {
        // No lock could be made (the folder is not writable): better run than refuse to start.
        first = true;
        return true;
    }
    return false;
}

bool SingleInstance::ClaimOrActivate() {
    if (m_impl->TakeLock())
        return true;
    m_impl->ActivateRunning();
    return false;
}

bool SingleInstance::Claim() {
    return m_impl->TakeLock();
}

std::optional<std::string> SingleInstance::SendRequest(std::string_view line, int timeoutMs) const {
    const int fd = m_impl->ConnectRunning();
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> reply;
    if (WriteAll(fd, line.data(), line.size())) {
        std::string received;
        pollfd wait{fd, POLLIN, 0};
        char buffer[4096];
        for (;;) {
            const int ready = poll(&wait, 1, timeoutMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break;
            const ssize_t count = recv(fd, buffer, sizeof buffer, 0);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                break;
            received.append(buffer, static_cast<std::size_t>(count));
            if (const std::size_t end = received.find('\n'); end != std::string::npos) {
                received.resize(end + 1);
                reply = std::move(received);
                break;
            }
            if (received.size() > kMaxCommandReply)
                break;
        }
    }
    close(fd);
    return reply;
}

void SingleInstance::SetRequestHandler(RequestHandler handler) {
    m_impl->handler = std::move(handler);
}

void SingleInstance::SetActivationTarget(HWND window, UINT message) {
    m_impl->target = window;
    m_impl->message = message;
}

bool SingleInstance::IsFirst() const {
    return m_impl->first;
}
QString SingleInstance::LockFilePath() const {
    return m_impl->LockPath();
}
QString SingleInstance::SocketPath() const {
    return m_impl->SocketPath();
}

}  // namespace quillon
