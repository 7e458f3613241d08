#include "app/main_wnd.h"

#include <filesystem>

#include <QCursor>

#include "app/msg_wnd.h"
#include "platform/folders.h"
#include "platform/services.h"
#include "platform/shell.h"

namespace quillon {
namespace {

// The window messages the main window takes, by the numbers their senders use.
constexpr UINT kTrayNotify = MSG_TRAY_NOTIFY;               // 1025, the tray icon
constexpr UINT kMenuCommand = MSG_MENU_COMMAND;             // 1027, every menu of the main window
constexpr UINT kActivateInstance = MSG_ACTIVATE_INSTANCE;   // 1037, a second start
constexpr UINT kDeviceChanged = MSG_DEVICE_CHANGED;         // 1128, the page: presence changed
constexpr UINT kDpiStageReported = MSG_DPI_STAGE_REPORTED;  // 1129, the page: nothing to do here
constexpr UINT kLibraryNotice = 0x1401;

// The tray menu opens this far above the pointer, so that it does not cover the icon.
constexpr int kTrayMenuLift = 50;
constexpr DWORD kTrayMenuAlignment = eMenuAlignment_Left | eMenuAlignment_Top;  // 6

const QString kPageName = QStringLiteral("MS_1_Page");

}  // namespace

MenuRoute RouteMenuCommand(const QString& itemName) {
    if (itemName.compare(QLatin1String("configuration"), Qt::CaseInsensitive) == 0)
        return MenuRoute::Configuration;
    if (itemName.compare(QLatin1String("exit"), Qt::CaseInsensitive) == 0)
        return MenuRoute::Exit;
    // The assignment menu's items are all named "ms_1_..."; the comparison covers at most the
    // first four characters and only as many as the name has, with letter case mattering.
    static const QString prefix = QStringLiteral("ms_1");
    const qsizetype length = std::min<qsizetype>(itemName.size(), prefix.size());
    if (QStringView(itemName).left(length) == QStringView(prefix).left(length))
        return MenuRoute::AssignmentMenu;
    return MenuRoute::Ignored;
}

CMainWnd::CMainWnd() = default;

CMainWnd::~CMainWnd() {
    // The page goes first: its worker ends (a running apply completes), its links close, its
    // driver libraries are released and the store is saved a last time. The tray icon goes last.
    RemoveVirtualWnd(kPageName);
    // Language lookups must not reach a window that is gone.
    CResourceManager::GetInstance()->SetTextQueryInterface(nullptr);
    m_page.Shutdown();
    m_trayMenu.reset();
    m_trayIcon.DeleteTrayIcon();
}

std::optional<QString> CMainWnd::QueryControlText(const QString&) {
    return std::nullopt;
}

void CMainWnd::InitWindow() {
    // The page gets the window (paint manager, handle) and the hook table before its start-up,
    // which finds its controls, opens the driver libraries and posts the first device change.
    m_page.Attach(*this, &m_hookOps);
    AddVirtualWnd(kPageName, &m_page);
    m_page.Startup();

    SetIcon(kProgramIconId);

    CResourceManager* resources = CResourceManager::GetInstance();
    resources->SetTextQueryInterface(this);
    resources->LoadLanguage(QStringLiteral("lan.xml"));

    const QString title = resources->GetText(QStringLiteral("mouse_name_text"));
    m_trayIcon.CreateTrayIcon(GetHWND(), kProgramIconId, title, kTrayNotify);

    m_skinBtn = m_pm.FindControl<CButtonUI>(QStringLiteral("skin_btn"));
    m_mainMenuBtn = m_pm.FindControl<CButtonUI>(QStringLiteral("main_menu_btn"));
    m_minBtn = m_pm.FindControl<CButtonUI>(QStringLiteral("min_btn"));
    m_exitBtn = m_pm.FindControl<CButtonUI>(QStringLiteral("exit_btn"));
    for (int i = 0; i < kDeviceSlotCount; ++i)
        m_optionDevice[static_cast<std::size_t>(i)] =
            m_pm.FindControl<COptionUI>(QStringLiteral("option_device_%1").arg(i + 1));
    m_applyProgress = m_pm.FindControl<CProgressUI>(QStringLiteral("apply_progress"));
    m_deviceTabSwitch = m_pm.FindControl<CTabLayoutUI>(QStringLiteral("device_tab_switch"));
    m_btnWebsite = m_pm.FindControl<CButtonUI>(QStringLiteral("btn_website"));
    m_noDeviceTitle = m_pm.FindControl(QStringLiteral("no_device_title"));
    m_noDeviceHint = m_pm.FindControl(QStringLiteral("no_device_hint"));
    // The no-device picture is the largest of the window's images; drawn by the control, it is read
    // when the no-device page is first painted, not at every start with a mouse connected.
    if (CControlUI* picture = m_pm.FindControl(QStringLiteral("no_device_image")))
        picture->SetBkImage(QStringLiteral("skins/nodevice.png"));
    m_noPermissionTitle = m_pm.FindControl(QStringLiteral("no_permission_title"));
    m_noPermissionHint = m_pm.FindControl(QStringLiteral("no_permission_hint"));

    SetWindowText(title);

    // Without the hook library (or some of its exports) the table keeps nulls and the program
    // runs on; recording and key capture then simply receive no events.
    if (!m_hookLibrary.Load(ProgramFolder(), m_hookOps))
        qWarning("quillon: input hook library not loaded: %s", m_hookLibrary.Error().c_str());

    m_page.LoadStores();
    // Device arrival and removal reach the page from the driver libraries' own monitors, so there
    // is nothing to register with the system here.
}

LRESULT CMainWnd::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
    // The window is hidden already; the tray icon goes too, then an edit made just before the
    // exit is sent while the program is out of sight.
    m_trayIcon.DeleteTrayIcon();
    m_page.FinishApplyBeforeExit();
    m_hookLibrary.Release(m_hookOps);
    PostQuitMessage(0);
    bHandled = false;
    return 0;
}

