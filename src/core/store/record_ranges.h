#pragma once
// Keeps the settings of a record that came from outside (an imported ".pro" file) inside the
// ranges the page offers and the mouse's reports can carry.
//
// The report encodings pack several settings into one byte (the lighting effect in the high
// nibble, the brightness beside the sleep timer, ...), so a value out of its range would not just
// be wrong on the mouse: it would spill into its neighbour's bits. A magnitude out of range is
// brought to the nearest end of its range; a choice that names no option (a polling rate of 9, an
// on/off setting of 7) takes its factory value. The current DPI stage is always an enabled stage.

#include <cstddef>
#include <cstdint>

#include "core/records/profile_record.h"

namespace quillon {

// The ranges of the settings, as the page's sliders and options offer them.
struct SettingRange {
    std::int32_t low;
    std::int32_t high;
};
inline constexpr SettingRange kDpiRange{0, 520};  // units of 50 DPI; 0 is an empty stage
inline constexpr SettingRange kBrightnessRange{1, 15};
inline constexpr SettingRange kBreathSpeedRange{1, 9};
inline constexpr SettingRange kSleepTimerRange{1, 60};
inline constexpr SettingRange kLightOffRange{1, 60};
inline constexpr SettingRange kKeyDebounceRange{1, 30};
inline constexpr std::int32_t kLightEffectCount = 12;
inline constexpr std::int32_t kPollingRateCount = 7;
inline constexpr std::int32_t kRepeatModeCount = 4;
inline constexpr std::int32_t kRepeatCountMax = 255;
inline constexpr std::uint16_t kMacroDelayMaxMs = 25000;

// Repairs every field of `record` that lies outside its range; returns how many fields it changed
// (0 for a record the program wrote itself).
std::size_t KeepFieldsInRange(ProfileRecord& record);

}  // namespace quillon
