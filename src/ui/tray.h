#pragma once
// The notification-area icon. Button releases over the icon reach the receiving window as
// MSG_TRAY_NOTIFY (or the message given) with lParam = WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP or
// WM_LBUTTONDBLCLK and wParam = the icon id.

#include "platform/messages.h"

#include <QString>

#include <memory>

class QSystemTrayIcon;

namespace quillon {

class CTrayIcon {
public:
    CTrayIcon();
    ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Shows the icon with id `iconId` (see LoadIconResource) and `tooltip`.
    void CreateTrayIcon(HWND receiver, int iconId, const QString& tooltip, UINT message = MSG_TRAY_NOTIFY);
    void DeleteTrayIcon();
    void SetTooltipText(const QString& tooltip);
    QString GetTooltipText() const;
    bool IsCreated() const { return m_icon != nullptr; }

    // Whether the desktop has a notification area to show the icon in. Without one the icon is
    // invisible, and a window hidden "to the tray" could not be brought back.
    static bool IsNotificationAreaAvailable();

    // For the test harness.
    QSystemTrayIcon* GetSystemTrayIcon() const { return m_icon.get(); }

private:
    std::unique_ptr<QSystemTrayIcon> m_icon;
};

}  // namespace quillon