LRESULT CMainWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    bHandled = true;
    switch (uMsg) {
    case kTrayNotify:
        OnTrayNotify(lParam);
        return 0;
    case kMenuCommand:
        OnMenuCommand(wParam);
        return 0;
    case MSG_HOOK_EVENT:
    case kDpiStageReported:
    case WM_DEVICECHANGE:
    case kLibraryNotice:
        return 0;
    case kActivateInstance:
        ShowAndRaise();
        return 0;
    case kDeviceChanged:
        RebuildDeviceSlots();
        return 0;
    case WM_DESTROY:
        // OnDestroy has already asked the loop to end; asking again is harmless.
        PostQuitMessage(0);
        bHandled = false;
        return 0;
    default:
        break;
    }
    bHandled = false;
    // Reports, plugs, apply requests and the page's timers.
    m_page.HandleWindowMessage(uMsg, wParam, lParam);
    return 0;
}

void CMainWnd::Notify(TNotifyUI& msg) {
    if (!msg.sVirtualWnd.isEmpty()) {
        // Addressed to the settings page: the base routes it there.
        WindowImplBase::Notify(msg);
        return;
    }
    if (msg.sType == QLatin1String("click")) {
        OnClick(msg);
    } else if (msg.sType == QLatin1String("selectchanged") && msg.pSender != nullptr &&
               msg.pSender == m_optionDevice[0]) {
        if (m_deviceTabSwitch != nullptr)
            m_deviceTabSwitch->SelectItem(1);
    }
}

void CMainWnd::OnClick(TNotifyUI& msg) {
    CControlUI* sender = msg.pSender;
    if (sender == nullptr)
        return;
    if (sender == m_exitBtn) {
        // The window lives on in the notification area. Where the desktop has none, nothing could
        // bring a hidden window back: closing it ends the program, through the same shut-down as
        // the menu's "exit" (the profiles are saved and a pending apply is finished).
        if (HasNotificationArea())
            ShowWindow(SW_HIDE);
        else
            DestroyWindow();
    } else if (sender == m_mainMenuBtn) {
        OpenMainMenu();
    } else if (sender == m_minBtn) {
        SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    } else if (sender == m_btnWebsite) {
        // The address is the button's own text, as the layout and the language file give it.
        if (!services().shell().OpenUrl(m_btnWebsite->GetText()))
            CMsgWnd::MessageBox(GetHWND(), QStringLiteral("warning_title_text"),
                                QStringLiteral("website_failed_text"));
    }
}

void CMainWnd::OpenMainMenu() {
    // The tray menu's entries, opened below the button, so that "exit" is always one click away
    // even on a desktop without a notification area.
    if (m_mainMenuBtn == nullptr)
        return;
    m_trayMenu.reset();
    m_trayMenu = std::make_unique<CMenuWnd>();
    const QRect window = GetWindowRect();
    const QRect button = m_mainMenuBtn->GetPos();
    // The button sits at the right of the title bar: the menu hangs from its right edge.
    const QPoint point(window.left() + button.right() + 1, window.top() + button.bottom() + 1);
    m_trayMenu->Init(nullptr, QStringLiteral("traymenu.xml"), point, &m_pm, nullptr,
                     eMenuAlignment_Right | eMenuAlignment_Top);
    m_trayMenu->ResizeMenu();
}

void CMainWnd::ShowAndRaise() {
    SelectDevicePage();
    ShowWindow(SW_SHOW);
    if (IsIconic())
        SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
    BringToForeground();
}

