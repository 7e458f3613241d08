#pragma once
// The simulated MS_1 on one link: what the cable or the receiver would show the program, with the
// mouse behind it. It takes the output reports the program writes (decoded by the core's device
// model, the mouse's own reading of the protocol), produces the status reports the mouse pushes,
// and answers the commands of the control channel (quillon-sim).
//
// Each driver copy holds one SimMouse: hiddriver_4k_1.so the cable, hiddriver_4k_2.so the receiver;
// both share the MouseBody behind them. All operations are thread-safe (one lock, the body's); the
// driver calls them from the program's threads, its power ticker and its control channel.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/protocol/device_model.h"

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
    std::optional<bool> plug;                // plug message: arrived / left
    std::vector<MouseStatusReport> reports;  // data messages
};

// The mouse itself. The cable and the receiver are two devices, served by two driver copies, but
// behind them is one mouse: what is written through either link lands in the same settings, and
// a plugged cable charges it whichever link reports the power.
struct MouseBody {
    explicit MouseBody(std::filesystem::path log = {}) : logFile(std::move(log)) {}

    const std::filesystem::path logFile;
    std::mutex mutex;
    bool awake = true;
    bool cablePlugged = false;
    bool chargerCommanded = false;
    int level = 80;
    int ticks = 0;
    // A new mouse holds its factory settings until the program first writes.
    DeviceModel model{MouseStart::FactorySettings};
};

// The one mouse of the process, shared by both driver copies (it lives in a small library they
// both load). The first caller's log file is the one used.
MouseBody& SharedMouseBody(const std::filesystem::path& logFile);

class SimMouse {
public:
    SimMouse(SimLink link, bool plugged, MouseBody& body);

    SimLink Link() const { return m_link; }
    bool Plugged() const;

    // WriteUSB: applies the report and logs it. -1 when the link is unplugged.
    int Write(std::span<const std::uint8_t> report);

    // Called every second or two: the power report of a plugged, awake mouse. While the cable is
    // plugged in (or a charger, "charge start") the level rises to 100 and the mouse then reports
    // charge complete; on battery it drains by one every kDrainTicks reports.
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
    bool ChargingLocked() const { return m_body.cablePlugged || m_body.chargerCommanded; }
    MouseStatusReport PowerReportLocked();
    void Log(const std::string& line) const;

    const SimLink m_link;
    MouseBody& m_body;
    bool m_plugged;
};

}  // namespace quillon::sim
