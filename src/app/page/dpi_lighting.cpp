#include "app/page/dpi_lighting.h"

#include <algorithm>
#include <climits>

#include "app/edit_adapter.h"
#include "core/keys/key_tables.h"
#include "platform/messages.h"
#include "ui/controls.h"
#include "ui/paint_manager.h"

namespace quillon {
namespace {

QString Decimal(std::int64_t value) {
    return QString::number(value);
}

// An edit as the digit filter sees it.

struct LightLayout {
    bool brightness;
    bool breathspeed;
    bool color;
};

LightLayout LightLayoutOf(std::int32_t effect) {
    switch (effect) {
    case 1:
        return {true, false, true};
    case 2:
        return {false, true, true};
    case 3:
    case 4:
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
        return {false, true, false};
    case 5:
        return {true, false, false};
    default:
        return {false, false, false};
    }
}

std::optional<std::size_t> StageOf(std::int32_t dpiStep) {
    if (dpiStep < 0 || dpiStep >= static_cast<std::int32_t>(kDpiStageCount))
        return std::nullopt;
    return static_cast<std::size_t>(dpiStep);
}

}  // namespace

int LeadingDecimal(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > INT_MAX)
            value = std::int64_t{INT_MAX} + 1;  // keep saturating without overflow
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

std::int32_t TypedDpiToUnits(int typedDpi) {
    int dpi = typedDpi;
    if (dpi < kMinTypedDpi + 1)
        dpi = kMinTypedDpi;
    if (dpi >= kMaxTypedDpi)
        dpi = kMaxTypedDpi;
    return dpi / kDpiUnit;
}

DpiLightingSection::DpiLightingSection(PageControls& controls, PageContext& page, ColorChooser chooseColor,
                                       std::function<QRect()> windowRect)
    : m_controls(controls), m_page(page), m_chooseColor(std::move(chooseColor)),
      m_windowRect(std::move(windowRect)) {}

bool DpiLightingSection::OnClick(CControlUI* sender) {
    if (sender == nullptr)
        return false;
    if (sender == m_controls.lightColor) {
        OnColorButton(std::nullopt);
        return true;
    }
    const int stage = IndexIn(m_controls.dpiColorButtons, sender);
    if (stage < 0)
        return false;
    OnColorButton(static_cast<std::size_t>(stage));
    return true;
}

bool DpiLightingSection::OnSelectChanged(CControlUI* sender) {
    const int stage = IndexIn(m_controls.dpiStageOptions, sender);
    if (stage < 0)
        return false;
    OnDpiStageSelected(static_cast<std::size_t>(stage));
    return true;
}

bool DpiLightingSection::OnItemSelect(CControlUI* sender, int index) {
    if (sender == nullptr || sender != m_controls.lightEffect)
        return false;
    OnLightEffect(index);
    return true;
}

bool DpiLightingSection::OnCheckClick(CControlUI* sender) {
    const int stage = IndexIn(m_controls.dpiStageChecks, sender);
    if (stage < 0)
        return false;
    OnDpiStageChecked(static_cast<std::size_t>(stage));
    return true;
}

bool DpiLightingSection::OnKillFocus(CControlUI* sender) {
    const int stage = IndexIn(m_controls.dpiEdits, sender);
    if (stage < 0)
        return false;
    OnDpiEditCommit(static_cast<std::size_t>(stage));
    return true;
}

bool DpiLightingSection::OnValueChanged(CControlUI* sender) {
    if (sender == nullptr)
        return false;
    if (sender == m_controls.brightness || sender == m_controls.breathspeed) {
        OnLightSlider(sender);
        return true;
    }
    const int stage = IndexIn(m_controls.dpiSliders, sender);
    if (stage < 0)
        return false;
    OnDpiSliderChanged(static_cast<std::size_t>(stage));
    return true;
}

bool DpiLightingSection::OnTextChanged(CControlUI* sender) {
    const int stage = IndexIn(m_controls.dpiEdits, sender);
    if (stage < 0)
        return false;
    OnDpiEditText(static_cast<std::size_t>(stage));
    return true;
}

bool DpiLightingSection::OnSetFocus(CControlUI* sender) {
    const int stage = IndexIn(m_controls.dpiEdits, sender);
    if (stage < 0)
        return false;
    OnDpiEditFocus(static_cast<std::size_t>(stage));
    return true;
}

void DpiLightingSection::OnDpiSliderChanged(std::size_t stage) {
    ProfileRecord* record = m_page.Selected();
    if (record == nullptr)
        return;
    const int value = m_controls.dpiSliders[stage]->GetValue();
    record->dpi_x[stage] = value;
    const QString shown = Decimal(std::int64_t{value} * kDpiUnit);
    m_controls.dpiLabels[stage]->SetText(shown);
    m_controls.dpiEdits[stage]->SetText(shown);
}

void DpiLightingSection::OnDpiEditCommit(std::size_t stage) {
    ProfileRecord* record = m_page.Selected();
    if (record == nullptr)
        return;
    CRichEditUI* edit = m_controls.dpiEdits[stage];
    const QString typed = edit->GetText();
    const std::int32_t units = TypedDpiToUnits(LeadingDecimal(typed));
    record->dpi_x[stage] = units;
    m_controls.dpiSliders[stage]->SetValue(units);
    const QString stored = Decimal(std::int64_t{units} * kDpiUnit);
    edit->SetText(stored);
    // A value brought into range (or down to a multiple of 50) flashes, so that the change is seen.
    if (typed != stored)
        FlashEdit(*edit);
}

void DpiLightingSection::FlashEdit(CRichEditUI& edit) {
    edit.SetStyleState("flash", true);
    if (CPaintManagerUI* manager = edit.GetManager())
        manager->SetTimer(&edit, TIMER_DPI_EDIT_FLASH, kDpiEditFlashMs);
}

bool DpiLightingSection::OnTimer(CControlUI* sender, UINT id) {
    const int stage = IndexIn(m_controls.dpiEdits, sender);
    if (stage < 0 || id != TIMER_DPI_EDIT_FLASH)
        return false;
    CRichEditUI* edit = m_controls.dpiEdits[static_cast<std::size_t>(stage)];
    if (CPaintManagerUI* manager = edit->GetManager())
        manager->KillTimer(edit, TIMER_DPI_EDIT_FLASH);
    edit->SetStyleState("flash", false);
    return true;
}

void DpiLightingSection::OnDpiEditText(std::size_t stage) {
    CRichEditUI* edit = m_controls.dpiEdits[stage];
    EditAdapter adapter(*edit);
    DigitFilter(adapter, edit->GetText().toStdU16String());
}

void DpiLightingSection::OnDpiEditFocus(std::size_t stage) {
    ProfileRecord* record = m_page.Selected();
    if (record == nullptr)
        return;
    CRichEditUI* edit = m_controls.dpiEdits[stage];
    if (!m_controls.dpiStageChecks[stage]->GetCheck()) {
        edit->SetNormalImage(kDpiEditImage);
        edit->SetHotImage(kDpiEditImage);
        edit->SetFocusedImage(kDpiEditImage);
        return;
    }
    edit->SetNormalImage(kCurrentDpiEditImage);
    edit->SetHotImage(kCurrentDpiEditImage);
    edit->SetFocusedImage(kCurrentDpiEditImage);
    if (record->dpi_step == static_cast<std::int32_t>(stage))
        return;
    record->dpi_step = static_cast<std::int32_t>(stage);
    // The stage badge follows, so that both indicators show the stage the mouse now uses.
    m_controls.dpiStageOptions[stage]->Selected(true, SelectNotify::No);
    ShowDpiEditImages();
    m_page.RequestApply();
}

void DpiLightingSection::OnDpiStageSelected(std::size_t stage) {
    ProfileRecord* record = m_page.Selected();
    if (record == nullptr)
        return;
    record->dpi_step = static_cast<std::int32_t>(stage);
    // Choosing a disabled stage enables it: the mouse must never get a stage mask without its
    // current stage.
    if (EnableCurrentStage(*record)) {
        m_controls.dpiStageChecks[stage]->SetCheck(true, SelectNotify::No);
        ShowStageSwitchedOn(*record, stage);
    }
    // The edit highlight follows the badge.
    ShowDpiEditImages();
    m_page.RequestApply();
}

void DpiLightingSection::OnDpiStageChecked(std::size_t stage) {
    ProfileRecord* record = m_page.Selected();
    if (record == nullptr)
        return;
    CCheckBoxUI* box = m_controls.dpiStageChecks[stage];
    // The current stage cannot be switched off: the mouse would have no resolution to use.
    if (record->dpi_step == static_cast<std::int32_t>(stage)) {
        box->SetCheck(true, SelectNotify::No);
        return;
    }
    record->dpi_step_enabled[stage] = box->GetCheck() ? 1 : 0;
    if (record->dpi_step_enabled[stage] == 1)
        ShowStageSwitchedOn(*record, stage);
    else
        ShowStageEnabled(stage, false);
    m_page.RequestApply();
}

void DpiLightingSection::ShowStageSwitchedOn(ProfileRecord& record, std::size_t stage) {
    // A stage switched on with no resolution is at the mouse's lowest, 50 DPI: say so, and keep it.
    if (record.dpi_x[stage] < 1) {
        record.dpi_x[stage] = 1;
        ShowStageValue(stage, 1);
    }
    ShowStageEnabled(stage, true);
}

void DpiLightingSection::ShowStageValue(std::size_t stage, std::int32_t units) {
    m_controls.dpiSliders[stage]->SetValue(units);
    const QString shown = Decimal(std::int64_t{units} * kDpiUnit);
    m_controls.dpiLabels[stage]->SetText(shown);
    m_controls.dpiEdits[stage]->SetText(shown);
}

void DpiLightingSection::ShowStageEnabled(std::size_t stage, bool enabled) {
    // A stage that is off stays editable, but looks it.
    m_controls.dpiSliders[stage]->SetStyleState("inactive", !enabled);
    m_controls.dpiEdits[stage]->SetStyleState("inactive", !enabled);
}

void DpiLightingSection::OnColorButton(std::optional<std::size_t> stage) {
    ProfileRecord* record = m_page.Selected();
    if (record == nullptr || !m_chooseColor)
        return;
    CButtonUI* button = stage ? m_controls.dpiColorButtons[*stage] : m_controls.lightColor;
    ColorBytes& stored = stage ? record->dpi_color[*stage] : record->light_color;
    // The dialog opens below the button, reaching 200 pixels to its left.
    const QRect window = m_windowRect ? m_windowRect() : QRect();
    const QRect inside = button->GetPos();
    const QPoint topLeft(window.left() + inside.left() - 200, window.top() + inside.top() + inside.height());
    const std::optional<std::uint32_t> chosen = m_chooseColor(ColorToArgb(stored), topLeft);
    if (!chosen)
        return;
    // The dialog may run its own event loop, in which the selection could have changed.
    record = m_page.Selected();
    if (record == nullptr)
        return;
    ColorBytes& target = stage ? record->dpi_color[*stage] : record->light_color;
    target = ArgbToColor(*chosen);
    button->SetBkColor(0xFF000000u | *chosen);
    m_page.RequestApply();
}

void DpiLightingSection::OnLightEffect(int index) {
    ProfileRecord* record = m_page.Selected();
    if (record == nullptr)
        return;
    record->light_effect = index;
    ApplyLightLayout();
    m_page.RequestApplyAfter(kLightEffectApplyDelayMs);
}

void DpiLightingSection::OnLightSlider(CControlUI* slider) {
    ProfileRecord* record = m_page.Selected();
    if (record == nullptr)
        return;
    if (slider == m_controls.brightness)
        record->brightness = m_controls.brightness->GetValue();
    else if (slider == m_controls.breathspeed)
        record->breathspeed = m_controls.breathspeed->GetValue();
    else
        return;
    ShowLightValues(*record);
    m_page.RequestApplyAfter(kSliderApplyDelayMs);
}

void DpiLightingSection::ApplyLightLayout() {
    const ProfileRecord* record = m_page.Selected();
    const LightLayout layout = LightLayoutOf(record != nullptr ? record->light_effect : 0);
    m_controls.brightnessBox->SetVisible(false);
    m_controls.breathspeedBox->SetVisible(false);
    m_controls.lightColorBox->SetVisible(false);
    if (layout.brightness)
        m_controls.brightnessBox->SetVisible(true);
    if (layout.breathspeed)
        m_controls.breathspeedBox->SetVisible(true);
    if (layout.color)
        m_controls.lightColorBox->SetVisible(true);
}

void DpiLightingSection::ShowDpiEditImages() {
    const ProfileRecord* record = m_page.Selected();
    if (record == nullptr)
        return;
    for (std::size_t i = 0; i < kDpiStageCount; ++i) {
        CRichEditUI* edit = m_controls.dpiEdits[i];
        // All three images, so that an edit that had the focus as the current stage does not keep
        // that look after another stage became current.
        const char* image =
            record->dpi_step == static_cast<std::int32_t>(i) ? kCurrentDpiEditImage : kDpiEditImage;
        edit->SetNormalImage(image);
        edit->SetHotImage(image);
        edit->SetFocusedImage(image);
        edit->Invalidate();
    }
}

void DpiLightingSection::ShowLightValues(const ProfileRecord& record) {
    m_controls.brightnessLabel->SetText(Decimal(record.brightness));
    m_controls.breathspeedLabel->SetText(Decimal(record.breathspeed));
}

void DpiLightingSection::Show(const ProfileRecord& record) {
    if (const std::optional<std::size_t> current = StageOf(record.dpi_step)) {
        m_controls.dpiStageOptions[*current]->Selected(true, SelectNotify::No);
    }
    ShowDpiEditImages();
    for (std::size_t i = 0; i < kDpiStageCount; ++i) {
        // A stage holding 0 is sent as the mouse's lowest step, 50 DPI, and shown as what it is.
        ShowStageValue(i, std::max<std::int32_t>(record.dpi_x[i], 1));
        m_controls.dpiColorButtons[i]->SetBkColor(ColorToArgb(record.dpi_color[i]));
        m_controls.dpiStageChecks[i]->SetCheck(record.dpi_step_enabled[i] == 1, SelectNotify::No);
        ShowStageEnabled(i, record.dpi_step_enabled[i] == 1);
    }
    m_controls.lightEffect->SelectItem(record.light_effect, SelectNotify::No);
    m_controls.brightness->SetValue(record.brightness);
    m_controls.breathspeed->SetValue(record.breathspeed);
    ShowLightValues(record);
    m_controls.lightColor->SetBkColor(ColorToArgb(record.light_color));
}

}  // namespace quillon
