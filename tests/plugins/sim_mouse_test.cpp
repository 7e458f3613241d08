// The simulated mouse's own behaviour: its power reports, its control commands, its log.

#include "sim_mouse.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/protocol/frames.h"
#include "core/protocol/status.h"

using namespace quillon;
using namespace quillon::sim;

namespace {

StatusEvent Decode(const MouseStatusReport& report) {
    const auto event = DecodeStatusReport(report);
    EXPECT_TRUE(event.has_value());
    return event.value_or(StatusEvent{StatusType::Flag, 0, 0});
}

}  // namespace

TEST(SimLinks, EnvironmentChoosesWhichLinksHaveAMouse) {
    struct Case {
        const char* setting;
        bool wired, wireless;
    };
    const Case cases[] = {
        {nullptr, false, true},
        {"wireless", false, true},
        {"wired", true, false},
        {"wired,wireless", true, true},
        {" wireless , wired ", true, true},
        {"none", false, false},
        {"", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LinkStartsPlugged(SimLink::Wired, c.setting), c.wired)
            << (c.setting ? c.setting : "(unset)");
        EXPECT_EQ(LinkStartsPlugged(SimLink::Wireless, c.setting), c.wireless)
            << (c.setting ? c.setting : "(unset)");
    }
    EXPECT_EQ(LinkOfProduct(0xFA7F), SimLink::Wired);
    EXPECT_EQ(LinkOfProduct(0xFA65), SimLink::Wireless);
    EXPECT_FALSE(LinkOfProduct(0x1234).has_value());
}

TEST(SimMouse, BatteryDrainsSlowlyAndChargingEndsComplete) {
    MouseBody body;
    SimMouse mouse(SimLink::Wireless, true, body);
    std::vector<int> levels;
    for (int i = 0; i < 2 * SimMouse::kDrainTicks; ++i) {
        const StatusEvent event = Decode(*mouse.PowerTick());
        EXPECT_EQ(event.type, StatusType::Power);
        EXPECT_EQ(event.value, 1) << "on battery";
        levels.push_back(event.level);
    }
    EXPECT_EQ(levels.front(), 80);
    EXPECT_EQ(levels.back(), 78);

    Outgoing out;
    EXPECT_EQ(mouse.Command("charge start", out), "ok");
    ASSERT_EQ(out.reports.size(), 1u);
    EXPECT_EQ(Decode(out.reports[0]).value, 3) << "charging shows at once";
    int status = 3;
    for (int i = 0; i < 40 && status == 3; ++i)
        status = Decode(*mouse.PowerTick()).value;
    EXPECT_EQ(status, 2) << "charge complete once full";
    EXPECT_EQ(Decode(*mouse.PowerTick()).level, 100);
}

TEST(SimMouse, CableAndReceiverReachTheSameMouse) {
    MouseBody body;
    SimMouse receiver(SimLink::Wireless, true, body);
    SimMouse cable(SimLink::Wired, false, body);
    EXPECT_EQ(Decode(*receiver.PowerTick()).value, 1) << "on battery";

    // Plugging the cable charges the mouse, whichever link reports it.
    Outgoing out;
    ASSERT_EQ(cable.Command("plug", out), "ok");
    EXPECT_EQ(Decode(*receiver.PowerTick()).value, 3);
    EXPECT_EQ(Decode(*cable.PowerTick()).value, 3);

    // What the cable writes, the receiver's mouse holds.
    ASSERT_EQ(cable.Write(WrapReports(FullWriteFrame()).reports[0]), 64);
    EXPECT_EQ(receiver.State().fullWrites, 1u);

    ASSERT_EQ(cable.Command("pull", out), "ok");
    EXPECT_EQ(Decode(*receiver.PowerTick()).value, 1);
}

TEST(SimMouse, SleepingOrUnpluggedMouseSendsNothing) {
    MouseBody body;
    SimMouse mouse(SimLink::Wireless, true, body);
    Outgoing out;
    EXPECT_EQ(mouse.Command("sleep", out), "ok");
    EXPECT_FALSE(mouse.PowerTick().has_value());
    EXPECT_EQ(mouse.Command("wake", out), "ok");
    EXPECT_EQ(out.reports.size(), 1u) << "waking reports the power state at once";
    EXPECT_TRUE(mouse.PowerTick().has_value());
    EXPECT_EQ(mouse.Command("pull", out), "ok");
    EXPECT_EQ(out.plug, std::optional<bool>(false));
    EXPECT_FALSE(mouse.PowerTick().has_value());
}

