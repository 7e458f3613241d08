#include "device/apply.h"

#include "core/protocol/apply_plan.h"
#include "platform/services.h"

namespace quillon {

namespace {

// Posted to the UI-thread calls' own window when work is queued.
constexpr UINT kRunUiWork = WM_APP + 0x51;

}  // namespace

struct UiThreadCalls::Pending {
    std::function<void()> work;
    bool waited = false;  // a worker waits in Run for it
    bool done = false;
    bool abandoned = false;
};

UiThreadCalls::UiThreadCalls()
    : m_uiThread(std::this_thread::get_id()),
      m_window(std::make_unique<MessageWindow>([this](UINT message, WPARAM, LPARAM) -> LRESULT {
          if (message == kRunUiWork)
              RunPending();
          return 0;
      })) {}

UiThreadCalls::~UiThreadCalls() {
    BeginShutdown();
    m_window.reset();
}

void UiThreadCalls::Post(std::function<void()> work) {
    auto pending = std::make_shared<Pending>();
    pending->work = std::move(work);
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(pending));
    }
    m_window->PostMessage(kRunUiWork, 0, 0);
}

bool UiThreadCalls::Run(const std::function<void()>& work) {
    if (IsUiThread()) {
        if (m_shuttingDown)
            return false;
        work();
        return true;
    }
    auto pending = std::make_shared<Pending>();
    pending->work = work;
    pending->waited = true;
    std::unique_lock lock(m_mutex);
    if (m_shuttingDown)
        return false;
    m_queue.push_back(pending);
    lock.unlock();
    m_window->PostMessage(kRunUiWork, 0, 0);
    lock.lock();
    m_done.wait(lock, [&] { return pending->done || pending->abandoned; });
    return pending->done;
}

void UiThreadCalls::BeginShutdown() {
    std::lock_guard lock(m_mutex);
    m_shuttingDown = true;
    // Work that a worker waits for is given up: the worker must not wait for a UI thread that is
    // about to wait for it. Work merely posted stays queued for a last RunPending.
    for (const auto& pending : m_queue) {
        if (pending->waited && !pending->done)
            pending->abandoned = true;
    }
    m_done.notify_all();
}

bool UiThreadCalls::HasPending() {
    std::lock_guard lock(m_mutex);
    return !m_queue.empty();
}

void UiThreadCalls::RunPending() {
    for (;;) {
        std::shared_ptr<Pending> pending;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty())
                return;
            pending = std::move(m_queue.front());
            m_queue.pop_front();
            if (pending->abandoned)
                continue;
        }
        // Runs without the lock, so that the work may post further work.
        pending->work();
        {
            std::lock_guard lock(m_mutex);
            pending->done = true;
        }
        m_done.notify_all();
    }
}

ApplySequence::ApplySequence(ProfileState& profiles, ReportLinks& links, LinkWatchdogs& watchdogs,
                             ApplyRingControl& ring, Clock* clock)
    : m_profiles(profiles), m_links(links), m_watchdogs(watchdogs), m_ring(ring), m_clock(clock) {}

ApplyResult ApplySequence::Apply() {
    ApplyResult result;
    Clock& clock = m_clock ? *m_clock : services().clock();

    // Before the first frame, on the UI thread: the watchdogs must not take the busy mouse for
    // asleep, the user sees that an apply runs, and the apply's view of the profile is fixed.
    auto snapshot = std::make_shared<ApplySnapshot>();
    auto ringShown = std::make_shared<bool>(false);
    const bool started = m_ui.Run([&] {
        m_watchdogs.StopWatchdogs();
        *ringShown = m_ring.SetApplyRingVisible(true);
        *snapshot = m_profiles.TakeApplySnapshot();
    });
    if (!started)
        return result;
    result.ran = true;

    const DirtySet dirty = ComputeDirtySet(*snapshot->record, *snapshot->applied, snapshot->fullWrite);
    ForEachApplyFrame(*snapshot->record, dirty, snapshot->fullWrite, [&](FrameKind kind, const Frame& frame) {
        if (m_stopping || clock.Ticks() >= m_stopAt) {
            ++result.framesDropped;
            return;
        }
        if (SendFrame(frame))
            ++result.framesSent;
        else
            ++result.framesDropped;
        if (kind == FrameKind::MacroChunk)
            clock.Sleep(kMacroChunkPauseMs);
    });

    // After the last frame, again on the UI thread. The worker does not wait for it: at shut-down
    // the UI thread runs it after the worker has ended.
    const ApplyDelivery delivery =
        result.framesDropped == 0 ? ApplyDelivery::Complete : ApplyDelivery::Dropped;
    m_ui.Post([this, snapshot, ringShown, delivery] {
        m_watchdogs.RestartWatchdogs();
        m_profiles.FinishApply(std::move(*snapshot), delivery);
        if (*ringShown)
            m_ring.SetApplyRingVisible(false);
    });
    if (m_ui.IsUiThread())
        m_ui.RunPending();
    return result;
}

std::optional<Link> ApplySequence::AwakeLink() const {
    for (Link link : {Link::Wired, Link::Wireless}) {
        if (m_links.State(link) == LinkState::Open && m_links.IsAwake(link))
            return link;
    }
    return std::nullopt;
}

bool ApplySequence::SendFrame(const Frame& frame) {
    Clock& clock = m_clock ? *m_clock : services().clock();
    bool written = false;
    if (const std::optional<Link> link = AwakeLink()) {
        const WrappedReports wrapped = WrapReports(frame);
        const bool halves = wrapped.count == 2;
        written = wrapped.count > 0;
        for (const Report& report : wrapped.used()) {
            written = m_links.WriteReport(*link, report) && written;
            if (halves)
                clock.Sleep(kMacroHalfPauseMs);
        }
    }
    clock.Sleep(kFramePauseMs);
    return written;
}

void ApplyRequests::RequestNow() {
    m_window.PostMessage(MSG_APPLY_REQUEST, 0, 0);
}

void ApplyRequests::RequestAfter(std::uint32_t milliseconds) {
    m_window.KillTimer(TIMER_APPLY_DEBOUNCE);
    m_window.SetTimer(TIMER_APPLY_DEBOUNCE, milliseconds);
}

bool ApplyRequests::OnTimer(UINT_PTR id) {
    if (id != TIMER_APPLY_DEBOUNCE)
        return false;
    m_window.KillTimer(TIMER_APPLY_DEBOUNCE);
    RequestNow();
    return true;
}

}  // namespace quillon
