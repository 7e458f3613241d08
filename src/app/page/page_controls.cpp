#include "app/page/page_controls.h"

#include "ui/paint_manager.h"

namespace quillon {
namespace {

class Finder {
public:
    explicit Finder(const CPaintManagerUI& pm) : m_controls(pm.NameIndex()) {}

    template <class T> void operator()(T*& slot, const QString& name) {
        slot = dynamic_cast<T*>(m_controls.value(name));
        if (slot == nullptr)
            m_missing << name;
    }
    template <class T, std::size_t N> void Family(std::array<T*, N>& family, const char* pattern) {
        for (std::size_t i = 0; i < N; ++i)
            (*this)(family[i], QString::asprintf(pattern, static_cast<int>(i + 1)));
    }
    QStringList missing() const { return m_missing; }

private:
    const QHash<QString, CControlUI*> m_controls;
    QStringList m_missing;
};

struct SectionName {
    const char* box;
    const char* container;
    bool scrolls;
};

// The section boxes and what they open. Opening one of the sections near the end of the settings
// scrolls them into view.
constexpr std::array<SectionName, kSectionCount> kSections = {{
    {"ms_1_check_button", "ms_1_hor_button", false},
    {"ms_1_check_profile", "ms_1_ver_profile", false},
    {"ms_1_check_power", "ms_1_ver_power", false},
    {"ms_1_check_dpi", "ms_1_ver_dpi", false},
    {"ms_1_check_light", "ms_1_ver_light", false},
    {"ms_1_check_prate", "ms_1_ver_prate", false},
    {"ms_1_check_mouse_attribute", "ms_1_ver_mouse_attribute", false},
    {"ms_1_check_power_setting", "ms_1_ver_power_setting", true},
    {"ms_1_check_lift_of_distance", "ms_1_hor_lift_of_distance", true},
    {"ms_1_check_key_debounce", "ms_1_hor_key_debounce", true},
    {"ms_1_check_ripple_control", "ms_1_hor_ripple_control", true},
    {"ms_1_check_angle_snap", "ms_1_hor_angle_snap", true},
    {"ms_1_check_motion_sync", "ms_1_hor_motion_sync", true},
}};

}  // namespace

QStringList PageControls::Find(const CPaintManagerUI& pm) {
    Finder find(pm);
    find.Family(keyButtons, "ms_1_btn_key_%d");
    find(macroButton, "ms_1_btn_macro");
    find(profileList, "ms_1_list_profile");
    find(profileAdd, "ms_1_profile_add_btn");
    find(profileDelete, "ms_1_profile_delete_btn");
    find(profileRename, "ms_1_profile_rename_btn");
    find(profileImport, "ms_1_profile_import_btn");
    find(profileExport, "ms_1_profile_export_btn");
    find(profileReset, "ms_1_profile_reset_btn");
    find(reset, "ms_1_btn_reset");
    find(wired, "ms_1_wired");
    find(wireless, "ms_1_wireless");
    find(ble, "ms_1_BLE");
    for (std::size_t i = 0; i < kSections.size(); ++i) {
        find(sections[i].box, kSections[i].box);
        find(sections[i].container, kSections[i].container);
        sections[i].scrollsIntoView = kSections[i].scrolls;
    }
    find(settingScroll, "ms_1_ver_setting");

    find.Family(dpiSliders, "ms_1_slider_dpi_%d");
    find.Family(dpiLabels, "ms_1_label_dpi_%d");
    find.Family(dpiEdits, "ms_1_edit_dpi_%d");
    find.Family(dpiStageOptions, "ms_1_option_dpi_step_%d");
    find.Family(dpiStageChecks, "ms_1_check_dpi_step_%d");
    find.Family(dpiColorButtons, "ms_1_btn_dpi_color_%d");
    find(applyDpi, "ms_1_btn_apply_dpi");
    find(resetDpi, "ms_1_btn_reset_dpi");

    find(lightEffect, "ms_1_combo_light");
    find(brightnessBox, "ms_1_ver_brightness");
    find(brightness, "ms_1_slider_brightness");
    find(brightnessLabel, "ms_1_label_brightness");
    find(breathspeedBox, "ms_1_ver_breathspeed");
    find(breathspeed, "ms_1_slider_breathspeed");
    find(breathspeedLabel, "ms_1_label_breathspeed");
    find(lightColorBox, "ms_1_hor_light_color");
    find(lightColor, "ms_1_btn_light_color");

    find.Family(pollingRates, "ms_1_btn_prate_%d");
    find(pollingRateLabel, "ms_1_label_prate");
    find(mouseAttribute, "ms_1_btn_mouse_attribute");
    find(lightOff, "ms_1_slider_light_off");
    find(lightOffLabel, "ms_1_label_light_off");
    find(sleepTimer, "ms_1_slider_sleep_timer");
    find(sleepTimerLabel, "ms_1_label_sleep_timer");
    find(keyDebounce, "ms_1_slider_key_debounce");
    find(keyDebounceLabel, "ms_1_label_key_debounce");
    find.Family(liftOfDistance, "ms_1_option_lift_of_distance_%d");
    find.Family(rippleControl, "ms_1_option_ripple_control_%d");
    find.Family(angleSnap, "ms_1_option_angle_snap_%d");
    find.Family(motionSync, "ms_1_option_motion_sync_%d");
    find(moveMode, "ms_1_check_movemode");
    find(apply, "ms_1_apply_btn");
    find(sendStatus, "ms_1_label_send_status");

    find(powerProgress, "ms_1_progress_power");
    find(powerLabel, "ms_1_label_power");
    find(lowPowerLabel, "ms_1_low_power_label");
    find(sleepLabel, "ms_1_sleep_label");
    return find.missing();
}

const SectionToggle* PageControls::SectionOf(const CControlUI* box) const {
    for (const SectionToggle& section : sections) {
        if (box != nullptr && section.box == box)
            return &section;
    }
    return nullptr;
}

}  // namespace quillon
