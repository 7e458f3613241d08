#pragma once
// An X server of a test's own, for tests that change server state (keyboard layouts, input
// injection) and must never touch the desktop the tests run on. Header-only and free of Qt, so any
// test can use it.

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace quillon::test {

// Runs a program to its end; true when it exits with 0.
inline bool RunProgram(std::vector<std::string> args) {
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

inline bool OnPath(const std::string& program) {
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
        std::vector<std::string> args = {"Xvfb",     "-displayfd", fd,  "-nolisten", "tcp",
                                         "-noreset", "-screen",    "0", "320x240x24"};
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

}  // namespace quillon::test
