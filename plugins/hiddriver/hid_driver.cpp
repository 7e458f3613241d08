#include "hid_driver.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quillon::hid {

bool IsVendorDefined(const DeviceEntry& entry) {
    return entry.usagePage >= 0xFF00;
}

const DeviceEntry* ChooseReportInterface(const std::vector<DeviceEntry>& entries) {
    const DeviceEntry* best = nullptr;
    for (const DeviceEntry& entry : entries) {
        if (!IsVendorDefined(entry))
            continue;
        if (best == nullptr || entry.interfaceNumber < best->interfaceNumber)
            best = &entry;
    }
    return best;
}

namespace {

// The distinct paths of the vendor-defined interfaces, in enumeration order. Several collections
// of one interface share a path and are read once.
std::vector<std::string> VendorPaths(const std::vector<DeviceEntry>& entries) {
    std::vector<std::string> paths;
    for (const DeviceEntry& entry : entries) {
        if (IsVendorDefined(entry) && std::find(paths.begin(), paths.end(), entry.path) == paths.end())
            paths.push_back(entry.path);
    }
    return paths;
}

// Every node with the device behind it: a node whose path comes back with another device behind
// it belongs to a new device.
std::vector<std::string> AllNodes(const std::vector<DeviceEntry>& entries) {
    std::vector<std::string> nodes;
    for (const DeviceEntry& entry : entries)
        nodes.push_back(entry.path + '\n' + entry.instance);
    std::sort(nodes.begin(), nodes.end());
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    return nodes;
}

}  // namespace

HidDriver::HidDriver(Backend backend, DriverTiming timing)
    : m_backend(std::move(backend)), m_timing(timing) {}

HidDriver::~HidDriver() {
    CloseMonitor();
    CloseReportDevice();
}

void HidDriver::SetIds(int vendorId, int productId) {
    m_vendorId = static_cast<uint16_t>(vendorId);
    m_productId = static_cast<uint16_t>(productId);
}

void HidDriver::OpenMonitor(QuillonWindow window, uint32_t dataMessage, uint32_t plugMessage,
                            HostPoster host) {
    CloseMonitor();
    std::lock_guard lock(m_monitorMutex);
    m_window = window;
    m_dataMessage = dataMessage;
    m_plugMessage = plugMessage;
    m_host = std::move(host);
    m_stopMonitor = false;
    m_monitorRunning = true;
    m_pollRequested = m_pollCompleted = 0;
    m_polls = 0;
    m_monitor = std::thread([this] { MonitorLoop(); });
}

void HidDriver::CloseMonitor() {
    {
        std::lock_guard lock(m_monitorMutex);
        if (!m_monitorRunning)
            return;
        m_stopMonitor = true;
    }
    m_wake.notify_all();
    m_monitor.join();
    std::lock_guard lock(m_monitorMutex);
    m_monitorRunning = false;
    m_pollDone.notify_all();
}

void HidDriver::MonitorLoop() {
    bool baseline = true;
    std::unique_lock lock(m_monitorMutex);
    while (!m_stopMonitor) {
        const uint64_t generation = m_pollRequested;
        const bool afterReadFailure = std::exchange(m_readFailed, false);
        lock.unlock();
        PollDevice(baseline, afterReadFailure);
        baseline = false;
        lock.lock();
        m_pollCompleted = generation;
        ++m_polls;
        m_pollDone.notify_all();
        m_wake.wait_for(lock, m_timing.pollInterval,
                        [&] { return m_stopMonitor || m_pollRequested != generation; });
    }
    lock.unlock();
    StopReaders();
    m_present = false;
    m_presentNodes.clear();
}

void HidDriver::PollDevice(bool baseline, bool afterReadFailure) {
    const std::vector<DeviceEntry> entries = m_backend.enumerate(m_vendorId, m_productId);
    const bool present = !entries.empty();
    std::vector<std::string> nodes = AllNodes(entries);

    if (!baseline) {
        if (present && m_present) {
            // Unplugged and plugged again between two enumerations: the kernel gave the device new
            // nodes (or the old paths with a new device behind them), and the program must close
            // its stale handle and open the new one.
            const bool anyKept = std::any_of(nodes.begin(), nodes.end(), [&](const std::string& node) {
                return std::find(m_presentNodes.begin(), m_presentNodes.end(), node) != m_presentNodes.end();
            });
            if (!anyKept) {
                StopReaders();
                PostPlug(false);
                PostPlug(true);
            }
        } else if (present != m_present) {
            PostPlug(present);
        }
    }
    m_present = present;
    m_presentNodes = std::move(nodes);
    SyncReaders(entries, afterReadFailure);
}

