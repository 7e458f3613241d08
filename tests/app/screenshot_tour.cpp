// Takes the screenshots of the documentation: the main window without and with the mouse, the
// message box and the DPI colour dialog, each grabbed from the X server as a user would see it.
//
//     xvfb-run -a -s "-screen 0 1280x1024x24" build/tests/app/quillon_screenshot_tour <folder>
//
// The main window runs in-process over a copy of the demo program folder, so the simulated mouse
// is the mouse: first without it (QUILLON_SIM_LINKS=none), then with it on the 2.4 GHz receiver.
// Writes nodevice.png, permission.png, main.png, msgbox.png, colordialog.png, macroeditor.png,
// macroedit.png, scrolled.png (the wheel turned over the sliders), unsent.png and sent.png (a DPI
// change before and after "Apply"), waiting.png, mainmenu.png (the menu button's menu),
// colordialog_low.png (the whole screen, with the main window low on it and stage 8's colour dialog
// open), profiles.png (a store of 12 profiles), profilename_empty.png and profilename.png (the name
// dialog of a new profile, empty and with a name typed) into <folder>; permission.png pretends
// that the receiver is plugged in but may not be opened, and the macro editor shows a stored macro
// of 20 actions.

#include "app/main_wnd.h"
#include "core/macros/macro_file.h"
#include "core/store/profile_store.h"
#include "platform/services.h"
#include "support/ui_driver.h"
#include "ui/paint_manager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using namespace quillon;

