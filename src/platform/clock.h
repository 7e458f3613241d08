#pragma once
// The program's sense of time: a tick count in milliseconds and sleeps.
//
// Everything that measures or waits goes through a Clock so that tests can run it on virtual time
// (tests/support/virtual_time.h): the worker's pacing sleeps, timeouts measured in ticks, and the
// window timers' service beside it. The process-wide clock is `services().clock()` (services.h).

#include <cstdint>

namespace quillon {

class Clock {
public:
    virtual ~Clock() = default;

    // Milliseconds since an arbitrary fixed point (boot for the system clock), never going back.
    virtual std::uint64_t Ticks() const = 0;

    // Blocks the calling thread for `milliseconds`. May be called from any thread.
    virtual void Sleep(std::uint32_t milliseconds) = 0;

    // The 32-bit tick count; it wraps after 49.7 days, so compare two of them by subtraction.
    std::uint32_t GetTickCount() const { return static_cast<std::uint32_t>(Ticks()); }
};

// The real clock: the monotonic system clock and real sleeps.
class SystemClock final : public Clock {
public:
    std::uint64_t Ticks() const override;
    void Sleep(std::uint32_t milliseconds) override;
};

}  // namespace quillon
