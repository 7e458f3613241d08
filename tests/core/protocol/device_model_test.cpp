#include "core/protocol/device_model.h"

#include "core/protocol/frames.h"
#include "core/protocol/status.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

using namespace quillon;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Feeds every report of a frame; true when all were accepted.
bool Send(DeviceModel& mouse, const Frame& frame) {
    const WrappedReports wrapped = WrapReports(frame);
    if (wrapped.count == 0)
        return false;
    for (const Report& report : wrapped.used()) {
        const FeedResult result = mouse.Feed(report);
        if (!result.accepted) {
            ADD_FAILURE() << "rejected: " << RejectReasonName(result.reason);
            return false;
        }
    }
    return true;
}

// Key codes that cannot be mistaken for the item markers (0x03 hundreds, 0xF6 move, 0xFE next).
std::uint8_t RandomCode(std::mt19937& rng) {
    if (rng() % 4 == 0)
        return std::uint8_t(0xF1 + rng() % 5);
    return std::uint8_t(0x04 + rng() % (0xE7 - 0x04 + 1));
}

MacroAction RandomAction(std::mt19937& rng) {
    MacroAction action{};
    action.kind = std::uint8_t(rng() % 3);
    action.code = action.kind == kActionMove ? kMouseMove : RandomCode(rng);
    const unsigned pick = rng() % 4;
    action.delayMs = std::uint16_t(pick == 0 ? rng() % 3 : pick == 1 ? 100 + rng() % 60 : rng() % 25001);
    if (action.kind == kActionMove) {
        action.x = std::int32_t(rng() % 4001) - 2000;
        action.y = std::int32_t(rng() % 4001) - 2000;
    }
    return action;
}

void FillMacro(ButtonSlot& slot, std::size_t length, std::mt19937& rng) {
    slot.repeat_mode = std::int32_t(rng() % 4);
    slot.repeat_count = std::int32_t(rng() % 256);
    slot.macro_color = {std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng()), 0};
    slot.action_count = std::uint16_t(length);
    for (std::size_t i = 0; i < length; ++i)
        slot.actions[i] = RandomAction(rng);
}

// What the mouse should play for an action: the wire keeps the pause of short delays, the remainder
// of long ones (at least 2) and their hundreds, and the low 16 bits of a movement.
MacroEvent Expected(const MacroAction& action) {
    MacroEvent event;
    event.kind = action.kind == kActionMove   ? MacroEvent::Kind::Move
                 : action.kind == kActionDown ? MacroEvent::Kind::Press
                                              : MacroEvent::Kind::Release;
    const unsigned d = action.delayMs;
    event.pause = std::uint8_t(std::max(d <= 127 ? d : d % 100, 2u));
    event.longDelay = d >= 128;
    event.hundreds = event.longDelay ? std::uint8_t(d / 100) : 0;
    event.code = action.kind == kActionMove ? 0xF6 : action.code;
    if (action.kind == kActionMove) {
        event.x = std::int16_t(action.x);
        event.y = std::int16_t(action.y);
    }
    return event;
}

void ExpectSameEvents(const std::vector<MacroEvent>& got, const ButtonSlot& slot) {
    ASSERT_EQ(got.size(), slot.action_count);
    for (std::size_t i = 0; i < got.size(); ++i) {
        const MacroEvent want = Expected(slot.actions[i]);
        EXPECT_EQ(got[i].kind, want.kind) << i;
        EXPECT_EQ(got[i].code, want.code) << i;
        EXPECT_EQ(got[i].pause, want.pause) << i;
        EXPECT_EQ(got[i].longDelay, want.longDelay) << i;
        EXPECT_EQ(got[i].hundreds, want.hundreds) << i;
        EXPECT_EQ(got[i].x, want.x) << i;
        EXPECT_EQ(got[i].y, want.y) << i;
    }
}

