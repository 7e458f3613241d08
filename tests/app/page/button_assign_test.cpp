// Assigning functions to buttons 1..12 through the menu beside their labels, the shortcut dialog and
// the macro selection dialog, in the real main layout, with a fake wired mouse whose reports are
// decoded by the mouse's own model.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include <cstring>
#include <string>
#include <vector>

#include "app/macros/macro_store.h"
#include "app/page/page_fixture.h"
#include "core/protocol/device_model.h"
#include "core/protocol/frames.h"
#include "core/records/button_catalogue.h"
#include "core/text16.h"
#include "ui/menu.h"

namespace quillon::test {
namespace {

using Triple = std::array<std::uint8_t, 3>;

// The hook operations the shortcut dialog calls, journalled.
std::vector<std::string>& HookJournal() {
    static std::vector<std::string> journal;
    return journal;
}

HookOps JournallingHooks() {
    HookOps ops;
    ops.installhook = [](QuillonWindow window) {
        HookJournal().push_back(window != nullptr ? "installhook(window)" : "installhook(null)");
        return 1;
    };
    ops.removehook = [] { HookJournal().push_back("removehook"); };
    ops.enablehook = [](int enable) {
        HookJournal().push_back("enablehook(" + std::to_string(enable) + ")");
    };
    return ops;
}

// Virtual keys as the hook reports them.
inline constexpr WPARAM kVkReturn = 0x0D;
inline constexpr WPARAM kVkLeftControl = 0xA2;
inline constexpr WPARAM kVkLeftShift = 0xA0;
inline constexpr WPARAM kVkLeftAlt = 0xA4;
inline constexpr WPARAM kVkA = 0x41;
inline constexpr WPARAM kVkS = 0x53;
inline constexpr WPARAM kVkF5 = 0x74;
inline constexpr WPARAM kVkWithoutRow = 0xFF;
inline constexpr LPARAM kPressed = 0;
inline constexpr LPARAM kReleased = 1;

// The key map the mouse holds after the factory profile's full write.
std::array<Triple, 18> FactoryKeyMap() {
    return {Triple{0x02, 0, 0}, {0x03, 0, 0}, {0x04, 0, 0}, {0x0D, 0, 0}, {0x28, 0, 0}, {0x06, 0, 0},
            {0x05, 0, 0},       {0x01, 0, 0}, {0x3C, 0, 0}, {0x01, 0, 0}, {0x01, 0, 0}, {0x01, 0, 0},
            {0x01, 0, 0},       {0x01, 0, 0}, {0x01, 0, 0}, {0x01, 0, 0}, {0x09, 0, 0}, {0x0A, 0, 0}};
}

class ButtonAssignment : public PageFixture {
protected:
    ButtonAssignment() { HookJournal().clear(); }

    // Opens the page with the wired mouse plugged in and awake, and lets the full write of the
    // loaded profile go out, so that each test sees only what its own assignment sends.
    void OpenWithAwakeMouse() {
        wired.SetOpenResult(1);
        wireless.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
        Open();
        host->hooks = JournallingHooks();
        ASSERT_TRUE(wired.SendReport(MakePowerStatus(1, 80)));
        PumpPending();
        Ui().Click("ms_1_apply_btn");
        ASSERT_TRUE(WaitForApply());
        Decode();
        ASSERT_EQ(mouse.State().keyMap, FactoryKeyMap());
        requestsBefore = host->applyRequests.size();
    }

    bool WaitForApply() {
        return PumpUntil([&] {
            time.RunDue();
            return std::memcmp(&Profiles().AppliedCopy(), &Record(), sizeof(ProfileRecord)) == 0 &&
                   !Profiles().full_write_pending();
        });
    }

    // Feeds the reports written since the last call to the mouse's model; every one must be taken.
    void Decode() {
        const auto all = wired.Written();
        for (std::size_t i = m_seen; i < all.size(); ++i)
            EXPECT_TRUE(mouse.Feed(all[i]).accepted) << "report " << i << " refused by the mouse";
        m_seen = all.size();
    }

