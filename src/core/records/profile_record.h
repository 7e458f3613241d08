#pragma once
// The profile record: every setting of one mouse profile in a flat, fixed-size block.
//
// A `ProfileRecord` is written raw to the profile store (pro.data) and to ".pro" export files and
// read back the same way, so its layout is a file format: every field keeps its offset, every
// multi-byte integer is little-endian, text is NUL-terminated UTF-16 (`char16_t`). The static
// asserts below pin every size and offset; a change that moves a byte breaks the build rather
// than the user's files.
//
// The record is 101,536 bytes, so callers keep it on the heap (the profile list owns one block per
// profile). It is trivially copyable: copy it with `=` or memcpy, compare it with memcmp, and get
// at its bytes with `RecordBytes`.
//
// Field names that appear in the file format's documentation (`dpi_x`, `light_effect`, ...) keep
// that spelling. Fields without a meaning are called reserved<offset>; they are kept because files
// carry them and because a change in some of them still marks a group for sending to the mouse:
//   reserved2224, reserved2232  -> the performance frame
//   reserved2384                -> the lighting frame

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

namespace quillon {

static_assert(std::endian::native == std::endian::little,
              "records are written raw and their integers are little-endian");

inline constexpr std::size_t kDpiStageCount = 8;
inline constexpr std::size_t kButtonSlotCount = 24;  // slots held by a record
inline constexpr std::size_t kPageButtonCount = 18;  // slots the page and the mouse use (k = 0..17)
inline constexpr std::size_t kMacroActionCapacity = 190;
inline constexpr std::size_t kProfileNameCapacity = 100;  // UTF-16 units including the NUL
inline constexpr std::size_t kMacroNameCapacity = 24;     // UTF-16 units including the NUL
inline constexpr std::size_t kReservedTextCapacity = 500;

// Button function codes with a meaning of their own in the record and on the wire.
inline constexpr std::uint8_t kFunctionLeftClick = 1;
inline constexpr std::uint8_t kFunctionShortcut = 16;
inline constexpr std::uint8_t kFunctionMacro = 17;
inline constexpr std::uint8_t kFunctionLeftButtonMacro = 25;

// `MacroAction::kind`.
inline constexpr std::uint8_t kActionMove = 0;
inline constexpr std::uint8_t kActionDown = 1;
inline constexpr std::uint8_t kActionUp = 2;

// `MacroAction::code` of mouse actions; key actions carry a HID keyboard usage instead.
inline constexpr std::uint8_t kMouseLeft = 0xF1;
inline constexpr std::uint8_t kMouseRight = 0xF2;
inline constexpr std::uint8_t kMouseMiddle = 0xF3;
inline constexpr std::uint8_t kMouseBack = 0xF4;
inline constexpr std::uint8_t kMouseForward = 0xF5;
inline constexpr std::uint8_t kMouseMove = 0xF6;

// Factory function of buttons 1..18; also what a button returns to when its macro is withdrawn.
inline constexpr std::array<std::uint8_t, kPageButtonCount> kDefaultButtonFunctions = {
    1, 2, 3, 6, 24, 4, 5, 0, 52, 0, 0, 0, 0, 0, 0, 0, 11, 12};

// A colour as records keep it: R, G, B, then 0.
using ColorBytes = std::array<std::uint8_t, 4>;

// One macro action, 16 bytes; the same layout is used by the macro store.
struct MacroAction {
    std::uint8_t reserved0;
    std::uint8_t code;  // HID keyboard usage, or one of the kMouse* codes
    std::uint8_t kind;  // kActionMove, kActionDown or kActionUp
    std::uint8_t reserved3;
    std::uint16_t delayMs;  // pause after this action
    std::array<std::uint8_t, 2> reserved6;
    std::int32_t x;  // movement only
    std::int32_t y;  // movement only
};

// One button's assignment, 4,128 bytes, including a full copy of an assigned macro.
struct ButtonSlot {
    std::uint8_t key_index;  // button number k, 0-based
    std::uint8_t function;   // button function code
    std::uint8_t reserved2;
    std::uint8_t shortcut_key;  // HID keyboard usage (function 16)
    std::array<std::uint8_t, 3> reserved4;
    std::uint8_t shortcut_modifiers;  // bit 0 Ctrl, 1 Shift, 2 Alt, 3 Win (function 16)
    std::uint16_t reserved8;          // 562 in an initialised slot
    std::array<std::uint8_t, 2> reserved10;
    std::int32_t repeat_mode;  // macro repeat mode 0..3
    std::array<char16_t, kMacroNameCapacity> macro_name;
    std::int32_t repeat_count;   // macro repeat count 1..255
    std::uint16_t action_count;  // valid entries of `actions`, 0..190 (clamp what comes from files)
    std::array<std::uint8_t, 1002> reserved70;
    std::int32_t macro_index;   // position of the macro in the macro store, -1 = none
    std::int32_t reserved1076;  // -1 in an initialised slot
    std::array<std::uint8_t, 4> reserved1080;
    ColorBytes macro_color;  // colour of a left-button macro
    std::array<MacroAction, kMacroActionCapacity> actions;
};

struct ProfileRecord {
    std::array<char16_t, kProfileNameCapacity> profile_name;
    std::array<char16_t, kReservedTextCapacity> reserved_text_1;
    std::array<char16_t, kReservedTextCapacity> reserved_text_2;
    std::int32_t reserved2200;
    std::int32_t reserved2204;
    std::uint8_t reserved2208;
    std::array<std::uint8_t, 3> reserved2209;
    std::int32_t reserved2212;
    std::array<std::uint8_t, 8> reserved2216;
    std::int32_t reserved2224;  // marks the performance frame when changed
    std::int32_t lift_of_distance;
    std::int32_t reserved2232;  // marks the performance frame when changed
    std::array<std::uint8_t, 8> reserved2236;
    std::array<std::int32_t, kDpiStageCount> dpi_x;  // units of 50 DPI, 1..520
    std::array<std::int32_t, kDpiStageCount> dpi_y;  // never shown or sent
    std::array<std::int32_t, kDpiStageCount> dpi_step_enabled;
    std::int32_t brightness;
    std::int32_t breathspeed;
    std::int32_t sleep_timer;
    std::int32_t light_off;  // half units
    std::int32_t dpi_step;   // current stage 0..7
    std::int32_t prate;      // polling-rate option 0..6
    std::int32_t movemode;   // stored only
    std::int32_t ripple_control;
    std::int32_t angle_snap;
    std::int32_t motion_sync;
    std::int32_t light_effect;
    std::int32_t reserved2384;  // marks the lighting frame when changed
    std::uint8_t reserved2388;
    std::array<std::uint8_t, 3> reserved2389;
    std::int32_t key_debounce;  // milliseconds
    ColorBytes light_color;
    std::array<ColorBytes, kDpiStageCount> dpi_color;
    std::array<ColorBytes, kDpiStageCount> spare_color;
    std::array<ButtonSlot, kButtonSlotCount> slots;
};

static_assert(std::is_trivially_copyable_v<ProfileRecord> && std::is_standard_layout_v<ProfileRecord>);
static_assert(sizeof(MacroAction) == 16);
static_assert(offsetof(MacroAction, code) == 1);
static_assert(offsetof(MacroAction, kind) == 2);
static_assert(offsetof(MacroAction, delayMs) == 4);
static_assert(offsetof(MacroAction, x) == 8);
static_assert(offsetof(MacroAction, y) == 12);

static_assert(sizeof(ButtonSlot) == 4128);
static_assert(offsetof(ButtonSlot, key_index) == 0);
static_assert(offsetof(ButtonSlot, function) == 1);
static_assert(offsetof(ButtonSlot, reserved2) == 2);
static_assert(offsetof(ButtonSlot, shortcut_key) == 3);
static_assert(offsetof(ButtonSlot, reserved4) == 4);
static_assert(offsetof(ButtonSlot, shortcut_modifiers) == 7);
static_assert(offsetof(ButtonSlot, reserved8) == 8);
static_assert(offsetof(ButtonSlot, reserved10) == 10);
static_assert(offsetof(ButtonSlot, repeat_mode) == 12);
static_assert(offsetof(ButtonSlot, macro_name) == 16);
static_assert(offsetof(ButtonSlot, repeat_count) == 64);
static_assert(offsetof(ButtonSlot, action_count) == 68);
static_assert(offsetof(ButtonSlot, reserved70) == 70);
static_assert(offsetof(ButtonSlot, macro_index) == 1072);
static_assert(offsetof(ButtonSlot, reserved1076) == 1076);
static_assert(offsetof(ButtonSlot, reserved1080) == 1080);
static_assert(offsetof(ButtonSlot, macro_color) == 1084);
static_assert(offsetof(ButtonSlot, actions) == 1088);

static_assert(sizeof(ProfileRecord) == 101536);
static_assert(offsetof(ProfileRecord, profile_name) == 0);
static_assert(offsetof(ProfileRecord, reserved_text_1) == 200);
static_assert(offsetof(ProfileRecord, reserved_text_2) == 1200);
static_assert(offsetof(ProfileRecord, reserved2200) == 2200);
static_assert(offsetof(ProfileRecord, reserved2204) == 2204);
static_assert(offsetof(ProfileRecord, reserved2208) == 2208);
static_assert(offsetof(ProfileRecord, reserved2209) == 2209);
static_assert(offsetof(ProfileRecord, reserved2212) == 2212);
static_assert(offsetof(ProfileRecord, reserved2216) == 2216);
static_assert(offsetof(ProfileRecord, reserved2224) == 2224);
static_assert(offsetof(ProfileRecord, lift_of_distance) == 2228);
static_assert(offsetof(ProfileRecord, reserved2232) == 2232);
static_assert(offsetof(ProfileRecord, reserved2236) == 2236);
static_assert(offsetof(ProfileRecord, dpi_x) == 2244);
static_assert(offsetof(ProfileRecord, dpi_y) == 2276);
static_assert(offsetof(ProfileRecord, dpi_step_enabled) == 2308);
static_assert(offsetof(ProfileRecord, brightness) == 2340);
static_assert(offsetof(ProfileRecord, breathspeed) == 2344);
static_assert(offsetof(ProfileRecord, sleep_timer) == 2348);
static_assert(offsetof(ProfileRecord, light_off) == 2352);
static_assert(offsetof(ProfileRecord, dpi_step) == 2356);
static_assert(offsetof(ProfileRecord, prate) == 2360);
static_assert(offsetof(ProfileRecord, movemode) == 2364);
static_assert(offsetof(ProfileRecord, ripple_control) == 2368);
static_assert(offsetof(ProfileRecord, angle_snap) == 2372);
static_assert(offsetof(ProfileRecord, motion_sync) == 2376);
static_assert(offsetof(ProfileRecord, light_effect) == 2380);
static_assert(offsetof(ProfileRecord, reserved2384) == 2384);
static_assert(offsetof(ProfileRecord, reserved2388) == 2388);
static_assert(offsetof(ProfileRecord, reserved2389) == 2389);
static_assert(offsetof(ProfileRecord, key_debounce) == 2392);
static_assert(offsetof(ProfileRecord, light_color) == 2396);
static_assert(offsetof(ProfileRecord, dpi_color) == 2400);
static_assert(offsetof(ProfileRecord, spare_color) == 2432);
static_assert(offsetof(ProfileRecord, slots) == 2464);

// Offset of the slot area and its size; the header is everything before it.
inline constexpr std::size_t kProfileHeaderSize = offsetof(ProfileRecord, slots);
inline constexpr std::size_t kSlotAreaSize = sizeof(ButtonSlot) * kButtonSlotCount;
static_assert(kSlotAreaSize == 99072);

// Default stage values, shared by `InitProfileDefaults` and `ResetDpiStages`.
inline constexpr std::array<std::int32_t, kDpiStageCount> kDefaultDpi = {8, 16, 24, 32, 64, 100, 0, 0};
inline constexpr std::array<std::int32_t, kDpiStageCount> kDefaultDpiEnabled = {1, 1, 1, 1, 1, 1, 0, 0};
inline constexpr std::array<ColorBytes, kDpiStageCount> kDefaultDpiColors = {{{255, 0, 0, 0},
                                                                              {0, 255, 0, 0},
                                                                              {0, 0, 255, 0},
                                                                              {255, 0, 255, 0},
                                                                              {255, 255, 0, 0},
                                                                              {255, 255, 255, 0},
                                                                              {255, 64, 0, 0},
                                                                              {255, 255, 255, 0}}};
inline constexpr std::int32_t kDefaultDpiStep = 1;

// Sets every field except `profile_name` and `movemode` to its default. Fields without a default
// keep their content: the three bytes behind the single-byte fields at 2,208 and 2,388, the zero
// areas at 2,216 and 2,236, and the tails of the two reserved texts (only their first unit is
// cleared). The whole slot area is zeroed and buttons 1..18 get their factory functions, so
// every button assignment and macro copy is rebuilt; slots 18..23 end up all zero.
void InitProfileDefaults(ProfileRecord& record);

// A new profile: the whole block zeroed, the defaults written, then the name (cut to 99 units).
void CreateProfile(ProfileRecord& record, std::u16string_view name);

// Sets `dpi_step` to 1 and `dpi_x`, `dpi_y`, `dpi_step_enabled` and `dpi_color` of all eight
// stages to their defaults; nothing else changes.
void ResetDpiStages(ProfileRecord& record);

// The settings' ranges where the frames pack them into a byte or a nibble, or look them up in a
// table: values outside would spill into neighbouring bits on the wire.
inline constexpr std::int32_t kMaxBrightness = 15;  // low nibble of the lighting frame's byte 5
inline constexpr std::int32_t kMaxBreathspeed = 9;  // sent as 9 - breathspeed in a nibble
inline constexpr std::int32_t kLightEffectCount = 12;
inline constexpr std::int32_t kPollingRateCount = 7;
inline constexpr std::int32_t kDefaultPrate = 6;

// Makes the current stage an enabled one: the mouse must never get a stage mask without its
// current stage. Returns whether the stage had to be enabled.
bool EnableCurrentStage(ProfileRecord& record);

// Repairs what a file may hold out of range: `dpi_step` (0..7), `brightness` (0..15) and
// `breathspeed` (0..9) are clamped; a `light_effect` or `prate` outside its table takes its factory
// value; the current stage is enabled. Values in range, and every other byte, stay as they are.
// Returns whether anything changed.
bool RepairSettingRanges(ProfileRecord& record);

// Colours: a stored colour R, G, B, 0 is shown as ARGB 0xFFRRGGBB; an ARGB colour is stored back
// as R, G, B, 0 with the alpha dropped.
constexpr std::uint32_t ColorToArgb(const ColorBytes& color) {
    return 0xFF000000u | std::uint32_t{color[0]} << 16 | std::uint32_t{color[1]} << 8 | color[2];
}
constexpr ColorBytes ArgbToColor(std::uint32_t argb) {
    return {static_cast<std::uint8_t>(argb >> 16 & 0xFF), static_cast<std::uint8_t>(argb >> 8 & 0xFF),
            static_cast<std::uint8_t>(argb & 0xFF), 0};
}

// The raw bytes of a record, as written to and read from files.
inline std::span<const std::byte, sizeof(ProfileRecord)> RecordBytes(const ProfileRecord& record) {
    return std::as_bytes(std::span<const ProfileRecord, 1>(&record, 1));
}
inline std::span<std::byte, sizeof(ProfileRecord)> RecordBytes(ProfileRecord& record) {
    return std::as_writable_bytes(std::span<ProfileRecord, 1>(&record, 1));
}

}  // namespace quillon
