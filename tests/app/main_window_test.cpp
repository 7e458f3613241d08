// The main window: menu commands, the tray icon and its menu, the title-bar buttons, the device
// entries and pages, the hook library, and the message box.

#include "app/main_wnd.h"
#include "app/msg_wnd.h"

#include "core/protocol/device_model.h"
#include "core/store/profile_state.h"
#include "core/store/profile_store.h"
#include "platform/module.h"
#include "support/fake_driver.h"
#include "support/modal_answers.h"
#include "support/program_folder.h"
#include "support/qt_app.h"
#include "support/recording_shell.h"
#include "support/ui_driver.h"
#include "support/virtual_time.h"
#include "ui/menu.h"
#include "ui/resource_manager.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QSystemTrayIcon>
#include <QWidget>

#include <memory>

namespace quillon::test {
namespace {

constexpr UINT kTrayNotify = MSG_TRAY_NOTIFY;
constexpr UINT kMenuCommand = MSG_MENU_COMMAND;
constexpr UINT kActivateInstance = MSG_ACTIVATE_INSTANCE;
constexpr UINT kDeviceChanged = MSG_DEVICE_CHANGED;
constexpr DWORD kMainWindowStyle = 0x96CA0000;

// The main window with the desktop and the page's answers under the test's control.
class TestMainWnd : public CMainWnd {
public:
    std::vector<QString> assignMenuItems;
    bool notificationArea = true;
    bool devicePresent = false;
    DeviceAccess access = DeviceAccess::Ok;

protected:
    void OnAssignMenuCommand(const QString& itemName) override {
        assignMenuItems.push_back(itemName);
        CMainWnd::OnAssignMenuCommand(itemName);
    }
    bool HasNotificationArea() const override { return notificationArea; }
    QPoint PointerPosition() const override { return {600, 700}; }
    bool IsDevicePresent() const override { return devicePresent; }
    DeviceAccess DeviceAccessProblem() const override { return access; }
};

QString Text(const char* key) {
    return CResourceManager::GetInstance()->GetText(QString::fromLatin1(key));
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { TestApplication(); }

    void TearDown() override {
        if (window && window->GetHWND() != nullptr && IsWindow(window->GetHWND()))
            window->DestroyWindow();
        window.reset();
        ResetQuitPosted();
        CPaintManagerUI::Term();
        PumpPending();
        // Windows delete their widgets from the event loop; a test has no loop of its own.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void Create() {
        ui.reset();
        window.reset();
        window = std::make_unique<TestMainWnd>();
        ASSERT_NE(window->Create(nullptr, {}, kMainWindowStyle, 0, 0, 0, 800, 572), nullptr);
        window->CenterWindow();
        ui = std::make_unique<UiDriver>(*window);
        PumpPending();
    }

    // A menu item clicked: the record is the UI library's, released by the receiver.
    void MenuCommand(const QString& name) {
        auto* record = CPaintManagerUI::NewPtr<MenuCmd>();
        record->szName = name;
        window->SendMessage(kMenuCommand, reinterpret_cast<WPARAM>(record), 0);
    }

    void DeviceChanged(bool present) {
        window->devicePresent = present;
        window->PostMessage(kDeviceChanged, 0, 0);
        PumpPending();
    }

    int Page() const { return ui->CurSel("device_tab_switch"); }

    TempProgramFolder folder{QUILLON_SOURCE_DIR "/res"};
    VirtualTime time;
    RecordingShell shell;
    std::unique_ptr<TestMainWnd> window;
    std::unique_ptr<UiDriver> ui;
};

TEST(MenuRouting, NamesAreRoutedByCaseRulesOfTheirKind) {
    const struct {
        const char* name;
        MenuRoute route;
    } cases[] = {
        {"configuration", MenuRoute::Configuration},
        {"CoNfIgUrAtIoN", MenuRoute::Configuration},
        {"exit", MenuRoute::Exit},
        {"EXIT", MenuRoute::Exit},
        {"ms_1_forward", MenuRoute::AssignmentMenu},
        {"ms_1", MenuRoute::AssignmentMenu},
        // Shorter names are compared over their own length only.
        {"ms", MenuRoute::AssignmentMenu},
        // Letter case matters for the page's items, and only the first four characters count.
        {"MS_1_forward", MenuRoute::Ignored},
        {"Ms_1_forward", MenuRoute::Ignored},
        {"ms_2_forward", MenuRoute::Ignored},
        {"configurations", MenuRoute::Ignored},
        {"exit_btn", MenuRoute::Ignored},
        {"skin", MenuRoute::Ignored},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RouteMenuCommand(QString::fromLatin1(c.name)), c.route) << c.name;
}

TEST_F(MainWindowTest, StartsAsTheFixedSizeQuillonWindowWithItsTitleAndTrayIcon) {
    Create();
    EXPECT_EQ(WindowImplBase::FindWindowByClass("Quillon"), window.get());
    EXPECT_TRUE(window->IsWindowVisible());
    const QWidget* host = window->GetHostWidget();
    EXPECT_EQ(host->size(), QSize(800, 572));
    EXPECT_EQ(host->minimumSize(), host->maximumSize()) << "the window cannot be resized";
    EXPECT_EQ(host->windowTitle(), Text("mouse_name_text"));
    EXPECT_NE(Text("mouse_name_text"), "mouse_name_text") << "the language file was loaded";
    ASSERT_TRUE(window->TrayIcon().IsCreated());
    EXPECT_EQ(window->TrayIcon().GetTooltipText(), Text("mouse_name_text"));
    EXPECT_EQ(Page(), 0) << "no device: the no-device page";
}

TEST_F(MainWindowTest, MenuCommandsReachTheirTargetsAndReleaseTheirRecords) {
    Create();
    const std::size_t outstanding = CPaintManagerUI::OutstandingPtrs();

    MenuCommand("ms_1_forward");
    MenuCommand("MS_1_forward");
    MenuCommand("ms_1_macro_3");
    EXPECT_EQ(window->assignMenuItems, (std::vector<QString>{"ms_1_forward", "ms_1_macro_3"}));

    window->ShowWindow(SW_HIDE);
    MenuCommand("CoNfIgUrAtIoN");
    EXPECT_TRUE(window->IsWindowVisible()) << "configuration shows the hidden window";
    EXPECT_FALSE(window->IsIconic());
    EXPECT_EQ(CPaintManagerUI::OutstandingPtrs(), outstanding) << "every record was released";

    const HWND handle = window->GetHWND();
    EXPECT_FALSE(IsQuitPosted());
    MenuCommand("Exit");
    EXPECT_FALSE(IsWindow(handle)) << "exit destroys the main window";
    EXPECT_TRUE(IsQuitPosted()) << "and ends the message loop";
}

TEST_F(MainWindowTest, TrayRightClickTwiceLeavesOneMenuWhoseExitEndsTheProgram) {
    Create();
    window->SendMessage(kTrayNotify, 0, WM_RBUTTONUP);
    window->SendMessage(kTrayNotify, 0, WM_RBUTTONUP);
    ASSERT_EQ(CMenuWnd::LiveMenus().size(), 1u);
    CMenuWnd* menu = window->TrayMenu();
    ASSERT_EQ(CMenuWnd::LiveMenus().front(), menu);
    EXPECT_EQ(menu->GetMenuUI()->GetItemNames(), (std::vector<QString>{"configuration", "exit"}));
    // The menu opens 50 pixels above the pointer.
    EXPECT_EQ(menu->GetWindowRect().top(), 650);

    // Other mouse messages over the icon do nothing.
    for (LPARAM message : {WM_MBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN})
        window->SendMessage(kTrayNotify, 0, message);
    EXPECT_EQ(CMenuWnd::LiveMenus().size(), 1u);

    const HWND handle = window->GetHWND();
    ASSERT_NE(menu->FindItem("exit"), nullptr);
    menu->FindItem("exit")->trigger();
    PumpPending();
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_TRUE(IsQuitPosted());
}

TEST_F(MainWindowTest, TitleBarButtonsHideOrMinimiseAsTheDesktopAllows) {
    const struct {
        const char* button;
        bool notificationArea;
        bool visible;
        bool minimised;
        bool ends;
    } cases[] = {
        {"exit_btn", true, false, false, false},
        // Without a notification area a hidden window could never come back: closing ends the
        // program instead.
        {"exit_btn", false, false, false, true},
        {"min_btn", true, true, true, false},
        {"min_btn", false, true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button + std::string(c.notificationArea ? " with" : " without") +
                     " a notification area");
        Create();
        window->notificationArea = c.notificationArea;
        const HWND handle = window->GetHWND();
        ui->Click(c.button);
        PumpPending();
        EXPECT_EQ(window->IsWindowVisible(), c.visible);
        EXPECT_EQ(window->IsIconic(), c.minimised);
        EXPECT_EQ(IsWindow(handle), !c.ends);
        EXPECT_EQ(IsQuitPosted(), c.ends);
        window->DestroyWindow();
        ResetQuitPosted();
    }
}

TEST_F(MainWindowTest, ClosingWithoutANotificationAreaEndsTheProgramAndKeepsTheEdits) {
    Create();
    window->notificationArea = false;
    ProfileRecord* record = window->Page().Profiles()->Selected();
    ASSERT_NE(record, nullptr);
    record->dpi_x[0] = 33;  // an edit made while no mouse is connected
    ui->Click("exit_btn");
    EXPECT_TRUE(IsQuitPosted());
    // The entry routine deletes the window once the loop has ended; that shuts the page down.
    window.reset();

    StoreHeader header{};
    ProfileList list;
    ASSERT_EQ(ProfileStore(folder.DataFolder()).Load(list, header, u"Profile").outcome, LoadOutcome::Loaded);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]->dpi_x[0], 33) << "the store was saved on the way out";
}