    // Lets the requested apply go out and decodes what it wrote.
    void Send() {
        ASSERT_TRUE(WaitForApply());
        Decode();
    }

    // Clicks the label of button `button` (1-based) and then the menu item `item`.
    void Choose(int button, const char* item) {
        Ui().Click(QStringLiteral("ms_1_btn_key_%1").arg(button));
        CMenuWnd* menu = host->page.AssignMenu();
        ASSERT_NE(menu, nullptr);
        QAction* action = menu->FindItem(QString::fromLatin1(item));
        ASSERT_NE(action, nullptr) << item;
        action->trigger();
        PumpPending();
    }

    // Adds a macro of `presses` key presses of usage `code` to the store.
    MacroRecord& AddMacro(std::u16string_view name, int presses, std::uint8_t code) {
        MacroRecord& macro = host->page.Macros()->AddMacro(u"Macro ");
        SetFieldText(macro.name.data(), macro.name.size(), name);
        macro.actionCount = presses;
        for (int i = 0; i < presses; ++i) {
            MacroAction& action = macro.actions[static_cast<std::size_t>(i)];
            action.code = code;
            action.kind = kActionDown;
            action.delayMs = 20;
        }
        return macro;
    }

    static void SendHookKey(UiDriver& dialog, WPARAM virtualKey, LPARAM state) {
        WindowImplBase* window = WindowImplBase::FromHandle(dialog.Manager().GetPaintWindow());
        ASSERT_NE(window, nullptr);
        window->SendMessage(MSG_HOOK_EVENT, virtualKey, state);
    }
    static void PressAndRelease(UiDriver& dialog, std::initializer_list<WPARAM> keys) {
        for (WPARAM key : keys)
            SendHookKey(dialog, key, kPressed);
        for (WPARAM key : keys)
            SendHookKey(dialog, key, kReleased);
    }

    std::size_t NewApplyRequests() const { return host->applyRequests.size() - requestsBefore; }

