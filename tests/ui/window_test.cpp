// Windows: modal runs, messages and timers, the end of a window, virtual windows, menus, tray.

#include "test_windows.h"

#include <QGuiApplication>
#include <QScreen>

#include "ui/menu.h"
#include "ui/tray.h"

#include <gtest/gtest-spi.h>

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QSystemTrayIcon>
#include <QWidget>

namespace quillon::test {
namespace {

using Summary = std::vector<QString>;

TEST_F(UiFixture, ModalAnswersReturnTheCodeGivenToClose) {
    CreateWindow();
    ModalAnswers answers;
    answers.ClickOnNext("TestDlg", "btn_ok");
    answers.OnNext("TestDlg", [](UiDriver& dialog) {
        EXPECT_EQ(dialog.Text("warning"), "Something happened") << "the dialog was initialised";
        dialog.Click("btn_cancel");
    });
    for (int expected : {1, 0}) {
        TestDialog dialog;
        ASSERT_NE(
            dialog.Create(window.GetHWND(), {}, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, 0, 0, 800, 800),
            nullptr);
        dialog.CenterWindow();
        EXPECT_FALSE(dialog.IsWindowVisible()) << "an answered window is never shown";
        EXPECT_EQ(dialog.ShowModal(), expected);
        EXPECT_EQ(dialog.finalMessages, 1);
        EXPECT_EQ(dialog.GetHWND(), dialog.GetHWND());
        EXPECT_EQ(WindowImplBase::FindWindowByClass("TestDlg"), nullptr)
            << "the dialog is gone when it returns";
    }
    EXPECT_EQ(answers.Opened(), (Summary{"TestDlg", "TestDlg"}));
}

TEST_F(UiFixture, AModalWindowWithoutAnAnswerFailsTheTestAndReturnsMinusOne) {
    CreateWindow();
    int result = 0;
    EXPECT_NONFATAL_FAILURE(
        {
            ModalAnswers answers;
            TestDialog dialog;
            dialog.Create(window.GetHWND(), {}, WS_POPUP | WS_VISIBLE, 0);
            result = dialog.ShowModal();
        },
        "opened without an answer");
    EXPECT_EQ(result, -1);
}

TEST_F(UiFixture, MessagesPostedWhileAModalRunsAreHandledByItsLoop) {
    CreateWindow();
    TestDialog dialog;
    ASSERT_NE(dialog.Create(window.GetHWND(), {}, WS_POPUP, WS_EX_TOOLWINDOW), nullptr);
    // The main window answers a message by closing the dialog: the modal loop must dispatch it.
    window.onMessage = [&](UINT message, WPARAM wParam, LPARAM, bool& handled) -> LRESULT {
        handled = message == WM_USER + 50;
        if (handled)
            dialog.Close(int(wParam));
        return 0;
    };
    window.PostMessage(WM_USER + 49, 0, 0);
    window.PostMessage(WM_USER + 50, 7, 0);
    EXPECT_EQ(dialog.ShowModal(), 7);
    EXPECT_EQ(dialog.finalMessages, 1);
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].message, WM_USER + 49) << "in the order they were posted";
}

TEST_F(UiFixture, ControlTimersNotifyOnVirtualTimeUntilKilled) {
    CreateWindow();
    auto& pm = window.GetPaintManager();
    auto* list = pm.FindControl(QStringLiteral("list_a"));
    auto* edit = pm.FindControl(QStringLiteral("edit_a"));
    recorder->Clear();
    pm.SetTimer(list, 1000, 50);
    pm.SetTimer(edit, 1000, 70);
    time.Advance(49);
    EXPECT_EQ(recorder->Summary(), Summary{});
    time.Advance(1);
    ASSERT_EQ(recorder->Summary(), (Summary{"timer:list_a"}));
    EXPECT_EQ(recorder->Entries()[0].wParam, 1000u);
    time.Advance(50);
    EXPECT_EQ(recorder->Summary(), (Summary{"timer:list_a", "timer:edit_a", "timer:list_a"}));

    // Setting a running timer again restarts it with the new period.
    recorder->Clear();
    pm.SetTimer(list, 1000, 100);
    pm.KillTimer(edit, 1000);
    time.Advance(99);
    EXPECT_EQ(recorder->Summary(), Summary{});
    time.Advance(1);
    EXPECT_EQ(recorder->Summary(), (Summary{"timer:list_a"}));

    recorder->Clear();
    EXPECT_TRUE(pm.KillTimer(list, 1000));
    EXPECT_FALSE(pm.KillTimer(list, 1000));
    time.Advance(1000);
    EXPECT_EQ(recorder->Summary(), Summary{});
    EXPECT_EQ(time.ActiveTimers(), 0u);
}

