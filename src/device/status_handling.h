#pragma once
// What the mouse reports on its own, turned into page state, and the watchdogs that take a silent
// mouse for asleep. This is the deciding half of the status display; the page shows its decisions
// through a StatusView over its controls.
//
// The mouse pushes short status reports: the DPI stage or polling rate chosen on the mouse itself,
// its power state, a flag. A link is *awake* from its mouse's first power report until six seconds
// pass without one; then the link's watchdog (timer 512 for the 2.4 GHz receiver, 518 for the
// cable) hides its indicator and, when no other link is awake, shows the sleep notice. While
// charging, the power bar runs an animation on timer 515.
//
// The settings page owns one StatusHandling and routes to it, on the UI thread:
//     status reports 0x601 / 0x603        -> HandleStatusMessage
//     BLE notification values             -> OnBleStatus
//     timers 512, 515, 518                -> OnTimer
// It is also the device links' view (indicators, sleep notice, charging display, link sections)
// and the apply's watchdogs and its sign of activity ("apply_ring" and the main window's busy bar).
//
// A setting the mouse reports and the page takes over is what the mouse holds already, so that
// one field (never the whole record: edits not sent yet stay unsent) becomes part of the
// `AppliedCopy` and the store is saved; a polling rate the mouse
// reports through the receiver or the cable is shown but not taken over, so the next apply sends
// it back. When a link wakes while the mouse lacks changes the user made (they found no awake link
// before), one apply is requested.

#include <cstdint>
#include <span>

#include "core/store/profile_state.h"
#include "device/apply.h"
#include "device/device_links.h"
#include "platform/message_window.h"

namespace quillon {

// The page's controls as the status handling sees them. The page implements it; a control the
// layout lacks is skipped there.
class StatusView {
public:
    virtual ~StatusView() = default;

    // "ms_1_wired" or "ms_1_wireless".
    virtual void SetLinkIndicatorVisible(Link link, bool visible) = 0;
    // "ms_1_sleep_label".
    virtual void SetSleepNoticeVisible(bool visible) = 0;
    // The power bar at `percent` and the power label showing "<percent>%".
    virtual void ShowPowerLevel(int percent) = 0;
    // The power label showing the language key "charging_text".
    virtual void ShowChargingText() = 0;
    // The power label leaves language-key mode and shows nothing.
    virtual void ClearPowerLabel() = 0;
    // One step of the charging animation: the power bar alone.
    virtual void SetPowerBar(int value) = 0;

    // Selects stage option `stage` (0-based) without a notification.
    virtual void SelectDpiStage(int stage) = 0;
    // Checks stage box `stage` (0-based) without a notification.
    virtual void SetDpiStageEnabled(int stage) = 0;
    // Marks the edit of the selected record's current stage.
    virtual void MarkCurrentDpiEdit() = 0;
    // Selects polling-rate option `prate` (0-based) without a notification.
    virtual void SelectPollingRate(int prate) = 0;
    // Selects `effect` in "ms_1_combo_light" without a notification.
    virtual void SelectLightEffect(int effect) = 0;
    // Shows the lighting controls that the selected record's `light_effect` uses.
    virtual void ShowLightLayout() = 0;

    enum class LinkSections {
        All,        // the polling-rate, power and key-debounce boxes are offered
        Bluetooth,  // the polling-rate and key-debounce boxes and sections are cleared and hidden
    };
    virtual void ShowLinkSections(LinkSections sections) = 0;

    // "apply_ring" and the main window's "apply_progress" as a busy bar; false when the layout has
    // neither.
    virtual bool SetApplyRingVisible(bool visible) = 0;
};

class StatusHandling final : public LinkView, public LinkWatchdogs, public ApplyRingControl {
public:
    StatusHandling(MessageWindow& mainWindow, ProfileState& profiles, StatusView& view);

    // The links whose states are read and whose awake flags are kept here. Until set, every link
    // counts as not open.
    void SetLinks(DeviceLinks* links) { m_links = links; }

    // Messages 0x601 (2.4 GHz) and 0x603 (wired): wParam points to the report, lParam is its
    // length. Returns false for other messages.
    bool HandleStatusMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnWiredStatus(std::span<const std::uint8_t> report);
    void OnWirelessStatus(std::span<const std::uint8_t> report);
    // The two 16-bit words of a BLE notification value.
    void OnBleStatus(std::uint16_t word0, std::uint16_t word1);
    // Timers 512, 515 and 518; returns false for other timers.
    bool OnTimer(UINT_PTR id);

    void ShowLevel(int value);
    void ShowCharging();

    // LinkView
    void SetLinkIndicatorVisible(Link link, bool visible) override;
    void SetSleepNoticeVisible(bool visible) override;
    void ShowCharging(ChargeAnimation animation) override;
    void ClearPowerLabel() override;
    void RefreshLinkSections() override;

    // LinkWatchdogs
    void StopWatchdogs() override;
    void RestartWatchdogs() override;

    // ApplyRingControl
    bool SetApplyRingVisible(bool visible) override;

    int battery_level() const { return m_batteryLevel; }
    int charge_anim() const { return m_chargeAnim; }
    // The mouse's flag of status type 0x50; it has no visible effect.
    bool flag_set() const { return m_flag; }

private:
    enum class Source { Hid, Ble };
    void OnCommonStatus(std::uint8_t type, std::uint16_t value);
    void TakeOverStage(int stage, Source source);
    void Wake(Link link);
    void OnWatchdog(UINT_PTR id, Link link);
    LinkState State(Link link) const;
    LinkState BleState() const;
    bool IsAwake(Link link) const;

    MessageWindow& m_window;
    ProfileState& m_profiles;
    StatusView& m_view;
    DeviceLinks* m_links = nullptr;
    int m_batteryLevel = 0;
    int m_chargeAnim = 0;
    bool m_flag = false;
};

}  // namespace quillon