// Sends the macro of a slot from device slot `first`; returns the number of chunks.
std::size_t SendMacro(DeviceModel& mouse, const ButtonSlot& slot, std::uint8_t first) {
    std::size_t start = 0;
    std::uint8_t number = first;
    std::size_t chunks = 0;
    for (;;) {
        const MacroChunk chunk = MacroFrame(slot, number, start);
        ++chunks;
        if (!Send(mouse, chunk.frame) || !chunk.continues)
            break;
        start = chunk.nextStart;
        number = std::uint8_t(number + 1);
    }
    return chunks;
}

std::unique_ptr<ProfileRecord> RandomRecord(std::mt19937& rng) {
    auto record = std::make_unique<ProfileRecord>();
    CreateProfile(*record, u"Random");
    record->lift_of_distance = std::int32_t(rng() % 2);
    record->ripple_control = std::int32_t(rng() % 2);
    record->angle_snap = std::int32_t(rng() % 2);
    record->motion_sync = std::int32_t(rng() % 2);
    for (std::size_t i = 0; i < 8; ++i) {
        record->dpi_x[i] = std::int32_t(rng() % 521);  // 0 is an unused stage
        record->dpi_step_enabled[i] = std::int32_t(rng() % 2);
        record->dpi_color[i] = {std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng()), 0};
    }
    record->dpi_step = std::int32_t(rng() % 8);
    record->light_effect = std::int32_t(rng() % 12);
    record->brightness = std::int32_t(rng() % 16);
    record->breathspeed = std::int32_t(rng() % 10);
    record->sleep_timer = std::int32_t(rng() % 256);
    record->light_off = std::int32_t(rng() % 256);
    record->key_debounce = std::int32_t(rng() % 256);
    record->light_color = {std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng()), 0};
    record->prate = std::int32_t(rng() % 7);
    for (std::size_t k = 0; k < kPageButtonCount; ++k) {
        ButtonSlot& slot = record->slots[k];
        slot.function = std::uint8_t(rng() % 120);
        if (slot.function == kFunctionShortcut) {
            slot.shortcut_key = std::uint8_t(rng());
            slot.shortcut_modifiers = std::uint8_t(rng() % 16);
        }
    }
    return record;
}

Report WrapBytes(const Bytes& payload) {
    const WrappedReports wrapped = WrapReports(payload);
    EXPECT_EQ(wrapped.count, 1u);
    return wrapped.reports[0];
}

// Recomputes the report checksum after a test changed a report's bytes.
void Reseal(Report& report) {
    const std::size_t carried = report[1] - 5u;
    unsigned sum = 0;
    for (std::size_t i = 0; i < 3 + carried; ++i)
        sum += report[i];
    report[3 + carried] = std::uint8_t(sum >> 8);
    report[4 + carried] = std::uint8_t(sum);
}

}  // namespace