TEST(SimMouse, CommandsAnswerAndReport) {
    struct Case {
        const char* command;
        std::string reply;
        std::optional<StatusType> reported;
        std::uint16_t value;
    };
    const std::vector<Case> cases = {
        {"dpi 4", "ok", StatusType::DpiStage, 4},
        {"dpi 9", "error: the stage is 1..8", std::nullopt, 0},
        {"rate 0x08", "ok", StatusType::PollingRate, 0x08},
        {"rate 3", "error: the rate is one of the codes 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40",
         std::nullopt, 0},
        {"charge maybe", "error: charge start or charge end", std::nullopt, 0},
        {"plug", "error: already plugged", std::nullopt, 0},
        {"jump", "error: unknown command 'jump' (try help)", std::nullopt, 0},
    };
    for (const Case& c : cases) {
        MouseBody body;
        SimMouse mouse(SimLink::Wireless, true, body);
        Outgoing out;
        EXPECT_EQ(mouse.Command(c.command, out), c.reply) << c.command;
        EXPECT_EQ(out.reports.size(), c.reported ? 1u : 0u) << c.command;
        if (c.reported && !out.reports.empty()) {
            const StatusEvent event = Decode(out.reports[0]);
            EXPECT_EQ(event.type, *c.reported) << c.command;
            EXPECT_EQ(event.value, c.value) << c.command;
        }
    }
}

TEST(SimMouse, UnpluggedLinkRefusesCommandsAndWrites) {
    MouseBody body;
    SimMouse mouse(SimLink::Wired, false, body);
    Outgoing out;
    EXPECT_EQ(mouse.Command("dpi 2", out), "error: the wired link has no mouse plugged");
    EXPECT_TRUE(out.reports.empty());
    const Report report = WrapReports(FullWriteFrame()).reports[0];
    EXPECT_EQ(mouse.Write(report), -1);
    EXPECT_EQ(mouse.Command("plug", out), "ok");
    EXPECT_EQ(out.plug, std::optional<bool>(true));
    EXPECT_EQ(mouse.Write(report), 64);
    EXPECT_EQ(mouse.State().fullWrites, 1u);
}

TEST(SimMouse, PollingRateChangedOnTheMouseIsPartOfItsState) {
    MouseBody body;
    SimMouse mouse(SimLink::Wireless, true, body);
    Outgoing out;
    ASSERT_EQ(mouse.Command("rate 0x08", out), "ok");
    EXPECT_EQ(mouse.State().pollingCode, 0x08);
    EXPECT_NE(mouse.Describe().find("polling code: 0x08"), std::string::npos);
    EXPECT_EQ(mouse.RejectedReports(), 0u);
}

// Before the program first writes, "quillon-sim state" shows what a new mouse holds: six stages
// from 400 to 5000 DPI with the second one current, 1000 Hz, the factory buttons, blue light.
TEST(SimMouse, StartsWithTheFactorySettings) {
    MouseBody body;
    SimMouse mouse(SimLink::Wireless, true, body);
    const MouseState state = mouse.State();
    EXPECT_EQ(state.stageMask, 0x3F);
    EXPECT_EQ(state.currentStage, 2);
    EXPECT_EQ(state.pollingCode, 0x40);
    EXPECT_EQ(state.lightColor, (std::array<std::uint8_t, 3>{0, 0, 255}));
    EXPECT_EQ(state.keyMap[0], (std::array<std::uint8_t, 3>{0x02, 0, 0}));  // left click
    EXPECT_EQ(state.keyMap[3], (std::array<std::uint8_t, 3>{0x0D, 0, 0}));  // DPI cycle
    EXPECT_EQ(state.fullWrites, 0u);
    const std::string text = mouse.Describe();
    EXPECT_NE(text.find("stages (DPI): 400 800 1200 1600 3200 5000 "), std::string::npos) << text;
    EXPECT_NE(text.find("reports: 0 accepted, 0 rejected"), std::string::npos) << text;
}

TEST(SimMouse, LogsEveryWrittenAndRejectedReport) {
    const auto log = std::filesystem::temp_directory_path() / ("quillon-sim-log-" + std::to_string(getpid()));
    std::filesystem::remove(log);
    {
        MouseBody body(log);
        SimMouse mouse(SimLink::Wireless, true, body);
        Report good = WrapReports(FullWriteFrame()).reports[0];
        Report bad = good;
        bad[0] = 0x05;
        mouse.Write(good);
        mouse.Write(bad);
    }
    std::ifstream file(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    std::filesystem::remove(log);
    ASSERT_EQ(lines.size(), 2u);
    // "YYYY-MM-DD hh:mm:ss.mmm " then the entry; the report in full, 64 bytes.
    std::string zeros;
    for (int i = 0; i < 49; ++i)
        zeros += " 00";
    EXPECT_EQ(lines[0].substr(24), "wireless write 04 0F 00 0C 0A 01 FE 01 FE 00 00 00 00 02 27" + zeros);
    EXPECT_EQ(lines[1].substr(24),
              "wireless rejected (wrong report identifier) 05 0F 00 0C 0A 01 FE 01 FE 00 00 00 00 02 27" +
                  zeros);
}
