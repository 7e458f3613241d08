#pragma once
// The command line working on the mouse itself, when no window runs: the same composition as the
// settings page without its controls. On a QCoreApplication it builds a message window, the
// profiles with their store, the status handling with a view that only records, the device links
// with their worker and the apply; it then waits, for a bounded time, for a link to wake, sends a
// change with the page's apply and saves the store where the page would.
//
//     QCoreApplication app(argc, argv);
//     StandaloneHost host;
//     host.Start(StandaloneHost::Mouse::Open);        // store loaded, links opened
//     CommandReply reply = RunProfileCommand(request, host);
//     host.Shutdown();                               // also done by the destructor

#include <cstdint>
#include <memory>

#include "core/remote/profile_commands.h"

namespace quillon {

// How long the command line waits for a mouse to wake, and for an apply to finish.
inline constexpr std::uint32_t kWakeWaitMs = 4000;
inline constexpr std::uint32_t kApplyWaitMs = 20000;

class StandaloneHost final : public CommandHost {
public:
    StandaloneHost();
    ~StandaloneHost() override;
    StandaloneHost(const StandaloneHost&) = delete;
    StandaloneHost& operator=(const StandaloneHost&) = delete;

    // Loads the store and, for the commands that need the mouse, opens the links.
    enum class Mouse { Open, Leave };
    void Start(Mouse mouse);
    // Stops the worker, closes the links and saves the store. Idempotent.
    void Shutdown();

    ProfileState& Profiles() override;
    MouseStatus Status() override;
    Delivery Changed(Change change) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace quillon
