// quillon-sim: works the simulated mouse of a running demo program.
//
//   quillon-sim [wired|wireless] <command>
//
// Commands: plug, pull, sleep, wake, dpi <1..8>, rate <code>, charge start|end, state, help.
// Without a link the command goes to the 2.4 GHz receiver's mouse.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "sim_driver.h"

int main(int argc, char** argv) {
    using namespace quillon::sim;
    int first = 1;
    SimLink link = SimLink::Wireless;
    if (argc > 1 && (std::strcmp(argv[1], "wired") == 0 || std::strcmp(argv[1], "wireless") == 0)) {
        link = std::strcmp(argv[1], "wired") == 0 ? SimLink::Wired : SimLink::Wireless;
        first = 2;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: quillon-sim [wired|wireless] <command>\n"
                             "commands: plug, pull, sleep, wake, dpi <1..8>, rate <code 0x01..0x40>, "
                             "charge start|end, state, help\n");
        return 2;
    }
    std::string line;
    for (int i = first; i < argc; ++i)
        line += (i > first ? " " : "") + std::string(argv[i]);
    line += "\n";

    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    const std::string path = SocketPath(SocketFolder(self.parent_path()), link).string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0 || path.size() >= sizeof address.sun_path) {
        std::fprintf(stderr, "quillon-sim: cannot use %s\n", path.c_str());
        return 2;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "quillon-sim: no simulated %s mouse at %s (is the demo program running?)\n",
                     LinkName(link), path.c_str());
        return 2;
    }
    if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        std::fprintf(stderr, "quillon-sim: the simulated mouse did not take the command\n");
        return 2;
    }
    shutdown(fd, SHUT_WR);
    std::string reply;
    char buffer[4096];
    ssize_t count;
    while ((count = read(fd, buffer, sizeof buffer)) > 0)
        reply.append(buffer, static_cast<std::size_t>(count));
    close(fd);
    std::fputs(reply.c_str(), stdout);
    return reply.rfind("error", 0) == 0 ? 1 : 0;
}