TEST(DeviceModel, EveryFrameOfGeneratedRecordsArrivesAsBuilt) {
    std::mt19937 rng(20261207);
    DeviceModel mouse;
    for (int round = 0; round < 300; ++round) {
        const auto record = RandomRecord(rng);
        ASSERT_TRUE(Send(mouse, PerformanceFrame(*record)));
        ASSERT_TRUE(Send(mouse, LightingFrame(*record)));
        ASSERT_TRUE(Send(mouse, PollingRateFrame(*record)));
        ASSERT_TRUE(Send(mouse, KeyMapFrame(*record)));
        ASSERT_TRUE(Send(mouse, FullWriteFrame()));
        const MouseState& s = mouse.State();

        EXPECT_EQ(s.liftOff, record->lift_of_distance);
        EXPECT_EQ(s.ripple, record->ripple_control);
        EXPECT_EQ(s.angleSnap, record->angle_snap);
        EXPECT_EQ(s.motionSync, record->motion_sync);
        for (std::size_t i = 0; i < 8; ++i) {
            EXPECT_EQ(s.stageSteps[i], std::max(record->dpi_x[i] - 1, 0)) << i;
            EXPECT_EQ((s.stageMask >> i & 1) != 0, record->dpi_step_enabled[i] == 1) << i;
            EXPECT_TRUE(
                std::equal(s.stageColors[i].begin(), s.stageColors[i].end(), record->dpi_color[i].begin()));
        }
        EXPECT_EQ(s.currentStage, record->dpi_step + 1);
        EXPECT_EQ(s.lightEffect, record->light_effect);
        EXPECT_EQ(s.breathCode, 9 - record->breathspeed);
        EXPECT_EQ(s.sleepTimer, record->sleep_timer);
        const bool dimmable = record->light_effect == 1 || record->light_effect == 5;
        EXPECT_EQ(s.brightness, dimmable ? record->brightness : 8);
        EXPECT_TRUE(std::equal(s.lightColor.begin(), s.lightColor.end(), record->light_color.begin()));
        EXPECT_EQ(s.lightOff, record->light_off);
        EXPECT_EQ(s.debounce, record->key_debounce);
        EXPECT_EQ(PrateOfPollingCode(s.pollingCode), record->prate);
        for (std::size_t k = 0; k < kPageButtonCount; ++k) {
            const ButtonSlot& slot = record->slots[k];
            std::array<std::uint8_t, 3> want = KeyActionBytes(slot.function);
            if (slot.function == kFunctionShortcut)
                want = {0x11, slot.shortcut_modifiers, slot.shortcut_key};
            else if (slot.function == kFunctionMacro || slot.function == kFunctionLeftButtonMacro)
                want[2] = k < 7 ? std::uint8_t(1 + 4 * k) : 0;
            EXPECT_EQ(s.keyMap[k], want) << "button " << k << " function " << int(slot.function);
        }
        ASSERT_FALSE(HasFailure()) << "round " << round;
    }
    EXPECT_EQ(mouse.State().fullWrites, 300u);
    EXPECT_EQ(mouse.RejectedReports(), 0u);
}

TEST(DeviceModel, MacroChunkingRoundTripsEveryLength) {
    std::mt19937 rng(190);
    DeviceModel mouse;
    for (std::size_t length = 0; length <= kMacroActionCapacity; ++length) {
        ButtonSlot slot{};
        FillMacro(slot, length, rng);
        const std::uint8_t first = std::uint8_t(1 + rng() % 25);
        const std::size_t chunks = SendMacro(mouse, slot, first);
        ExpectSameEvents(mouse.MacroFrom(first), slot);

        const MouseMacroSlot& head = mouse.State().macros[first];
        EXPECT_EQ(head.repeatMode, slot.repeat_mode);
        EXPECT_EQ(head.repeatCount, slot.repeat_count == 0 ? 1 : slot.repeat_count);
        EXPECT_TRUE(std::equal(head.color.begin(), head.color.end(), slot.macro_color.begin()));
        for (std::size_t c = 1; c < chunks; ++c) {
            const MouseMacroSlot& later = mouse.State().macros[std::uint8_t(first + c)];
            EXPECT_EQ(later.repeatMode, 0);
            EXPECT_EQ(later.repeatCount, 0);
            EXPECT_EQ(later.color, (std::array<std::uint8_t, 3>{}));
            EXPECT_EQ(later.continues, c + 1 < chunks);
        }
        ASSERT_FALSE(HasFailure()) << "length " << length;
    }
    EXPECT_EQ(mouse.RejectedReports(), 0u);
}

