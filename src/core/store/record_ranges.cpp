#include "core/store/record_ranges.h"

#include <algorithm>

namespace quillon {

namespace {

class Repair {
public:
    void Clamp(std::int32_t& value, SettingRange range) {
        Set(value, std::clamp(value, range.low, range.high));
    }
    // A choice among `count` options numbered from 0; anything else takes `factory`.
    void Choice(std::int32_t& value, std::int32_t count, std::int32_t factory) {
        if (value < 0 || value >= count)
            Set(value, factory);
    }
    template <typename T> void Set(T& field, T value) {
        if (field != value) {
            field = value;
            ++m_changed;
        }
    }
    std::size_t Changed() const { return m_changed; }

private:
    std::size_t m_changed = 0;
};

}  // namespace

std::size_t KeepFieldsInRange(ProfileRecord& record) {
    using namespace setting_ranges;
    Repair repair;
    repair.Choice(record.lift_of_distance, 2, 0);
    repair.Choice(record.ripple_control, 2, 1);
    repair.Choice(record.angle_snap, 2, 0);
    repair.Choice(record.motion_sync, 2, 1);
    repair.Choice(record.movemode, 2, 0);
    repair.Choice(record.prate, kPollingRates, 6);
    repair.Choice(record.light_effect, kLightEffects, 0);
    repair.Clamp(record.brightness, kBrightness);
    repair.Clamp(record.breathspeed, kBreathSpeed);
    repair.Clamp(record.sleep_timer, kSleepTimer);
    repair.Clamp(record.light_off, kLightOff);
    repair.Clamp(record.key_debounce, kKeyDebounce);

    for (std::size_t i = 0; i < kDpiStageCount; ++i) {
        repair.Clamp(record.dpi_x[i], kDpi);
        // The mouse takes a stage as enabled only when its flag is exactly 1.
        if (record.dpi_step_enabled[i] != 1)
            repair.Set(record.dpi_step_enabled[i], 0);
    }
    repair.Clamp(record.dpi_step, {0, static_cast<std::int32_t>(kDpiStageCount) - 1});
    repair.Set(record.dpi_step_enabled[static_cast<std::size_t>(record.dpi_step)], 1);

    for (std::size_t k = 0; k < kPageButtonCount; ++k) {
        ButtonSlot& slot = record.slots[k];
        repair.Choice(slot.repeat_mode, kRepeatModes, 0);
        repair.Clamp(slot.repeat_count, kRepeatCount);
        if (slot.action_count > kMacroActionCapacity)
            repair.Set(slot.action_count, static_cast<std::uint16_t>(kMacroActionCapacity));
        for (MacroAction& action : slot.actions) {
            if (action.delayMs > kMacroDelayMaxMs)
                repair.Set(action.delayMs, kMacroDelayMaxMs);
        }
    }
    return repair.Changed();
}

}  // namespace quillon
