#include "app/app_main.h"

#include <QApplication>
#include <QScopeGuard>

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/main_wnd.h"
#include "app/termination_signals.h"
#include "platform/folders.h"
#include "platform/single_instance.h"
#include "ui/font_warm_up.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"
#include "ui/stall_monitor.h"
#include "ui/startup_mark.h"

namespace quillon {
namespace {

// WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS | WS_CLIPCHILDREN
constexpr DWORD kMainWindowStyle = 0x96CA0000;
constexpr int kMainWindowWidth = 800;
constexpr int kMainWindowHeight = 572;
constexpr int kResourcesInFolder = 1;

constexpr const char* kUsage =
    "Usage: quillon [--help | --version]\n"
    "\n"
    "Quillon configures the MS_1 gaming mouse: DPI stages, lighting, polling rate, sensor options,\n"
    "button assignments, macros and profiles, over the cable or the 2.4 GHz receiver.\n"
    "\n"
    "Started without options it opens its window, or raises the window of the copy that runs\n"
    "already (that start then exits with status 1). Profiles and macros are kept in\n"
    "$XDG_DATA_HOME/quillon/Data/ (by default ~/.local/share/quillon/Data/) when installed, or in\n"
    "Data/ beside the program when it runs from its own folder. quillon-cli changes them from a\n"
    "shell, also while the window is open (see quillon-cli --help).\n"
    "\n"
    "Options:\n"
    "  -h, --help     print this help and exit\n"
    "  -V, --version  print the version and exit\n";

// Options are answered before anything else: no window, no single-instance lock, no display.
// Anything else is left to QApplication, which takes Qt's own options (-platform, -display, ...).
// Returns the exit status, or -1 when the program should start.
int AnswerOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        if (std::strcmp(option, "--help") == 0 || std::strcmp(option, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(option, "--version") == 0 || std::strcmp(option, "-V") == 0) {
            std::printf("quillon %s\n", QUILLON_VERSION);
            return 0;
        }
    }
    return -1;
}

}  // namespace

int RunQuillon(int argc, char** argv) {
    if (const int status = AnswerOptions(argc, argv); status >= 0)
        return status;

    // Started first: fontconfig reads its configuration while the application object connects.
    FontWarmUp fonts;
    QApplication application(argc, argv);
    fonts.FillFontDatabase();
    const auto joinFonts = qScopeGuard([&fonts] { fonts.Join(); });
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setDesktopFileName(QStringLiteral("org.quillon.Quillon"));
    // The window hides to the notification area; hiding or closing a dialog never ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (!instance.ClaimOrActivate())
        return kSecondStartExitCode;

    CPaintManagerUI::SetInstance(&application);
    CPaintManagerUI::SetResourceType(kResourcesInFolder);
    CPaintManagerUI::SetResourcePath(QString::fromStdString(ResourceFolder().string()));
    PrefetchResourceImages({QString::fromLatin1(kMousePictureImage)});
    PrefetchIconResource(kProgramIconId);
    CResourceManager::GetInstance()->PrefetchLanguage(QStringLiteral("lan.xml"));
    CResourceManager::GetInstance()->LoadResource(QStringLiteral("main.xml"));

    // What the settings page shows below its first screen is added right after the window's
    // first frame.
    WindowImplBase::SetHoldBackBelowFold(true);
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
    StallMonitor stallMonitor;

    // The window is centred before it is first shown, so that it never flashes at the corner.
    if (window->Create(nullptr, {}, kMainWindowStyle & ~WS_VISIBLE, 0, 0, 0, kMainWindowWidth,
                       kMainWindowHeight) == nullptr) {
        qCritical("quillon: the main window could not be built from %s",
                  qUtf8Printable(CPaintManagerUI::GetResourcePath() + QStringLiteral("main.xml")));
        window.reset();
        CPaintManagerUI::Term();
        return 1;
    }
    window->CenterWindow();
    window->ShowWindow(SW_SHOW);
    instance.SetActivationTarget(window->GetHWND());
    // quillon-cli hands its commands to the window while it runs, so the mouse has one writer.
    instance.SetRequestHandler(
        [&window](std::string_view line) { return window->Page().HandleCommandRequest(line); });

    CPaintManagerUI::MessageLoop();

    // Deleting the window shuts the page down (worker, links, driver libraries, last save) and
    // removes the tray icon last.
    instance.SetActivationTarget(nullptr);
    instance.SetRequestHandler({});
    window.reset();
    CPaintManagerUI::Term();
    return 0;
}

}  // namespace quillon
