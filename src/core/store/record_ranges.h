#pragma once
// Keeps the settings of a record that came from outside (an imported ".pro" file) inside the
// ranges the page offers and the mouse's reports can carry.
//
// The report encodings pack several settings into one byte (the lighting effect in the high
// nibble, the brightness beside the sleep timer, ...), so a value out of its range would not just
// be wrong on the mouse: it would spill into its neighbour's bits. A magnitude out of range is
// brought to the nearest end of its range (the current DPI stage too); a choice that names no
// option (a polling rate of 9, an on/off setting of 7) takes its factory value. The current DPI
// stage is always an enabled stage: a disabled one is enabled, as the page does when the user or
// the mouse chooses it.

#include <cstddef>
#include <cstdint>

#include "core/records/profile_record.h"

namespace quillon {

// The ranges of the settings, as the page's sliders and options offer them.
struct SettingRange {
    std::int32_t low;
    std::int32_t high;
};
namespace setting_ranges {
inline constexpr SettingRange kDpi{0, 520};  // units of 50 DPI; 0 is an empty stage
inline constexpr SettingRange kBrightness{1, 15};
inline constexpr SettingRange kBreathSpeed{1, 9};
inline constexpr SettingRange kSleepTimer{1, 60};
inline constexpr SettingRange kLightOff{1, 60};
inline constexpr SettingRange kKeyDebounce{1, 30};
inline constexpr SettingRange kRepeatCount{0, 255};
inline constexpr std::int32_t kLightEffects = 12;
inline constexpr std::int32_t kPollingRates = 7;
inline constexpr std::int32_t kRepeatModes = 4;
inline constexpr std::uint16_t kMacroDelayMaxMs = 25000;
}  // namespace setting_ranges

// Repairs every field of `record` that lies outside its range; returns how many fields it changed
// (0 for a record the program wrote itself).
std::size_t KeepFieldsInRange(ProfileRecord& record);

}  // namespace quillon
