#include "app/app_main.h"

#include <QApplication>

#include <memory>

#include "app/main_wnd.h"
#include "app/termination_signals.h"
#include "platform/single_instance.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"
#include "ui/startup_mark.h"

namespace quillon {
namespace {

// WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS | WS_CLIPCHILDREN
constexpr DWORD kMainWindowStyle = 0x96CA0000;
constexpr int kMainWindowWidth = 800;
constexpr int kMainWindowHeight = 572;
constexpr int kResourcesInFolder = 1;

}  // namespace

int RunQuillon(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setDesktopFileName(QStringLiteral("quillon"));
    // The window hides to the notification area; hiding or closing a dialog never ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (!instance.ClaimOrActivate())
        return kSecondStartExitCode;

    CPaintManagerUI::SetInstance(&application);
    CPaintManagerUI::SetResourceType(kResourcesInFolder);
    CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath() + QStringLiteral("res/"));
    CResourceManager::GetInstance()->LoadResource(QStringLiteral("main.xml"));

    auto window = std::make_unique<CMainWnd>();
    // A signal closes the main window from the event loop, which runs the same shut-down as the
    // tray menu's "exit"; the profile store is then saved on the way out.
    TerminationSignals terminationSignals([&window](int) {
        if (window && window->GetHWND() != nullptr)
            window->PostMessage(WM_CLOSE, 0, 0);
        else
            PostQuitMessage(0);
    });

    StartupMark startupMark([&window] { return window ? window->GetHostWidget() : nullptr; });

    // The window is centred before it is first shown, so that it never flashes at the corner.
    if (window->Create(nullptr, {}, kMainWindowStyle & ~WS_VISIBLE, 0, 0, 0, kMainWindowWidth,
                       kMainWindowHeight) == nullptr) {
        qCritical("quillon: the main window could not be built from %s",
                  qUtf8Printable(CPaintManagerUI::GetResourcePath() + QStringLiteral("main.xml")));
        window.reset();
        CPaintManagerUI::Term();
        return 0;
    }
    window->CenterWindow();
    window->ShowWindow(SW_SHOW);
    instance.SetActivationTarget(window->GetHWND());

    CPaintManagerUI::MessageLoop();

    // Deleting the window shuts the page down (worker, links, driver libraries, last save) and
    // removes the tray icon last.
    instance.SetActivationTarget(nullptr);
    window.reset();
    CPaintManagerUI::Term();
    return 0;
}

}  // namespace quillon
