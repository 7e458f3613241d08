#include "keys/keyboard_layout_xkb.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>
// The XKB protocol header names a structure field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

extern char** environ;

namespace quillon {
namespace {

// Runs a program to its end; true when it exits with 0.
bool RunProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool OnPath(const std::string& program) {
    return RunProgram({"sh", "-c", "command -v " + program + " >/dev/null"});
}

// An X server of the test's own, so that changing its layout never touches the desktop the tests
// run on. Xvfb writes its display number to the pipe once it accepts connections; it must not reset
// when its last client leaves, or the layout set by setxkbmap would be gone before the test looks.
class PrivateXServer {
public:
    PrivateXServer() {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        std::string fd = std::to_string(fds[1]);
        std::vector<std::string> args = {"Xvfb", "-displayfd", fd, "-nolisten", "tcp", "-noreset", "-screen", "0", "320x240x24"};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0, 0);
        const int spawned = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (spawned != 0) {
            m_pid = 0;
            close(fds[0]);
            return;
        }
        // A server that has not started within 20 s counts as missing.
        pollfd ready{fds[0], POLLIN, 0};
        std::string number;
        while (poll(&ready, 1, 20000) > 0) {
            char c = 0;
            if (read(fds[0], &c, 1) != 1 || c == '\n') {
                break;
            }
            number.push_back(c);
        }
        close(fds[0]);
        if (!number.empty()) {
            m_display = ":" + number;
        }
    }
    ~PrivateXServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& Display() const { return m_display; }

private:
    pid_t m_pid = 0;
    std::string m_display;
};

// Locks a keyboard group on the server, as a desktop's layout switcher does.
bool LockGroup(const std::string& display, uint8_t group) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    bool ok = xcb_connection_has_error(connection) == 0;
    if (ok) {
        xcb_xkb_use_extension_reply_t* reply =
            xcb_xkb_use_extension_reply(connection, xcb_xkb_use_extension(connection, 1, 0), nullptr);
        ok = reply != nullptr && reply->supported;
        std::free(reply);
    }
    if (ok) {
        xcb_generic_error_t* error = xcb_request_check(
            connection, xcb_xkb_latch_lock_state_checked(connection, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, group, 0, 0, 0));
        ok = error == nullptr;
        std::free(error);
    }
    xcb_disconnect(connection);
    return ok;
}

class X11KeyboardLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnPath("Xvfb") || !OnPath("setxkbmap")) {
            GTEST_SKIP() << "no X server for this test: it needs Xvfb and setxkbmap (packages xvfb, "
                            "x11-xkb-utils) to start an X server of its own";
        }
        server = std::make_unique<PrivateXServer>();
        if (server->Display().empty()) {
            GTEST_SKIP() << "no X server for this test: Xvfb did not start";
        }
        ASSERT_TRUE(SetLayout("us"));
        layout = XkbKeyboardLayout::FromX11(server->Display().c_str());
        ASSERT_NE(layout, nullptr) << "the keyboard extension of " << server->Display() << " is not usable";
        tables = std::make_unique<KeyCodeTables>(*layout, [](std::string_view) { return std::u16string(); });
    }

    bool SetLayout(const std::string& name, const std::string& variant = "") {
        std::vector<std::string> args = {"setxkbmap", "-display", server->Display(), "-layout", name};
        args.insert(args.end(), {"-variant", variant});
        return RunProgram(args);
    }

    std::unique_ptr<PrivateXServer> server;
    std::unique_ptr<XkbKeyboardLayout> layout;
    std::unique_ptr<KeyCodeTables> tables;
};

TEST_F(X11KeyboardLayoutTest, FollowsTheServersLayoutWhileAlive) {
    EXPECT_EQ(layout->ActiveLayoutName(), "us");
    EXPECT_EQ(tables->VkToUsage(65).usage, 4u);
    EXPECT_EQ(tables->UsageName(4), u"A");

    ASSERT_TRUE(SetLayout("fr"));
    EXPECT_EQ(layout->ActiveLayoutName(), "fr");
    EXPECT_EQ(tables->VkToUsage(65).usage, 20u);
    EXPECT_EQ(tables->UsageName(20), u"A");
    EXPECT_EQ(tables->UsageName(31), u"\u00C9");
    EXPECT_EQ(tables->VkToUsage(223).usage, 56u);

    ASSERT_TRUE(SetLayout("de"));
    EXPECT_EQ(tables->VkToUsage(89).usage, 29u);
    EXPECT_EQ(tables->UsageName(28), u"Z");

    ASSERT_TRUE(SetLayout("us"));
    EXPECT_EQ(tables->VkToUsage(65).usage, 4u);
    EXPECT_EQ(tables->UsageName(51), u";");
}

TEST_F(X11KeyboardLayoutTest, FollowsTheActiveGroup) {
    ASSERT_TRUE(SetLayout("us,fr"));
    EXPECT_EQ(tables->VkToUsage(65).usage, 4u);
    ASSERT_TRUE(LockGroup(server->Display(), 1));
    EXPECT_EQ(layout->ActiveLayoutName(), "fr");
    EXPECT_EQ(tables->VkToUsage(65).usage, 20u);
    EXPECT_EQ(tables->UsageName(16), u",");
    ASSERT_TRUE(LockGroup(server->Display(), 0));
    EXPECT_EQ(tables->VkToUsage(65).usage, 4u);
    EXPECT_EQ(tables->UsageName(16), u"M");
}

} // namespace
} // namespace quillon
