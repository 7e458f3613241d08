#include "core/protocol/frames.h"
#include "core/records/button_catalogue.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <set>
#include <string_view>
#include <vector>

using namespace quillon;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::unique_ptr<ProfileRecord> DefaultRecord() {
    auto record = std::make_unique<ProfileRecord>();
    CreateProfile(*record, u"Default");
    return record;
}

Bytes Payload(const Frame& frame) {
    return Bytes(frame.payload().begin(), frame.payload().end());
}

// The report padded with zeros to 64 bytes.
Report Padded(const Bytes& head) {
    Report report{};
    std::copy(head.begin(), head.end(), report.begin());
    return report;
}

MacroAction Press(std::uint8_t code, std::uint16_t delay, std::uint8_t kind = kActionDown) {
    MacroAction action{};
    action.code = code;
    action.kind = kind;
    action.delayMs = delay;
    return action;
}

}  // namespace

TEST(Frames, PollingRateReportMatchesTheMouseExample) {
    auto record = DefaultRecord();
    record->prate = 3;
    const WrappedReports wrapped = WrapReports(PollingRateFrame(*record));
    ASSERT_EQ(wrapped.count, 1u);
    EXPECT_EQ(wrapped.reports[0],
              Padded({0x04, 0x0E, 0x00, 0x06, 0x09, 0x01, 0x04, 0xFB, 0x00, 0x00, 0x00, 0x00, 0x01, 0x21}));
}

TEST(Frames, FullWriteReportMatchesTheMouseExample) {
    const WrappedReports wrapped = WrapReports(FullWriteFrame());
    ASSERT_EQ(wrapped.count, 1u);
    EXPECT_EQ(wrapped.reports[0], Padded({0x04, 0x0F, 0x00, 0x0C, 0x0A, 0x01, 0xFE, 0x01, 0xFE, 0x00, 0x00,
                                          0x00, 0x00, 0x02, 0x27}));
}

TEST(Frames, PollingRateCodeForEveryOption) {
    const std::vector<std::pair<std::int32_t, std::uint8_t>> cases = {
        {0, 0x20}, {1, 0x10}, {2, 0x08}, {3, 0x04}, {4, 0x02}, {5, 0x01}, {6, 0x40}, {7, 0x02}, {-1, 0x02}};
    auto record = DefaultRecord();
    for (auto [prate, code] : cases) {
        record->prate = prate;
        const Frame frame = PollingRateFrame(*record);
        EXPECT_EQ(Payload(frame), (Bytes{0x06, 0x09, 0x01, code, std::uint8_t(code ^ 0xFF), 0, 0, 0, 0}))
            << "prate " << prate;
        if (prate >= 0 && prate <= 6) {
            EXPECT_EQ(PrateOfPollingCode(code), prate);
        }
    }
    EXPECT_EQ(PrateOfPollingCode(0x80), -1);
}

TEST(Frames, PerformanceFrameOfTheDefaultProfile) {
    const Bytes expected = {
        0x04, 0x38, 0x01, 0x00, 0x01, 0x3F, 0x00, 0x01,  // header, lift, ripple, mask, snap, sync
        0x07, 0x0F, 0x17, 0x1F, 0x3F, 0x63, 0x00, 0x00,  // low bytes of v - 1
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // high bytes
        0x02,                                            // current stage 2
        0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0xFF,
        0xFF, 0xFF, 0xFF, 0x40, 0x00, 0xFF, 0xFF, 0xFF, 0x02, 0x0F, 0x65, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Payload(PerformanceFrame(*DefaultRecord())), expected);
}

TEST(Frames, PerformanceFrameStageEdges) {
    auto record = DefaultRecord();
    record->dpi_step_enabled.fill(0);
    record->dpi_x = {1, 520, 0, -5, 2, 256, 257, 100};
    const Frame frame = PerformanceFrame(*record);
    EXPECT_EQ(frame.bytes[5], 0x00);
    const Bytes low(frame.bytes.begin() + 8, frame.bytes.begin() + 16);
    const Bytes high(frame.bytes.begin() + 16, frame.bytes.begin() + 24);
    EXPECT_EQ(low, (Bytes{0x00, 0x07, 0x00, 0x00, 0x01, 0xFF, 0x00, 0x63}));
    EXPECT_EQ(high, (Bytes{0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}));

    // Only an entry of exactly 1 takes part in switching.
    record->dpi_step_enabled = {1, 0, 2, 1, -1, 0, 0, 1};
    EXPECT_EQ(PerformanceFrame(*record).bytes[5], 0x89);
}

