#pragma once
// The status handling's view: what the mouse reports, shown on the page's controls.
//
// It works on the controls the page found once at start-up (PageControls) and on the DPI and
// lighting section for the marks that section owns; the status handling (device/status_handling.h)
// decides what is shown. A control the layout lacks is skipped.

#include "device/status_handling.h"

namespace quillon {

struct PageControls;
class DpiLightingSection;
class CControlUI;
class CProgressUI;

class PageStatusView final : public StatusView {
public:
    // `dpi` may be null (a layout without the section). `applyRing` ("apply_ring") and
    // `applyProgress` (the main window's "apply_progress") may be null.
    PageStatusView(const PageControls& controls, DpiLightingSection* dpi, CControlUI* applyRing,
                   CProgressUI* applyProgress);

    void SetLinkIndicatorVisible(Link link, bool visible) override;
    void SetSleepNoticeVisible(bool visible) override;
    void ShowPowerLevel(int percent) override;
    void ShowChargingText() override;
    void ClearPowerLabel() override;
    void SetPowerBar(int value) override;
    void SelectDpiStage(int stage) override;
    void SetDpiStageEnabled(int stage) override;
    void MarkCurrentDpiEdit() override;
    void SelectPollingRate(int prate) override;
    void SelectLightEffect(int effect) override;
    void ShowLightLayout() override;
    void ShowLinkSections(LinkSections sections) override;
    bool SetApplyRingVisible(bool visible) override;

private:
    const PageControls& m_controls;
    DpiLightingSection* m_dpi;
    CControlUI* m_applyRing;
    CProgressUI* m_applyProgress;
    // The battery level last shown, kept beside "Charging" while the mouse charges; 0 before any.
    int m_levelShown = 0;
};

}  // namespace quillon
