#include "support/fake_driver.h"

#include <atomic>
#include <cstring>
#include <stdexcept>

#include "platform/message_window.h"

namespace quillon::test {

void CallJournal::Add(std::string entry) {
    std::lock_guard lock(m_mutex);
    m_entries.push_back(std::move(entry));
}

std::vector<std::string> CallJournal::Entries() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
}

std::vector<std::string> CallJournal::Matching(const std::string& prefix) const {
    std::vector<std::string> result;
    for (const std::string& entry : Entries())
        if (entry.rfind(prefix, 0) == 0)
            result.push_back(entry);
    return result;
}

namespace {

std::array<std::atomic<FakeDriver*>, kFakeDriverSlots> g_slots{};

template <int Slot> struct Trampolines {
    static FakeDriver& Fake() { return *g_slots[Slot].load(); }
    static void Set_VIDPID(int vendorId, int productId) { Fake().SetIds(vendorId, productId); }
    static void Open_DevMonitor(QuillonWindow window, uint32_t data, uint32_t plug) {
        Fake().OpenMonitor(window, data, plug);
    }
    static void Close_DevMonitor() { Fake().CloseMonitor(); }
    static int Open_FeatureDevice() {
        Fake().Call("Open_FeatureDevice");
        return 1;
    }
    static void Close_FeatureDevice() { Fake().CloseFeature(); }
    static int SetFeature(uint8_t*, int) {
        Fake().Call("SetFeature");
        return -1;
    }
    static int GetFeature(uint8_t*, int) {
        Fake().Call("GetFeature");
        return -1;
    }
    static int Open_ReportDevice() { return Fake().OpenReport(); }
    static void Close_ReportDevice() { Fake().CloseReport(); }
    static int WriteUSB(const uint8_t* report, int length) { return Fake().Write(report, length); }
    static int ReadUSB(uint8_t*, int) {
        Fake().Call("ReadUSB");
        return -1;
    }
    static int Get_OpenError() { return Fake().OpenError(); }

    static DriverApi Table() {
        DriverApi api;
        api.Set_VIDPID = &Set_VIDPID;
        api.Open_DevMonitor = &Open_DevMonitor;
        api.Close_DevMonitor = &Close_DevMonitor;
        api.Open_FeatureDevice = &Open_FeatureDevice;
        api.Close_FeatureDevice = &Close_FeatureDevice;
        api.SetFeature = &SetFeature;
        api.GetFeature = &GetFeature;
        api.Open_ReportDevice = &Open_ReportDevice;
        api.Close_ReportDevice = &Close_ReportDevice;
        api.WriteUSB = &WriteUSB;
        api.ReadUSB = &ReadUSB;
        api.Get_OpenError = &Get_OpenError;
        return api;
    }
};

DriverApi TableForSlot(int slot) {
    switch (slot) {
    case 0:
        return Trampolines<0>::Table();
    case 1:
        return Trampolines<1>::Table();
    case 2:
        return Trampolines<2>::Table();
    default:
        return Trampolines<3>::Table();
    }
}

}  // namespace

FakeDriver::FakeDriver(CallJournal& journal, std::string name) : m_journal(journal), m_name(std::move(name)) {
    for (int slot = 0; slot < kFakeDriverSlots; ++slot) {
        FakeDriver* expected = nullptr;
        if (g_slots[static_cast<std::size_t>(slot)].compare_exchange_strong(expected, this)) {
            m_slot = slot;
            return;
        }
    }
    throw std::logic_error("more fake drivers alive than trampoline slots");
}

FakeDriver::~FakeDriver() {
    g_slots[static_cast<std::size_t>(m_slot)] = nullptr;
}

DriverApi FakeDriver::Api() const {
    DriverApi api = TableForSlot(m_slot);
    if (!offerOpenError)
        api.Get_OpenError = nullptr;
    return api;
}

DriverLibrary FakeDriver::Library() const {
    DriverLibrary library;
    library.api = Api();
    return library;
}

void FakeDriver::SetOpenResult(int result, int openError) {
    std::lock_guard lock(m_mutex);
    m_openResult = result;
    m_openError = openError;
}

void FakeDriver::Call(const char* what) {
    m_journal.Add(m_name + "." + what);
}

void FakeDriver::SetIds(int vendorId, int productId) {
    Call("Set_VIDPID");
    std::lock_guard lock(m_mutex);
    m_vendorId = vendorId;
    m_productId = productId;
}

void FakeDriver::OpenMonitor(QuillonWindow window, std::uint32_t dataMessage, std::uint32_t plugMessage) {
    Call("Open_DevMonitor");
    std::lock_guard lock(m_mutex);
    m_window = window;
    m_dataMessage = dataMessage;
    m_plugMessage = plugMessage;
    m_monitorOpen = true;
}

