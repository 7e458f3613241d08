#pragma once
// SIGTERM and SIGINT as a request to end the program the ordinary way.
//
// The session manager ends a desktop program at logout with SIGTERM, and a terminal with SIGINT.
// Either must go through the program's own shut-down (hooks removed, worker stopped, links closed,
// the profile store saved), never cut it short. A signal handler may do almost nothing, so it only
// writes a byte into a pipe; the event loop sees the pipe become readable and calls `onSignal` on
// the UI thread, where the main window can be closed.

#include <functional>
#include <memory>

class QSocketNotifier;

namespace quillon {

class TerminationSignals {
public:
    // Installs the handlers; `onSignal` runs on the thread that owns the object, once per signal.
    explicit TerminationSignals(std::function<void(int signal)> onSignal);
    // Puts the previous handlers back.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    bool IsInstalled() const { return m_notifier != nullptr; }

private:
    void Drain();

    std::function<void(int)> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace quillon