TEST_F(UiFixture, TimersOfARemovedRowStop) {
    CreateWindow();
    auto& pm = window.GetPaintManager();
    auto* list = pm.FindControl<CListUI>(QStringLiteral("list_a"));
    auto* row = new CListLabelElementUI;
    row->SetName(QStringLiteral("row_timer"));
    list->Add(row);
    pm.SetTimer(row, 1, 20);
    list->RemoveAt(0);
    PumpPending();
    recorder->Clear();
    time.Advance(100);
    EXPECT_EQ(recorder->Summary(), Summary{});
}

TEST_F(UiFixture, WindowTimersAndMessagesReachHandleCustomMessage) {
    CreateWindow();
    window.SetTimer(513, 500);
    time.Advance(500);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].message, WM_TIMER);
    EXPECT_EQ(window.messages[0].wParam, 513u);
    window.KillTimer(513);
    time.Advance(5000);
    EXPECT_EQ(window.messages.size(), 1u);

    window.onMessage = [](UINT message, WPARAM wParam, LPARAM, bool& handled) -> LRESULT {
        handled = message == WM_USER + 7;
        return handled ? LRESULT(wParam * 2) : 0;
    };
    EXPECT_EQ(window.SendMessage(WM_USER + 7, 21, 0), 42);
}

TEST_F(UiFixture, DestroyingAWindowRunsOnDestroyThenTheHandlerThenTheFinalMessage) {
    CreateWindow();
    EXPECT_TRUE(window.initialised);
    window.SetTimer(1, 10);
    window.DestroyWindow();
    EXPECT_EQ(window.order, (Summary{"OnDestroy", "HandleCustomMessage(WM_DESTROY)", "OnFinalMessage"}));
    EXPECT_EQ(WindowImplBase::FromHandle(window.GetHWND()), nullptr);
    EXPECT_FALSE(window.PostMessage(WM_USER, 0, 0));
    time.Advance(100);
    EXPECT_EQ(window.messages.size(), 1u) << "only WM_DESTROY; the timer died with the window";
}

TEST_F(UiFixture, CloseEndsAWindowAfterTheCurrentHandler) {
    CreateWindow();
    window.Close(3);
    EXPECT_TRUE(window.order.empty());
    PumpPending();
    ASSERT_FALSE(window.messages.empty());
    EXPECT_EQ(window.messages.front().message, WM_CLOSE);
    EXPECT_EQ(window.order.back(), "OnFinalMessage");
}

TEST_F(UiFixture, SystemCommandsMinimiseAndRestore) {
    CreateWindow();
    window.ShowWindow(SW_SHOW);
    EXPECT_TRUE(window.IsWindowVisible());
    window.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(window.IsIconic());
    window.SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(window.IsIconic());
    window.ShowWindow(false);
    EXPECT_FALSE(window.IsWindowVisible());
}

