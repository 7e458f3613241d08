#include "sim_driver.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <random>

namespace quillon::sim {

SimDriver::SimDriver(std::filesystem::path folder) : m_folder(std::move(folder)) {}

SimDriver::~SimDriver() {
    CloseMonitor();
    CloseReport();
}

void SimDriver::SetIds(int, int productId) {
    const std::optional<SimLink> link = LinkOfProduct(productId);
    if (!link)
        return;
    std::lock_guard lock(m_mutex);
    if (m_mouse && m_mouse->Link() == *link)
        return;
    m_mouse = std::make_unique<SimMouse>(*link, LinkStartsPlugged(*link, std::getenv("QUILLON_SIM_LINKS")),
                                         SharedMouseBody(LogFile()));
}

std::filesystem::path SimDriver::LogFile() const {
    if (const char* path = std::getenv("QUILLON_SIM_LOG"); path != nullptr && *path != '\0')
        return path;
    // The program's data folder: beside the program, or the user's own when that is not writable.
    std::error_code error;
    std::filesystem::path data = m_folder / "Data";
    std::filesystem::create_directories(data, error);
    if (error || access(data.c_str(), W_OK) != 0) {
        const char* xdg = std::getenv("XDG_DATA_HOME");
        const char* home = std::getenv("HOME");
        data = xdg != nullptr && *xdg != '\0' ? std::filesystem::path(xdg) / "quillon" / "Data"
               : home != nullptr              ? std::filesystem::path(home) / ".local/share/quillon/Data"
                                              : std::filesystem::path();
        if (data.empty())
            return {};
        std::filesystem::create_directories(data, error);
    }
    return data / "simulated_mouse.log";
}

void SimDriver::OpenMonitor(QuillonWindow window, std::uint32_t dataMessage, std::uint32_t plugMessage) {
    CloseMonitor();
    if (!m_mouse)
        return;
    m_post = reinterpret_cast<QuillonPostMessageFn>(dlsym(RTLD_DEFAULT, QUILLON_HOST_POST_MESSAGE));
    m_postData =
        reinterpret_cast<QuillonPostDataMessageFn>(dlsym(RTLD_DEFAULT, QUILLON_HOST_POST_DATA_MESSAGE));
    m_window = window;
    m_dataMessage = dataMessage;
    m_plugMessage = plugMessage;

    // The control socket. A socket left behind by a run that crashed is replaced.
    m_socketPath = SocketPath(SocketFolder(m_folder), m_mouse->Link());
    const int listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = m_socketPath.string();
    bool listening = false;
    if (listenFd >= 0 && path.size() < sizeof address.sun_path) {
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        unlink(path.c_str());
        listening = bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    listen(listenFd, 4) == 0;
    }
    if (!listening && listenFd >= 0)
        close(listenFd);

    std::lock_guard lock(m_mutex);
    m_stop = false;
    m_monitorOpen = true;
    m_ticker = std::thread([this] { TickerLoop(); });
    if (listening && pipe2(m_stopPipe, O_CLOEXEC) == 0)
        m_server = std::thread([this, listenFd] { ServerLoop(listenFd); });
    else if (listening)
        close(listenFd);
}

void SimDriver::CloseMonitor() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_monitorOpen)
            return;
        m_stop = true;
        m_monitorOpen = false;
    }
    m_wake.notify_all();
    if (m_stopPipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto written = write(m_stopPipe[1], &byte, 1);
    }
    if (m_ticker.joinable())
        m_ticker.join();
    if (m_server.joinable())
        m_server.join();
    for (int& fd : m_stopPipe) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    unlink(m_socketPath.c_str());
}

void SimDriver::TickerLoop() {
    std::minstd_rand random(std::random_device{}());
    std::uniform_int_distribution<int> period(1000, 2000);
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, std::chrono::milliseconds(period(random)), [&] { return m_stop; })) {
        lock.unlock();
        Outgoing out;
        if (std::optional<MouseStatusReport> report = m_mouse->PowerTick())
            out.reports.push_back(*report);
        Post(out);
        lock.lock();
    }
}

void SimDriver::ServerLoop(int listenFd) {
    while (true) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents != 0)
            break;
        if ((fds[0].revents & POLLIN) != 0) {
            const int client = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                Serve(client);
                close(client);
            }
        }
    }
    close(listenFd);
}

void SimDriver::Serve(int clientFd) {
    // One command line per connection; a client that says nothing for a second is dropped.
    std::string line;
    char buffer[256];
    while (line.size() < 1024 && line.find('\n') == std::string::npos) {
        pollfd fd{clientFd, POLLIN, 0};
        if (poll(&fd, 1, 1000) <= 0)
            return;
        const ssize_t count = read(clientFd, buffer, sizeof buffer);
        if (count <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(count));
    }
    line = line.substr(0, line.find('\n'));
    Outgoing out;
    std::string reply = m_mouse->Command(line, out) + "\n";
    Post(out);
    [[maybe_unused]] const auto written = write(clientFd, reply.data(), reply.size());
}

void SimDriver::Post(const Outgoing& out) {
    if (out.plug && m_post)
        m_post(m_window, m_plugMessage, *out.plug ? 1 : 0, 0);
    if (!m_postData)
        return;
    for (const MouseStatusReport& report : out.reports)
        m_postData(m_window, m_dataMessage, report.data(), report.size(),
                   static_cast<intptr_t>(report.size()));
}

bool SimDriver::Present() {
    return m_mouse && m_mouse->Plugged();
}

bool SimDriver::OpenReport() {
    std::lock_guard lock(m_mutex);
    m_reportOpen = m_mouse && m_mouse->Plugged();
    return m_reportOpen;
}

void SimDriver::CloseReport() {
    std::lock_guard lock(m_mutex);
    m_reportOpen = false;
}

int SimDriver::Write(const std::uint8_t* report, int length) {
    if (report == nullptr || length <= 0)
        return -1;
    {
        std::lock_guard lock(m_mutex);
        if (!m_reportOpen || !m_mouse)
            return -1;
    }
    return m_mouse->Write({report, static_cast<std::size_t>(length)});
}

int SimDriver::OpenError() {
    std::lock_guard lock(m_mutex);
    if (m_reportOpen)
        return QUILLON_OPEN_OK;
    return QUILLON_OPEN_NOT_FOUND;
}

}  // namespace quillon::sim
