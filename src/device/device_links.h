#pragma once
// The device links and the worker: the part of the settings page that owns the two driver
// libraries, the states of the wired, 2.4 GHz and BLE links, and the worker thread that performs
// every write to the mouse.
//
//     DeviceLinks links(mainWindow, view, apply);   // nothing happens yet
//     links.Start();                                 // worker, libraries, links, MSG_DEVICE_CHANGED
//     links.HandleDeviceMessage(msg, wParam, lParam);  // plug messages and MSG_APPLY_REQUEST
//     links.Shutdown();                              // also done by the destructor
//
// Threads: everything here runs on the UI thread except the worker's loop, which calls the apply
// task, which in turn writes through WriteReport. A write and a close of the same link take the
// link's lock, so a write never reaches a link that is being closed; the link states are atomics
// that the worker reads and the UI thread alone changes.
//
// Plug handling defers the reopen after an arrival by one second with a timer, so the UI thread
// never blocks; a second arrival meanwhile is ignored, and a removal cancels it. An open that fails
// is tried again after 2 s and then 4 s more (udev may not have applied the permission rule yet);
// a link whose last try fails stays closed, with the reason kept in OpenError.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>

#include "device/apply.h"
#include "device/driver_api.h"
#include "device/link.h"
#include "platform/message_window.h"
#include "platform/thread_queue.h"
#include "platform/timer_service.h"

namespace quillon {

inline constexpr UINT kWatchdogMs = 6000;
// The waits before each try to reopen a link after an arrival: the device settles for a second,
// and the permission rule that udev applies to a new device node may take longer, so an open that
// fails is tried again after growing waits before its reason is reported.
inline constexpr std::uint32_t kReopenDelayMs = 1000;
inline constexpr std::array<std::uint32_t, 3> kReopenWaitsMs = {kReopenDelayMs, 2000, 4000};

inline constexpr int kWiredVendorId = 0x1D57;
inline constexpr int kWiredProductId = 0xFA7F;
inline constexpr int kWirelessVendorId = 0x1D57;
inline constexpr int kWirelessProductId = 0xFA65;

// What the links change in what the page shows. The status handling implements it and decides
// how the page's controls follow.
class LinkView {
public:
    virtual ~LinkView() = default;
    // "ms_1_wired" or "ms_1_wireless".
    virtual void SetLinkIndicatorVisible(Link link, bool visible) = 0;
    // "ms_1_sleep_label".
    virtual void SetSleepNoticeVisible(bool visible) = 0;
    enum class ChargeAnimation { Continue, Restart };
    // The power label shows "charging_text" and the charging animation runs (timer 515).
    virtual void ShowCharging(ChargeAnimation animation) = 0;
    // The power label leaves language-key mode and shows nothing.
    virtual void ClearPowerLabel() = 0;
    // Re-evaluates the settings sections that depend on the links.
    virtual void RefreshLinkSections() = 0;
};

// The work the worker does for THREAD_MSG_APPLY, with the parameters the request carried. Runs on
// the worker thread; it writes through DeviceLinks::WriteReport.
using ApplyTask = std::function<void(WPARAM wParam, LPARAM lParam)>;

// Loads one driver library by file name; production loads it from the program folder.
using DriverLoader = std::function<DriverLibrary(const char* fileName)>;
DriverLibrary LoadFromProgramFolder(const char* fileName);

// The lock a write and a close of one link take. It can tell when a thread finds it taken and has
// to wait, so that a test can hold a write until the close of its link is waiting for it.
class LinkLock {
public:
    void lock() {
        if (m_mutex.try_lock())
            return;
        if (m_onWait)
            m_onWait();
        m_mutex.lock();
    }
    void unlock() { m_mutex.unlock(); }
    // Called, on the waiting thread, before it waits. Set before the lock is first used.
    void SetWaitObserver(std::function<void()> observer) { m_onWait = std::move(observer); }

private:
    std::mutex m_mutex;
    std::function<void()> m_onWait;
};

class DeviceLinks {
public:
    DeviceLinks(MessageWindow& mainWindow, LinkView& view, ApplyTask apply,
                DriverLoader loader = LoadFromProgramFolder);
    ~DeviceLinks();
    DeviceLinks(const DeviceLinks&) = delete;
    DeviceLinks& operator=(const DeviceLinks&) = delete;

    // Page start-up: creates the worker, loads the wired then the 2.4 GHz library, opens the
    // wired then the 2.4 GHz link, and posts MSG_DEVICE_CHANGED.
    void Start();
    // Page shut-down: the worker ends first (a running apply completes, however long it takes),
    // then both links are closed, wired first, and both libraries released. Idempotent.
    void Shutdown();

