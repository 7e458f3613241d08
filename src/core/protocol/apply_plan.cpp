#include "core/protocol/apply_plan.h"

#include <algorithm>
#include <cstring>

namespace quillon {

namespace {

template <typename T> bool Differs(const T& a, const T& b) {
    static_assert(std::is_trivially_copyable_v<T>);
    return std::memcmp(&a, &b, sizeof(T)) != 0;
}

bool PerformanceDiffers(const ProfileRecord& r, const ProfileRecord& a) {
    return Differs(r.dpi_step, a.dpi_step) || Differs(r.lift_of_distance, a.lift_of_distance) ||
           Differs(r.ripple_control, a.ripple_control) || Differs(r.angle_snap, a.angle_snap) ||
           Differs(r.motion_sync, a.motion_sync) || Differs(r.reserved2224, a.reserved2224) ||
           Differs(r.reserved2232, a.reserved2232) || Differs(r.dpi_x, a.dpi_x) ||
           Differs(r.dpi_y, a.dpi_y) || Differs(r.dpi_step_enabled, a.dpi_step_enabled) ||
           Differs(r.dpi_color, a.dpi_color);
}

bool LightingDiffers(const ProfileRecord& r, const ProfileRecord& a) {
    return Differs(r.light_effect, a.light_effect) || Differs(r.reserved2384, a.reserved2384) ||
           Differs(r.breathspeed, a.breathspeed) || Differs(r.brightness, a.brightness) ||
           Differs(r.key_debounce, a.key_debounce) || Differs(r.light_color, a.light_color) ||
           Differs(r.sleep_timer, a.sleep_timer) || Differs(r.light_off, a.light_off);
}

bool MacroDiffers(const ButtonSlot& r, const ButtonSlot& a) {
    return Differs(r.repeat_mode, a.repeat_mode) || Differs(r.repeat_count, a.repeat_count) ||
           Differs(r.macro_color, a.macro_color) || Differs(r.actions, a.actions);
}

}  // namespace

bool DirtySet::Any() const {
    return performance || lighting || polling || keymap ||
           std::any_of(macro.begin(), macro.end(), [](bool dirty) { return dirty; });
}

DirtySet ComputeDirtySet(const ProfileRecord& record, const ProfileRecord& applied, FullWrite fullWrite) {
    DirtySet dirty;
    if (fullWrite == FullWrite::Yes) {
        dirty.performance = dirty.lighting = dirty.polling = dirty.keymap = true;
        dirty.macro.fill(true);
        return dirty;
    }
    dirty.performance = PerformanceDiffers(record, applied);
    dirty.lighting = LightingDiffers(record, applied);
    dirty.polling = Differs(record.prate, applied.prate);
    dirty.keymap = Differs(record.slots, applied.slots);
    for (std::size_t k = 0; k < kPageButtonCount; ++k)
        dirty.macro[k] = MacroDiffers(record.slots[k], applied.slots[k]);
    return dirty;
}

}  // namespace quillon