TEST(DeviceModel, MalformedReportsAreRejectedWithTheirReason) {
    auto record = std::make_unique<ProfileRecord>();
    CreateProfile(*record, u"p");
    const Report lighting = WrapReports(LightingFrame(*record)).reports[0];
    struct Case {
        const char* what;
        Report report;
        RejectReason reason;
    };
    std::vector<Case> cases;
    auto with = [&](const char* what, auto change, RejectReason reason, bool reseal = true) {
        Report r = lighting;
        change(r);
        if (reseal)
            Reseal(r);
        cases.push_back({what, r, reason});
    };
    with(
        "identifier", [](Report& r) { r[0] = 0x05; }, RejectReason::WrongIdentifier, false);
    with(
        "count too small", [](Report& r) { r[1] = 4; }, RejectReason::BadCount, false);
    with(
        "count too large", [](Report& r) { r[1] = 65; }, RejectReason::BadCount, false);
    with(
        "packet index", [](Report& r) { r[2] = 2; }, RejectReason::BadPacketIndex);
    with(
        "report checksum", [](Report& r) { r[19] ^= 1; }, RejectReason::BadReportChecksum, false);
    with(
        "padding", [](Report& r) { r[63] = 1; }, RejectReason::NonZeroPadding, false);
    with(
        "frame checksum", [](Report& r) { r[14] ^= 1; }, RejectReason::BadFrameChecksum);
    with(
        "frame header", [](Report& r) { r[5] = 2; }, RejectReason::BadHeader);
    with(
        "frame length byte", [](Report& r) { r[4] = 14; }, RejectReason::BadLength);
    with(
        "unknown command", [](Report& r) { r[3] = 0x07; }, RejectReason::UnknownCommand);
    with(
        "lone second half", [](Report& r) { r[2] = 1; }, RejectReason::UnexpectedSecondHalf);
    cases.push_back({"polling complement", WrapBytes({0x06, 0x09, 0x01, 0x04, 0xFA, 0, 0, 0, 0}),
                     RejectReason::BadContent});
    cases.push_back({"full write body", WrapBytes({0x0C, 0x0A, 0x01, 0xFE, 0x01, 0xFE, 0, 0, 1, 0}),
                     RejectReason::BadContent});
    Report empty{0x04, 0x05, 0x00};
    Reseal(empty);
    cases.push_back({"empty frame", empty, RejectReason::BadLength});
    cases.push_back({"two-byte frame", WrapBytes({0x05, 0x02}), RejectReason::BadLength});

    for (const Case& c : cases) {
        DeviceModel mouse;
        const FeedResult result = mouse.Feed(c.report);
        EXPECT_FALSE(result.accepted) << c.what;
        EXPECT_EQ(result.reason, c.reason) << c.what << ": " << RejectReasonName(result.reason);
        EXPECT_EQ(mouse.Rejected(c.reason), 1u) << c.what;
        EXPECT_EQ(mouse.State().lightColor, (std::array<std::uint8_t, 3>{})) << c.what;
    }

    DeviceModel mouse;
    EXPECT_EQ(mouse.Feed(Bytes(lighting.begin(), lighting.end() - 1)).reason, RejectReason::WrongSize);
    EXPECT_TRUE(mouse.Feed(lighting).accepted);
    EXPECT_EQ(mouse.State().lightColor, (std::array<std::uint8_t, 3>{0, 0, 255}));
}

