#pragma once
// The performance and power sections of the settings page: polling rate, lift-off distance, ripple
// control, angle snap, motion sync, key debounce, the light-off and sleep timers and the move-mode
// box. Options and the box are sent at once; the three sliders 500 ms after their last move.

#include <QString>

#include <cstdint>
#include <functional>

#include "app/page/page_context.h"
#include "app/page/page_controls.h"

namespace quillon {

// The texts of the three slider labels. `text` resolves a language key.
QString KeyDebounceLabel(std::int32_t keyDebounce);
QString SleepTimerLabel(std::int32_t sleepTimer, const std::function<QString(const QString&)>& text);
QString LightOffLabel(std::int32_t lightOff, const std::function<QString(const QString&)>& text);

class PowerSection {
public:
    PowerSection(PageControls& controls, PageContext& page);

    // Notifications; each returns false when the sender is not one of this section's controls.
    bool OnSelectChanged(CControlUI* sender);
    bool OnValueChanged(CControlUI* sender);
    bool OnCheckClick(CControlUI* sender);

    // Shows the record's options, sliders and labels (part of the page's Refresh; the move-mode
    // box keeps what the user last set).
    void Show(const ProfileRecord& record);
    void ShowLabels(const ProfileRecord& record);

private:
    PageControls& m_controls;
    PageContext& m_page;
};

}  // namespace quillon