    DeviceModel mouse;
    std::size_t requestsBefore = 0;

private:
    std::size_t m_seen = 0;
};

TEST_F(ButtonAssignment, TakingAwayTheLastLeftClickIsRefusedAndChangesNothing) {
    OpenWithAwakeMouse();
    // Button 17 on left click does not count: only buttons 1..16 keep the mouse usable.
    Record().slots[16].function = kFunctionLeftClick;
    const ProfileRecord before = Record();
    const QString label = Ui().Text("ms_1_btn_key_1");
    // An item that comes from no menu of the page (none was opened) is no choice for any button.
    host->page.OnAssignMenu(QStringLiteral("ms_1_copy"));
    PumpPending();
    EXPECT_TRUE(answers.Opened().empty());

    answers.ClickOnNext("MsgWnd", "btn_ok");
    Choose(1, "ms_1_copy");
    answers.ClickOnNext("MsgWnd", "btn_ok");
    Choose(1, "ms_1_shortcut");
    answers.ClickOnNext("MsgWnd", "btn_ok");
    Choose(1, "ms_1_select_macro");

    // The message each time, and neither dialog was opened.
    EXPECT_EQ(answers.Opened(), (std::vector<QString>{"MsgWnd", "MsgWnd", "MsgWnd"}));
    EXPECT_EQ(std::memcmp(&before, &Record(), sizeof before), 0);
    EXPECT_EQ(Ui().Text("ms_1_btn_key_1"), label);
    EXPECT_EQ(NewApplyRequests(), 0u);

    // Once another of buttons 1..16 clicks, button 1 may change.
    Choose(2, "ms_1_click");
    Choose(1, "ms_1_copy");
    Send();
    EXPECT_EQ(mouse.State().keyMap[0], (Triple{0x11, 0x01, 0x06}));
    EXPECT_EQ(mouse.State().keyMap[1], (Triple{0x02, 0x00, 0x00}));
    EXPECT_EQ(answers.Opened().size(), 3u);
}

TEST_F(ButtonAssignment, EveryKindOfAssignmentReachesTheKeyMapByteForByte) {
    OpenWithAwakeMouse();
    AddMacro(u"Combo", 3, 0x04);
    auto expected = FactoryKeyMap();

    // A plain function, from a group of the menu.
    Choose(3, "ms_1_volume_up");
    expected[2] = {0x1B, 0x00, 0x00};
    // A shortcut ticked in the boxes and pressed in the key field: Ctrl + Alt + the key in the A
    // position.
    answers.OnNext("ShortcutWnd", [&](UiDriver& dialog) {
        dialog.SetChecked("check_flag_1", true);
        dialog.SetChecked("check_flag_3", true);
        dialog.Focus("edit_key");
        PressAndRelease(dialog, {kVkA});
        dialog.Click("btn_ok");
    });
    Choose(4, "ms_1_shortcut");
    expected[3] = {0x11, 0x05, 0x04};
    // A shortcut of modifiers only, pressed as a combination.
    answers.OnNext("ShortcutWnd", [&](UiDriver& dialog) {
        dialog.Focus("edit_key");
        PressAndRelease(dialog, {kVkLeftControl, kVkLeftShift});
        dialog.Click("btn_ok");
    });
    Choose(5, "ms_1_shortcut");
    expected[4] = {0x11, 0x03, 0x00};
    // Return and F5 are keys like any other.
    answers.OnNext("ShortcutWnd", [&](UiDriver& dialog) {
        dialog.Focus("edit_key");
        PressAndRelease(dialog, {kVkReturn});
        dialog.Click("btn_ok");
    });
    Choose(6, "ms_1_shortcut");
    expected[5] = {0x11, 0x00, 0x28};
    answers.OnNext("ShortcutWnd", [&](UiDriver& dialog) {
        dialog.Focus("edit_key");
        PressAndRelease(dialog, {kVkF5});
        dialog.Click("btn_ok");
    });
    Choose(7, "ms_1_shortcut");
    expected[6] = {0x11, 0x00, 0x3E};
    // A macro and a left-button macro, each playing from the button's first device macro slot.
    answers.OnNext("MS_1_SelectMacro", [](UiDriver& dialog) {
        dialog.SelectRow("list_macro", 0);
        dialog.Click("btn_ok");
    });
    Choose(2, "ms_1_select_macro");
    expected[1] = {0x12, 0x00, 0x05};
    answers.OnNext("MS_1_SelectMacro", [](UiDriver& dialog) {
        dialog.SelectRow("list_macro", 0);
        dialog.SetChecked("check_left_macro", true);
        dialog.Click("btn_ok");
    });
    Choose(3, "ms_1_select_macro");
    expected[2] = {0x3A, 0x00, 0x09};

    Send();
    EXPECT_EQ(mouse.State().keyMap, expected);
    EXPECT_EQ(mouse.State().macros[5].events.size(), 3u);
    EXPECT_EQ(mouse.State().macros[9].events.size(), 3u);
    EXPECT_EQ(Ui().Text("ms_1_btn_key_4"), "Ctrl+Alt+A");
    EXPECT_EQ(Ui().Text("ms_1_btn_key_5"), "Ctrl+Shift");
    // The hook was on only while the key field had the focus.
    EXPECT_EQ(HookJournal().front(), "installhook(window)");
    EXPECT_EQ(HookJournal().back(), "enablehook(0)");
}

TEST_F(ButtonAssignment, ShortcutDialogShowsTheButtonsShortcutAndChangesNothingWhenCancelledOrEmptied) {
    OpenWithAwakeMouse();
    answers.OnNext("ShortcutWnd", [&](UiDriver& dialog) {
        dialog.SetChecked("check_flag_1", true);
        dialog.SetChecked("check_flag_3", true);
        dialog.Focus("edit_key");
        // The last key pressed counts; releases change nothing.
        PressAndRelease(dialog, {kVkS});
        PressAndRelease(dialog, {kVkA});
        dialog.Click("btn_ok");
    });
    Choose(2, "ms_1_shortcut");
    Send();
    ASSERT_EQ(Record().slots[1].function, kFunctionShortcut);
    ASSERT_EQ(Record().slots[1].shortcut_modifiers, 5);
    ASSERT_EQ(Record().slots[1].shortcut_key, 4);
    const ProfileRecord assigned = Record();
    requestsBefore = host->applyRequests.size();

    // Reopened: the boxes and key of the button; cancelled after changes: nothing changes.
    answers.OnNext("ShortcutWnd", [&](UiDriver& dialog) {
        EXPECT_TRUE(dialog.IsChecked("check_flag_1"));
        EXPECT_FALSE(dialog.IsChecked("check_flag_2"));
        EXPECT_TRUE(dialog.IsChecked("check_flag_3"));
        EXPECT_FALSE(dialog.IsChecked("check_flag_4"));
        EXPECT_EQ(dialog.Text("edit_key"), "A");
        // The field is not typed into: only the key the hook reports counts.
        dialog.PressKey("edit_key", Qt::Key_Q, QStringLiteral("q"));
        dialog.PressKey("edit_key", Qt::Key_Backspace);
        EXPECT_EQ(dialog.Text("edit_key"), "A");
        dialog.SetChecked("check_flag_2", true);
        dialog.Focus("edit_key");
        PressAndRelease(dialog, {kVkS});
        dialog.Click("btn_cancel");
    });
    Choose(2, "ms_1_shortcut");
    // Emptied (boxes off, a key the table does not know) and confirmed: the button keeps its
    // shortcut rather than sending an empty one.
    answers.OnNext("ShortcutWnd", [&](UiDriver& dialog) {
        dialog.SetChecked("check_flag_1", false);
        dialog.SetChecked("check_flag_3", false);
        dialog.Focus("edit_key");
        PressAndRelease(dialog, {kVkWithoutRow});
        EXPECT_EQ(dialog.Text("edit_key"), "");
        dialog.Click("btn_ok");
    });
    Choose(2, "ms_1_shortcut");
    // A button of another function confirmed empty keeps that function.
    answers.OnNext("ShortcutWnd", [&](UiDriver& dialog) {
        EXPECT_EQ(dialog.Text("edit_key"), "");
        dialog.Click("btn_ok");
    });
    Choose(3, "ms_1_shortcut");

    EXPECT_EQ(std::memcmp(&assigned, &Record(), sizeof assigned), 0);
    EXPECT_EQ(NewApplyRequests(), 0u);
    EXPECT_EQ(Ui().Text("ms_1_btn_key_2"), "Ctrl+Alt+A");
}

TEST_F(ButtonAssignment, LeftMacroBoxGivesCode25AndKeepsTheButtonsColour) {
    OpenWithAwakeMouse();
    AddMacro(u"Burst", 2, 0x2C);
    ButtonSlot& slot = Record().slots[1];
    slot.function = kFunctionLeftButtonMacro;
    slot.macro_color = {0x10, 0x80, 0xF0, 0};
    slot.macro_index = 0;
    slot.repeat_mode = 0;
    slot.repeat_count = 7;

    answers.OnNext("MS_1_SelectMacro", [](UiDriver& dialog) {
        EXPECT_EQ(dialog.CurSel("list_macro"), 0);
        EXPECT_TRUE(dialog.IsChecked("check_left_macro"));
        EXPECT_TRUE(dialog.IsChecked("repeat_1"));
        EXPECT_TRUE(dialog.IsShown("hor_loop_time"));
        EXPECT_EQ(dialog.Text("edit_loop_time"), "7");
        EXPECT_FALSE(dialog.IsShown("btn_color"));
        // Counts are kept within 1..255 and take digits only.
        dialog.ReplaceText("edit_loop_time", "300");
        dialog.Unfocus("edit_loop_time");
        EXPECT_EQ(dialog.Text("edit_loop_time"), "255");
        dialog.ReplaceText("edit_loop_time", "2x5");
        EXPECT_EQ(dialog.Text("edit_loop_time"), "25");
        // Another mode hides the count but keeps it.
        dialog.SelectOption("repeat_3");
        EXPECT_FALSE(dialog.IsShown("hor_loop_time"));
        dialog.Click("btn_ok");
    });
    Choose(2, "ms_1_select_macro");
    Send();

    EXPECT_EQ(slot.function, kFunctionLeftButtonMacro);
    EXPECT_EQ(slot.repeat_mode, 2);
    EXPECT_EQ(slot.repeat_count, 25);
    EXPECT_EQ(mouse.State().keyMap[1], (Triple{0x3A, 0x00, 0x05}));
    const MouseMacroSlot& played = mouse.State().macros[5];
    EXPECT_EQ(played.color, (std::array<std::uint8_t, 3>{0x10, 0x80, 0xF0}));
    EXPECT_EQ(played.repeatMode, 2);
    EXPECT_EQ(played.repeatCount, 25);
    EXPECT_EQ(Ui().Text("ms_1_btn_key_2"), "Click macro-Burst");
}

TEST_F(ButtonAssignment, AStaleMacroIndexPreselectsWhateverMacroNowHasThatPosition) {
    OpenWithAwakeMouse();
    // Without macros the dialog says where they are made, and OK assigns nothing.
    const ProfileRecord factory = Record();
    answers.OnNext("MS_1_SelectMacro", [](UiDriver& dialog) {
        EXPECT_TRUE(dialog.IsShown("label_no_macros"));
        EXPECT_EQ(dialog.RowCount("list_macro"), 0);
        dialog.Click("btn_ok");
    });
    Choose(3, "ms_1_select_macro");
    EXPECT_EQ(std::memcmp(&factory, &Record(), sizeof factory), 0);

    AddMacro(u"First", 1, 0x04);
    AddMacro(u"Second", 2, 0x05);
    AddMacro(u"Third", 3, 0x06);
    answers.OnNext("MS_1_SelectMacro", [](UiDriver& dialog) {
        dialog.SelectRow("list_macro", 1);
        dialog.Click("btn_ok");
    });
    Choose(3, "ms_1_select_macro");
    ASSERT_EQ(Record().slots[2].macro_index, 1);

    // "First" goes; the button's copy of "Second" is still found by name, but its index now names
    // "Third".
    ASSERT_TRUE(host->page.Macros()->RemoveMacro(0));
    answers.OnNext("MS_1_SelectMacro", [](UiDriver& dialog) {
        EXPECT_EQ(dialog.RowCount("list_macro"), 2);
        EXPECT_EQ(dialog.CurSel("list_macro"), 1);
        dialog.Click("btn_cancel");
    });
    Choose(3, "ms_1_select_macro");
    EXPECT_EQ(FieldText(Record().slots[2].macro_name.data(), kMacroNameCapacity), u"Second");

    // An index past the end of the list selects nothing, and OK without a macro changes nothing.
    ASSERT_TRUE(host->page.Macros()->RemoveMacro(1));
    const ProfileRecord before = Record();
    answers.OnNext("MS_1_SelectMacro", [](UiDriver& dialog) {
        EXPECT_EQ(dialog.CurSel("list_macro"), -1);
        EXPECT_FALSE(dialog.IsShown("label_no_macros"));
        dialog.Click("btn_ok");
    });
    Choose(3, "ms_1_select_macro");
    EXPECT_EQ(std::memcmp(&before, &Record(), sizeof before), 0);
}

TEST_F(ButtonAssignment, AMacroChosenOverAnotherReplacesTheWholeCopy) {
    OpenWithAwakeMouse();
    AddMacro(u"A long macro name", 60, 0x04);
    AddMacro(u"Tap", 1, 0x2C);
    // Button 1 gives its left click away: button 2 takes it first.
    Choose(2, "ms_1_click");
    answers.OnNext("MS_1_SelectMacro", [](UiDriver& dialog) {
        dialog.SelectRow("list_macro", 0);
        dialog.Click("btn_ok");
    });
    Choose(1, "ms_1_select_macro");
    ASSERT_EQ(Record().slots[0].action_count, 60);
    answers.OnNext("MS_1_SelectMacro", [](UiDriver& dialog) {
        dialog.SelectRow("list_macro", 1);
        dialog.Click("btn_ok");
    });
    Choose(1, "ms_1_select_macro");
    Send();

    const ButtonSlot& slot = Record().slots[0];
    EXPECT_EQ(slot.function, kFunctionMacro);
    std::array<char16_t, kMacroNameCapacity> name{};
    SetFieldText(name.data(), name.size(), u"Tap");
    EXPECT_EQ(slot.macro_name, name) << "no trace of the longer name";
    EXPECT_EQ(slot.action_count, 1);
    EXPECT_EQ(
        std::memcmp(slot.actions.data(), host->page.Macros()->At(1)->actions.data(), sizeof slot.actions), 0);
    EXPECT_EQ(slot.macro_index, 1);
    EXPECT_EQ(mouse.State().keyMap[0], (Triple{0x12, 0x00, 0x01}));
    ASSERT_EQ(mouse.State().macros[1].events.size(), 1u);
    EXPECT_EQ(mouse.State().macros[1].events[0].code, 0x2C);
    EXPECT_FALSE(mouse.State().macros[1].continues);
}

TEST_F(ButtonAssignment, MenuTicksTheCurrentFunctionAndOpensUpwardsNearTheScreensBottom) {
    OpenWithAwakeMouse();
    const QRect screen = host->GetScreenRect();
    const QRect label = Ui().Find("ms_1_btn_key_1")->GetPos();

    // High on the screen: the menu's top-left corner is at the label's top-right corner.
    host->MoveWindow(screen.left(), screen.top() - label.top());
    Ui().Click("ms_1_btn_key_1");
    CMenuWnd* menu = host->page.AssignMenu();
    ASSERT_NE(menu, nullptr);
    const QRect window = host->GetWindowRect();
    const int anchorX = window.left() + label.left() + label.width();
    EXPECT_EQ(menu->GetWindowRect().topLeft(), QPoint(anchorX, window.top() + label.top()));
    EXPECT_TRUE(menu->FindItem("ms_1_click")->isChecked());
    EXPECT_FALSE(menu->FindItem("ms_1_menu")->isChecked());
    EXPECT_TRUE(menu->FindItem("ms_1_group_mouse")->font().bold());
    EXPECT_FALSE(menu->FindItem("ms_1_group_media")->font().bold());
    // Every function the catalogue offers is in the menu, once.
    for (const ButtonFunction& function : ButtonCatalogue()) {
        if (function.menuItem.empty())
            continue;
        const QString item =
            QString::fromLatin1(function.menuItem.data(), qsizetype(function.menuItem.size()));
        EXPECT_EQ(menu->GetQMenu()->findChildren<QAction*>(item).size(), 1) << item.toStdString();
    }

    // The label 30 pixels above the screen's bottom: the menu's bottom meets the label's bottom.
    host->MoveWindow(screen.left(), screen.bottom() - 30 - label.top());
    Ui().Click("ms_1_btn_key_1");
    menu = host->page.AssignMenu();
    ASSERT_NE(menu, nullptr);
    const QRect moved = host->GetWindowRect();
    const QRect shown = menu->GetWindowRect();
    EXPECT_EQ(shown.left(), moved.left() + label.left() + label.width());
    EXPECT_EQ(shown.top() + shown.height(), moved.top() + label.top() + label.height());
    EXPECT_LE(shown.bottom(), screen.bottom());
    EXPECT_EQ(CMenuWnd::LiveMenus().size(), 1u) << "the menu of the earlier click is gone";
}

}  // namespace
}  // namespace quillon::test
