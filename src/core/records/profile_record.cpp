#include "core/records/profile_record.h"

#include <algorithm>
#include <cstring>

#include "core/text16.h"

namespace quillon {

namespace {

constexpr std::array<ColorBytes, kDpiStageCount> kDefaultSpareColors = {{{255, 0, 0, 0},
                                                                         {0, 255, 0, 0},
                                                                         {0, 0, 255, 0},
                                                                         {255, 0, 255, 0},
                                                                         {255, 255, 0, 0},
                                                                         {255, 255, 255, 0},
                                                                         {255, 255, 255, 0},
                                                                         {255, 128, 0, 0}}};

void WriteDefaultStages(ProfileRecord& record) {
    record.dpi_x = kDefaultDpi;
    record.dpi_y = kDefaultDpi;
    record.dpi_step_enabled = kDefaultDpiEnabled;
    record.dpi_color = kDefaultDpiColors;
}

}  // namespace

void InitProfileDefaults(ProfileRecord& record) {
    // The reserved texts are emptied the way a bounded wide copy of "" empties them: only the
    // terminator is written, the rest of each field keeps whatever it held.
    record.reserved_text_1[0] = u'\0';
    record.reserved_text_2[0] = u'\0';

    record.reserved2200 = 420;
    record.reserved2204 = 3;
    record.reserved2208 = 0;  // a single-byte store; the three bytes behind it are left alone
    record.reserved2212 = 6;
    record.reserved2224 = 0;
    record.lift_of_distance = 0;
    record.reserved2232 = 0;
    WriteDefaultStages(record);
    record.brightness = 8;
    record.breathspeed = 6;
    record.sleep_timer = 10;
    record.light_off = 2;
    record.dpi_step = kDefaultDpiStep;
    record.prate = kDefaultPrate;
    record.ripple_control = 1;
    record.angle_snap = 0;
    record.motion_sync = 1;
    record.light_effect = 0;
    record.reserved2384 = 3;
    record.reserved2388 = 1;  // a single-byte store, as at 2,208
    record.key_debounce = 3;
    record.light_color = {0, 0, 255, 0};
    record.spare_color = kDefaultSpareColors;

    std::memset(static_cast<void*>(record.slots.data()), 0, kSlotAreaSize);
    for (std::size_t k = 0; k < kPageButtonCount; ++k) {
        ButtonSlot& slot = record.slots[k];
        slot.key_index = static_cast<std::uint8_t>(k);
        slot.function = kDefaultButtonFunctions[k];
        slot.reserved2 = 0;
        slot.macro_index = -1;
        slot.reserved1076 = -1;
        slot.reserved8 = 562;
    }
}

void CreateProfile(ProfileRecord& record, std::u16string_view name) {
    std::memset(static_cast<void*>(&record), 0, sizeof record);
    InitProfileDefaults(record);
    SetFieldText(record.profile_name.data(), record.profile_name.size(), name);
}

void ResetDpiStages(ProfileRecord& record) {
    record.dpi_step = kDefaultDpiStep;
    WriteDefaultStages(record);
}

bool EnableCurrentStage(ProfileRecord& record) {
    if (record.dpi_step < 0 || record.dpi_step >= static_cast<std::int32_t>(kDpiStageCount))
        return false;
    std::int32_t& enabled = record.dpi_step_enabled[static_cast<std::size_t>(record.dpi_step)];
    if (enabled == 1)
        return false;
    enabled = 1;
    return true;
}

bool RepairSettingRanges(ProfileRecord& record) {
    bool changed = false;
    const auto clamp = [&changed](std::int32_t& field, std::int32_t low, std::int32_t high) {
        const std::int32_t repaired = std::clamp(field, low, high);
        changed = changed || repaired != field;
        field = repaired;
    };
    const auto inTable = [&changed](std::int32_t& field, std::int32_t count, std::int32_t factory) {
        if (field >= 0 && field < count)
            return;
        field = factory;
        changed = true;
    };
    clamp(record.dpi_step, 0, static_cast<std::int32_t>(kDpiStageCount) - 1);
    clamp(record.brightness, 0, kMaxBrightness);
    clamp(record.breathspeed, 0, kMaxBreathspeed);
    inTable(record.light_effect, kLightEffectCount, 0);
    inTable(record.prate, kPollingRateCount, kDefaultPrate);
    return EnableCurrentStage(record) || changed;
}

}  // namespace quillon