TEST_F(MainWindowTest, MenuButtonOpensTheTrayMenusEntriesBelowItself) {
    Create();
    ui->Click("main_menu_btn");
    CMenuWnd* menu = window->TrayMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->GetMenuUI()->GetItemNames(), (std::vector<QString>{"configuration", "exit"}));
    const QRect button = ui->Find("main_menu_btn")->GetPos().translated(window->GetWindowRect().topLeft());
    // It hangs from the button's right edge, just below it.
    EXPECT_EQ(menu->GetWindowRect().topRight(), button.bottomRight() + QPoint(0, 1));

    const HWND handle = window->GetHWND();
    menu->FindItem("exit")->trigger();
    PumpPending();
    EXPECT_FALSE(IsWindow(handle)) << "exit is one click away";
    EXPECT_TRUE(IsQuitPosted());
}

TEST_F(MainWindowTest, TrayLeftClickShowsTheHiddenWindowOnItsDevicePage) {
    Create();
    ui->Click("exit_btn");
    ASSERT_FALSE(window->IsWindowVisible());

    // The mouse arrives while the window is hidden: the entries change, the page waits.
    DeviceChanged(true);
    EXPECT_EQ(window->DeviceCount(), 1);
    EXPECT_EQ(Page(), 0);

    window->SendMessage(kTrayNotify, 0, WM_LBUTTONUP);
    EXPECT_TRUE(window->IsWindowVisible());
    EXPECT_EQ(Page(), 1);
    EXPECT_TRUE(ui->IsChecked("option_device_1"));
}

