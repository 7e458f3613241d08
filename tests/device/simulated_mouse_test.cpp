// The device links with the real simulated-mouse plugins, loaded from the demo program folder by
// the real loader, worked through quillon-sim as a person would.

#include "device/device_links.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/protocol/frames.h"
#include "core/protocol/status.h"
#include "support/qt_app.h"
#include "support/virtual_time.h"

using namespace quillon;
using quillon::test::PumpUntil;

namespace {

const std::filesystem::path kDemoFolder = QUILLON_DEMO_FOLDER;

class NullView : public LinkView {
public:
    void SetLinkIndicatorVisible(Link, bool) override {}
    void SetSleepNoticeVisible(bool) override {}
    void ShowCharging(ChargeAnimation) override {}
    void ClearPowerLabel() override {}
    void RefreshLinkSections() override {}
};

struct Received {
    UINT message;
    WPARAM plug;
    std::vector<std::uint8_t> bytes;
};

// Runs quillon-sim from the demo folder and returns what it printed.
std::string Sim(const std::string& arguments) {
    const std::string command = (kDemoFolder / "quillon-sim").string() + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return "popen failed";
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    pclose(pipe);
    return output;
}

class SimulatedMouseTest : public ::testing::Test {
protected:
    void SetUp() override {
        quillon::test::TestApplication();
        folder = std::filesystem::temp_directory_path() / ("quillon-sim-test-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        setenv("QUILLON_SIM_LINKS", "wireless", 1);
        setenv("QUILLON_SIM_SOCKET_DIR", folder.c_str(), 1);
        setenv("QUILLON_SIM_LOG", (folder / "sim.log").c_str(), 1);

        window.SetHandler([this](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message == MSG_WIRED_REPORT || message == MSG_WIRELESS_REPORT) {
                auto* bytes = reinterpret_cast<const std::uint8_t*>(wParam);
                received.push_back({message, 0, std::vector<std::uint8_t>(bytes, bytes + lParam)});
            } else if (message == MSG_WIRED_PLUG || message == MSG_WIRELESS_PLUG) {
                received.push_back({message, wParam, {}});
                links->HandleDeviceMessage(message, wParam, lParam);
            } else if (links) {
                links->HandleDeviceMessage(message, wParam, lParam);
            }
            return 0;
        });
        links = std::make_unique<DeviceLinks>(
            window, view, [this](WPARAM, LPARAM) { Apply(); },
            [](const char* file) { return LoadDriverLibrary(kDemoFolder / file); });
    }
    void TearDown() override {
        links.reset();
        std::filesystem::remove_all(folder);
    }

    // The apply of this test: the reports queued by the test, on the 2.4 GHz link.
    void Apply() {
        for (const Report& report : toWrite)
            links->WriteReport(Link::Wireless, report);
        ++applies;
    }

    // Waits for a message the plugin posts from its own threads.
    const Received* WaitFor(UINT message, std::function<bool(const Received&)> match = {}) {
        const Received* found = nullptr;
        PumpUntil([&] {
            for (const Received& r : received)
                if (r.message == message && (!match || match(r)))
                    found = &r;
            return found != nullptr;
        });
        return found;
    }

    quillon::test::VirtualTime time;
    std::filesystem::path folder;
    NullView view;
    MessageWindow window;
    std::vector<Received> received;
    std::vector<Report> toWrite;
    std::atomic<int> applies{0};
    std::unique_ptr<DeviceLinks> links;
};

bool IsStage(const Received& r, int stage) {
    const auto event = DecodeStatusReport(r.bytes);
    return event && event->type == StatusType::DpiStage && event->value == stage;
}

}  // namespace

TEST_F(SimulatedMouseTest, ProgramDrivesTheSimulatedMouseThroughTheRealPlugins) {
    links->Start();
    ASSERT_TRUE(links->Api(Link::Wired).IsComplete());
    ASSERT_TRUE(links->Api(Link::Wireless).IsComplete());
    EXPECT_EQ(links->wired_state(), LinkState::NotOpen) << "by default only the receiver has a mouse";
    EXPECT_EQ(links->wireless_state(), LinkState::Open);
    EXPECT_EQ(links->OpenError(Link::Wired), QUILLON_OPEN_NOT_FOUND);

    // The mouse's stage button, pressed through the control channel, comes back as a status report.
    EXPECT_EQ(Sim("dpi 3"), "ok\n");
    ASSERT_NE(WaitFor(MSG_WIRELESS_REPORT, [](const Received& r) { return IsStage(r, 3); }), nullptr);

    // The cable is plugged: the program hears it and reopens the link a second later.
    EXPECT_EQ(Sim("wired plug"), "ok\n");
    const Received* plug = WaitFor(MSG_WIRED_PLUG);
    ASSERT_NE(plug, nullptr);
    EXPECT_EQ(plug->plug, 1u);
    time.Advance(kReopenDelayMs);
    EXPECT_EQ(links->wired_state(), LinkState::Open);
    EXPECT_NE(Sim("wireless state").find("mouse: awake, charging"), std::string::npos)
        << "one mouse behind both links: the cable charges it";

    // What the program writes is decoded by the mouse; a damaged report is refused and logged.
    ProfileRecord record{};
    record.prate = 3;
    toWrite.push_back(WrapReports(PollingRateFrame(record)).reports[0]);
    Report damaged = WrapReports(FullWriteFrame()).reports[0];
    damaged[13] ^= 0xFF;
    toWrite.push_back(damaged);
    links->HandleDeviceMessage(MSG_APPLY_REQUEST, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return applies == 1; }));

    const std::string state = Sim("wireless state");
    EXPECT_NE(state.find("polling code: 0x04"), std::string::npos) << state;
    EXPECT_NE(state.find("current stage: 3"), std::string::npos) << state;
    EXPECT_NE(state.find("1 accepted, 1 rejected (last: bad report checksum)"), std::string::npos) << state;

    std::ifstream logFile(folder / "sim.log");
    std::stringstream log;
    log << logFile.rdbuf();
    EXPECT_NE(log.str().find("wireless write 04 0E 00 06 09 01 04 FB 00 00 00 00 01 21 00"),
              std::string::npos)
        << log.str();
    EXPECT_NE(log.str().find("wireless rejected (bad report checksum) 04 0F 00 0C"), std::string::npos)
        << log.str();

    // The receiver is pulled.
    EXPECT_EQ(Sim("pull"), "ok\n");
    ASSERT_NE(WaitFor(MSG_WIRELESS_PLUG, [](const Received& r) { return r.plug == 0; }), nullptr);
    EXPECT_EQ(links->wireless_state(), LinkState::Removed);
    EXPECT_EQ(links->device_present(), 1) << "the cable is still there";

    links->Shutdown();
    EXPECT_FALSE(std::filesystem::exists(folder / "quillon-sim-wireless.sock"));
    EXPECT_NE(Sim("state").find("no simulated wireless mouse"), std::string::npos);
}
