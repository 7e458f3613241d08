#pragma once
// The apply: writing the changed parts of the selected profile to the mouse.
//
// The mouse answers nothing, so the apply paces its writes instead: 1000 ms after every frame, 200 ms
// after each half of a macro frame and 500 ms more after each macro chunk; a full rewrite therefore
// takes seconds and runs on the worker thread. It works on a snapshot of the selected record, the
// `AppliedCopy` and `full_write_pending` that the UI thread takes at its start, and the UI thread
// commits the result at its end, so edits made meanwhile go out with the next apply and the
// profile list is only ever touched (and saved) on the UI thread.
//
//     ApplySequence apply(profiles, writer, watchdogs, controls);   // on the UI thread
//     DeviceLinks links(mainWindow, view, [&](WPARAM, LPARAM) { apply.Apply(); });
//     ...
//     apply.BeginShutdown();    // UI thread, before waiting for the worker
//     links.Shutdown();         // the worker drops what a running apply has left and ends
//     apply.RunPendingUiSteps(); profiles.SaveOnExit();
//
// An apply that finds no awake link drops its frames (the waits still happen), saves the store
// but leaves the changes marked as unsent; status handling asks for a new apply once a link wakes.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <thread>

#include "core/protocol/frames.h"
#include "core/store/profile_state.h"
#include "device/link.h"
#include "platform/clock.h"
#include "platform/message_window.h"

namespace quillon {

// Pacing of the writes, in milliseconds.
inline constexpr std::uint32_t kFramePauseMs = 1000;
inline constexpr std::uint32_t kMacroHalfPauseMs = 200;
inline constexpr std::uint32_t kMacroChunkPauseMs = 500;

// The window timer that gathers quick edits into one apply, and its two periods.
inline constexpr std::uint32_t kSliderDebounceMs = 500;
inline constexpr std::uint32_t kLightEffectDebounceMs = 200;

// The links as the apply sees them; the device links implement it. Read from the worker while the
// UI thread changes them.
class ReportLinks {
public:
    virtual ~ReportLinks() = default;
    virtual LinkState State(Link link) const = 0;
    virtual bool IsAwake(Link link) const = 0;
    // Writes one 64-byte report with the link's WriteUSB; false when the link was closed meanwhile
    // and nothing reached the driver.
    virtual bool WriteReport(Link link, const Report& report) = 0;
};

// The link watchdogs (timers 512 and 518), which must not expire while an apply keeps the mouse
// busy; status handling implements it.
class LinkWatchdogs {
public:
    virtual ~LinkWatchdogs() = default;
    virtual void StopWatchdogs() = 0;
    virtual void RestartWatchdogs() = 0;  // both with 6000 ms
};

// The one control the apply shows: "apply_ring", which a layout may lack.
class ApplyRingControl {
public:
    virtual ~ApplyRingControl() = default;
    // Shows or hides the control; false when the layout has no such control.
    virtual bool SetApplyRingVisible(bool visible) = 0;
};

// Work that the worker hands to the UI thread. Created on the UI thread, which it then treats as
// the UI thread; the work runs from the event loop through a message window of its own.
class UiThreadCalls {
public:
    UiThreadCalls();
    ~UiThreadCalls();
    UiThreadCalls(const UiThreadCalls&) = delete;
    UiThreadCalls& operator=(const UiThreadCalls&) = delete;

    // Queues `work` for the UI thread. Any thread.
    void Post(std::function<void()> work);
    // Runs `work` on the UI thread and waits until it has run: at once when called there, else
    // from the event loop. False, with `work` not run, once BeginShutdown was called.
    bool Run(const std::function<void()>& work);
    // UI thread: releases a worker waiting in Run and refuses further Runs, so that the UI thread
    // may then wait for the worker without either waiting for the other.
    void BeginShutdown();
    // UI thread: runs the work queued so far.
    void RunPending();
    // Whether work is queued for the UI thread.
    bool HasPending();

    bool IsUiThread() const { return std::this_thread::get_id() == m_uiThread; }

private:
    struct Pending;

    std::thread::id m_uiThread;
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::deque<std::shared_ptr<Pending>> m_queue;
    bool m_shuttingDown = false;
    std::unique_ptr<MessageWindow> m_window;
};

// What one apply did, for tests and traces.
struct ApplyResult {
    bool ran = false;               // false when shut-down stopped it before it began
    std::size_t framesSent = 0;     // frames written on a link
    std::size_t framesDropped = 0;  // frames that found no awake link
};

class ApplySequence {
public:
    // All references must outlive the sequence. `clock` paces the writes (the process-wide clock
    // when null).
    ApplySequence(ProfileState& profiles, ReportLinks& links, LinkWatchdogs& watchdogs,
                  ApplyRingControl& ring, Clock* clock = nullptr);

    // Sends what changed, as described above. Worker thread (or the UI thread, where the UI steps
    // run inline). One apply at a time: the worker's queue serialises them.
    ApplyResult Apply();

    // Writes one frame on the awake link (wired before 2.4 GHz) and waits; without an awake link
    // the frame is dropped and the wait still happens. Returns whether the frame was written. The
    // link is chosen once, before the first report: both halves of a frame go the same way, and a
    // link whose mouse falls asleep meanwhile never hands the frame to a link that is not awake.
    bool SendFrame(const Frame& frame);

    // UI thread, before waiting for the worker: an apply waiting for the UI thread is released and
    // a running one writes no further frame (they count as dropped, so the changes stay unsent).
    void BeginShutdown() {
        m_stopping = true;
        m_ui.BeginShutdown();
    }
    void RunPendingUiSteps() { m_ui.RunPending(); }
    // Frames due at or after `ticks` (the clock's) are not written: they count as dropped, so the
    // changes stay unsent. Bounds the wait for an apply when the program ends.
    void StopAt(std::uint64_t ticks) { m_stopAt = ticks; }
    // Whether an apply's last steps still wait for the UI thread.
    bool HasPendingUiSteps() { return m_ui.HasPending(); }

private:
    std::optional<Link> AwakeLink() const;

    ProfileState& m_profiles;
    ReportLinks& m_links;
    LinkWatchdogs& m_watchdogs;
    ApplyRingControl& m_ring;
    Clock* m_clock;
    UiThreadCalls m_ui;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::uint64_t> m_stopAt{UINT64_MAX};
};

// Apply requests from the page: at once, or after a quiet spell so that a slider dragged over many
// values leads to one apply. Posts MSG_APPLY_REQUEST to the main window, which hands it back to the
// device links for the worker. UI thread.
class ApplyRequests {
public:
    explicit ApplyRequests(MessageWindow& mainWindow) : m_window(mainWindow) {}

    void RequestNow();
    // Restarts timer 513: only the last of several quick changes counts.
    void RequestAfter(std::uint32_t milliseconds);
    // The page's timer handler passes timer 513 here; returns false for other timers.
    bool OnTimer(UINT_PTR id);

private:
    MessageWindow& m_window;
};

}  // namespace quillon
