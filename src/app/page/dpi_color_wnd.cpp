#include "app/page/dpi_color_wnd.h"

#include "app/page/dpi_lighting.h"

namespace quillon {
namespace {

int Component(std::uint32_t argb, int shift) {
    return static_cast<int>(argb >> shift & 0xFF);
}

}  // namespace

CDpiColorWnd::CDpiColorWnd() = default;
CDpiColorWnd::~CDpiColorWnd() = default;

QString CDpiColorWnd::GetWindowClassName() const {
    return QStringLiteral("DpiColorWnd");
}

QString CDpiColorWnd::GetSkinFile() {
    return QStringLiteral("DpiColorDialog.xml");
}

void CDpiColorWnd::OnFinalMessage(HWND hWnd) {
    WindowImplBase::OnFinalMessage(hWnd);
}

void CDpiColorWnd::InitWindow() {
    MoveWindow(m_position.x(), m_position.y(), kColorDialogWidth, kColorDialogHeight);
    m_confirm = m_pm.FindControl<CButtonUI>(QStringLiteral("confirm_btn"));
    m_cancel = m_pm.FindControl<CButtonUI>(QStringLiteral("cancel_btn"));
    m_preview = m_pm.FindControl(QStringLiteral("color_show_control"));
    m_palette = m_pm.FindControl<CColorPaletteUI>(QStringLiteral("ColorPallet"));
    m_red = m_pm.FindControl<CEditUI>(QStringLiteral("r_edit"));
    m_green = m_pm.FindControl<CEditUI>(QStringLiteral("g_edit"));
    m_blue = m_pm.FindControl<CEditUI>(QStringLiteral("b_edit"));
    for (std::size_t i = 0; i < m_presets.size(); ++i) {
        m_presets[i] = m_pm.FindControl<CButtonUI>(QStringLiteral("mouse_dpi_color_%1").arg(i + 1));
        // The swatches show their own colours.
        if (m_presets[i] != nullptr)
            m_presets[i]->SetBkColor(kPresetColors[i]);
    }
    ShowColor(true);
}

void CDpiColorWnd::ShowColor(bool rewriteEdits) {
    if (m_palette != nullptr)
        m_palette->SetSelectColor(m_color);
    if (m_preview != nullptr)
        m_preview->SetBkColor(m_color);
    if (!rewriteEdits)
        return;
    if (m_red != nullptr)
        m_red->SetText(QString::number(Component(m_color, 16)));
    if (m_green != nullptr)
        m_green->SetText(QString::number(Component(m_color, 8)));
    if (m_blue != nullptr)
        m_blue->SetText(QString::number(Component(m_color, 0)));
}

void CDpiColorWnd::Notify(TNotifyUI& msg) {
    if (msg.sType == QLatin1String("click")) {
        OnClick(msg);
    } else if (msg.sType == QLatin1String("colorchanged") ||
               msg.sType == QLatin1String("colorchangedbuttonup")) {
        if (m_palette != nullptr && msg.pSender == m_palette) {
            m_color = 0xFF000000u | m_palette->GetSelectColor();
            if (m_preview != nullptr)
                m_preview->SetBkColor(m_color);
            ShowColor(true);
        }
    } else if (msg.sType == QLatin1String("textchanged")) {
        if (msg.pSender != nullptr &&
            (msg.pSender == m_red || msg.pSender == m_green || msg.pSender == m_blue)) {
            OnComponentEdited(static_cast<CEditUI*>(msg.pSender));
        }
    }
}

void CDpiColorWnd::OnClick(TNotifyUI& msg) {
    if (msg.pSender == nullptr)
        return;
    if (msg.pSender == m_confirm) {
        Close(1);
        return;
    }
    if (msg.pSender == m_cancel) {
        Close(0);
        return;
    }
    for (std::size_t i = 0; i < m_presets.size(); ++i) {
        if (m_presets[i] != nullptr && msg.pSender == m_presets[i]) {
            m_color = kPresetColors[i];
            ShowColor(true);
            return;
        }
    }
}

void CDpiColorWnd::OnComponentEdited(CEditUI* edit) {
    int value = LeadingDecimal(edit->GetText());
    // A component is one byte: the edit shows the value actually used when the typed one is out of range.
    if (value >= 256) {
        value = 255;
        edit->SetText(QStringLiteral("255"));
    } else if (value < 0) {
        value = 0;
        edit->SetText(QStringLiteral("0"));
    }
    const int shift = edit == m_red ? 16 : edit == m_green ? 8 : 0;
    m_color = (m_color & ~(0xFFu << shift)) | static_cast<std::uint32_t>(value) << shift | 0xFF000000u;
    ShowColor(false);
}

std::optional<std::uint32_t> CDpiColorWnd::Choose(HWND owner, std::uint32_t argb, QPoint topLeft) {
    CDpiColorWnd dialog;
    dialog.SetColor(argb);
    dialog.SetPosition(topLeft);
    if (dialog.Create(owner, {}, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, 0, 0, 800, 800) == nullptr)
        return std::nullopt;
    if (dialog.ShowModal() != 1)
        return std::nullopt;
    return dialog.Color();
}

}  // namespace quillon
