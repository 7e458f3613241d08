#include "app/page/status_handling.h"

#include <QString>

#include "core/protocol/frames.h"
#include "core/protocol/status.h"
#include "ui/paint_manager.h"

namespace quillon {

namespace {

constexpr std::uint32_t kChargeAnimationMs = 30;
constexpr int kChargeAnimationStep = 2;

// Power report values.
constexpr std::uint16_t kChargeComplete = 2;
constexpr std::uint16_t kCharging = 3;

void SetVisible(CControlUI* control, bool visible) {
    if (control)
        control->SetVisible(visible);
}

}  // namespace

StatusControls StatusControls::Find(const CPaintManagerUI& manager) {
    StatusControls c;
    c.powerProgress = manager.FindControl<CProgressUI>(QStringLiteral("ms_1_progress_power"));
    c.powerLabel = manager.FindControl<CLabelUI>(QStringLiteral("ms_1_label_power"));
    c.sleepNotice = manager.FindControl(QStringLiteral("ms_1_sleep_label"));
    c.wired = manager.FindControl(QStringLiteral("ms_1_wired"));
    c.wireless = manager.FindControl(QStringLiteral("ms_1_wireless"));
    for (std::size_t i = 0; i < c.dpiStages.size(); ++i)
        c.dpiStages[i] = manager.FindControl<COptionUI>(QStringLiteral("ms_1_option_dpi_step_%1").arg(i + 1));
    for (std::size_t i = 0; i < c.pollingRates.size(); ++i)
        c.pollingRates[i] = manager.FindControl<COptionUI>(QStringLiteral("ms_1_btn_prate_%1").arg(i + 1));
    c.lightEffect = manager.FindControl<CComboUI>(QStringLiteral("ms_1_combo_light"));
    c.checkPrate = manager.FindControl<CCheckBoxUI>(QStringLiteral("ms_1_check_prate"));
    c.checkPower = manager.FindControl<CCheckBoxUI>(QStringLiteral("ms_1_check_power"));
    c.checkKeyDebounce = manager.FindControl<CCheckBoxUI>(QStringLiteral("ms_1_check_key_debounce"));
    c.pollingSection = manager.FindControl(QStringLiteral("ms_1_ver_prate"));
    c.keyDebounceSection = manager.FindControl(QStringLiteral("ms_1_hor_key_debounce"));
    c.applyRing = manager.FindControl(QStringLiteral("apply_ring"));
    c.applyProgress = manager.FindControl<CProgressUI>(QStringLiteral("apply_progress"));
    return c;
}

StatusHandling::StatusHandling(MessageWindow& mainWindow, ProfileState& profiles, StatusControls controls,
                               StatusPageHooks hooks)
    : m_window(mainWindow), m_profiles(profiles), m_controls(controls), m_hooks(std::move(hooks)) {}

int StatusHandling::State(Link link) const {
    return m_links ? m_links->State(link) : kLinkNotOpen;
}

int StatusHandling::BleState() const {
    return m_links ? m_links->ble_state() : 0;
}

std::atomic<int>* StatusHandling::Awake(Link link) const {
    if (!m_links)
        return nullptr;
    return link == Link::Wired ? &m_links->wired_awake : &m_links->wireless_awake;
}

bool StatusHandling::HandleStatusMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != MSG_WIRED_REPORT && message != MSG_WIRELESS_REPORT)
        return false;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(wParam);
    const std::span<const std::uint8_t> report =
        bytes && lParam > 0 ? std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(lParam))
                            : std::span<const std::uint8_t>();
    if (message == MSG_WIRED_REPORT)
        OnWiredStatus(report);
    else
        OnWirelessStatus(report);
    return true;
}

void StatusHandling::OnCommonStatus(std::uint8_t type, std::uint16_t value) {
    switch (static_cast<StatusType>(type)) {
    case StatusType::DpiStage:
        if (value >= 1 && value <= 8)
            TakeOverStage(value, Source::Hid);
        break;
    case StatusType::PollingRate: {
        ProfileRecord* record = m_profiles.Selected();
        if (!record)
            break;
        const std::int32_t prate = PrateOfPollingCode(static_cast<std::uint8_t>(value));
        if (prate >= 0)
            record->prate = prate;
        // Shown only: the `AppliedCopy` keeps the old rate, so the next apply sends this one back.
        if (record->prate >= 0 && static_cast<std::size_t>(record->prate) < m_controls.pollingRates.size())
            if (COptionUI* option = m_controls.pollingRates[static_cast<std::size_t>(record->prate)])
                option->Selected(true, SelectNotify::No);
        break;
    }
    case StatusType::Flag:
        m_flag = value == 0;
        break;
    default:
        break;
    }
}

void StatusHandling::TakeOverStage(int stage, Source source) {
    ProfileRecord* record = m_profiles.Selected();
    if (!record)
        return;
    record->dpi_step = stage - 1;
    if (COptionUI* option = m_controls.dpiStages[static_cast<std::size_t>(stage - 1)])
        option->Selected(true, SelectNotify::No);
    if (source == Source::Hid && m_hooks.ShowDpiEditImages)
        m_hooks.ShowDpiEditImages();
    m_window.PostMessage(MSG_DPI_STAGE_REPORTED, 0, record->dpi_x[static_cast<std::size_t>(stage - 1)]);
    m_profiles.TakeOverReportedSetting();
}