TEST(DeviceModel, MalformedMacroItemsAreRejected) {
    ButtonSlot slot{};
    slot.action_count = 2;
    slot.actions[0].kind = kActionDown;
    slot.actions[0].code = 0x04;
    slot.actions[1].kind = kActionUp;
    slot.actions[1].code = 0x04;
    const Frame good = MacroFrame(slot, 5, 0).frame;
    struct Case {
        const char* what;
        std::vector<std::pair<std::size_t, std::uint8_t>> changes;
        RejectReason reason;
    };
    const Case cases[] = {
        {"too many items", {{8, 51}}, RejectReason::BadMacroItems},
        {"hundreds without an action", {{9, 0x02}, {10, 0x03}}, RejectReason::BadMacroItems},
        {"marker to a wrong slot", {{8, 3}, {13, 9}, {14, 0xFE}}, RejectReason::BadMacroItems},
        {"marker before the end", {{9, 6}, {10, 0xFE}}, RejectReason::BadMacroItems},
        {"cut-off movement", {{10, 0xF6}}, RejectReason::BadMacroItems},
        {"bytes behind the items", {{20, 0x01}}, RejectReason::BadContent},
    };
    for (const Case& c : cases) {
        Frame frame = good;
        for (auto [at, value] : c.changes)
            frame.bytes[at] = value;
        unsigned sum = 0;
        for (std::size_t i = 3; i < 109; ++i)
            sum += frame.bytes[i];
        frame.bytes[109] = std::uint8_t(sum >> 8);
        frame.bytes[110] = std::uint8_t(sum);
        DeviceModel mouse;
        const WrappedReports wrapped = WrapReports(frame);
        EXPECT_TRUE(mouse.Feed(wrapped.reports[0]).accepted) << c.what;
        const FeedResult result = mouse.Feed(wrapped.reports[1]);
        EXPECT_EQ(result.reason, c.reason) << c.what << ": " << RejectReasonName(result.reason);
        EXPECT_FALSE(mouse.State().macros[5].written) << c.what;
    }
}

TEST(DeviceModel, MacroHalvesMustFollowEachOther) {
    ButtonSlot slot{};
    const WrappedReports macro = WrapReports(MacroFrame(slot, 2, 0).frame);
    const Report fullWrite = WrapReports(FullWriteFrame()).reports[0];
    DeviceModel mouse;
    EXPECT_TRUE(mouse.Feed(macro.reports[0]).accepted);
    EXPECT_TRUE(mouse.Feed(fullWrite).accepted);  // the waiting first half is dropped
    EXPECT_EQ(mouse.Rejected(RejectReason::MissingSecondHalf), 1u);
    EXPECT_EQ(mouse.Feed(macro.reports[1]).reason, RejectReason::UnexpectedSecondHalf);
    EXPECT_FALSE(mouse.State().macros[2].written);

    EXPECT_TRUE(mouse.Feed(macro.reports[0]).accepted);
    const FeedResult done = mouse.Feed(macro.reports[1]);
    EXPECT_TRUE(done.frameComplete);
    EXPECT_EQ(done.command, kCommandMacro);
    EXPECT_TRUE(mouse.State().macros[2].written);
    EXPECT_EQ(mouse.FramesReceived(kCommandMacro), 1u);
}

TEST(DeviceModel, StatusReportsItSendsDecodeAsSent) {
    struct Case {
        std::array<std::uint8_t, kMouseStatusReportSize> report;
        StatusType type;
        std::uint8_t value;
        std::uint8_t level;
    };
    DeviceModel mouse;
    const Case cases[] = {
        {MakePowerStatus(1, 87), StatusType::Power, 1, 87},
        {MakePowerStatus(3, 0), StatusType::Power, 3, 0},
        {MakeStageStatus(4), StatusType::DpiStage, 4, 0},
        {mouse.SwitchStage(7), StatusType::DpiStage, 7, 0},
        {MakePollingStatus(0x40), StatusType::PollingRate, 0x40, 0},
        {MakeFlagStatus(0), StatusType::Flag, 0, 0},
    };
    for (const Case& c : cases) {
        const auto event = DecodeStatusReport(c.report);
        ASSERT_TRUE(event.has_value());
        EXPECT_EQ(event->type, c.type);
        EXPECT_EQ(event->value, c.value);
        EXPECT_EQ(event->level, c.level);
    }
    EXPECT_EQ(mouse.State().currentStage, 7);

    const auto power = DecodeBleValue(MakeBleValue(0x40, 0x5002));
    ASSERT_TRUE(power.has_value());
    EXPECT_EQ(power->value, 2);
    EXPECT_EQ(power->level, 0x50);
    const auto stage = DecodeBleValue(MakeBleValue(0x10, 3));
    ASSERT_TRUE(stage.has_value());
    EXPECT_EQ(stage->value, 3);
}
