#include "platform/single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>

#include <unistd.h>

#include "platform/message_window.h"

namespace quillon {
namespace {

// What the second copy writes, and what the first answers once its window has handled 1037.
constexpr char kActivateRequest[] = "activate\n";
constexpr char kActivatedReply[] = "done\n";
// How long a second start waits for the running copy; it exits with 1 either way.
constexpr int kConnectAttempts = 20;
constexpr int kWaitMs = 5000;

QString DefaultFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/quillon-") + QString::number(getuid());
    return folder;
}

} // namespace

struct SingleInstance::Impl {
    QString name;
    QString folder;
    std::unique_ptr<QLockFile> lock;
    bool first = false;
    std::unique_ptr<QLocalServer> server;
    HWND target = nullptr;
    UINT message = MSG_ACTIVATE_INSTANCE;

    QString LockPath() const { return folder + '/' + name + QStringLiteral(".lock"); }
    QString SocketPath() const { return folder + '/' + name; }

    void Listen();
    void Answer(QLocalSocket* socket);
    void ActivateRunning() const;
};

void SingleInstance::Impl::Listen() {
    server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket file still there is left over from a copy that died.
    QLocalServer::removeServer(SocketPath());
    if (!server->listen(SocketPath())) {
        server.reset();
        return;
    }
    QObject::connect(server.get(), &QLocalServer::newConnection, server.get(), [this] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { Answer(socket); });
            if (socket->bytesAvailable() > 0)
                Answer(socket);
        }
    });
}

void SingleInstance::Impl::Answer(QLocalSocket* socket) {
    if (!socket->canReadLine())
        return;
    const QByteArray request = socket->readLine();
    if (request == kActivateRequest && target != nullptr)
        SendMessage(target, message, 0, 0);
    socket->write(kActivatedReply);
    socket->flush();
    socket->disconnectFromServer();
}

void SingleInstance::Impl::ActivateRunning() const {
    QLocalSocket socket;
    // The running copy may have taken the lock a moment ago and not be listening yet.
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        socket.connectToServer(SocketPath());
        if (socket.waitForConnected(kWaitMs / kConnectAttempts))
            break;
        socket.abort();
        usleep(static_cast<useconds_t>(kWaitMs / kConnectAttempts) * 1000u);
    }
    if (socket.state() != QLocalSocket::ConnectedState)
        return;
    socket.write(kActivateRequest);
    socket.waitForBytesWritten(kWaitMs);
    // Like a sent message: return once the running copy has handled it.
    while (!socket.canReadLine() && socket.waitForReadyRead(kWaitMs)) {
    }
    socket.disconnectFromServer();
}

SingleInstance::SingleInstance(QString name, QString folder) : m_impl(std::make_unique<Impl>()) {
    m_impl->name = std::move(name);
    m_impl->folder = folder.isEmpty() ? DefaultFolder() : std::move(folder);
}

SingleInstance::~SingleInstance() {
    m_impl->server.reset();
    if (m_impl->lock)
        m_impl->lock->unlock();
}

bool SingleInstance::ClaimOrActivate() {
    if (m_impl->first)
        return true;
    QDir().mkpath(m_impl->folder);
    m_impl->lock = std::make_unique<QLockFile>(m_impl->LockPath());
    if (m_impl->lock->tryLock(0)) {
        m_impl->first = true;
        m_impl->Listen();
        return true;
    }
    if (m_impl->lock->error() != QLockFile::LockFailedError) {
        // No lock could be made (the folder is not writable): better run than refuse to start.
        m_impl->lock.reset();
        m_impl->first = true;
        return true;
    }
    m_impl->lock.reset();
    m_impl->ActivateRunning();
    return false;
}

void SingleInstance::SetActivationTarget(HWND window, UINT message) {
    m_impl->target = window;
    m_impl->message = message;
}

bool SingleInstance::IsFirst() const { return m_impl->first; }
QString SingleInstance::lockFilePath() const { return m_impl->LockPath(); }
QString SingleInstance::socketPath() const { return m_impl->SocketPath(); }

} // namespace quillon
