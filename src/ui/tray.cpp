#include "ui/tray.h"

#include "platform/message_window.h"
#include "ui/resource_manager.h"

#include <QSystemTrayIcon>

namespace quillon {

CTrayIcon::CTrayIcon() = default;
CTrayIcon::~CTrayIcon() {
    DeleteTrayIcon();
}

void CTrayIcon::CreateTrayIcon(HWND receiver, int iconId, const QString& tooltip, UINT message) {
    DeleteTrayIcon();
    m_icon = std::make_unique<QSystemTrayIcon>(LoadIconResource(iconId));
    m_icon->setToolTip(tooltip);
    QObject::connect(m_icon.get(), &QSystemTrayIcon::activated, m_icon.get(),
                     [receiver, message, iconId](QSystemTrayIcon::ActivationReason reason) {
                         LPARAM mouse = 0;
                         switch (reason) {
                         case QSystemTrayIcon::Trigger:
                             mouse = WM_LBUTTONUP;
                             break;
                         case QSystemTrayIcon::Context:
                             mouse = WM_RBUTTONUP;
                             break;
                         case QSystemTrayIcon::DoubleClick:
                             mouse = WM_LBUTTONDBLCLK;
                             break;
                         case QSystemTrayIcon::MiddleClick:
                             mouse = WM_MBUTTONUP;
                             break;
                         default:
                             return;
                         }
                         PostMessage(receiver, message, WPARAM(iconId), mouse);
                     });
    m_icon->show();
}

void CTrayIcon::DeleteTrayIcon() {
    if (m_icon)
        m_icon->hide();
    m_icon.reset();
}

void CTrayIcon::SetTooltipText(const QString& tooltip) {
    if (m_icon)
        m_icon->setToolTip(tooltip);
}

QString CTrayIcon::GetTooltipText() const {
    return m_icon ? m_icon->toolTip() : QString();
}

bool CTrayIcon::IsNotificationAreaAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace quillon