    // The page's device-message handler for the plug messages and MSG_APPLY_REQUEST (status
    // reports 0x601 / 0x603 belong to the status handling). Returns false for other messages.
    bool HandleDeviceMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnWiredPlug(WPARAM arrived);
    void OnWirelessPlug(WPARAM arrived);
    // The Bluetooth LE channel subscribed to the mouse (Open) or lost it (Removed). The
    // mouse is present while the channel has it; without an awake cable or receiver link its loss
    // shows the sleep notice.
    void SetBleState(LinkState state);

    // Worker thread: writes one 64-byte output report on the link. Returns the driver's result,
    // or -1 without calling it when the link is not open (or is being closed).
    int WriteReport(Link link, std::span<const std::uint8_t, 64> report);

    LinkState wired_state() const { return m_state[0]; }
    LinkState wireless_state() const { return m_state[1]; }
    LinkState ble_state() const { return m_bleState; }
    LinkState State(Link link) const { return m_state[Index(link)]; }
    bool AnyLinkOpen() const;

    // Whether the link's mouse is sending: the status handling wakes a link on its mouse's power
    // report and puts it to sleep when its watchdog expires; closing a link puts it to sleep too.
    // Any thread reads.
    bool IsAwake(Link link) const { return m_awake[Index(link)] != 0; }
    void SetAwake(Link link, bool awake) { m_awake[Index(link)] = awake ? 1 : 0; }

    int device_present() const { return m_devicePresent; }

    // Why the link's last open failed (QUILLON_OPEN_*), when its library tells; QUILLON_OPEN_OK
    // after a successful open or when the library cannot say. Lets the main window tell a user who
    // lacks access to the device how to get it, instead of showing no mouse at all.
    int OpenError(Link link) const { return m_openError[Index(link)]; }

    const DriverApi& Api(Link link) const { return m_libraries[Index(link)].api; }
    bool ReopenPending(Link link) const { return m_reopenTimer[Index(link)] != 0; }
    // Called when a thread finds the link's lock taken (a close waiting for a write, or the other
    // way round). Before Start.
    void SetLinkLockWaitObserver(Link link, std::function<void()> observer) {
        m_linkLock[Index(link)].SetWaitObserver(std::move(observer));
    }
    // Whether an apply request is waiting for the worker or its apply runs. UI thread.
    bool ApplyQueuedOrRunning() const { return m_appliesOutstanding > 0; }
    // Whether a link is open and its mouse awake: an apply now would reach the mouse.
    bool AnyLinkAwake() const;
    // Messages waiting for the worker (including WM_QUIT once shut-down began).
    std::size_t PendingWorkerMessages() const { return m_queue.size(); }

private:
    static std::size_t Index(Link link) { return static_cast<std::size_t>(link); }
    void WorkerLoop();
    bool OpenLink(Link link);
    void CloseLink(Link link);
    void ScheduleReopen(Link link, std::size_t attempt = 0);
    void CancelReopen(Link link);
    void OnReopenTimer(Link link, std::size_t attempt);
    void OnWiredReopened();
    void OnWirelessReopened();
    enum class PostChange { IfChanged, Always };
    void UpdateDevicePresent(PostChange post);
    enum class LastTry { No, Yes };
    bool ReopenLink(Link link, LastTry last);
    void RecordOpenError(Link link, bool opened);

    MessageWindow& m_window;
    LinkView& m_view;
    ApplyTask m_apply;
    DriverLoader m_loader;

    ThreadMessageQueue m_queue;
    std::thread m_worker;
    bool m_started = false;
    bool m_shutDown = false;

    std::array<DriverLibrary, 2> m_libraries;
    std::array<std::atomic<LinkState>, 2> m_state{LinkState::NotOpen, LinkState::NotOpen};
    std::array<std::atomic<int>, 2> m_awake{};
    std::atomic<LinkState> m_bleState{LinkState::NotOpen};
    // Apply requests handed to the worker and not yet finished (or dropped) by it.
    std::atomic<int> m_appliesOutstanding{0};
    int m_devicePresent = 0;
    std::array<int, 2> m_openError{};
    std::array<TimerId, 2> m_reopenTimer{};
    // Taken by every write and every close of the link.
    std::array<LinkLock, 2> m_linkLock;
};

// The device links as the apply writes through them.
class DeviceReportLinks final : public ReportLinks {
public:
    explicit DeviceReportLinks(DeviceLinks& links) : m_links(links) {}
    LinkState State(Link link) const override { return m_links.State(link); }
    bool IsAwake(Link link) const override { return m_links.IsAwake(link); }
    bool WriteReport(Link link, const Report& report) override;

private:
    DeviceLinks& m_links;
};

}  // namespace quillon
