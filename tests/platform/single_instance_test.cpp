#include "platform/single_instance.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <future>
#include <memory>
#include <string>

#include "platform/message_window.h"
#include "support/qt_app.h"

using namespace quillon;

namespace {

// The waits below only bound a hung helper; a passing run never reaches them.
constexpr int kLimitMs = 15000;

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::TestApplication();
        ASSERT_TRUE(m_folder.isValid());
    }
    void TearDown() override {
        for (auto& process : m_processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(kLimitMs);
            }
        }
    }

    QProcess& Start() {
        m_processes.push_back(std::make_unique<QProcess>());
        QProcess& process = *m_processes.back();
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QUILLON_SINGLE_INSTANCE_HELPER, {m_folder.path(), QStringLiteral("Quillon")});
        return process;
    }

    // Starts a copy that must become the running one.
    QProcess& StartFirst() {
        QProcess& process = Start();
        EXPECT_TRUE(process.waitForStarted(kLimitMs));
        while (!process.canReadLine() && process.waitForReadyRead(kLimitMs)) {
        }
        EXPECT_EQ(process.readLine(), QByteArray("ready\n"));
        return process;
    }

    // Starts a second copy, which must hand over and exit with 1.
    void StartSecondAndExpectRefusal() {
        QProcess& second = Start();
        ASSERT_TRUE(second.waitForFinished(kLimitMs));
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), kSecondStartExitCode);
        EXPECT_TRUE(second.readAllStandardOutput().isEmpty()) << "the second copy must not run";
    }

    static void ExpectActivated(QProcess& running) {
        ASSERT_TRUE(running.waitForFinished(kLimitMs));
        EXPECT_EQ(running.exitCode(), 0);
        EXPECT_EQ(running.readAllStandardOutput(), QByteArray("activated 0 0\n"));
    }

    QTemporaryDir m_folder;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

TEST_F(SingleInstanceTest, SecondStartExitsWithOneAndActivatesTheRunningCopy) {
    QProcess& running = StartFirst();
    StartSecondAndExpectRefusal();
    ExpectActivated(running);

    // Once the running copy has ended, the next start runs.
    QProcess& next = StartFirst();
    StartSecondAndExpectRefusal();
    ExpectActivated(next);
}

TEST_F(SingleInstanceTest, LockOfAKilledCopyIsTakenOver) {
    QProcess& killed = StartFirst();
    killed.kill();  // SIGKILL: no chance to remove the lock or the socket
    ASSERT_TRUE(killed.waitForFinished(kLimitMs));
    SingleInstance probe(QStringLiteral("Quillon"), m_folder.path());
    ASSERT_TRUE(QFile::exists(probe.LockFilePath()));
    ASSERT_TRUE(QFile::exists(probe.SocketPath()));

    QProcess& running = StartFirst();
    StartSecondAndExpectRefusal();
    ExpectActivated(running);
}

TEST_F(SingleInstanceTest, ClaimInThisProcessKeepsOthersOut) {
    SingleInstance first(QStringLiteral("Quillon"), m_folder.path());
    ASSERT_TRUE(first.ClaimOrActivate());
    EXPECT_TRUE(first.ClaimOrActivate());  // asking again changes nothing
    // Without a window yet, the request of a second copy is answered and dropped; the second
    // copy still ends at once with 1. It needs this process's event loop to be answered.
    QProcess& second = Start();
    ASSERT_TRUE(test::PumpUntil([&] { return second.state() == QProcess::NotRunning; }, kLimitMs));
    EXPECT_EQ(second.exitCode(), kSecondStartExitCode);
}

// The socket will soon change the mouse, so a process of another user is not served even when it
// reaches the socket.
TEST_F(SingleInstanceTest, RequestsOfAnotherUserAreRefused) {
    SingleInstance first(QStringLiteral("Quillon"), m_folder.path());
    ASSERT_TRUE(first.ClaimOrActivate());
    MessageWindow window([&](UINT message, WPARAM, LPARAM) {
        ADD_FAILURE() << "a request of another user reached the window: " << message;
        return LRESULT{0};
    });
    first.SetActivationTarget(window.handle());
    const PeerUidQuery previous = SetPeerUidQuery([](int) -> std::optional<uid_t> { return getuid() + 1; });
    QProcess& second = Start();
    ASSERT_TRUE(test::PumpUntil([&] { return second.state() == QProcess::NotRunning; }, kLimitMs));
    SetPeerUidQuery(previous);
    EXPECT_EQ(second.exitCode(), kSecondStartExitCode);
}

