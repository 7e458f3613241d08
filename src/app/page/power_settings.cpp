#include "app/page/power_settings.h"

#include "ui/controls.h"
#include "ui/resource_manager.h"

namespace quillon {
namespace {

QString LanguageText(const QString& key) {
    return CResourceManager::GetInstance()->GetText(key);
}

// Selects option `value` + 1 of a family without a notification; values outside it select nothing.
template <std::size_t N> void SelectOption(const std::array<COptionUI*, N>& family, std::int32_t value) {
    if (value < 0 || value >= static_cast<std::int32_t>(N))
        return;
    family[static_cast<std::size_t>(value)]->Selected(true, SelectNotify::No);
}

}  // namespace

QString KeyDebounceLabel(std::int32_t keyDebounce) {
    return QString::asprintf("%d ms", keyDebounce);
}

QString SleepTimerLabel(std::int32_t sleepTimer, const std::function<QString(const QString&)>& text) {
    return text(QStringLiteral("sleep_timer_3_text")) + QString::number(sleepTimer) + u' ' +
           text(QStringLiteral("sleep_timer_2_text"));
}

QString LightOffLabel(std::int32_t lightOff, const std::function<QString(const QString&)>& text) {
    // The value is kept in half units; it is halved in single precision, as the mouse's own tools do.
    const float halved = static_cast<float>(lightOff) * 0.5f;
    return text(QStringLiteral("sleep_timer_1_text")) +
           QString::asprintf("%.1f", static_cast<double>(halved)) + u' ' +
           text(QStringLiteral("sleep_timer_2_text"));
}

PowerSection::PowerSection(PageControls& controls, PageContext& page) : m_controls(controls), m_page(page) {}

bool PowerSection::OnSelectChanged(CControlUI* sender) {
    ProfileRecord* record = m_page.Selected();
    struct Family {
        int index;
        std::int32_t* field;
    };
    const Family families[] = {
        {IndexIn(m_controls.pollingRates, sender), record ? &record->prate : nullptr},
        {IndexIn(m_controls.liftOfDistance, sender), record ? &record->lift_of_distance : nullptr},
        {IndexIn(m_controls.rippleControl, sender), record ? &record->ripple_control : nullptr},
        {IndexIn(m_controls.angleSnap, sender), record ? &record->angle_snap : nullptr},
        {IndexIn(m_controls.motionSync, sender), record ? &record->motion_sync : nullptr},
    };
    for (const Family& family : families) {
        if (family.index < 0)
            continue;
        if (family.field == nullptr)
            return true;
        *family.field = family.index;
        m_page.RequestApply();
        return true;
    }
    return false;
}

bool PowerSection::OnValueChanged(CControlUI* sender) {
    if (sender == nullptr)
        return false;
    CSliderUI* slider = nullptr;
    CLabelUI* label = nullptr;
    if (sender == m_controls.keyDebounce)
        slider = m_controls.keyDebounce, label = m_controls.keyDebounceLabel;
    else if (sender == m_controls.sleepTimer)
        slider = m_controls.sleepTimer, label = m_controls.sleepTimerLabel;
    else if (sender == m_controls.lightOff)
        slider = m_controls.lightOff, label = m_controls.lightOffLabel;
    else
        return false;

    ProfileRecord* record = m_page.Selected();
    if (record == nullptr)
        return true;
    const std::int32_t value = slider->GetValue();
    if (slider == m_controls.keyDebounce) {
        record->key_debounce = value;
        label->SetText(KeyDebounceLabel(value));
    } else if (slider == m_controls.sleepTimer) {
        record->sleep_timer = value;
        label->SetText(SleepTimerLabel(value, LanguageText));
    } else {
        record->light_off = value;
        label->SetText(LightOffLabel(value, LanguageText));
    }
    m_page.RequestApplyAfter(kSliderApplyDelayMs);
    return true;
}

bool PowerSection::OnCheckClick(CControlUI* sender) {
    if (sender == nullptr || sender != m_controls.moveMode)
        return false;
    ProfileRecord* record = m_page.Selected();
    if (record == nullptr)
        return true;
    record->movemode = m_controls.moveMode->GetCheck() ? 1 : 0;
    m_page.RequestApply();
    return true;
}

void PowerSection::Show(const ProfileRecord& record) {
    SelectOption(m_controls.pollingRates, record.prate);
    SelectOption(m_controls.liftOfDistance, record.lift_of_distance);
    SelectOption(m_controls.rippleControl, record.ripple_control);
    SelectOption(m_controls.angleSnap, record.angle_snap);
    SelectOption(m_controls.motionSync, record.motion_sync);
    m_controls.lightOff->SetValue(record.light_off);
    m_controls.sleepTimer->SetValue(record.sleep_timer);
    m_controls.keyDebounce->SetValue(record.key_debounce);
    ShowLabels(record);
    // The box shows the stored value; without this it would stay unticked after a restart while
    // the profile holds 1.
    m_controls.moveMode->SetCheck(record.movemode == 1, SelectNotify::No);
}

void PowerSection::ShowLabels(const ProfileRecord& record) {
    m_controls.lightOffLabel->SetText(LightOffLabel(record.light_off, LanguageText));
    m_controls.sleepTimerLabel->SetText(SleepTimerLabel(record.sleep_timer, LanguageText));
    m_controls.keyDebounceLabel->SetText(KeyDebounceLabel(record.key_debounce));
}

}  // namespace quillon
