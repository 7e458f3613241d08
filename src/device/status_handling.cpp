#include "device/status_handling.h"

#include "core/protocol/frames.h"
#include "core/protocol/status.h"

namespace quillon {

namespace {

constexpr std::uint32_t kChargeAnimationMs = 30;
constexpr int kChargeAnimationStep = 2;

// Power report values.
constexpr std::uint16_t kChargeComplete = 2;
constexpr std::uint16_t kCharging = 3;

}  // namespace

StatusHandling::StatusHandling(MessageWindow& mainWindow, ProfileState& profiles, StatusView& view)
    : m_window(mainWindow), m_profiles(profiles), m_view(view) {}

LinkState StatusHandling::State(Link link) const {
    return m_links ? m_links->State(link) : LinkState::NotOpen;
}

LinkState StatusHandling::BleState() const {
    return m_links ? m_links->ble_state() : LinkState::NotOpen;
}

bool StatusHandling::IsAwake(Link link) const {
    return m_links && m_links->IsAwake(link);
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
        m_view.SelectPollingRate(record->prate);
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
    // A stage the record has disabled is enabled (and, not being what the mouse was sent, goes out
    // with the next apply): the current stage is always an enabled one.
    if (EnableCurrentStage(*record))
        m_view.SetDpiStageEnabled(stage - 1);
    m_view.SelectDpiStage(stage - 1);
    if (source == Source::Hid)
        m_view.MarkCurrentDpiEdit();
    m_window.PostMessage(MSG_DPI_STAGE_REPORTED, 0, record->dpi_x[static_cast<std::size_t>(stage - 1)]);
    m_profiles.TakeOverReportedSetting(ReportedSetting::DpiStage);
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
        Wake(Link::Wireless);
        ShowLevel(100);
    } else if (event->value == kCharging) {
        ShowCharging();
        Wake(Link::Wireless);
    } else {
        m_window.KillTimer(TIMER_CHARGE_ANIMATION);
        Wake(Link::Wireless);
        if (event->level >= 1 && event->level <= 100) {
            m_batteryLevel = event->level;
            ShowLevel(event->level);
        }
    }
    m_view.SetSleepNoticeVisible(false);
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
    m_view.SetLinkIndicatorVisible(Link::Wired, true);
    Wake(Link::Wired);
    if (event->value == kChargeComplete) {
        m_window.KillTimer(TIMER_CHARGE_ANIMATION);
        ShowLevel(100);
    } else if (event->value == kCharging) {
        ShowCharging();
    }
    // The cable shows no battery level: other power values leave the display as it is.
    m_view.SetSleepNoticeVisible(false);
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
            m_profiles.TakeOverReportedSetting(ReportedSetting::PollingRate);
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
            m_view.SelectLightEffect(record->light_effect);
            m_view.ShowLightLayout();
            m_profiles.TakeOverReportedSetting(ReportedSetting::LightEffect);
        }
        break;
    case StatusType::Mode:
        // The mode is no field of the record: nothing to take over.
        break;
    }
}

void StatusHandling::Wake(Link link) {
    if (!m_links || m_links->IsAwake(link))
        return;
    // The cable's indicator is shown by every power report; the receiver's by its wake.
    if (link == Link::Wireless)
        m_view.SetLinkIndicatorVisible(Link::Wireless, true);
    m_links->SetAwake(link, true);
    RefreshLinkSections();
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
        m_view.SetPowerBar(m_chargeAnim);
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
    m_view.SetLinkIndicatorVisible(link, false);
    if (!IsAwake(link))
        return;
    m_links->SetAwake(link, false);
    RefreshLinkSections();
    const Link other = link == Link::Wired ? Link::Wireless : Link::Wired;
    if (!IsAwake(other) && BleState() == LinkState::NotOpen)
        m_view.SetSleepNoticeVisible(true);
}

void StatusHandling::ShowLevel(int value) {
    m_view.ShowPowerLevel(value);
}

void StatusHandling::ShowCharging() {
    m_view.ShowChargingText();
    m_window.SetTimer(TIMER_CHARGE_ANIMATION, kChargeAnimationMs);
}

void StatusHandling::SetLinkIndicatorVisible(Link link, bool visible) {
    m_view.SetLinkIndicatorVisible(link, visible);
}

void StatusHandling::SetSleepNoticeVisible(bool visible) {
    m_view.SetSleepNoticeVisible(visible);
}

void StatusHandling::ShowCharging(ChargeAnimation animation) {
    if (animation == ChargeAnimation::Restart)
        m_chargeAnim = 0;
    ShowCharging();
}

void StatusHandling::ClearPowerLabel() {
    m_view.ClearPowerLabel();
}

void StatusHandling::RefreshLinkSections() {
    m_view.ShowLightLayout();
    if (State(Link::Wired) == LinkState::Open ||
        (State(Link::Wireless) == LinkState::Open && IsAwake(Link::Wireless))) {
        m_view.ShowLinkSections(StatusView::LinkSections::All);
    } else if (BleState() != LinkState::NotOpen) {
        // Over Bluetooth the mouse takes neither a polling rate nor a key debounce.
        m_view.ShowLinkSections(StatusView::LinkSections::Bluetooth);
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
    return m_view.SetApplyRingVisible(visible);
}

}  // namespace quillon
