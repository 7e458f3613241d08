#pragma once
// What the mouse reports on its own, turned into page state and display, and the watchdogs that
// take a silent mouse for asleep.
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
// and the apply's watchdog and its sign of activity: "apply_ring" is shown while an apply runs,
// and the main window's thin "apply_progress" bar turns into a busy bar (an apply has no
// percentage to show), so that a layout without the ring still shows that the mouse is written.
//
// A setting the mouse reports and the page takes over is what the mouse holds already, so it
// becomes part of the `AppliedCopy` and the store is saved; a polling rate the mouse reports is
// shown but not taken over, so the next apply sends it back. When a link wakes while the mouse
// lacks changes the user made (they found no awake link before), one apply is requested.

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "core/store/profile_state.h"
#include "device/apply.h"
#include "device/device_links.h"
#include "platform/message_window.h"
#include "ui/controls.h"

namespace quillon {

// The controls status handling drives, found by layout name. Any of them may be missing from a
// layout; a missing control is skipped.
struct StatusControls {
    CProgressUI* powerProgress = nullptr;      // "ms_1_progress_power", 0..100
    CLabelUI* powerLabel = nullptr;            // "ms_1_label_power"
    CControlUI* sleepNotice = nullptr;         // "ms_1_sleep_label"
    CControlUI* wired = nullptr;               // "ms_1_wired"
    CControlUI* wireless = nullptr;            // "ms_1_wireless"
    std::array<COptionUI*, 8> dpiStages{};     // "ms_1_option_dpi_step_1".."_8"
    std::array<COptionUI*, 7> pollingRates{};  // "ms_1_btn_prate_1".."_7"
    CComboUI* lightEffect = nullptr;           // "ms_1_combo_light"
    CCheckBoxUI* checkPrate = nullptr;         // "ms_1_check_prate"
    CCheckBoxUI* checkPower = nullptr;         // "ms_1_check_power"
    CCheckBoxUI* checkKeyDebounce = nullptr;   // "ms_1_check_key_debounce"
    CControlUI* pollingSection = nullptr;      // "ms_1_ver_prate"
    CControlUI* keyDebounceSection = nullptr;  // "ms_1_hor_key_debounce"
    CControlUI* applyRing = nullptr;           // "apply_ring"
    CProgressUI* applyProgress = nullptr;      // "apply_progress", the main window's thin bar

    static StatusControls Find(const CPaintManagerUI& manager);
};

// Page operations status handling calls; empty ones are skipped.
struct StatusPageHooks {
    std::function<void()> ShowDpiEditImages;  // marks the edit of the current DPI stage
    std::function<void()> ApplyLightLayout;   // shows the lighting controls of `light_effect`
};

class StatusHandling final : public LinkView, public LinkWatchdogs, public ApplyRingControl {
public:
    StatusHandling(MessageWindow& mainWindow, ProfileState& profiles, StatusControls controls,
                   StatusPageHooks hooks = {});

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
    void WakeWireless();
    void WakeWired();
    void AfterWake();
    void OnWatchdog(UINT_PTR id, Link link);
    int State(Link link) const;
    int BleState() const;
    std::atomic<int>* Awake(Link link) const;

    MessageWindow& m_window;
    ProfileState& m_profiles;
    StatusControls m_controls;
    StatusPageHooks m_hooks;
    DeviceLinks* m_links = nullptr;
    int m_batteryLevel = 0;
    int m_chargeAnim = 0;
    bool m_flag = false;
};

// The device links as the apply writes through them.
class DeviceReportLinks final : public ReportLinks {
public:
    explicit DeviceReportLinks(DeviceLinks& links) : m_links(links) {}
    int LinkState(LinkKind link) const override;
    bool LinkAwake(LinkKind link) const override;
    bool WriteReport(LinkKind link, const Report& report) override;

private:
    DeviceLinks& m_links;
};

}  // namespace quillon