TEST_F(MainWindowTest, TrayLeftClickOnAMinimisedWindowOnlyRestoresIt) {
    Create();
    DeviceChanged(true);
    ASSERT_EQ(Page(), 1);
    // Whatever page the window shows, a visible window keeps it.
    ui->Find<CTabLayoutUI>("device_tab_switch")->SelectItem(0);
    window->SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(window->IsIconic());

    window->SendMessage(kTrayNotify, 0, WM_LBUTTONUP);
    EXPECT_FALSE(window->IsIconic());
    EXPECT_TRUE(window->IsWindowVisible());
    EXPECT_EQ(Page(), 0);
}

TEST_F(MainWindowTest, DeviceEntriesFollowThePageAndSwitchPagesOnlyWhileVisible) {
    Create();
    DeviceChanged(true);
    EXPECT_EQ(window->DeviceSlots()[0], 1);
    EXPECT_TRUE(ui->IsShown("option_device_1"));
    EXPECT_TRUE(ui->IsChecked("option_device_1"));
    EXPECT_EQ(Page(), 1);

    DeviceChanged(false);
    EXPECT_EQ(window->DeviceCount(), 0);
    EXPECT_EQ(window->DeviceSlots()[0], 0);
    EXPECT_FALSE(ui->IsShown("option_device_1"));
    EXPECT_FALSE(ui->IsChecked("option_device_1"));
    EXPECT_EQ(Page(), 0);

    window->ShowWindow(SW_HIDE);
    DeviceChanged(true);
    EXPECT_EQ(Page(), 0) << "a hidden window does not switch pages";

    // A second start of the program brings the window forward on the device's page.
    window->SendMessage(kActivateInstance, 0, 0);
    EXPECT_TRUE(window->IsWindowVisible());
    EXPECT_EQ(Page(), 1);

    // Choosing the device entry shows its page.
    ui->Find<CTabLayoutUI>("device_tab_switch")->SelectItem(0);
    ui->Find<COptionUI>("option_device_1")->Selected(false, SelectNotify::No);
    ui->Click("option_device_1");
    EXPECT_EQ(Page(), 1);
}

