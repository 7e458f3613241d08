#pragma once
// The DPI stages and lighting sections of the settings page.
//
// Eight stages, each with a resolution (the slider works in the stored unit of 50 DPI, the label
// and the edit show DPI), an enable box, a colour, and one of them current; and the lighting
// effect with brightness, breathing speed and colour. What is sent when:
//   - DPI slider moves and typed DPI values send nothing; they go with the next apply.
//   - the current stage, the enable boxes and colours are sent at once;
//   - the effect is sent 200 ms, brightness and breathing speed 500 ms after the last change.
// The stage badges and the highlighted edit are two views of the current stage: whichever way the
// stage changes, both follow. A stage that is off looks it; a DPI edit that had to correct what was
// typed flashes for a moment.

#include <QPoint>
#include <QRect>

#include <cstdint>
#include <functional>
#include <optional>

#include "app/page/page_context.h"
#include "app/page/page_controls.h"
#include "platform/messages.h"

namespace quillon {

// Opens the colour dialog at a screen point with a start colour (ARGB); the chosen colour, or
// nothing when the dialog was cancelled.
using ColorChooser = std::function<std::optional<std::uint32_t>(std::uint32_t argb, QPoint topLeft)>;

inline constexpr const char* kDpiEditImage = "skins/richedit_1.png";
inline constexpr const char* kCurrentDpiEditImage = "skins/richedit_2.png";

// DPI typed into an edit is brought into this range and down to a multiple of kDpiUnit.
inline constexpr int kDpiUnit = 50;
inline constexpr int kMinTypedDpi = 50;
inline constexpr int kMaxTypedDpi = 26000;
// How long a DPI edit flashes after it corrected a typed value.
inline constexpr UINT kDpiEditFlashMs = 700;

// The decimal number at the start of `text` (after blanks and an optional sign), saturated to the
// range of int; 0 when there are no digits.
int LeadingDecimal(const QString& text);

// The stored value (units of 50 DPI) for a DPI typed into an edit.
std::int32_t TypedDpiToUnits(int typedDpi);

class DpiLightingSection {
public:
    // `windowRect` gives the main window's rectangle on the screen, for placing the colour dialog.
    DpiLightingSection(PageControls& controls, PageContext& page, ColorChooser chooseColor,
                       std::function<QRect()> windowRect);

    // Notifications; each returns false when the sender is not one of this section's controls.
    bool OnClick(CControlUI* sender);
    bool OnSelectChanged(CControlUI* sender);
    bool OnItemSelect(CControlUI* sender, int index);
    bool OnCheckClick(CControlUI* sender);
    bool OnKillFocus(CControlUI* sender);  // also "return"
    bool OnValueChanged(CControlUI* sender);
    bool OnTextChanged(CControlUI* sender);
    bool OnSetFocus(CControlUI* sender);
    // "timer" notifications of the section's controls.
    bool OnTimer(CControlUI* sender, UINT id);

    void OnDpiSliderChanged(std::size_t stage);
    void OnDpiEditCommit(std::size_t stage);
    void OnDpiEditText(std::size_t stage);
    void OnDpiEditFocus(std::size_t stage);
    void OnDpiStageSelected(std::size_t stage);
    void OnDpiStageChecked(std::size_t stage);
    // The colour of stage `stage`, or of the lighting when `stage` is empty.
    void OnColorButton(std::optional<std::size_t> stage);
    void OnLightEffect(int index);
    void OnLightSlider(CControlUI* slider);

    // Shows the brightness, breathing-speed and colour controls that the effect uses.
    void ApplyLightLayout();
    // The edit of the current stage stands out.
    void ShowDpiEditImages();
    // A stage that is off looks it (its slider and edit stay usable).
    void ShowStageEnabled(std::size_t stage, bool enabled);
    // Shows the record's stages and lighting (part of the page's Refresh).
    void Show(const ProfileRecord& record);

private:
    void FlashEdit(CRichEditUI& edit);
    void ShowStageValue(std::size_t stage, std::int32_t units);
    void ShowStageSwitchedOn(ProfileRecord& record, std::size_t stage);
    void ShowLightValues(const ProfileRecord& record);

    PageControls& m_controls;
    PageContext& m_page;
    ColorChooser m_chooseColor;
    std::function<QRect()> m_windowRect;
};

}  // namespace quillon
