#pragma once
// A profile state on a temporary data folder, fake links that hand every report to the mouse's
// decoder and note when it was written, and virtual time: what the apply and status tests share.

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/protocol/device_model.h"
#include "core/store/profile_state.h"
#include "core/store/store_bytes.h"
#include "core/text16.h"
#include "device/apply.h"
#include "platform/clock.h"
#include "support/qt_app.h"
#include "support/virtual_time.h"

namespace quillon::test {

struct WrittenReport {
    std::uint64_t tick;
    Link link;
    Report report;
};

class FakeLinks final : public ReportLinks {
public:
    explicit FakeLinks(const Clock& clock) : m_clock(clock) {}

    LinkState State(Link link) const override { return static_cast<LinkState>(state[Index(link)].load()); }
    bool IsAwake(Link link) const override {
        const bool result = awake[Index(link)] != 0;
        if (afterAwakeRead)
            afterAwakeRead(link);
        return result;
    }
    bool WriteReport(Link link, const Report& report) override {
        if (beforeWrite)
            beforeWrite();
        std::lock_guard lock(m_mutex);
        written.push_back({m_clock.Ticks(), link, report});
        mouse.Feed(report);
        return true;
    }

    std::vector<WrittenReport> Written() const {
        std::lock_guard lock(m_mutex);
        return written;
    }

    std::atomic<int> state[2] = {0, 0};
    std::atomic<int> awake[2] = {0, 0};
    std::function<void()> beforeWrite;
    // Called after each read of an awake flag, as the UI thread may change it at any moment.
    std::function<void(Link)> afterAwakeRead;
    DeviceModel mouse;
    std::vector<WrittenReport> written;

private:
    static std::size_t Index(Link link) { return static_cast<std::size_t>(link); }
    const Clock& m_clock;
    mutable std::mutex m_mutex;
};

class FakeWatchdogs final : public LinkWatchdogs, public ApplyRingControl {
public:
    void StopWatchdogs() override { calls.push_back("stop watchdogs"); }
    void RestartWatchdogs() override { calls.push_back("restart watchdogs"); }
    bool SetApplyRingVisible(bool visible) override {
        if (!hasRing)
            return false;
        calls.push_back(visible ? "show ring" : "hide ring");
        return true;
    }
    bool hasRing = true;
    std::vector<std::string> calls;
};

// The written reports as "+<ms since start> <command>[/<packet>] ..." lines, which read like the
// schedule they pin: "+1000 06" is a polling-rate frame one second after the first write.
inline std::vector<std::string> Timeline(const std::vector<WrittenReport>& written, std::uint64_t start) {
    std::vector<std::string> lines;
    for (const WrittenReport& w : written) {
        char line[64];
        if (w.report[2] == 0 && w.report[3] == kCommandMacro)
            std::snprintf(line, sizeof line, "+%llu 09/0 slot %u",
                          static_cast<unsigned long long>(w.tick - start),
                          static_cast<unsigned>(w.report[5]));
        else if (w.report[2] == 1)
            std::snprintf(line, sizeof line, "+%llu 09/1", static_cast<unsigned long long>(w.tick - start));
        else
            std::snprintf(line, sizeof line, "+%llu %02X", static_cast<unsigned long long>(w.tick - start),
                          static_cast<unsigned>(w.report[3]));
        lines.emplace_back(line);
    }
    return lines;
}

class LinkFixture : public ::testing::Test {
protected:
    LinkFixture() {
        TestApplication();
        EXPECT_EQ(profiles.Load(u"Profile").outcome, LoadOutcome::CreatedDefault);
    }

    ProfileRecord& Record() { return *profiles.Selected(); }

    // Puts a macro of `presses` key presses (delays under 128 ms) on button k.
    void PutMacro(std::size_t k, std::uint8_t function, std::size_t presses, std::uint8_t key = 0x04) {
        ButtonSlot& slot = Record().slots[k];
        slot.function = function;
        SetFieldText(slot.macro_name.data(), slot.macro_name.size(), u"Macro");
        slot.repeat_mode = 1;
        slot.repeat_count = 3;
        slot.macro_color = {255, 255, 255, 0};
        slot.action_count = static_cast<std::uint16_t>(presses);
        for (std::size_t i = 0; i < presses; ++i) {
            slot.actions[i] = MacroAction{};
            slot.actions[i].code = key;
            slot.actions[i].kind = i % 2 == 0 ? kActionDown : kActionUp;
            slot.actions[i].delayMs = 20;
        }
    }

    std::vector<std::string> TimelineSinceStart() const { return Timeline(links.Written(), applyStart); }

    ApplyResult RunApply() {
        applyStart = time.Ticks();
        time.ClearSleeps();
        links.written.clear();
        watchdogs.calls.clear();
        return apply.Apply();
    }

    VirtualTime time;
    TemporaryFolder folder;
    ProfileState profiles{std::make_unique<ProfileStore>(folder.Path() / "Data")};
    FakeLinks links{time};
    FakeWatchdogs watchdogs;
    ApplySequence apply{profiles, links, watchdogs, watchdogs, &time};
    std::uint64_t applyStart = 0;
};

}  // namespace quillon::test
