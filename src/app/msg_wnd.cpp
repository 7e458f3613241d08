#include "app/msg_wnd.h"

namespace quillon {

CMsgWnd::CMsgWnd(QString titleKey, QString messageKey)
    : m_titleKey(std::move(titleKey)), m_messageKey(std::move(messageKey)) {}

int CMsgWnd::MessageBox(HWND owner, const QString& titleKey, const QString& messageKey) {
    CMsgWnd box(titleKey, messageKey);
    // The layout gives the box its real size; 800 x 800 only stands until it is built.
    if (box.Create(owner, {}, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, 0, 0, 800, 800) == nullptr)
        return 0;
    box.CenterWindow();
    return box.ShowModal();
}

void CMsgWnd::InitWindow() {
    m_btnOk = m_pm.FindControl<CButtonUI>(QStringLiteral("btn_ok"));
    m_btnCancel = m_pm.FindControl<CButtonUI>(QStringLiteral("btn_cancel"));
    m_warningTitle = m_pm.FindControl<CLabelUI>(QStringLiteral("warning_title"));
    m_warning = m_pm.FindControl<CLabelUI>(QStringLiteral("warning"));
    // Both labels are in language-key mode, so they show the texts of these keys.
    if (m_warningTitle != nullptr)
        m_warningTitle->SetText(m_titleKey);
    if (m_warning != nullptr)
        m_warning->SetText(m_messageKey);
}

void CMsgWnd::Notify(TNotifyUI& msg) {
    if (msg.sType != QLatin1String("click") || msg.pSender == nullptr)
        return;
    if (msg.pSender == m_btnOk)
        Close(1);
    else if (msg.pSender == m_btnCancel)
        Close(0);
}

}  // namespace quillon