TEST(Frames, LightingReportOfTheDefaultProfile) {
    const WrappedReports wrapped = WrapReports(LightingFrame(*DefaultRecord()));
    ASSERT_EQ(wrapped.count, 1u);
    EXPECT_EQ(wrapped.reports[0], Padded({0x04, 0x14, 0x00, 0x05, 0x0F, 0x01, 0x00, 0x03, 0xA8, 0x00,
                                          0x00, 0xFF, 0x02, 0x03, 0x01, 0xAF, 0x00, 0x00, 0x02, 0x8C}));
}

TEST(Frames, LightingNibbles) {
    struct Case {
        std::int32_t effect, brightness, breath, sleep;
        std::uint8_t b3, b4, b5;
    };
    const Case cases[] = {
        {1, 4, 6, 10, 0x10, 0x03, 0xA4},     // brightness is sent for effect 1
        {5, 15, 2, 0x35, 0x50, 0x37, 0x5F},  // and for effect 5; the sleep timer spans two nibbles
        {2, 4, 6, 10, 0x20, 0x03, 0xA8},     // other effects send 8
        {16, 4, 9, 0, 0x00, 0x00, 0x08},     // effect wraps modulo 256 after the shift
        {3, 0, 10, 0, 0x30, 0xFF, 0x08},     // 9 - 10 wraps to 0xFF
    };
    auto record = DefaultRecord();
    for (const Case& c : cases) {
        record->light_effect = c.effect;
        record->brightness = c.brightness;
        record->breathspeed = c.breath;
        record->sleep_timer = c.sleep;
        const Frame frame = LightingFrame(*record);
        EXPECT_EQ(frame.bytes[3], c.b3) << "effect " << c.effect;
        EXPECT_EQ(frame.bytes[4], c.b4) << "effect " << c.effect;
        EXPECT_EQ(frame.bytes[5], c.b5) << "effect " << c.effect;
    }
}

TEST(Frames, KeyMapCarriesEachButtonsDeviceBytes) {
    auto record = DefaultRecord();
    record->slots[0].function = kFunctionLeftButtonMacro;
    record->slots[2].function = kFunctionShortcut;
    record->slots[2].shortcut_modifiers = 0x05;
    record->slots[2].shortcut_key = 0x1D;
    record->slots[6].function = kFunctionMacro;
    record->slots[9].function = kFunctionMacro;  // beyond the seventh button: device slot 0
    record->slots[10].function = 15;             // no row in the table
    record->slots[11].function = 22;
    record->slots[12].function = 50;
    const Bytes expected = {0x08, 0x3B, 0x01, 0x3A, 0x00, 0x01, 0x03, 0x00, 0x00, 0x11, 0x05, 0x1D,
                            0x0D, 0x00, 0x00, 0x28, 0x00, 0x00, 0x06, 0x00, 0x00, 0x12, 0x00, 0x19,
                            0x01, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x12, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0x10, 0x00, 0x03, 0x11, 0x0A, 0x16, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00,
                            0x01, 0x00, 0x00, 0x09, 0x00, 0x00, 0x0A, 0x00, 0x00};
    Bytes payload = Payload(KeyMapFrame(*record));
    ASSERT_EQ(payload.size(), 59u);
    const unsigned sum = std::accumulate(payload.begin() + 3, payload.begin() + 57, 0u);
    EXPECT_EQ(payload[57], (sum >> 8) & 0xFF);
    EXPECT_EQ(payload[58], sum & 0xFF);
    payload.resize(57);
    EXPECT_EQ(payload, expected);
}