void CMainWnd::OnTrayNotify(LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONUP) {
        // A visible window (even a minimised one) keeps the page it shows.
        if (!IsWindowVisible()) {
            SelectDevicePage();
            ShowWindow(SW_SHOW);
        }
        if (IsIconic())
            SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
        BringToForeground();
    } else if (mouseMessage == WM_RBUTTONUP) {
        OpenTrayMenu();
    }
}

void CMainWnd::OpenTrayMenu() {
    // One tray menu at most: the menu of an earlier right click goes before the new one opens.
    m_trayMenu.reset();
    m_trayMenu = std::make_unique<CMenuWnd>();
    QPoint point = PointerPosition();
    point.ry() -= kTrayMenuLift;
    m_trayMenu->Init(nullptr, QStringLiteral("traymenu.xml"), point, &m_pm, nullptr, kTrayMenuAlignment);
    m_trayMenu->ResizeMenu();
}

void CMainWnd::OnMenuCommand(WPARAM record) {
    auto* command = reinterpret_cast<MenuCmd*>(record);
    if (command == nullptr)
        return;
    const QString name = command->szName;
    CPaintManagerUI::DeletePtr(command);
    switch (RouteMenuCommand(name)) {
    case MenuRoute::Configuration:
        ShowAndRaise();
        break;
    case MenuRoute::Exit:
        DestroyWindow();
        break;
    case MenuRoute::AssignmentMenu:
        OnAssignMenuCommand(name);
        break;
    case MenuRoute::Ignored:
        break;
    }
}

void CMainWnd::OnAssignMenuCommand(const QString& itemName) {
    m_page.OnAssignMenu(itemName);
}

bool CMainWnd::HasNotificationArea() const {
    return m_trayIcon.IsCreated() && CTrayIcon::IsNotificationAreaAvailable();
}

QPoint CMainWnd::PointerPosition() const {
    return QCursor::pos();
}

void CMainWnd::RebuildDeviceSlots() {
    m_deviceCount = 0;
    m_deviceSlots.fill(0);
    COptionUI* first = m_optionDevice[0];
    if (IsDevicePresent()) {
        m_deviceSlots[0] = 1;
        m_deviceCount = 1;
        if (first != nullptr)
            first->SetVisible(true);
    } else if (first != nullptr) {
        first->SetVisible(false);
        if (first->IsSelected())
            first->Selected(false, SelectNotify::Yes);
    }
    ShowAccessProblem();
    if (IsWindowVisible())
        SelectDevicePage();
}

void CMainWnd::SelectDevicePage() {
    for (std::size_t i = 0; i < m_deviceSlots.size(); ++i) {
        if (m_deviceSlots[i] != 1)
            continue;
        if (m_optionDevice[i] != nullptr)
            m_optionDevice[i]->Selected(true, SelectNotify::No);
        if (m_deviceTabSwitch != nullptr)
            m_deviceTabSwitch->SelectItem(static_cast<int>(i) + 1);
        break;
    }
    if (m_deviceCount == 0 && m_deviceTabSwitch != nullptr)
        m_deviceTabSwitch->SelectItem(0);
}

namespace {

// The folders udev reads rules from. The rule is there once the package, an install to /usr, or
// the user by hand has put it in one of them.
bool UdevRuleInstalled() {
    static constexpr const char* kRuleFolders[] = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                                   "/usr/lib/udev/rules.d", "/lib/udev/rules.d",
                                                   "/usr/local/lib/udev/rules.d"};
    std::error_code error;
    for (const char* folder : kRuleFolders) {
        if (std::filesystem::exists(std::filesystem::path(folder) / "70-quillon-ms1.rules", error))
            return true;
    }
    return false;
}

}  // namespace

void CMainWnd::ShowAccessProblem() {
    // A mouse that is plugged in but may not be opened must not look like no mouse at all: the
    // no-device page then says so and names the fix (the udev rule) instead of asking the user to
    // connect what is already connected.
    const bool denied = m_deviceCount == 0 && DeviceAccessProblem() == DeviceAccess::PermissionDenied;
    if (m_noDeviceTitle != nullptr)
        m_noDeviceTitle->SetVisible(!denied);
    if (m_noDeviceHint != nullptr)
        m_noDeviceHint->SetVisible(!denied);
    if (m_noPermissionTitle != nullptr)
        m_noPermissionTitle->SetVisible(denied);
    if (m_noPermissionHint != nullptr) {
        // With the rule in place only a replug (or a new login) is left to do; without it, the
        // hint tells how to install it.
        if (denied)
            m_noPermissionHint->SetText(UdevRuleInstalled() ? QStringLiteral("no_permission_replug_hint_text")
                                                            : QStringLiteral("no_permission_hint_text"));
        m_noPermissionHint->SetVisible(denied);
    }
}

}  // namespace quillon