void StatusHandling::OnWirelessStatus(std::span<const std::uint8_t> report) {
    const std::optional<StatusEvent> event = DecodeStatusReport(report);
    if (!event)
        return;
    if (event->type != StatusType::Power) {
        OnCommonStatus(static_cast<std::uint8_t>(event->type), event->value);
        return;
    }
    m_window.SetTimer(TIMER_WIRELESS_WATCHDOG, kWatchdogMs);
    if (event->value == kChargeComplete) {
        m_window.KillTimer(TIMER_CHARGE_ANIMATION);
        WakeWireless();
        ShowLevel(100);
    } else if (event->value == kCharging) {
        ShowCharging();
        WakeWireless();
    } else {
        m_window.KillTimer(TIMER_CHARGE_ANIMATION);
        WakeWireless();
        if (event->level >= 1 && event->level <= 100) {
            m_batteryLevel = event->level;
            ShowLevel(event->level);
        }
    }
    SetVisible(m_controls.sleepNotice, false);
}

void StatusHandling::OnWiredStatus(std::span<const std::uint8_t> report) {
    const std::optional<StatusEvent> event = DecodeStatusReport(report);
    if (!event)
        return;
    if (event->type != StatusType::Power) {
        OnCommonStatus(static_cast<std::uint8_t>(event->type), event->value);
        return;
    }
    m_window.SetTimer(TIMER_WIRED_WATCHDOG, kWatchdogMs);
    SetVisible(m_controls.wired, true);
    WakeWired();
    if (event->value == kChargeComplete) {
        m_window.KillTimer(TIMER_CHARGE_ANIMATION);
        ShowLevel(100);
    } else if (event->value == kCharging) {
        ShowCharging();
    }
    // The cable shows no battery level: other power values leave the display as it is.
    SetVisible(m_controls.wired, true);
    SetVisible(m_controls.sleepNotice, false);
}

void StatusHandling::OnBleStatus(std::uint16_t word0, std::uint16_t word1) {
    if ((word0 & 0xFF) != kStatusMark)
        return;
    const auto type = static_cast<std::uint8_t>(word0 >> 8);
    const std::uint16_t v = word1;
    ProfileRecord* record = m_profiles.Selected();
    switch (static_cast<StatusType>(type)) {
    case StatusType::DpiStage:
        if (v >= 1 && v <= 8)
            TakeOverStage(v, Source::Ble);
        break;
    case StatusType::PollingRate:
        if (record && v >= 1 && v <= 8) {
            record->prate = v;
            m_profiles.TakeOverReportedSetting();
        }
        break;
    case StatusType::Power: {
        const int status = v & 0xFF;
        const int level = v >> 8;
        if (status == kChargeComplete) {
            m_window.KillTimer(TIMER_CHARGE_ANIMATION);
            ShowLevel(100);
        } else if (status == kCharging) {
            ShowCharging();
        } else {
            m_window.KillTimer(TIMER_CHARGE_ANIMATION);
            if (level <= 100) {
                m_batteryLevel = level;
                ShowLevel(level);
            }
        }
        break;
    }
    case StatusType::Flag:
        m_flag = (v & 0xFF) == 0;
        break;
    case StatusType::BatteryValue:
        if (v >= 1 && v <= 10)
            m_batteryLevel = v;
        break;
    case StatusType::LightEffect:
        if (record) {
            record->light_effect = (v >> 4) & 0x0F;
            if (m_controls.lightEffect)
                m_controls.lightEffect->SelectItem(record->light_effect, SelectNotify::No);
            if (m_hooks.ApplyLightLayout)
                m_hooks.ApplyLightLayout();
            m_profiles.TakeOverReportedSetting();
        }
        break;
    case StatusType::Mode:
        if (v >= 1 && v <= 5)
            m_profiles.TakeOverReportedSetting();
        break;
    }
}

void StatusHandling::WakeWireless() {
    std::atomic<int>* awake = Awake(Link::Wireless);
    if (!awake || *awake != 0)
        return;
    SetVisible(m_controls.wireless, true);
    *awake = 1;
    RefreshLinkSections();
    AfterWake();
}

void StatusHandling::WakeWired() {
    std::atomic<int>* awake = Awake(Link::Wired);
    if (!awake || *awake == 1)
        return;
    *awake = 1;
    RefreshLinkSections();
    AfterWake();
}

void StatusHandling::AfterWake() {
    // Changes that found no awake mouse go out now that one is listening.
    if (m_profiles.HasUnsentUserChanges())
        m_window.PostMessage(MSG_APPLY_REQUEST, 0, 0);
}

