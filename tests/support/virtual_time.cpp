#include "support/virtual_time.h"

#include <algorithm>
#include <chrono>
#include <numeric>

namespace quillon::test {

// The members are ready before `m_installed` (declared last) makes this object the seam.
VirtualTime::VirtualTime() : m_installed(ScopedServices::Set{this, this, nullptr, nullptr, {}}) {}

VirtualTime::~VirtualTime() = default;

std::uint64_t VirtualTime::Ticks() const {
    std::lock_guard lock(m_mutex);
    return m_now;
}

void VirtualTime::Sleep(std::uint32_t milliseconds) {
    {
        std::lock_guard lock(m_mutex);
        if (m_sleepsMoveClock == SleepsMoveClock::Yes)
            m_now += milliseconds;
        m_sleeps.push_back(milliseconds);
    }
    m_slept.notify_all();
}

TimerId VirtualTime::StartTimer(std::uint32_t periodMs, std::function<void()> callback) {
    std::lock_guard lock(m_mutex);
    const TimerId id = m_nextId++;
    // A zero period would fire forever within one Advance.
    const std::uint32_t period = std::max<std::uint32_t>(periodMs, 1);
    m_timers.emplace(id, Timer{m_now + period, period, m_nextOrder++,
                               std::make_shared<std::function<void()>>(std::move(callback))});
    return id;
}

void VirtualTime::StopTimer(TimerId id) {
    std::lock_guard lock(m_mutex);
    m_timers.erase(id);
}

void VirtualTime::Advance(std::uint64_t milliseconds) {
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_now + milliseconds;
    for (;;) {
        auto next = m_timers.end();
        for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
            if (it->second.due > target)
                continue;
            if (next == m_timers.end() ||
                std::tie(it->second.due, it->second.order) < std::tie(next->second.due, next->second.order))
                next = it;
        }
        if (next == m_timers.end())
            break;
        Timer& timer = next->second;
        m_now = std::max(m_now, timer.due);
        // Rescheduled before the call, so that the callback may stop or restart its own timer.
        // Counting from the due time rather than from now makes a timer that fell behind while
        // another thread slept catch up on every period it missed, as the idle UI thread would
        // have fired it meanwhile.
        timer.due += timer.period;
        const std::shared_ptr<std::function<void()>> callback = timer.callback;
        lock.unlock();
        (*callback)();
        lock.lock();
    }
    m_now = std::max(m_now, target);
}

std::size_t VirtualTime::ActiveTimers() const {
    std::lock_guard lock(m_mutex);
    return m_timers.size();
}

std::int64_t VirtualTime::UntilNextTimer() const {
    std::lock_guard lock(m_mutex);
    if (m_timers.empty())
        return -1;
    std::uint64_t due = UINT64_MAX;
    for (const auto& [id, timer] : m_timers)
        due = std::min(due, timer.due);
    return due <= m_now ? 0 : static_cast<std::int64_t>(due - m_now);
}

std::vector<std::uint32_t> VirtualTime::Sleeps() const {
    std::lock_guard lock(m_mutex);
    return m_sleeps;
}

std::uint64_t VirtualTime::SleptTotal() const {
    std::lock_guard lock(m_mutex);
    return std::accumulate(m_sleeps.begin(), m_sleeps.end(), std::uint64_t{0});
}

void VirtualTime::SetSleepsMoveClock(SleepsMoveClock mode) {
    std::lock_guard lock(m_mutex);
    m_sleepsMoveClock = mode;
}

void VirtualTime::ClearSleeps() {
    std::lock_guard lock(m_mutex);
    m_sleeps.clear();
}

bool VirtualTime::WaitForSleeps(std::size_t count, int realTimeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_slept.wait_for(lock, std::chrono::milliseconds(realTimeoutMs),
                            [&] { return m_sleeps.size() >= count; });
}

}  // namespace quillon::test