TEST(Frames, KeyActionTableHasOneRowPerCode) {
    std::set<std::uint8_t> codes;
    for (const KeyAction& row : KeyActionTable)
        codes.insert(row.function);
    EXPECT_EQ(codes.size(), KeyActionTable.size());
    const std::vector<std::pair<std::uint8_t, std::array<std::uint8_t, 3>>> samples = {
        {0, {0x01, 0, 0}},        {14, {0x0C, 0, 0}},  {23, {0x29, 0, 0x03}}, {42, {0x11, 0x04, 0x3D}},
        {81, {0x11, 0x03, 0x12}}, {115, {0x14, 0, 0}}, {89, {0x23, 0, 0}},    {15, {0, 0, 0}},
        {116, {0, 0, 0}},         {255, {0, 0, 0}}};
    for (auto [function, bytes] : samples)
        EXPECT_EQ(KeyActionBytes(function), bytes) << int(function);
}

namespace {

// The HID keyboard report's modifier bits and usages, from the USB HID usage tables rather than
// from the program's own table: letters run from 0x04 ('A'), F1 is 0x3A, and so on.
struct Shortcut {
    std::uint8_t modifiers = 0;
    std::uint8_t usage = 0;
};

Shortcut ParseShortcut(std::string_view text) {
    Shortcut shortcut;
    for (;;) {
        const std::size_t plus = text.find('+', 1);
        if (plus == std::string_view::npos)
            break;
        const std::string_view modifier = text.substr(0, plus);
        if (modifier == "Ctrl")
            shortcut.modifiers |= 0x01;
        else if (modifier == "Shift")
            shortcut.modifiers |= 0x02;
        else if (modifier == "Alt")
            shortcut.modifiers |= 0x04;
        else if (modifier == "GUI")
            shortcut.modifiers |= 0x08;
        else
            ADD_FAILURE() << "unknown modifier " << modifier;
        text.remove_prefix(plus + 1);
    }
    if (text.size() == 1 && text[0] >= 'A' && text[0] <= 'Z')
        shortcut.usage = static_cast<std::uint8_t>(0x04 + (text[0] - 'A'));
    else if (text.size() == 2 && text[0] == 'F' && text[1] >= '1' && text[1] <= '9')
        shortcut.usage = static_cast<std::uint8_t>(0x3A + (text[1] - '1'));
    else if (text == "Tab")
        shortcut.usage = 0x2B;
    else if (text == "-")
        shortcut.usage = 0x2D;
    else if (text == "=")
        shortcut.usage = 0x2E;
    else
        ADD_FAILURE() << "unknown key " << text;
    return shortcut;
}

// The catalogue code whose label key or menu item is `name`.
std::uint8_t CatalogueCode(std::string_view name) {
    for (const ButtonFunction& function : ButtonCatalogue())
        if (function.labelKey == name || function.menuItem == name)
            return function.code;
    ADD_FAILURE() << "no catalogue entry named " << name;
    return 0;
}

}  // namespace

// A button assigned "copy" must make the mouse press Ctrl+C, "show desktop" GUI+D, and so on: a
// wrong row would send another shortcut without any other test noticing, since the simulated
// mouse decodes with the same bytes.
TEST(Frames, KeyboardCombinationsSendTheShortcutTheirNamesPromise) {
    struct Row {
        std::string_view name;  // catalogue label key or menu item; empty for the unnamed codes
        std::uint8_t code;      // only for the unnamed codes
        std::string_view shortcut;
    };
    const std::vector<Row> rows = {
        {"cut_text", 0, "Ctrl+X"},
        {"copy_text", 0, "Ctrl+C"},
        {"paste_text", 0, "Ctrl+V"},
        {"open_text", 0, "Ctrl+O"},
        {"save_text", 0, "Ctrl+S"},
        {"find_text", 0, "Ctrl+F"},
        {"redo_text", 0, "Ctrl+Y"},
        {"undo_text", 0, "Ctrl+Z"},
        {"select_all_text", 0, "Ctrl+A"},
        {"print_text", 0, "Ctrl+P"},
        {"close_window_text", 0, "Alt+F4"},
        {"swap_windows_text", 0, "Alt+Tab"},
        {"show_desktop_text", 0, "GUI+D"},
        {"run_command_text", 0, "GUI+R"},
        {"lock_pc_text", 0, "GUI+L"},
        {"", 47, "Ctrl+N"},  // new
        {"", 48, "Ctrl+="},  // zoom in
        {"", 49, "Ctrl+-"},  // zoom out
        {"screen_capture_text", 0, "Shift+GUI+S"},
        {"ms_1_browser_favorites", 0, "Ctrl+Shift+O"},
    };

    std::set<std::uint8_t> covered;
    for (const Row& row : rows) {
        const std::uint8_t code = row.name.empty() ? row.code : CatalogueCode(row.name);
        covered.insert(code);
        const Shortcut want = ParseShortcut(row.shortcut);
        auto record = DefaultRecord();
        record->slots[3].function = code;
        const Bytes payload = Payload(KeyMapFrame(*record));
        EXPECT_EQ((Bytes{payload[12], payload[13], payload[14]}), (Bytes{0x11, want.modifiers, want.usage}))
            << row.name << " (code " << int(code) << ") should send " << row.shortcut;
    }

    // No other code is a keyboard combination.
    std::set<std::uint8_t> combinations;
    for (const KeyAction& row : KeyActionTable)
        if (KeyActionBytes(row.function)[0] == 0x11 && row.function != kFunctionShortcut)
            combinations.insert(row.function);
    EXPECT_EQ(combinations, covered);
}

