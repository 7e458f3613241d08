#pragma once
// The simulated MS_1 on one link: what the cable or the receiver would show the program, with the
// mouse behind it. It takes the output reports the program writes (decoded by the core's device
// model, the mouse's own reading of the protocol), produces the status reports the mouse pushes,
// and answers the commands of the control channel (quillon-sim).
//
// Each driver copy holds one SimMouse: hiddriver_4k_1.so the cable, hiddriver_4k_2.so the receiver.
// All operations are thread-safe; the driver calls them from the program's threads, its power
// ticker and its control channel.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/device_model.h"

namespace quillon::sim {

enum class SimLink { Wired, Wireless };

const char* LinkName(SimLink link);
// The link a driver copy serves, from the product id given to Set_VIDPID.
std::optional<SimLink> LinkOfProduct(int productId);

// Which links have a mouse when the program starts: QUILLON_SIM_LINKS, a comma-separated list of
// "wired" and "wireless" ("none" for neither). Without the variable, only the receiver has one.
bool LinkStartsPlugged(SimLink link, const char* setting);

// What the driver must post to the program after a command or a tick.
struct Outgoing {
    std::optional<bool> plug;                       // plug message: arrived / left
    std::vector<MouseStatusReport> reports;         // data messages
};

class SimMouse {
public:
    SimMouse(SimLink link, bool plugged, std::filesystem::path logFile);

    SimLink link() const { return m_link; }
    bool Plugged() const;

    // WriteUSB: applies the report and logs it. -1 when the link is unplugged.
    int Write(std::span<const std::uint8_t> report);

    // Called every second or two: the power report of a plugged, awake mouse. On the cable, or
    // while charging, the level rises to 100 and the mouse then reports charge complete; on
    // battery it drains by one every kDrainTicks reports.
    std::optional<MouseStatusReport> PowerTick();
    static constexpr int kDrainTicks = 20;

    // One line of the control channel; the reply goes back to the client, `out` to the program.
    std::string Command(const std::string& line, Outgoing& out);

    // The decoded state, as "state" prints it.
    std::string Describe() const;

    // Test access to the decoder.
    MouseState State() const;
    std::size_t RejectedReports() const;

private:
    MouseStatusReport PowerReportLocked();
    void Log(const std::string& line) const;

    const SimLink m_link;
    const std::filesystem::path m_logFile;
    mutable std::mutex m_mutex;
    bool m_plugged;
    bool m_awake = true;
    bool m_charging;
    int m_level = 80;
    int m_ticks = 0;
    DeviceModel m_model;
};

} // namespace quillon::sim