TEST_F(MainWindowTest, AMouseThatMayNotBeOpenedIsNamedWithTheFix) {
    Create();
    window->access = DeviceAccess::PermissionDenied;
    DeviceChanged(false);
    EXPECT_EQ(Page(), 0);
    EXPECT_TRUE(ui->IsShown("no_permission_title"));
    EXPECT_TRUE(ui->IsShown("no_permission_hint"));
    EXPECT_FALSE(ui->IsShown("no_device_title")) << "not told to connect what is connected";
    EXPECT_TRUE(ui->Text("no_permission_hint").contains("70-quillon-ms1.rules"));
    EXPECT_TRUE(ui->Text("no_permission_hint").contains("udevadm"));

    // Once the rule is in place and the mouse opens, the notice goes.
    window->access = DeviceAccess::Ok;
    DeviceChanged(true);
    EXPECT_EQ(Page(), 1);
    EXPECT_FALSE(ui->IsShown("no_permission_title"));
    DeviceChanged(false);
    EXPECT_TRUE(ui->IsShown("no_device_title"));
    EXPECT_FALSE(ui->IsShown("no_permission_hint"));
}

// An edit followed at once by "exit": the window and the tray icon go at once, and the apply that
// the edit asked for (queued, or still gathering quick edits) reaches the mouse before the end.
TEST_F(MainWindowTest, ExitRightAfterAnEditStillSendsItToTheMouse) {
    CallJournal journal;
    FakeDriver wired(journal, "wired");
    FakeDriver wireless(journal, "wireless");
    wireless.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
    window = std::make_unique<TestMainWnd>();
    window->Page().SetDriverLoader(FakeDriverLoader(&wired, &wireless));
    window->devicePresent = true;
    ASSERT_NE(window->Create(nullptr, {}, kMainWindowStyle, 0, 0, 0, 800, 572), nullptr);
    ui = std::make_unique<UiDriver>(*window);
    PumpPending();
    ASSERT_TRUE(wired.SendReport(MakePowerStatus(1, 80)));
    PumpPending();

    ui->SetChecked("ms_1_check_prate", true);
    ui->Click("ms_1_btn_prate_2");  // asks for an apply at once
    ui->SetChecked("ms_1_check_light", true);
    ui->SelectComboItem("ms_1_combo_light", 1);
    ui->MoveSlider("ms_1_slider_brightness", 3);  // asks for one after a quiet spell
    MenuCommand("exit");
    EXPECT_FALSE(window->TrayIcon().IsCreated());
    window.reset();

    DeviceModel mouse;
    for (const auto& report : wired.Written())
        mouse.Feed(report);
    EXPECT_EQ(mouse.RejectedReports(), 0u);
    EXPECT_EQ(mouse.State().pollingCode, 0x10);
    EXPECT_EQ(mouse.State().lightEffect, 1);
    EXPECT_EQ(mouse.State().brightness, 3);
}

// A mouse that takes too long cannot hold the exit up: after the deadline the program ends and
// the rest of the apply is not written.
TEST_F(MainWindowTest, ExitWaitsForTheApplyOnlyUntilItsDeadline) {
    CallJournal journal;
    FakeDriver wired(journal, "wired");
    FakeDriver wireless(journal, "wireless");
    wireless.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
    window = std::make_unique<TestMainWnd>();
    window->Page().SetDriverLoader(FakeDriverLoader(&wired, &wireless));
    window->devicePresent = true;
    ASSERT_NE(window->Create(nullptr, {}, kMainWindowStyle, 0, 0, 0, 800, 572), nullptr);
    ui = std::make_unique<UiDriver>(*window);
    PumpPending();
    ASSERT_TRUE(wired.SendReport(MakePowerStatus(1, 80)));
    PumpPending();
    wired.onWrite = [&] { time.Sleep(kExitApplyDeadlineMs); };  // every write stalls that long
    ui->SetChecked("ms_1_check_prate", true);
    ui->Click("ms_1_btn_prate_2");
    MenuCommand("exit");
    window.reset();
    EXPECT_EQ(wired.Written().size(), 1u) << "the full write stopped after its first frame";
}