void FakeDriver::CloseMonitor() {
    Call("Close_DevMonitor");
    std::lock_guard lock(m_mutex);
    m_monitorOpen = false;
}

int FakeDriver::OpenReport() {
    Call("Open_ReportDevice");
    std::lock_guard lock(m_mutex);
    m_reportOpen = m_openResult != 0;
    m_lastOpenError = m_reportOpen ? QUILLON_OPEN_OK : m_openError;
    return m_openResult;
}

void FakeDriver::NoteClose() {
    std::lock_guard lock(m_mutex);
    if (m_writesInProgress > 0) {
        ++m_closesDuringWrite;
        m_holdChanged.notify_all();
    }
}

void FakeDriver::CloseFeature() {
    Call("Close_FeatureDevice");
    NoteClose();
}

void FakeDriver::CloseReport() {
    Call("Close_ReportDevice");
    NoteClose();
    std::lock_guard lock(m_mutex);
    m_reportOpen = false;
}

int FakeDriver::Write(const std::uint8_t* report, int length) {
    {
        std::unique_lock lock(m_mutex);
        if (!m_reportOpen) {
            ++m_writesWhileClosed;
            return -1;
        }
        std::array<std::uint8_t, 64> copy{};
        std::memcpy(copy.data(), report,
                    std::min<std::size_t>(copy.size(), static_cast<std::size_t>(length)));
        m_written.push_back(copy);
        ++m_writesInProgress;
        if (m_holdWrites) {
            // Held until a close reaches this library or the closing thread waits for the writer.
            m_writeHeld = true;
            m_holdChanged.notify_all();
            m_holdChanged.wait(lock, [&] { return m_closesDuringWrite > 0 || m_heldWriteReleased; });
            m_holdWrites = false;
        }
        --m_writesInProgress;
    }
    if (onWrite)
        onWrite();
    return length;
}

void FakeDriver::HoldNextWriteUntilClose() {
    std::lock_guard lock(m_mutex);
    m_holdWrites = true;
    m_writeHeld = false;
    m_heldWriteReleased = false;
}

void FakeDriver::WaitForHeldWrite() {
    std::unique_lock lock(m_mutex);
    m_holdChanged.wait(lock, [&] { return m_writeHeld; });
}

void FakeDriver::ReleaseHeldWrite() {
    std::lock_guard lock(m_mutex);
    m_heldWriteReleased = true;
    m_holdChanged.notify_all();
}

int FakeDriver::ClosesDuringWrite() const {
    std::lock_guard lock(m_mutex);
    return m_closesDuringWrite;
}

int FakeDriver::OpenError() {
    std::lock_guard lock(m_mutex);
    return m_lastOpenError;
}

bool FakeDriver::Plug(bool arrived) {
    std::lock_guard lock(m_mutex);
    return m_monitorOpen && PostMessage(m_window, m_plugMessage, arrived ? 1 : 0, 0);
}

bool FakeDriver::SendReport(std::span<const std::uint8_t> report) {
    std::lock_guard lock(m_mutex);
    return m_monitorOpen && PostDataMessage(m_window, m_dataMessage, report.data(), report.size(),
                                            static_cast<LPARAM>(report.size()));
}

std::vector<std::array<std::uint8_t, 64>> FakeDriver::Written() const {
    std::lock_guard lock(m_mutex);
    return m_written;
}

bool FakeDriver::ReportDeviceOpen() const {
    std::lock_guard lock(m_mutex);
    return m_reportOpen;
}

bool FakeDriver::MonitorOpen() const {
    std::lock_guard lock(m_mutex);
    return m_monitorOpen;
}

int FakeDriver::WritesWhileClosed() const {
    std::lock_guard lock(m_mutex);
    return m_writesWhileClosed;
}

int FakeDriver::vendorId() const {
    std::lock_guard lock(m_mutex);
    return m_vendorId;
}

int FakeDriver::productId() const {
    std::lock_guard lock(m_mutex);
    return m_productId;
}

QuillonWindow FakeDriver::window() const {
    std::lock_guard lock(m_mutex);
    return m_window;
}

std::uint32_t FakeDriver::dataMessage() const {
    std::lock_guard lock(m_mutex);
    return m_dataMessage;
}

std::uint32_t FakeDriver::plugMessage() const {
    std::lock_guard lock(m_mutex);
    return m_plugMessage;
}

std::function<DriverLibrary(const char*)> FakeDriverLoader(FakeDriver* wired, FakeDriver* wireless) {
    return [wired, wireless](const char* fileName) {
        FakeDriver* fake = std::strcmp(fileName, kWiredDriverFile) == 0      ? wired
                           : std::strcmp(fileName, kWirelessDriverFile) == 0 ? wireless
                                                                             : nullptr;
        return fake != nullptr ? fake->Library() : DriverLibrary{};
    };
}

}  // namespace quillon::test