bool StatusHandling::OnTimer(UINT_PTR id) {
    switch (id) {
    case TIMER_WIRELESS_WATCHDOG:
        OnWatchdog(id, Link::Wireless);
        return true;
    case TIMER_WIRED_WATCHDOG:
        OnWatchdog(id, Link::Wired);
        return true;
    case TIMER_CHARGE_ANIMATION:
        if (m_controls.powerProgress)
            m_controls.powerProgress->SetValue(m_chargeAnim);
        m_chargeAnim += kChargeAnimationStep;
        if (m_chargeAnim > 100)
            m_chargeAnim = 0;
        return true;
    default:
        return false;
    }
}

void StatusHandling::OnWatchdog(UINT_PTR id, Link link) {
    m_window.KillTimer(id);
    SetVisible(link == Link::Wired ? m_controls.wired : m_controls.wireless, false);
    std::atomic<int>* awake = Awake(link);
    if (!awake || *awake != 1)
        return;
    *awake = 0;
    RefreshLinkSections();
    std::atomic<int>* other = Awake(link == Link::Wired ? Link::Wireless : Link::Wired);
    if ((!other || *other == 0) && BleState() == 0)
        SetVisible(m_controls.sleepNotice, true);
}

void StatusHandling::ShowLevel(int value) {
    if (m_controls.powerProgress)
        m_controls.powerProgress->SetValue(value);
    if (m_controls.powerLabel) {
        m_controls.powerLabel->SetTextMode(TextMode::Plain);
        m_controls.powerLabel->SetText(QStringLiteral("%1%").arg(value));
    }
}

void StatusHandling::ShowCharging() {
    if (m_controls.powerLabel) {
        m_controls.powerLabel->SetTextMode(TextMode::LanguageKey);
        m_controls.powerLabel->SetText(QStringLiteral("charging_text"));
    }
    m_window.SetTimer(TIMER_CHARGE_ANIMATION, kChargeAnimationMs);
}

void StatusHandling::SetLinkIndicatorVisible(Link link, bool visible) {
    SetVisible(link == Link::Wired ? m_controls.wired : m_controls.wireless, visible);
}

void StatusHandling::SetSleepNoticeVisible(bool visible) {
    SetVisible(m_controls.sleepNotice, visible);
}

void StatusHandling::ShowCharging(ChargeAnimation animation) {
    if (animation == ChargeAnimation::Restart)
        m_chargeAnim = 0;
    ShowCharging();
}

void StatusHandling::ClearPowerLabel() {
    if (m_controls.powerLabel) {
        m_controls.powerLabel->SetTextMode(TextMode::Plain);
        m_controls.powerLabel->SetText(QString());
    }
}

void StatusHandling::RefreshLinkSections() {
    if (m_hooks.ApplyLightLayout)
        m_hooks.ApplyLightLayout();
    const std::atomic<int>* wirelessAwake = Awake(Link::Wireless);
    if (State(Link::Wired) == kLinkOpen ||
        (State(Link::Wireless) == kLinkOpen && wirelessAwake && *wirelessAwake != 0)) {
        SetVisible(m_controls.checkPrate, true);
        SetVisible(m_controls.checkPower, true);
        SetVisible(m_controls.checkKeyDebounce, true);
    } else if (BleState() != 0) {
        // Over Bluetooth the mouse takes neither a polling rate nor a key debounce.
        for (auto [box, section] : {std::pair{m_controls.checkPrate, m_controls.pollingSection},
                                    std::pair{m_controls.checkKeyDebounce, m_controls.keyDebounceSection}}) {
            if (box) {
                box->SetCheck(false, SelectNotify::No);
                box->SetVisible(false);
            }
            SetVisible(section, false);
        }
    }
}

void StatusHandling::StopWatchdogs() {
    m_window.KillTimer(TIMER_WIRELESS_WATCHDOG);
    m_window.KillTimer(TIMER_WIRED_WATCHDOG);
}

void StatusHandling::RestartWatchdogs() {
    m_window.SetTimer(TIMER_WIRELESS_WATCHDOG, kWatchdogMs);
    m_window.SetTimer(TIMER_WIRED_WATCHDOG, kWatchdogMs);
}

bool StatusHandling::SetApplyRingVisible(bool visible) {
    if (m_controls.applyRing)
        m_controls.applyRing->SetVisible(visible);
    if (m_controls.applyProgress) {
        // An empty range makes the bar a busy indicator; idle, it stands empty.
        m_controls.applyProgress->SetMaxValue(visible ? 0 : 100);
        m_controls.applyProgress->SetValue(0);
    }
    return m_controls.applyRing || m_controls.applyProgress;
}

int DeviceReportLinks::LinkState(LinkKind link) const {
    return m_links.State(link == LinkKind::Wired ? Link::Wired : Link::Wireless);
}

bool DeviceReportLinks::LinkAwake(LinkKind link) const {
    return (link == LinkKind::Wired ? m_links.wired_awake : m_links.wireless_awake) != 0;
}

bool DeviceReportLinks::WriteReport(LinkKind link, const Report& report) {
    // The driver's own result is not examined; -1 means the link was closed and nothing was written.
    return m_links.WriteReport(link == LinkKind::Wired ? Link::Wired : Link::Wireless,
                               std::span<const std::uint8_t, 64>(report)) != -1;
}

}  // namespace quillon
