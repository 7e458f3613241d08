#pragma once
// The simulated mouse as a driver library: the threads and the plumbing around a SimMouse.
//
// Open_DevMonitor starts two threads: a power ticker that posts the mouse's power report every one
// to two seconds, and the control channel, a Unix socket in the demo program folder through which
// quillon-sim (or a test) plugs and pulls the link and works the mouse. Close_DevMonitor stops both.

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "quillon/driver_abi.h"
#include "sim_mouse.h"

namespace quillon::sim {

// Where the control sockets live: QUILLON_SIM_SOCKET_DIR, else `defaultFolder` (the plugin's own).
std::filesystem::path SocketFolder(const std::filesystem::path& defaultFolder);
std::filesystem::path SocketPath(const std::filesystem::path& folder, SimLink link);

class SimDriver {
public:
    // `folder` is where the plugin lives: the demo program folder.
    explicit SimDriver(std::filesystem::path folder);
    ~SimDriver();
    SimDriver(const SimDriver&) = delete;
    SimDriver& operator=(const SimDriver&) = delete;

    void SetIds(int vendorId, int productId);
    void OpenMonitor(QuillonWindow window, std::uint32_t dataMessage, std::uint32_t plugMessage);
    void CloseMonitor();
    bool Present();
    bool OpenReport();
    void CloseReport();
    int Write(const std::uint8_t* report, int length);
    int OpenError();

private:
    void TickerLoop();
    void ServerLoop(int listenFd);
    void Serve(int clientFd);
    void Post(const Outgoing& out);
    std::filesystem::path LogFile() const;

    const std::filesystem::path m_folder;
    std::unique_ptr<SimMouse> m_mouse;
    QuillonPostMessageFn m_post = nullptr;
    QuillonPostDataMessageFn m_postData = nullptr;
    QuillonWindow m_window = nullptr;
    std::uint32_t m_dataMessage = 0;
    std::uint32_t m_plugMessage = 0;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_monitorOpen = false;
    bool m_reportOpen = false;
    std::thread m_ticker;
    std::thread m_server;
    int m_stopPipe[2] = {-1, -1};
    std::filesystem::path m_socketPath;
};

}  // namespace quillon::sim