TEST(Frames, MacroOfFiftyPressesSpillsIntoTheNextSlot) {
    auto record = DefaultRecord();
    ButtonSlot& slot = record->slots[1];
    slot.function = kFunctionMacro;
    slot.repeat_mode = 2;
    slot.repeat_count = 0;
    slot.macro_color = {10, 20, 30, 0};
    slot.action_count = 50;
    for (std::size_t i = 0; i < 50; ++i)
        slot.actions[i] = Press(std::uint8_t(0x04 + i), std::uint16_t(i % 128));

    const std::uint8_t n = MacroBaseSlot(1);
    ASSERT_EQ(n, 5);
    const MacroChunk first = MacroFrame(slot, n, 0);
    ASSERT_TRUE(first.continues);
    EXPECT_EQ(first.nextStart, 49u);
    const auto& a = first.frame.bytes;
    EXPECT_EQ((Bytes{a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]}),
              (Bytes{0x09, 0x6F, 5, 2, 10, 20, 30, 1, 50}));
    EXPECT_EQ(a[9 + 98], n + 1);
    EXPECT_EQ(a[9 + 99], 0xFE);
    EXPECT_EQ(a[9 + 2 * 48 + 1], 0x04 + 48);

    const MacroChunk second = MacroFrame(slot, n + 1, first.nextStart);
    EXPECT_FALSE(second.continues);
    const auto& b = second.frame.bytes;
    EXPECT_EQ((Bytes{b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11]}),
              (Bytes{6, 0, 0, 0, 0, 0, 1, 49, 0x04 + 49, 0}));
}

TEST(Frames, MacroActionEncodings) {
    struct Case {
        MacroAction action;
        Bytes items;
    };
    MacroAction move = Press(0xF6, 130, kActionMove);
    move.x = -2;
    move.y = 300;
    MacroAction shortMove = Press(0xF6, 0, kActionMove);
    shortMove.x = 70000;  // only the low 16 bits travel
    shortMove.y = -32768;
    const Case cases[] = {
        {Press(0x1D, 200), {0x02, 0x1D, 0x02, 0x03}},
        {Press(0x1D, 1), {0x02, 0x1D}},
        {Press(0x1D, 127), {0x7F, 0x1D}},
        {Press(0x1D, 128), {0x1C, 0x1D, 0x01, 0x03}},
        {Press(0xF1, 25000, kActionUp), {0x82, 0xF1, 0xFA, 0x03}},
        {Press(0xF1, 5, kActionUp), {0x85, 0xF1}},
        {Press(0x2C, 0, 7), {0x82, 0x2C}},  // any other kind is a release
        {move, {0x1E, 0xF6, 0xFF, 0xFE, 0x01, 0x2C, 0x01, 0x03}},
        {shortMove, {0x02, 0xF6, 0x11, 0x70, 0x80, 0x00}},
    };
    for (const Case& c : cases) {
        ButtonSlot slot{};
        slot.action_count = 1;
        slot.actions[0] = c.action;
        const Frame frame = MacroFrame(slot, 9, 0).frame;
        const Bytes items(frame.bytes.begin() + 9, frame.bytes.begin() + 9 + c.items.size());
        EXPECT_EQ(items, c.items) << "delay " << c.action.delayMs;
        EXPECT_EQ(frame.bytes[8], c.items.size() / 2);
        EXPECT_EQ(frame.bytes[9 + c.items.size()], 0);
    }
}