void HidDriver::SyncReaders(const std::vector<DeviceEntry>& entries, bool afterReadFailure) {
    const std::vector<std::string> wanted = VendorPaths(entries);
    // Readers of interfaces that went away, or whose read failed, are removed. A failed one is
    // started again while its interface is still listed, but not by the poll its own failure asked
    // for: an interface that is listed yet fails every read would otherwise be reopened in a loop.
    std::vector<std::string> failedNow;
    for (auto it = m_readers.begin(); it != m_readers.end();) {
        Reader& reader = **it;
        const bool stillWanted = std::find(wanted.begin(), wanted.end(), reader.path) != wanted.end();
        if (!stillWanted || reader.finished) {
            reader.stop = true;
            reader.thread.join();
            if (afterReadFailure)
                failedNow.push_back(reader.path);
            it = m_readers.erase(it);
        } else {
            ++it;
        }
    }
    for (const std::string& path : wanted) {
        if (std::find(failedNow.begin(), failedNow.end(), path) != failedNow.end())
            continue;
        const bool running =
            std::any_of(m_readers.begin(), m_readers.end(),
                        [&](const std::unique_ptr<Reader>& reader) { return reader->path == path; });
        if (running)
            continue;
        // Opened here rather than on the reader's thread, so that once an enumeration has been
        // handled every interface it listed is being read.
        OpenFailure failure = OpenFailure::None;
        Handle handle = m_backend.open(path, failure);
        if (handle == nullptr)
            continue;  // Typically a node whose permissions udev has not set yet; retried next poll.
        auto reader = std::make_unique<Reader>();
        reader->path = path;
        Reader& started = *reader;
        m_readers.push_back(std::move(reader));
        started.thread = std::thread([this, &started, handle] { ReaderLoop(started, handle); });
    }
}

void HidDriver::StopReaders() {
    for (auto& reader : m_readers)
        reader->stop = true;
    for (auto& reader : m_readers)
        reader->thread.join();
    m_readers.clear();
}

void HidDriver::ReaderLoop(Reader& reader, Handle handle) {
    // Room for the largest report the device sends plus its identifier.
    std::array<uint8_t, 256> buffer{};
    bool failed = false;
    while (!reader.stop) {
        const int count = m_backend.read(handle, buffer.data(), buffer.size(), m_timing.readTimeoutMs);
        if (count < 0) {
            failed = true;
            break;
        }
        if (count > 0 && m_host.postData)
            m_host.postData(m_window, m_dataMessage, buffer.data(), static_cast<size_t>(count), count);
    }
    m_backend.close(handle);
    reader.finished = true;
    // A read fails when the device is pulled; enumerate at once so the removal is reported without
    // waiting for the next poll.
    if (failed)
        ReportReadFailure();
}

void HidDriver::ReportReadFailure() {
    {
        std::lock_guard lock(m_monitorMutex);
        ++m_pollRequested;
        m_readFailed = true;
    }
    m_wake.notify_all();
}

void HidDriver::PollNow() {
    std::unique_lock lock(m_monitorMutex);
    if (!m_monitorRunning || m_stopMonitor)
        return;
    const uint64_t generation = ++m_pollRequested;
    m_wake.notify_all();
    m_pollDone.wait(lock,
                    [&] { return m_pollCompleted >= generation || !m_monitorRunning || m_stopMonitor; });
}

uint64_t HidDriver::PollCount() const {
    std::lock_guard lock(m_monitorMutex);
    return m_polls;
}

void HidDriver::PostPlug(bool arrived) {
    if (m_host.post)
        m_host.post(m_window, m_plugMessage, arrived ? 1 : 0, 0);
}

bool HidDriver::IsPresent() {
    return !m_backend.enumerate(m_vendorId, m_productId).empty();
}

bool HidDriver::OpenReportDevice() {
    std::lock_guard lock(m_reportMutex);
    // A second open replaces the first: after a quick replug the old handle belongs to a node that
    // no longer exists.
    if (m_report != nullptr) {
        m_backend.close(m_report);
        m_report = nullptr;
    }
    const std::vector<DeviceEntry> entries = m_backend.enumerate(m_vendorId, m_productId);
    const DeviceEntry* chosen = ChooseReportInterface(entries);
    if (chosen == nullptr) {
        m_openFailure = OpenFailure::NotFound;
        return false;
    }
    OpenFailure failure = OpenFailure::None;
    m_report = m_backend.open(chosen->path, failure);
    m_openFailure = m_report != nullptr ? OpenFailure::None
                                        : (failure == OpenFailure::None ? OpenFailure::Other : failure);
    return m_report != nullptr;
}

void HidDriver::CloseReportDevice() {
    std::lock_guard lock(m_reportMutex);
    if (m_report != nullptr)
        m_backend.close(m_report);
    m_report = nullptr;
}

OpenFailure HidDriver::LastOpenFailure() const {
    std::lock_guard lock(m_reportMutex);
    return m_openFailure;
}

int HidDriver::Write(const uint8_t* report, int length) {
    if (report == nullptr || length <= 0)
        return -1;
    std::lock_guard lock(m_reportMutex);
    if (m_report == nullptr)
        return -1;
    return m_backend.write(m_report, report, static_cast<size_t>(length));
}

int HidDriver::Read(uint8_t* buffer, int length) {
    if (buffer == nullptr || length <= 0)
        return -1;
    std::lock_guard lock(m_reportMutex);
    if (m_report == nullptr)
        return -1;
    return m_backend.read(m_report, buffer, static_cast<size_t>(length), 0);
}

}  // namespace quillon::hid
