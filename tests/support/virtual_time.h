#pragma once
// Virtual time for tests: a Clock and a TimerService in one, installed as the process-wide seams
// for the lifetime of the object.
//
//     VirtualTime time;                 // ticks start at 1,000,000; nothing runs by itself
//     window.SetTimer(513, 500);
//     time.Advance(499);                // nothing yet
//     time.Advance(1);                  // WM_TIMER 513 handled here, on the test's thread
//
// Advancing fires every timer that falls due, in order of due time (timers due at the same moment
// in the order they were started), each at its own moment: `Ticks()` inside a callback is that
// timer's due time. Timers started, restarted or stopped by a callback take effect at once,
// so a timer started by a callback fires within the same Advance when it falls due there.
//
// Sleeps, from any thread, return at once: each is recorded with its length and moves the clock
// forward by it. They fire no timers themselves (the sleeper is usually the worker, not the UI
// thread); the next Advance (or RunDue) fires every period that fell due meanwhile, in order,
// with `Ticks()` then reading the time the sleeps reached.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/services.h"
#include "platform/timer_service.h"

namespace quillon::test {

// Whether sleeps move the clock. A test that times the UI thread precisely while the worker
// sleeps through an apply can keep the worker's sleeps from shifting the UI thread's timeline.
enum class SleepsMoveClock { Yes, No };

class VirtualTime final : public Clock, public TimerService {
public:
    static constexpr std::uint64_t kStart = 1'000'000;

    VirtualTime();
    ~VirtualTime() override;
    VirtualTime(const VirtualTime&) = delete;
    VirtualTime& operator=(const VirtualTime&) = delete;

    // Clock
    std::uint64_t Ticks() const override;
    void Sleep(std::uint32_t milliseconds) override;

    // TimerService
    TimerId StartTimer(std::uint32_t periodMs, std::function<void()> callback) override;
    void StopTimer(TimerId id) override;

    // Moves time forward by `milliseconds`, firing the timers that fall due on the way.
    void Advance(std::uint64_t milliseconds);
    // Fires the timers already due (after sleeps moved the clock).
    void RunDue() { Advance(0); }

    std::size_t ActiveTimers() const;
    // Milliseconds until the next timer falls due, or -1 when none runs.
    std::int64_t UntilNextTimer() const;

    // The lengths of the sleeps so far, in the order they happened.
    std::vector<std::uint32_t> Sleeps() const;
    std::uint64_t SleptTotal() const;
    // Sleeps move the clock unless told otherwise; either way they are recorded.
    void SetSleepsMoveClock(SleepsMoveClock mode);
    void ClearSleeps();
    // Blocks until at least `count` sleeps have happened (another thread sleeping); false when
    // that did not happen within `realTimeoutMs` of real time, which only a hung test reaches.
    bool WaitForSleeps(std::size_t count, int realTimeoutMs = 10000) const;

private:
    struct Timer {
        std::uint64_t due;
        std::uint32_t period;
        std::uint64_t order;  // start order, to keep timers due together in a stable order
        std::shared_ptr<std::function<void()>> callback;
    };

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_slept;
    std::uint64_t m_now = kStart;
    std::map<TimerId, Timer> m_timers;
    TimerId m_nextId = 1;
    std::uint64_t m_nextOrder = 0;
    std::vector<std::uint32_t> m_sleeps;
    SleepsMoveClock m_sleepsMoveClock = SleepsMoveClock::Yes;
    ScopedServices m_installed;
};

}  // namespace quillon::test