// A part of the window written as an object of its own.
class TestPage : public CNotifyPump {
public:
    TestPage() {
        BindNotify("click", &TestPage::OnAnyClick);
        BindNotify("checkclick", &TestPage::OnAnyCheck);
        BindNotify("checkclick", "page_check", &TestPage::OnPageCheck);
    }
    void OnAnyClick(TNotifyUI& msg) { seen.push_back("click:" + msg.pSender->GetName()); }
    void OnAnyCheck(TNotifyUI& msg) { seen.push_back("any-check:" + msg.pSender->GetName()); }
    void OnPageCheck(TNotifyUI& msg) { seen.push_back("page-check:" + msg.pSender->GetName()); }
    Summary seen;
};

TEST_F(UiFixture, ControlsTaggedWithAVirtualWindowReachItsHandlerOnly) {
    CreateWindow();
    TestPage page;
    ASSERT_TRUE(window.AddVirtualWnd("TestPage", &page));
    EXPECT_FALSE(window.AddVirtualWnd("TestPage", &page)) << "names are unique";

    ui->Click("page_btn");
    ui->Click("page_check");
    ui->Click("btn_ok");
    EXPECT_EQ(page.seen, (Summary{"click:page_btn", "click:page_check", "page-check:page_check"}));
    EXPECT_EQ(window.clicks, (Summary{"btn_ok"}));
    EXPECT_EQ(recorder->Entries().front().virtualWnd, "TestPage");

    ASSERT_TRUE(window.RemoveVirtualWnd("TestPage"));
    ui->Click("page_btn");
    EXPECT_EQ(window.clicks, (Summary{"btn_ok", "page_btn"})) << "without the page the window handles it";
    EXPECT_EQ(page.seen.size(), 3u);
}

class MenuTest : public UiFixture {
protected:
    void SetUp() override { CreateWindow(); }
    std::vector<QString> MenuCommands() {
        std::vector<QString> names;
        for (const auto& message : window.messages) {
            if (message.message != MSG_MENU_COMMAND)
                continue;
            auto* cmd = reinterpret_cast<MenuCmd*>(message.wParam);
            names.push_back(cmd->szName);
            CPaintManagerUI::DeletePtr(cmd);
        }
        return names;
    }
};

TEST_F(MenuTest, AClickedItemArrivesAs1027WithItsName) {
    CMenuWnd menu;
    ASSERT_TRUE(menu.Init(nullptr, "menu.xml", QPoint(100, 100), &window.GetPaintManager(), nullptr,
                          eMenuAlignment_Left | eMenuAlignment_Top));
    menu.ResizeMenu();
    EXPECT_EQ(menu.GetMenuUI()->GetCount(), 3) << "the hidden item and the separator do not count";
    EXPECT_EQ(menu.FindItem("exit")->text(), "Quit");
    EXPECT_EQ(menu.GetWindowRect().topLeft(), QPoint(100, 100));

    menu.FindItem("exit")->trigger();
    menu.FindItem("ms_1_forward")->trigger();
    PumpPending();
    EXPECT_EQ(MenuCommands(), (Summary{"exit", "ms_1_forward"}));
    EXPECT_EQ(CPaintManagerUI::OutstandingPtrs(), 0u) << "the receiver released both records";
}

TEST_F(MenuTest, AlignmentPutsTheChosenCornerAtThePoint) {
    CMenuWnd menu;
    ASSERT_TRUE(menu.Init(nullptr, "menu.xml", QPoint(400, 300), &window.GetPaintManager(), nullptr,
                          eMenuAlignment_Right | eMenuAlignment_Bottom));
    const QRect rect = menu.GetWindowRect();
    EXPECT_EQ(rect.x() + rect.width(), 400);
    EXPECT_EQ(rect.y() + rect.height(), 300);
    menu.MoveWindow(10, 20);
    EXPECT_EQ(menu.GetWindowRect().topLeft(), QPoint(10, 20));
}

TEST_F(MenuTest, RecordsForAWindowThatIsGoneAreFreed) {
    CMenuWnd menu;
    ASSERT_TRUE(menu.Init(nullptr, "menu.xml", QPoint(0, 0), &window.GetPaintManager()));
    window.DestroyWindow();
    menu.FindItem("configuration")->trigger();
    EXPECT_EQ(CPaintManagerUI::OutstandingPtrs(), 0u);
    EXPECT_FALSE(menu.Init(nullptr, "no_such_menu.xml", QPoint(0, 0), &window.GetPaintManager()));
}

