#pragma once
// The service behind every periodic timer of the program: window timers (`SetTimer` on a
// MessageWindow) and the UI library's control timers.
//
// A timer runs until it is stopped, calling its callback once per period on the UI thread. The
// production service uses QTimer; the test service (tests/support/virtual_time.h) fires timers
// when a test advances virtual time. The process-wide service is `services().timers()`.

#include <cstdint>
#include <functional>
#include <memory>

namespace quillon {

using TimerId = std::uint64_t;

class TimerService {
public:
    virtual ~TimerService() = default;

    // Starts a periodic timer. The first call comes one period from now. Never returns 0.
    // UI thread only, as are the callbacks.
    virtual TimerId StartTimer(std::uint32_t periodMs, std::function<void()> callback) = 0;

    // Stops a timer; its callback is not called again. Safe from inside any callback, including
    // the timer's own; unknown or already stopped ids are ignored.
    virtual void StopTimer(TimerId id) = 0;
};

// QTimer-backed timers on the thread that first uses the service (the UI thread).
class QtTimerService final : public TimerService {
public:
    QtTimerService();
    ~QtTimerService() override;
    QtTimerService(const QtTimerService&) = delete;
    QtTimerService& operator=(const QtTimerService&) = delete;

    TimerId StartTimer(std::uint32_t periodMs, std::function<void()> callback) override;
    void StopTimer(TimerId id) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace quillon