// A command line's request reaches the handler as one line and its answer goes back whole, also
// when it is larger than a socket buffer; "activate" keeps going to the window.
TEST_F(SingleInstanceTest, CommandRequestsReachTheHandlerAndTheirAnswersComeBackWhole) {
    SingleInstance running(QStringLiteral("Quillon"), m_folder.path());
    ASSERT_TRUE(running.Claim());
    std::vector<std::string> received;
    const std::string bigAnswer = std::string(1 << 20, 'x') + "\n";
    running.SetRequestHandler([&](std::string_view line) {
        received.emplace_back(line);
        return bigAnswer;
    });
    int activations = 0;
    MessageWindow window([&](UINT message, WPARAM, LPARAM) {
        activations += message == MSG_ACTIVATE_INSTANCE ? 1 : 0;
        return LRESULT{0};
    });
    running.SetActivationTarget(window.handle());

    const SingleInstance client(QStringLiteral("Quillon"), m_folder.path());
    auto answer = std::async(std::launch::async,
                             [&] { return client.SendRequest("{\"command\":\"list\"}\n", kLimitMs); });
    ASSERT_TRUE(test::PumpUntil(
        [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, kLimitMs));
    EXPECT_EQ(answer.get(), bigAnswer);
    EXPECT_EQ(received, std::vector<std::string>{"{\"command\":\"list\"}"});

    QProcess& second = Start();
    ASSERT_TRUE(test::PumpUntil([&] { return second.state() == QProcess::NotRunning; }, kLimitMs));
    EXPECT_EQ(second.exitCode(), kSecondStartExitCode);
    EXPECT_EQ(activations, 1);
    EXPECT_EQ(received.size(), 1u) << "activate is no command request";
}

// A request of another user that reaches the socket changes nothing and gets no answer.
TEST_F(SingleInstanceTest, CommandRequestsOfAnotherUserNeverReachTheHandler) {
    SingleInstance running(QStringLiteral("Quillon"), m_folder.path());
    ASSERT_TRUE(running.Claim());
    running.SetRequestHandler([](std::string_view line) {
        ADD_FAILURE() << "a request of another user reached the handler: " << line;
        return std::string("{}\n");
    });
    const PeerUidQuery previous = SetPeerUidQuery([](int) -> std::optional<uid_t> { return getuid() + 1; });
    const SingleInstance client(QStringLiteral("Quillon"), m_folder.path());
    auto answer = std::async(std::launch::async,
                             [&] { return client.SendRequest("{\"command\":\"set\"}\n", kLimitMs); });
    const bool done = test::PumpUntil(
        [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, kLimitMs);
    SetPeerUidQuery(previous);
    ASSERT_TRUE(done);
    EXPECT_EQ(answer.get(), std::nullopt);
}

// Without a runtime folder, the fallback folder must be this user's and closed to others;
// otherwise another user could make it first and keep Quillon from starting, or listen in.
TEST_F(SingleInstanceTest, FallbackFolderIsThisUsersPrivateFolder) {
    const QString base = m_folder.path();
    const QString usual = base + QStringLiteral("/quillon-") + QString::number(getuid());
    ASSERT_EQ(mkdir(QFile::encodeName(usual).constData(), 0777), 0);
    chmod(QFile::encodeName(usual).constData(), 0777);
    EXPECT_EQ(PrivateFallbackFolder(base), usual);  // ours: closed to others and kept
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(usual).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // A symbolic link in its place is not followed.
    ASSERT_TRUE(QFile::remove(usual) || rmdir(QFile::encodeName(usual).constData()) == 0);
    ASSERT_TRUE(QFile::link(m_folder.path(), usual));
    const QString instead = PrivateFallbackFolder(base);
    EXPECT_NE(instead, usual);
    EXPECT_TRUE(instead.startsWith(usual + QLatin1Char('-')));
    EXPECT_TRUE(OwnPrivateFolder(instead));

    // Another user's folder of that name (only root can make one here).
    if (geteuid() == 0) {
        QFile::remove(usual);
        ASSERT_EQ(mkdir(QFile::encodeName(usual).constData(), 0700), 0);
        ASSERT_EQ(chown(QFile::encodeName(usual).constData(), getuid() + 4242, getgid()), 0);
        EXPECT_FALSE(OwnPrivateFolder(usual));
        EXPECT_NE(PrivateFallbackFolder(base), usual);
    }
}

TEST_F(SingleInstanceTest, UnusableFolderDoesNotStopTheProgram) {
    SingleInstance instance(QStringLiteral("Quillon"), QStringLiteral("/proc/quillon-cannot-exist"));
    EXPECT_TRUE(instance.ClaimOrActivate());
}

}  // namespace