TEST(Frames, EmptyMacroIsOneChunkWithoutItems) {
    ButtonSlot slot{};
    const MacroChunk chunk = MacroFrame(slot, 0, 0);
    EXPECT_FALSE(chunk.continues);
    EXPECT_EQ(chunk.frame.bytes[8], 0);
    EXPECT_EQ(chunk.frame.bytes[7], 1);  // a repeat count of 0 goes out as 1
    EXPECT_EQ(chunk.frame.length, 111u);
}

TEST(Frames, DamagedActionCountIsLimitedToTheActionList) {
    ButtonSlot slot{};
    slot.action_count = 0xFFFF;
    std::size_t start = 0;
    std::size_t chunks = 0;
    std::size_t items = 0;
    for (bool more = true; more && chunks < 50; ++chunks) {
        const MacroChunk chunk = MacroFrame(slot, std::uint8_t(chunks), start);
        items += chunk.frame.bytes[8] - (chunk.continues ? 1 : 0);
        more = chunk.continues;
        start = chunk.nextStart;
    }
    // An all-zero action is a movement of three items; only the 190 actions the slot holds go out,
    // 16 to a chunk.
    EXPECT_EQ(items, 190u * 3);
    EXPECT_EQ(chunks, 12u);
}

TEST(Frames, MacroFrameIsSplitOverTwoReports) {
    ButtonSlot slot{};
    slot.action_count = 40;
    for (std::size_t i = 0; i < 40; ++i)
        slot.actions[i] = Press(std::uint8_t(0x10 + i), 3);
    const Frame frame = MacroFrame(slot, 3, 0).frame;
    const WrappedReports wrapped = WrapReports(frame);
    ASSERT_EQ(wrapped.count, 2u);
    const Report& r0 = wrapped.reports[0];
    const Report& r1 = wrapped.reports[1];
    EXPECT_EQ((Bytes{r0[0], r0[1], r0[2]}), (Bytes{0x04, 0x40, 0x00}));
    EXPECT_EQ((Bytes{r1[0], r1[1], r1[2]}), (Bytes{0x04, 0x39, 0x01}));
    EXPECT_TRUE(std::equal(frame.bytes.begin(), frame.bytes.begin() + 59, r0.begin() + 3));
    EXPECT_TRUE(std::equal(frame.bytes.begin() + 59, frame.bytes.begin() + 111, r1.begin() + 3));
    const unsigned sum0 = std::accumulate(r0.begin(), r0.begin() + 62, 0u);
    const unsigned sum1 = std::accumulate(r1.begin(), r1.begin() + 55, 0u);
    EXPECT_EQ((Bytes{r0[62], r0[63]}), (Bytes{std::uint8_t(sum0 >> 8), std::uint8_t(sum0)}));
    EXPECT_EQ((Bytes{r1[55], r1[56]}), (Bytes{std::uint8_t(sum1 >> 8), std::uint8_t(sum1)}));
    EXPECT_TRUE(std::all_of(r1.begin() + 57, r1.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(Frames, PayloadsThatCannotBeWrappedGiveNoReport) {
    const Bytes tooLong(60, 0x04);
    EXPECT_EQ(WrapReports(tooLong).count, 0u);
    Bytes shortMacro(110, 0);
    shortMacro[0] = kCommandMacro;
    EXPECT_EQ(WrapReports(shortMacro).count, 0u);
    EXPECT_EQ(WrapReports(Bytes{}).count, 0u);
    EXPECT_EQ(WrapReports(Bytes(59, 0x04)).count, 1u);
}
