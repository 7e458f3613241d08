#pragma once
// The HID driver behind the exports of hiddriver_4k_1.so / hiddriver_4k_2.so: it watches for the
// device with the set identifiers, reports its arrival and removal and every input report it sends
// to the program's window, and opens the interface that takes the mouse's output reports.
//
// Threads: the monitor thread enumerates every pollInterval (and at once when a reader fails) and
// runs one reader thread per vendor-defined interface of the present device. The program calls
// everything else from its UI thread, and WriteUSB from its worker thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hid_backend.h"
#include "quillon/host_api.h"

namespace quillon::hid {

// How the driver reaches the program. Production resolves the host's exported functions at run
// time; tests capture the messages.
struct HostPoster {
    std::function<int(QuillonWindow, uint32_t msg, uintptr_t wparam, intptr_t lparam)> post;
    std::function<int(QuillonWindow, uint32_t msg, const void* data, size_t size, intptr_t lparam)> postData;
};

struct DriverTiming {
    // Arrival must be seen within half a second; a quarter second leaves room for the enumeration.
    std::chrono::milliseconds pollInterval{250};
    // How long a reader waits for a report before it checks whether it should stop.
    int readTimeoutMs = 200;
};

// The rule for the output interface: the mouse takes report 0x04 on its vendor-defined collection
// (usage page 0xFF00 and above); the standard mouse and keyboard collections never take it. When
// several interfaces qualify, the one with the lowest interface number wins, then the first listed.
// Returns null when no interface qualifies.
const DeviceEntry* ChooseReportInterface(const std::vector<DeviceEntry>& entries);
bool IsVendorDefined(const DeviceEntry& entry);

class HidDriver {
public:
    explicit HidDriver(Backend backend, DriverTiming timing = {});
    ~HidDriver();
    HidDriver(const HidDriver&) = delete;
    HidDriver& operator=(const HidDriver&) = delete;

    void SetIds(int vendorId, int productId);

    // Starts the monitor. A device already present when it starts is not reported as an arrival:
    // the program opens it itself right after. Restarting stops the previous monitor first.
    void OpenMonitor(QuillonWindow window, uint32_t dataMessage, uint32_t plugMessage, HostPoster host);
    // Stops the monitor and every reader; returns when all of its threads have ended.
    void CloseMonitor();

    // Whether the device is present; the program uses no feature reports, so nothing is opened.
    bool IsPresent();

    bool OpenReportDevice();
    void CloseReportDevice();
    OpenFailure LastOpenFailure() const;
    // Writes one output report to the open report interface; -1 when none is open.
    int Write(const uint8_t* report, int length);
    // Reads one input report from the report interface without waiting; -1 when none is open.
    int Read(uint8_t* buffer, int length);

    // Has the monitor enumerate now and returns once that enumeration has been handled.
    // Returns at once when no monitor runs.
    void PollNow();
    // Enumerations the monitor has made since it started (for measurements).
    uint64_t PollCount() const;

private:
    struct Reader {
        std::string path;
        std::thread thread;
        std::atomic<bool> stop{false};
        std::atomic<bool> finished{false};
    };

    void MonitorLoop();
    void PollDevice(bool baseline, bool afterReadFailure);
    void SyncReaders(const std::vector<DeviceEntry>& entries, bool afterReadFailure);
    void StopReaders();
    void ReaderLoop(Reader& reader, Handle handle);
    void ReportReadFailure();
    void PostPlug(bool arrived);

    Backend m_backend;
    DriverTiming m_timing;
    std::atomic<uint16_t> m_vendorId{0};
    std::atomic<uint16_t> m_productId{0};

    // Monitor state. The settings below are written before the thread starts and read by it.
    QuillonWindow m_window = nullptr;
    uint32_t m_dataMessage = 0;
    uint32_t m_plugMessage = 0;
    HostPoster m_host;
    std::thread m_monitor;
    mutable std::mutex m_monitorMutex;
    std::condition_variable m_wake;
    std::condition_variable m_pollDone;
    bool m_stopMonitor = false;
    bool m_monitorRunning = false;
    uint64_t m_pollRequested = 0;
    uint64_t m_pollCompleted = 0;
    uint64_t m_polls = 0;
    bool m_readFailed = false;
    // Owned by the monitor thread while it runs.
    bool m_present = false;
    std::vector<std::string> m_presentNodes;
    std::list<std::unique_ptr<Reader>> m_readers;

    // The report interface, shared by the UI thread (open, close) and the worker (write).
    mutable std::mutex m_reportMutex;
    Handle m_report = nullptr;
    OpenFailure m_openFailure = OpenFailure::None;
};

}  // namespace quillon::hid