TEST_F(UiFixture, TrayButtonReleasesArriveAs1025) {
    CreateWindow();
    CTrayIcon tray;
    tray.CreateTrayIcon(window.GetHWND(), 107, "tip");
    EXPECT_EQ(tray.GetTooltipText(), "tip");
    emit tray.GetSystemTrayIcon()->activated(QSystemTrayIcon::Trigger);
    emit tray.GetSystemTrayIcon()->activated(QSystemTrayIcon::Context);
    PumpPending();
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].message, MSG_TRAY_NOTIFY);
    EXPECT_EQ(window.messages[0].lParam, LPARAM(WM_LBUTTONUP));
    EXPECT_EQ(window.messages[1].lParam, LPARAM(WM_RBUTTONUP));
    EXPECT_EQ(window.messages[1].wParam, 107u);
}

TEST_F(UiFixture, QuitPostedBeforeTheLoopEndsItAtOnce) {
    ResetQuitPosted();
    PostQuitMessage(0);
    EXPECT_TRUE(IsQuitPosted());
    EXPECT_EQ(CPaintManagerUI::MessageLoop(), 0);
    EXPECT_FALSE(IsQuitPosted());
}

}  // namespace
}  // namespace quillon::test

namespace quillon::test {
namespace {

void mouse(QWidget* widget, QEvent::Type type, QPoint local, QPoint global, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(local), QPointF(global), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

TEST_F(UiFixture, TheCaptionAreaDragsTheWindowAndTheRestDoesNot) {
    CreateWindow();
    QWidget* host = window.GetHostWidget();
    window.MoveWindow(100, 100);
    const QPoint start = host->pos();

    // The test layout's caption is the top 30 pixels.
    mouse(host, QEvent::MouseButtonPress, QPoint(50, 10), start + QPoint(50, 10), Qt::LeftButton);
    mouse(host, QEvent::MouseMove, QPoint(90, 30), start + QPoint(90, 30), Qt::LeftButton);
    mouse(host, QEvent::MouseButtonRelease, QPoint(90, 30), start + QPoint(90, 30), Qt::NoButton);
    EXPECT_EQ(host->pos(), start + QPoint(40, 20));

    const QPoint moved = host->pos();
    mouse(host, QEvent::MouseButtonPress, QPoint(50, 200), moved + QPoint(50, 200), Qt::LeftButton);
    mouse(host, QEvent::MouseMove, QPoint(90, 230), moved + QPoint(90, 230), Qt::LeftButton);
    mouse(host, QEvent::MouseButtonRelease, QPoint(90, 230), moved + QPoint(90, 230), Qt::NoButton);
    EXPECT_EQ(host->pos(), moved);
}

TEST_F(UiFixture, AModalWindowOpensInsideTheScreenAndAnswersEscAndEnter) {
    CreateWindow();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case {
        int key;
        int expected;
    };
    for (const Case c : {Case{Qt::Key_Escape, 0}, Case{Qt::Key_Return, 1}, Case{Qt::Key_Enter, 1}}) {
        SCOPED_TRACE(c.key);
        ModalAnswers answers;
        QRect shown;
        answers.OnNext("TestDlg", [&](UiDriver& dialog) {
            shown = dialog.Find("dialog_root")->GetWidget()->window()->frameGeometry();
            // A key that no control takes reaches the window.
            dialog.PressKey("warning", c.key);
        });
        TestDialog dialog;
        // Asked to open past the bottom right corner of the screen.
        ASSERT_NE(dialog.Create(window.GetHWND(), {}, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW,
                                area.right() - 100, area.bottom() - 50),
                  nullptr);
        EXPECT_EQ(dialog.ShowModal(), c.expected);
        EXPECT_TRUE(area.contains(shown)) << "the dialog lies outside the screen's area";
        EXPECT_EQ(shown.bottomRight(), area.bottomRight()) << "moved no further than needed";
    }
}

TEST_F(UiFixture, AWindowWithoutACaptionIsDraggedByItsBackground) {
    CreateWindow();
    TestDialog dialog;
    ASSERT_NE(dialog.Create(window.GetHWND(), {}, WS_POPUP, WS_EX_TOOLWINDOW, 100, 100), nullptr);
    QWidget* host = dialog.GetHostWidget();
    const QPoint start = host->pos();
    QWidget* label = dialog.GetPaintManager().FindControl(QStringLiteral("warning"))->GetWidget();
    const QPoint inLabel = label->mapTo(host, QPoint(5, 5));
    // The label takes no press: it reaches the window, which starts the drag.
    mouse(label, QEvent::MouseButtonPress, QPoint(5, 5), start + inLabel, Qt::LeftButton);
    mouse(host, QEvent::MouseMove, inLabel + QPoint(30, 20), start + inLabel + QPoint(30, 20),
          Qt::LeftButton);
    mouse(host, QEvent::MouseButtonRelease, inLabel + QPoint(30, 20), start + inLabel + QPoint(30, 20),
          Qt::NoButton);
    EXPECT_EQ(host->pos(), start + QPoint(30, 20));
    dialog.DestroyWindow();
}

// A window whose layout marks a part as out of sight at first.
class LaterWindow : public TestWindow {
public:
    QString GetSkinFile() override { return QStringLiteral("later.xml"); }
};

// The start-up's window leaves the parts below the fold out of its first frame: they are found
// and changed meanwhile, and join the window after that frame, one at a time, each in its place,
// with the visibility they were given and the look of a style sheet applied while they were out.
TEST_F(UiFixture, PartsBelowTheFoldJoinAfterTheFirstFrame) {
    LaterWindow later;
    WindowImplBase::SetHoldBackBelowFold(true);
    ASSERT_NE(later.Create(nullptr, {}, 0, 0), nullptr);
    WindowImplBase::SetHoldBackBelowFold(false);
    CPaintManagerUI& manager = later.GetPaintManager();
    ASSERT_TRUE(manager.HoldsBackBelowFold());
    CControlUI* content = manager.FindControl(QStringLiteral("later_content"));
    CControlUI* card = manager.FindControl(QStringLiteral("later_card"));
    CControlUI* check = manager.FindSubControlByName(content, QStringLiteral("later_check"));
    ASSERT_NE(content, nullptr);
    ASSERT_NE(card, nullptr);
    ASSERT_NE(check, nullptr);
    EXPECT_FALSE(content->GetWidget()->isAncestorOf(card->GetWidget()));
    EXPECT_EQ(manager.NameIndex().value(QStringLiteral("later_check")), check);
    check->SetVisible(false);
    qApp->setStyleSheet(QStringLiteral("QLabel#later_title { min-height: 37px; }"));

    later.ShowWindow(SW_SHOW);
    ASSERT_TRUE(PumpUntil([&] { return !manager.HoldsBackBelowFold(); }));
    PumpPending();
    auto* layout = qobject_cast<QBoxLayout*>(content->GetWidget()->layout());
    EXPECT_EQ(layout->indexOf(card->GetWidget()), 1);
    EXPECT_EQ(layout->indexOf(manager.FindControl(QStringLiteral("later_note"))->GetWidget()), 2);
    EXPECT_TRUE(card->GetWidget()->isVisible());
    EXPECT_FALSE(check->GetWidget()->isVisible());
    QWidget* title = manager.FindControl(QStringLiteral("later_title"))->GetWidget();
    EXPECT_TRUE(title->isVisible());
    EXPECT_EQ(title->minimumHeight(), 37);
    qApp->setStyleSheet(QString());
}

}  // namespace
}  // namespace quillon::test
