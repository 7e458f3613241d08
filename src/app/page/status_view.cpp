#include "app/page/status_view.h"

#include <QString>

#include "app/page/dpi_lighting.h"
#include "app/page/page_controls.h"
#include "ui/controls.h"
#include "ui/resource_manager.h"

namespace quillon {

namespace {

void SetVisible(CControlUI* control, bool visible) {
    if (control)
        control->SetVisible(visible);
}

// The member of a family at `index`, or null when the index is outside it.
template <class Family> auto At(const Family& family, int index) -> typename Family::value_type {
    if (index < 0 || static_cast<std::size_t>(index) >= family.size())
        return nullptr;
    return family[static_cast<std::size_t>(index)];
}

}  // namespace

PageStatusView::PageStatusView(const PageControls& controls, DpiLightingSection* dpi, CControlUI* applyRing,
                               CProgressUI* applyProgress)
    : m_controls(controls), m_dpi(dpi), m_applyRing(applyRing), m_applyProgress(applyProgress) {}

void PageStatusView::SetLinkIndicatorVisible(Link link, bool visible) {
    SetVisible(link == Link::Wired ? m_controls.wired : m_controls.wireless, visible);
}

void PageStatusView::SetSleepNoticeVisible(bool visible) {
    SetVisible(m_controls.sleepLabel, visible);
}

void PageStatusView::ShowPowerLevel(int percent) {
    m_levelShown = percent;
    if (m_controls.powerProgress)
        m_controls.powerProgress->SetValue(percent);
    if (m_controls.powerLabel) {
        m_controls.powerLabel->SetTextMode(TextMode::Plain);
        m_controls.powerLabel->SetText(QStringLiteral("%1%").arg(percent));
    }
}

void PageStatusView::ShowChargingText() {
    if (m_controls.powerLabel == nullptr)
        return;
    // Charging does not hide how full the battery was last seen.
    if (m_levelShown > 0) {
        m_controls.powerLabel->SetTextMode(TextMode::Plain);
        m_controls.powerLabel->SetText(
            QStringLiteral("%1% %2")
                .arg(m_levelShown)
                .arg(CResourceManager::GetInstance()->GetText(QStringLiteral("charging_text"))));
        return;
    }
    m_controls.powerLabel->SetTextMode(TextMode::LanguageKey);
    m_controls.powerLabel->SetText(QStringLiteral("charging_text"));
}

void PageStatusView::ClearPowerLabel() {
    if (m_controls.powerLabel) {
        m_controls.powerLabel->SetTextMode(TextMode::Plain);
        m_controls.powerLabel->SetText(QString());
    }
}

void PageStatusView::SetPowerBar(int value) {
    if (m_controls.powerProgress)
        m_controls.powerProgress->SetValue(value);
}

void PageStatusView::SelectDpiStage(int stage) {
    if (COptionUI* option = At(m_controls.dpiStageOptions, stage))
        option->Selected(true, SelectNotify::No);
    // The badge and the edit highlight show the same stage, whichever link reported it.
    if (m_dpi)
        m_dpi->ShowDpiEditImages();
}

void PageStatusView::SetDpiStageEnabled(int stage) {
    if (CCheckBoxUI* box = At(m_controls.dpiStageChecks, stage))
        box->SetCheck(true, SelectNotify::No);
    if (m_dpi && stage >= 0 && static_cast<std::size_t>(stage) < m_controls.dpiStageChecks.size())
        m_dpi->ShowStageEnabled(static_cast<std::size_t>(stage), true);
}

void PageStatusView::MarkCurrentDpiEdit() {
    if (m_dpi)
        m_dpi->ShowDpiEditImages();
}

void PageStatusView::SelectPollingRate(int prate) {
    if (COptionUI* option = At(m_controls.pollingRates, prate))
        option->Selected(true, SelectNotify::No);
}

void PageStatusView::SelectLightEffect(int effect) {
    if (m_controls.lightEffect)
        m_controls.lightEffect->SelectItem(effect, SelectNotify::No);
}

void PageStatusView::ShowLightLayout() {
    if (m_dpi)
        m_dpi->ApplyLightLayout();
}

void PageStatusView::ShowLinkSections(LinkSections sections) {
    const SectionToggle& prate = m_controls.sections[kPollingRateSection];
    const SectionToggle& power = m_controls.sections[kPowerSection];
    const SectionToggle& keyDebounce = m_controls.sections[kKeyDebounceSection];
    if (sections == LinkSections::All) {
        SetVisible(prate.box, true);
        SetVisible(power.box, true);
        SetVisible(keyDebounce.box, true);
        return;
    }
    for (const SectionToggle* section : {&prate, &keyDebounce}) {
        if (section->box) {
            section->box->SetCheck(false, SelectNotify::No);
            section->box->SetVisible(false);
        }
        SetVisible(section->container, false);
    }
}

bool PageStatusView::SetApplyRingVisible(bool visible) {
    SetVisible(m_applyRing, visible);
    if (m_applyProgress) {
        // An empty range makes the bar a busy indicator; idle, it stands empty.
        m_applyProgress->SetMaxValue(visible ? 0 : 100);
        m_applyProgress->SetValue(0);
    }
    return m_applyRing || m_applyProgress;
}

}  // namespace quillon
