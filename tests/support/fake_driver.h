#pragma once
// A driver library copy without hardware, for every test that drives the device links.
//
//     CallJournal journal;
//     FakeDriver wired(journal, "wired"), wireless(journal, "wireless");
//     DeviceLinks links(window, view, apply, FakeDriverLoader({&wired, &wireless}));
//     links.Start();
//     wired.Plug(false);                      // posts the plug message, as the monitor would
//     wireless.SendReport(MakePowerStatus(1, 80));
//     wired.Written();                        // every 64-byte report the program wrote
//     journal.Entries();                      // "wired.Open_ReportDevice", ... in call order
//
// The exports are plain C functions, as the real plugin's are: each fake takes one of a few fixed
// slots of C trampolines, so at most kFakeDriverSlots fakes live at once.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "device/driver_api.h"

namespace quillon::test {

inline constexpr int kFakeDriverSlots = 4;

// Calls of several fakes in one order, to check what happens before what across libraries.
class CallJournal {
public:
    void Add(std::string entry);
    std::vector<std::string> Entries() const;
    // Entries starting with `prefix` ("wired." for one library's calls).
    std::vector<std::string> Matching(const std::string& prefix) const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_entries;
};

class FakeDriver {
public:
    FakeDriver(CallJournal& journal, std::string name);
    ~FakeDriver();
    FakeDriver(const FakeDriver&) = delete;
    FakeDriver& operator=(const FakeDriver&) = delete;

    const std::string& name() const { return m_name; }
    // The complete table of exports, including Get_OpenError unless `offerOpenError` is false.
    DriverApi Api() const;
    DriverLibrary Library() const;

    // What Open_ReportDevice returns, and what Get_OpenError tells after it returned 0.
    void SetOpenResult(int result, int openError = QUILLON_OPEN_NOT_FOUND);
    bool offerOpenError = true;
    // Called inside WriteUSB (on the program's worker thread) after the report is recorded.
    std::function<void()> onWrite;

    // As the monitor: posts the plug message (1 arrived, 0 left) or one input report to the window
    // given to Open_DevMonitor. Any thread. False when no monitor is open.
    bool Plug(bool arrived);
    bool SendReport(std::span<const std::uint8_t> report);

    std::vector<std::array<std::uint8_t, 64>> Written() const;
    bool ReportDeviceOpen() const;
    bool MonitorOpen() const;
    // Reports WriteUSB received while the report device was closed: always a fault of the caller.
    int WritesWhileClosed() const;

    // Makes the next WriteUSB block (after recording its report) until Close_FeatureDevice or
    // Close_ReportDevice arrives from another thread, or ReleaseHeldWrite is called. A close that
    // arrives while a write is inside the library is an overlap, counted by ClosesDuringWrite.
    void HoldNextWriteUntilClose();
    // Waits until the held write is inside the library.
    void WaitForHeldWrite();
    void ReleaseHeldWrite();
    int ClosesDuringWrite() const;
    int vendorId() const;
    int productId() const;
    QuillonWindow window() const;
    std::uint32_t dataMessage() const;
    std::uint32_t plugMessage() const;

    // The trampolines' way in; not for tests.
    void Call(const char* what);
    void SetIds(int vendorId, int productId);
    void OpenMonitor(QuillonWindow window, std::uint32_t dataMessage, std::uint32_t plugMessage);
    void CloseMonitor();
    int OpenReport();
    void CloseFeature();
    void CloseReport();
    int Write(const std::uint8_t* report, int length);
    int OpenError();

private:
    void NoteClose();

    CallJournal& m_journal;
    std::string m_name;
    int m_slot = -1;
    mutable std::mutex m_mutex;
    int m_openResult = 1;
    int m_openError = QUILLON_OPEN_OK;
    int m_lastOpenError = QUILLON_OPEN_OK;
    int m_vendorId = 0;
    int m_productId = 0;
    QuillonWindow m_window = nullptr;
    std::uint32_t m_dataMessage = 0;
    std::uint32_t m_plugMessage = 0;
    bool m_monitorOpen = false;
    bool m_reportOpen = false;
    int m_writesWhileClosed = 0;
    int m_writesInProgress = 0;
    int m_closesDuringWrite = 0;
    bool m_holdWrites = false;
    bool m_writeHeld = false;
    bool m_heldWriteReleased = false;
    std::condition_variable m_holdChanged;
    std::vector<std::array<std::uint8_t, 64>> m_written;
};

// A loader for DeviceLinks: hiddriver_4k_1.so is the first fake, hiddriver_4k_2.so the second;
// a null entry stands for a library that is missing.
std::function<DriverLibrary(const char*)> FakeDriverLoader(FakeDriver* wired, FakeDriver* wireless);

}  // namespace quillon::test