TEST_F(MainWindowTest, WebsiteButtonOpensItsOwnText) {
    Create();
    ui->Click("btn_website");
    EXPECT_EQ(shell.OpenedUrls(), QStringList{Text("website_text")});
    EXPECT_TRUE(Text("website_text").startsWith("https://"));

    // A desktop that cannot open it: the user is told rather than left clicking.
    shell.SetOpensUrls(false);
    ModalAnswers answers;
    answers.OnNext("MsgWnd", [](UiDriver& box) {
        EXPECT_EQ(box.Text("warning"), Text("website_failed_text"));
        box.Click("btn_ok");
    });
    ui->Click("btn_website");
    EXPECT_EQ(answers.Opened(), std::vector<QString>{"MsgWnd"});
}

TEST_F(MainWindowTest, WithoutHookLibraryTheProgramStartsAndEndsNormally) {
    Create();
    EXPECT_FALSE(window->HookLibraryLoaded());
    const HookOps& hooks = window->Hooks();
    EXPECT_EQ(hooks.removehook, nullptr);
    EXPECT_EQ(hooks.installhook, nullptr);
    MenuCommand("exit");
    EXPECT_TRUE(IsQuitPosted());
    window.reset();  // the page and the tray icon go without touching a hook
}

TEST_F(MainWindowTest, HookOperationsAreResolvedByNameAndRemovedWhenTheWindowCloses) {
    const struct {
        const char* plugin;
        int resolved;
        const char* atClose;
    } cases[] = {
        {FAKE_HOOK, 7, "removemousehook,removehook"},
        // A library without some operations: those stay null and are never called.
        {FAKE_HOOK_PARTIAL, 2, "removehook"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plugin);
        const auto hookFile = folder.CopyIn(c.plugin, "Hook.so");
        // The test's own reference keeps the library (and its journal) loaded after the window lets go.
        Module library = Module::Load(hookFile);
        ASSERT_TRUE(library);
        library.Resolve<void (*)()>("fake_hook_clear")();
        auto journal = library.Resolve<const char* (*)()>("fake_hook_journal");

        Create();
        EXPECT_TRUE(window->HookLibraryLoaded());
        const HookOps& hooks = window->Hooks();
        const void* operations[] = {reinterpret_cast<const void*>(hooks.installmousehook),
                                    reinterpret_cast<const void*>(hooks.removemousehook),
                                    reinterpret_cast<const void*>(hooks.enablemousehook),
                                    reinterpret_cast<const void*>(hooks.installhook),
                                    reinterpret_cast<const void*>(hooks.removehook),
                                    reinterpret_cast<const void*>(hooks.enablehook),
                                    reinterpret_cast<const void*>(hooks.mousewheelenable)};
        EXPECT_EQ(std::count_if(std::begin(operations), std::end(operations),
                                [](const void* p) { return p != nullptr; }),
                  c.resolved);
        EXPECT_STREQ(journal(), "") << "nothing is called at start-up";

        window->DestroyWindow();
        EXPECT_STREQ(journal(), c.atClose);
        EXPECT_EQ(window->Hooks().removehook, nullptr) << "nothing can call into the released library";
        EXPECT_FALSE(window->HookLibraryLoaded());
        window.reset();
        ResetQuitPosted();
    }
}

TEST_F(MainWindowTest, MessageBoxShowsItsKeysAndAnswersOneForOkAndZeroForCancel) {
    Create();
    ModalAnswers answers;
    answers.OnNext("MsgWnd", [](UiDriver& box) {
        EXPECT_EQ(box.Text("warning_title"), Text("warning_title_text"));
        EXPECT_EQ(box.Text("warning"), Text("restore_text"));
        EXPECT_NE(Text("restore_text"), "restore_text");
        box.Click("btn_ok");
    });
    EXPECT_EQ(CMsgWnd::MessageBox(window->GetHWND(), "warning_title_text", "restore_text"), 1);

    answers.ClickOnNext("MsgWnd", "btn_cancel");
    EXPECT_EQ(CMsgWnd::MessageBox(window->GetHWND(), "warning_title_text", "delete_profile_text"), 0);
    EXPECT_EQ(answers.Opened(), (std::vector<QString>{"MsgWnd", "MsgWnd"}));
    EXPECT_EQ(WindowImplBase::FindWindowByClass("MsgWnd"), nullptr) << "each box is gone when it returns";
}

}  // namespace
}  // namespace quillon::test