namespace {

QString g_output;
fs::path g_folder;

void Wait(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Grabs the screen area of `window` (a window's own X image misses its pop-ups' shadows).
void Grab(const QWidget* window, const QString& name) {
    QCoreApplication::processEvents();
    const QRect area = window->frameGeometry();
    const QString crop =
        QStringLiteral("%1x%2+%3+%4").arg(area.width()).arg(area.height()).arg(area.x()).arg(area.y());
    const QString file = g_output + '/' + name;
    const int status = QProcess::execute(QStringLiteral("import"),
                                         {QStringLiteral("-window"), QStringLiteral("root"),
                                          QStringLiteral("-crop"), crop, QStringLiteral("+repage"), file});
    std::printf("%s %s\n", qPrintable(file), status == 0 ? "written" : "FAILED");
}

// Grabs the whole screen.
void GrabScreen(const QString& name) {
    QCoreApplication::processEvents();
    const QString file = g_output + '/' + name;
    const int status = QProcess::execute(QStringLiteral("import"),
                                         {QStringLiteral("-window"), QStringLiteral("root"), file});
    std::printf("%s %s\n", qPrintable(file), status == 0 ? "written" : "FAILED");
}

// Clicks `control` in the next modal window of `className` once it is up, grabbing it first.
void AnswerNextModal(const QString& className, const QString& shot, const QString& control) {
    QTimer::singleShot(1500, [=] {
        WindowImplBase* window = WindowImplBase::FindWindowByClass(className);
        if (window == nullptr) {
            std::printf("%s did not open\n", qPrintable(className));
            return;
        }
        Grab(window->GetHostWidget(), shot);
        test::UiDriver(*window).Click(control);
    });
}

// A macro of 20 actions: key strokes, clicks and movements with a few long pauses.
void StoreSampleMacro() {
    MacroList macros;
    macros.push_back(NewMacroRecord(u"Build and run"));
    macros.push_back(NewMacroRecord(u"Sprint jump"));
    MacroRecord& macro = *macros[0];
    const std::uint8_t keys[] = {0xE0, 0x16, 0x0B, 0x08, 0x0F, 0x0F, 0x12};  // Ctrl, S, H, E, L, L, O
    std::size_t n = 0;
    auto add = [&](std::uint8_t code, std::uint8_t kind, std::uint16_t delay, int x = 0, int y = 0) {
        MacroAction& action = macro.actions[n++];
        action.code = code;
        action.kind = kind;
        action.delayMs = delay;
        action.x = x;
        action.y = y;
    };
    add(keys[0], kActionDown, 20);
    add(keys[1], kActionDown, 35);
    add(keys[1], kActionUp, 20);
    add(keys[0], kActionUp, 500);
    add(kMouseMove, kActionMove, 10, 120, -40);
    add(kMouseLeft, kActionDown, 60);
    add(kMouseLeft, kActionUp, 250);
    for (std::size_t i = 2; i < 7; ++i) {
        add(keys[i], kActionDown, 30);
        add(keys[i], kActionUp, 45);
    }
    add(kMouseRight, kActionDown, 80);
    add(kMouseRight, kActionUp, 1200);
    add(kMouseMove, kActionMove, 10, -120, 40);
    macro.actionCount = static_cast<std::int32_t>(n);
    if (!MacroStoreFile(g_folder / "Data").Save(macros).Ok())
        std::fprintf(stderr, "screenshot tour: the macro store could not be written\n");
}

// A store of twelve profiles, the fifth selected.
void StoreTwelveProfiles() {
    ProfileList profiles;
    for (std::u16string_view name :
         {u"Profile 1", u"Work", u"Shooter", u"MOBA", u"Office", u"Photo editing", u"Travel", u"Left-handed",
          u"LAN party", u"Streaming", u"Battle royale 1440p", u"Racing"}) {
        auto record = std::make_unique<ProfileRecord>();
        CreateProfile(*record, name);
        profiles.push_back(std::move(record));
    }
    auto header = std::make_unique<StoreHeader>();
    header->selected = 4;
    header->reserved.fill(0);
    static_cast<void>(ProfileStore(g_folder / "Data").Save(profiles, *header));
}

// The main window as it is when the receiver is there but this user may not open it.
class NoAccessMainWnd : public CMainWnd {
protected:
    bool IsDevicePresent() const override { return false; }
    DeviceAccess DeviceAccessProblem() const override { return DeviceAccess::PermissionDenied; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    g_output = QString::fromLocal8Bit(argv[1]);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QTemporaryDir scratch;
    g_folder = fs::path(scratch.path().toStdString());
    for (const char* file : {"hiddriver_4k_1.so", "hiddriver_4k_2.so", "quillon-sim"})
        fs::copy_file(fs::path(QUILLON_DEMO_FOLDER) / file, g_folder / file);
    fs::create_directory_symlink(fs::path(QUILLON_SOURCE_DIR) / "res", g_folder / "res");
    ScopedServices folder(ScopedServices::Set{nullptr, nullptr, nullptr, nullptr, g_folder});
    CPaintManagerUI::SetResourcePath(QString::fromStdString((g_folder / "res").string()));

    // The simulated mouse reads which links have a mouse when the main window opens its libraries.
    auto open = [](const char* links, bool permissionDenied = false) {
        qputenv("QUILLON_SIM_LINKS", links);
        std::unique_ptr<CMainWnd> window =
            permissionDenied ? std::make_unique<NoAccessMainWnd>() : std::make_unique<CMainWnd>();
        if (window->Create(nullptr, {}, 0x96CA0000, 0, 0, 0, 800, 572) == nullptr)
            std::exit(1);
        window->CenterWindow();
        Wait(2500);
        return window;
    };
    auto window = open("none");
    Grab(window->GetHostWidget(), QStringLiteral("nodevice.png"));
    window->DestroyWindow();
    window.reset();

    window = open("none", true);
    Grab(window->GetHostWidget(), QStringLiteral("permission.png"));
    window->DestroyWindow();
    window.reset();

    StoreSampleMacro();
    window = open("wireless");
    Grab(window->GetHostWidget(), QStringLiteral("main.png"));

    test::UiDriver ui(*window);
    AnswerNextModal(QStringLiteral("MsgWnd"), QStringLiteral("msgbox.png"), QStringLiteral("btn_cancel"));
    ui.Click(QStringLiteral("ms_1_profile_reset_btn"));
    AnswerNextModal(QStringLiteral("DpiColorWnd"), QStringLiteral("colordialog.png"),
                    QStringLiteral("cancel_btn"));
    ui.Click(QStringLiteral("ms_1_btn_dpi_color_2"));

    QTimer::singleShot(1500, [] {
        WindowImplBase* editor = WindowImplBase::FindWindowByClass(QStringLiteral("MS_1_Macro"));
        if (editor == nullptr) {
            std::printf("the macro editor did not open\n");
            return;
        }
        test::UiDriver macros(*editor);
        macros.SelectRow(QStringLiteral("ms_1_macro_list"), 0);
        Wait(300);
        Grab(editor->GetHostWidget(), QStringLiteral("macroeditor.png"));
        macros.SelectRow(QStringLiteral("ms_1_macro_action_list"), 4);
        macros.SetChecked(QStringLiteral("ms_1_macro_action_edit_check"), true);
        macros.SetChecked(QStringLiteral("ms_1_macro_insert_mouse_btn"), true);
        Wait(300);
        Grab(editor->GetHostWidget(), QStringLiteral("macroedit.png"));
        macros.Click(QStringLiteral("btn_exit"));
    });
    ui.Click(QStringLiteral("ms_1_btn_macro"));

    // The wheel turned over the sliders scrolls the settings and changes none of them.
    for (const char* slider : {"ms_1_slider_dpi_2", "ms_1_slider_dpi_5", "ms_1_slider_dpi_8"})
        ui.Wheel(QString::fromLatin1(slider), 1);
    Wait(300);
    Grab(window->GetHostWidget(), QStringLiteral("scrolled.png"));

    // The mouse is moved, so that it is awake, and the profile is sent whole once. A DPI change
    // then waits for "Apply", and both send buttons say so until it has gone out.
    const QString sim = QString::fromStdString((g_folder / "quillon-sim").string());
    std::printf("quillon-sim wake: %d\n", QProcess::execute(sim, {QStringLiteral("wake")}));
    auto unsent = [&] { return ui.Find(QStringLiteral("ms_1_apply_btn"))->GetStyleState("unsent"); };
    auto waitUntilSent = [&] {
        for (int waited = 0; unsent() && waited < 60000; waited += 500)
            Wait(500);
        Wait(300);
    };
    ui.Click(QStringLiteral("ms_1_apply_btn"));
    waitUntilSent();
    // Back to the top of the settings, where "Apply" is.
    ui.Wheel(QStringLiteral("ms_1_slider_dpi_6"), -10);
    ui.MoveSlider(QStringLiteral("ms_1_slider_dpi_2"), 40);
    Wait(300);
    Grab(window->GetHostWidget(), QStringLiteral("unsent.png"));
    ui.Click(QStringLiteral("ms_1_btn_apply_dpi"));
    waitUntilSent();
    Grab(window->GetHostWidget(), QStringLiteral("sent.png"));
    // Asleep again, a change says that it waits for the mouse.
    std::printf("quillon-sim sleep: %d\n", QProcess::execute(sim, {QStringLiteral("sleep")}));
    Wait(7000);
    ui.MoveSlider(QStringLiteral("ms_1_slider_dpi_2"), 48);
    ui.Click(QStringLiteral("ms_1_btn_apply_dpi"));
    Wait(2500);
    Grab(window->GetHostWidget(), QStringLiteral("waiting.png"));

    ui.Click(QStringLiteral("main_menu_btn"));
    Wait(500);
    Grab(window->GetHostWidget(), QStringLiteral("mainmenu.png"));
    if (QWidget* menu = QApplication::activePopupWidget())
        menu->close();
    Wait(300);

    // The main window low on the screen: stage 8's colour dialog still opens on it.
    const QRect screen = window->GetHostWidget()->screen()->availableGeometry();
    const QRect button = ui.Find(QStringLiteral("ms_1_btn_dpi_color_8"))->GetPos();
    window->MoveWindow(screen.left() + 240, screen.bottom() - button.bottom() - 6);
    Wait(500);
    QTimer::singleShot(1500, [] {
        GrabScreen(QStringLiteral("colordialog_low.png"));
        if (WindowImplBase* dialog = WindowImplBase::FindWindowByClass(QStringLiteral("DpiColorWnd")))
            test::UiDriver(*dialog).Click(QStringLiteral("cancel_btn"));
    });
    ui.Click(QStringLiteral("ms_1_btn_dpi_color_8"));

    window->DestroyWindow();
    window.reset();

    StoreTwelveProfiles();
    window = open("wireless");
    Grab(window->GetHostWidget(), QStringLiteral("profiles.png"));
    QTimer::singleShot(1500, [] {
        WindowImplBase* dialog = WindowImplBase::FindWindowByClass(QStringLiteral("MS_1_ProfileName"));
        if (dialog == nullptr) {
            std::printf("the profile name dialog did not open\n");
            return;
        }
        test::UiDriver name(*dialog);
        Wait(300);
        Grab(dialog->GetHostWidget(), QStringLiteral("profilename_empty.png"));
        name.Type(QStringLiteral("edit_name"), QStringLiteral("Sniper"));
        Wait(300);
        Grab(dialog->GetHostWidget(), QStringLiteral("profilename.png"));
        name.Click(QStringLiteral("btn_cancel"));
    });
    test::UiDriver(*window).Click(QStringLiteral("ms_1_profile_add_btn"));

    window->DestroyWindow();
    window.reset();
    CPaintManagerUI::Term();
    return 0;
}
