#pragma once
// The controls of the settings page, found once by their layout names.
//
// The page relies on every one of them being in the layout; `Find` reports the names it could not
// find (of the expected kind) so that a broken layout is noticed at start-up rather than on the
// first click. Numbered families ("ms_1_btn_key_%d", ...) are counted from 1 in the layout and
// held 0-based here.

#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>

#include "core/records/profile_record.h"
#include "ui/controls.h"

namespace quillon {

class CPaintManagerUI;

inline constexpr std::size_t kPollingRateOptionCount = 7;

// A section box and the container it opens and closes.
struct SectionToggle {
    CCheckBoxUI* box = nullptr;
    CControlUI* container = nullptr;
    // Opening this section scrolls the settings to their end so that it comes into view.
    bool scrollsIntoView = false;
};
inline constexpr std::size_t kSectionCount = 13;

// Positions in PageControls::sections of the sections the link state shows or hides.
inline constexpr std::size_t kPowerSection = 2;        // ms_1_check_power
inline constexpr std::size_t kPollingRateSection = 5;  // ms_1_check_prate
inline constexpr std::size_t kKeyDebounceSection = 9;  // ms_1_check_key_debounce

struct PageControls {
    std::array<CButtonUI*, kPageButtonCount> keyButtons{};
    CButtonUI* macroButton = nullptr;
    CListUI* profileList = nullptr;
    CButtonUI* profileAdd = nullptr;
    CButtonUI* profileDelete = nullptr;
    CButtonUI* profileRename = nullptr;
    CButtonUI* profileImport = nullptr;
    CButtonUI* profileExport = nullptr;
    CButtonUI* profileReset = nullptr;
    CButtonUI* reset = nullptr;
    CControlUI* wired = nullptr;
    CControlUI* wireless = nullptr;
    CControlUI* ble = nullptr;

    std::array<SectionToggle, kSectionCount> sections{};
    CContainerUI* settingScroll = nullptr;

    std::array<CSliderUI*, kDpiStageCount> dpiSliders{};
    std::array<CLabelUI*, kDpiStageCount> dpiLabels{};
    std::array<CRichEditUI*, kDpiStageCount> dpiEdits{};
    std::array<COptionUI*, kDpiStageCount> dpiStageOptions{};
    std::array<CCheckBoxUI*, kDpiStageCount> dpiStageChecks{};
    std::array<CButtonUI*, kDpiStageCount> dpiColorButtons{};
    CButtonUI* applyDpi = nullptr;
    CButtonUI* resetDpi = nullptr;

    CComboUI* lightEffect = nullptr;
    CControlUI* brightnessBox = nullptr;
    CSliderUI* brightness = nullptr;
    CLabelUI* brightnessLabel = nullptr;
    CControlUI* breathspeedBox = nullptr;
    CSliderUI* breathspeed = nullptr;
    CLabelUI* breathspeedLabel = nullptr;
    CControlUI* lightColorBox = nullptr;
    CButtonUI* lightColor = nullptr;

    std::array<COptionUI*, kPollingRateOptionCount> pollingRates{};
    CLabelUI* pollingRateLabel = nullptr;
    CButtonUI* mouseAttribute = nullptr;
    CSliderUI* lightOff = nullptr;
    CLabelUI* lightOffLabel = nullptr;
    CSliderUI* sleepTimer = nullptr;
    CLabelUI* sleepTimerLabel = nullptr;
    CSliderUI* keyDebounce = nullptr;
    CLabelUI* keyDebounceLabel = nullptr;
    std::array<COptionUI*, 2> liftOfDistance{};
    std::array<COptionUI*, 2> rippleControl{};
    std::array<COptionUI*, 2> angleSnap{};
    std::array<COptionUI*, 2> motionSync{};
    CCheckBoxUI* moveMode = nullptr;
    CButtonUI* apply = nullptr;
    // The page's status row beside "Send to mouse": how the last write went, or that changes wait
    // for the mouse.
    CLabelUI* sendStatus = nullptr;

    CProgressUI* powerProgress = nullptr;
    CLabelUI* powerLabel = nullptr;
    CLabelUI* lowPowerLabel = nullptr;
    CLabelUI* sleepLabel = nullptr;

    // Finds every control; returns the names that are missing or of another kind.
    QStringList Find(const CPaintManagerUI& pm);

    // The section whose box is `box`, or null.
    const SectionToggle* SectionOf(const CControlUI* box) const;
};

// The position (0-based) of `control` in a family, or -1.
template <class Family> int IndexIn(const Family& family, const CControlUI* control) {
    if (control == nullptr)
        return -1;
    for (std::size_t i = 0; i < family.size(); ++i) {
        if (family[i] != nullptr && static_cast<const CControlUI*>(family[i]) == control)
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace quillon
