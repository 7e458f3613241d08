#include "app/msg_wnd.h"

#include "ui/resource_manager.h"

namespace quillon {

CMsgWnd::CMsgWnd(QString titleKey, QString messageKey, QStringList arguments)
    : m_titleKey(std::move(titleKey)), m_messageKey(std::move(messageKey)),
      m_arguments(std::move(arguments)) {}

int CMsgWnd::MessageBox(HWND owner, const QString& titleKey, const QString& messageKey,
                        const QStringList& arguments) {
    CMsgWnd box(titleKey, messageKey, arguments);
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
    if (m_warning != nullptr && m_arguments.isEmpty()) {
        m_warning->SetText(m_messageKey);
    } else if (m_warning != nullptr) {
        // The arguments are filled into the language text, which is then shown as it is.
        // One pass, so that an argument holding "%2" (a folder may) is not filled in again.
        const QString pattern = CResourceManager::GetInstance()->GetText(m_messageKey);
        QString text;
        for (qsizetype i = 0; i < pattern.size(); ++i) {
            const int number = i + 1 < pattern.size() ? pattern[i + 1].digitValue() : -1;
            if (pattern[i] == u'%' && number >= 1 && number <= m_arguments.size()) {
                // A path has no spaces to wrap at; it may break after each of its slashes instead.
                text += QString(m_arguments[number - 1]).replace(u'/', QStringLiteral("/\u200B"));
                ++i;
            } else {
                text += pattern[i];
            }
        }
        m_warning->SetTextMode(TextMode::Plain);
        m_warning->SetText(text);
    }
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
