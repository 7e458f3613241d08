#pragma once
// The main window: a frame of fixed size (800 x 572) that owns everything the program shows.
//
// It hosts the settings page (`CMS_1_Page`, the virtual window "MS_1_Page"), the notification-area
// icon with its menu, the input-hook library and a row of device entries that decides whether the
// settings page or the no-device page is shown. Every message of the device side, the tray icon,
// the menus and a second start of the program arrives here as a window message and is routed:
//
//     1025 tray icon        left button up: show and raise; right button up: the tray menu
//     1027 menu command     "configuration" / "exit" (any case); names agreeing with "ms_1" on
//                           their first min(n, 4) characters go to the page's assignment menu
//     1037 second start     show and raise
//     1128 device changed   rebuild the device entries (and switch pages while visible)
//     0x601..0x606, timers 512..518   handed to the page
//
// The title bar: `exit_btn` hides the window to the notification area (or, on a desktop without
// one, ends the program), `main_menu_btn` opens the tray menu's entries below itself, `min_btn`
// minimises.
//
// Destroying the window (the tray menu's "exit", or the end of the session) removes the hooks,
// releases the hook library and ends the message loop; deleting the object then shuts the page
// down (worker, links, driver libraries, last save) and removes the tray icon last.

#include <QString>

#include <array>
#include <memory>
#include <optional>

#include "app/hook_library.h"
#include "app/page/ms_1_page.h"
#include "platform/hook_ops.h"
#include "ui/menu.h"
#include "ui/resource_manager.h"
#include "ui/tray.h"
#include "ui/window.h"

namespace quillon {

inline constexpr int kProgramIconId = 107;
inline constexpr int kDeviceSlotCount = 20;

// Where a menu item's name sends it.
enum class MenuRoute { Configuration, Exit, AssignmentMenu, Ignored };
MenuRoute RouteMenuCommand(const QString& itemName);

class CMainWnd : public WindowImplBase, public IQueryControlText {
public:
    CMainWnd();
    ~CMainWnd() override;

    QString GetWindowClassName() const override { return QStringLiteral("Quillon"); }
    UINT GetClassStyle() const override { return CS_DBLCLKS; }
    void OnFinalMessage(HWND hWnd) override { WindowImplBase::OnFinalMessage(hWnd); }
    void InitWindow() override;
    void OnClick(TNotifyUI& msg) override;
    QString GetSkinFile() override { return QStringLiteral("main.xml"); }
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    void Notify(TNotifyUI& msg) override;

    // The main window has no texts of its own beyond the language file.
    std::optional<QString> QueryControlText(const QString& key) override;

    // Selects the device page, shows the window, restores it when minimised and raises it.
    void ShowAndRaise();

    // What the window holds, for the entry routine and the tests.
    CMS_1_Page& Page() { return m_page; }
    const HookOps& Hooks() const { return m_hookOps; }
    bool HookLibraryLoaded() const { return m_hookLibrary.IsLoaded(); }
    int DeviceCount() const { return m_deviceCount; }
    const std::array<int, kDeviceSlotCount>& DeviceSlots() const { return m_deviceSlots; }
    CMenuWnd* TrayMenu() const { return m_trayMenu.get(); }
    const CTrayIcon& TrayIcon() const { return m_trayIcon; }

protected:
    // Hands a menu item meant for the page's button-assignment menu to the page.
    virtual void OnAssignMenuCommand(const QString& itemName);
    // Whether the desktop shows a notification area; without one a window hidden to the tray could
    // never be brought back, so the close button ends the program instead.
    virtual bool HasNotificationArea() const;
    // Where the tray menu opens: the pointer's position on the screen.
    virtual QPoint PointerPosition() const;
    // What the page says about the mouse: whether a link to it is present, and why a mouse that is
    // plugged in could not be opened.
    virtual bool IsDevicePresent() const { return m_page.DevicePresent(); }
    virtual DeviceAccess DeviceAccessProblem() const { return m_page.DeviceAccessProblem(); }

private:
    void OnTrayNotify(LPARAM mouseMessage);
    void OpenTrayMenu();
    void OpenMainMenu();
    void OnMenuCommand(WPARAM record);
    void RebuildDeviceSlots();
    void SelectDevicePage();
    void ShowAccessProblem();

    // Controls of the layout.
    CButtonUI* m_skinBtn = nullptr;
    CButtonUI* m_mainMenuBtn = nullptr;
    CButtonUI* m_minBtn = nullptr;
    CButtonUI* m_exitBtn = nullptr;
    std::array<COptionUI*, kDeviceSlotCount> m_optionDevice{};
    CProgressUI* m_applyProgress = nullptr;
    CTabLayoutUI* m_deviceTabSwitch = nullptr;
    CButtonUI* m_btnWebsite = nullptr;
    // The no-device page's texts: the plain notice and the one for a mouse this user may not open.
    CControlUI* m_noDeviceTitle = nullptr;
    CControlUI* m_noDeviceHint = nullptr;
    CControlUI* m_noPermissionTitle = nullptr;
    CControlUI* m_noPermissionHint = nullptr;

    std::unique_ptr<CMenuWnd> m_trayMenu;
    HookLibrary m_hookLibrary;
    CTrayIcon m_trayIcon;
    HookOps m_hookOps;
    int m_deviceCount = 0;
    CMS_1_Page m_page;
    std::array<int, kDeviceSlotCount> m_deviceSlots{};
};

}  // namespace quillon
