// The macro editor driven by control name over a real store file: what the user sees in the lists
// and boxes, what ends up in macro.data and ".macro" files, and which hook operations it calls.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/macros/macro_store.h"
#include "app/macros/ms_1_macro.h"
#include "core/keys/fixed_keyboard_layout.h"
#include "core/keys/key_tables.h"
#include "core/store/store_bytes.h"
#include "platform/services.h"
#include "support/modal_answers.h"
#include "support/qt_app.h"
#include "support/scripted_file_dialogs.h"
#include "support/ui_driver.h"
#include "support/virtual_time.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"

namespace quillon::test {
namespace {

// The hook operations the editor calls, in order, and the window it gave to installhook.
std::vector<std::string>& HookCalls() {
    static std::vector<std::string> calls;
    return calls;
}
QuillonWindow g_hookWindow = nullptr;
// What installhook answers: 1 when the hook listens, 0 when it cannot reach an X display.
int g_installResult = 1;

HookOps RecordingHooks() {
    HookOps ops;
    ops.installhook = [](QuillonWindow window) {
        g_hookWindow = window;
        HookCalls().push_back("installhook");
        return g_installResult;
    };
    ops.removehook = [] { HookCalls().push_back("removehook"); };
    ops.enablehook = [](int flag) { HookCalls().push_back("enablehook(" + std::to_string(flag) + ")"); };
    ops.installmousehook = [] { HookCalls().push_back("installmousehook"); };
    ops.removemousehook = [] { HookCalls().push_back("removemousehook"); };
    ops.enablemousehook = [](int flag) {
        HookCalls().push_back("enablemousehook(" + std::to_string(flag) + ")");
    };
    ops.mousewheelenable = [](int flag) {
        HookCalls().push_back("mousewheelenable(" + std::to_string(flag) + ")");
    };
    return ops;
}

MacroAction Action(std::uint8_t code, std::uint8_t kind, std::uint16_t delay, std::int32_t x = 0,
                   std::int32_t y = 0) {
    MacroAction action{};
    action.code = code;
    action.kind = kind;
    action.delayMs = delay;
    action.x = x;
    action.y = y;
    return action;
}

std::vector<MacroAction> Repeat(const MacroAction& action, std::size_t count) {
    return std::vector<MacroAction>(count, action);
}

// Clicks of the left button: `count` presses and releases.
std::vector<MacroAction> Clicks(std::size_t count) {
    std::vector<MacroAction> actions;
    for (std::size_t i = 0; i < count; ++i) {
        actions.push_back(Action(kMouseLeft, kActionDown, 10));
        actions.push_back(Action(kMouseLeft, kActionUp, 10));
    }
    return actions;
}

class MacroEditor : public ::testing::Test {
protected:
    MacroEditor() {
        TestApplication();
        CPaintManagerUI::SetResourcePath(QStringLiteral(QUILLON_SOURCE_DIR "/res/"));
        CResourceManager::GetInstance()->LoadLanguage(QStringLiteral("lan.xml"));
        HookCalls().clear();
        g_hookWindow = nullptr;
        g_installResult = 1;
    }
    ~MacroEditor() override {
        if (editor)
            editor->DestroyWindow();
    }

    // A macro in the store (and its file) before the editor opens.
    void Store(std::u16string_view name, const std::vector<MacroAction>& actions) {
        MacroRecord& record = store.AddMacro(u"Macro ");
        SetFieldText(record.name.data(), record.name.size(), name);
        std::copy(actions.begin(), actions.end(), record.actions.begin());
        record.actionCount = static_cast<std::int32_t>(actions.size());
        ASSERT_EQ(store.SaveMacroStore(), WriteStatus::Written);
    }

    void Open() {
        editor = std::make_unique<CMS_1_Macro>(store, &hooks, &keys);
        ASSERT_NE(editor->Create(nullptr, {}, WS_VISIBLE, 0, 0, 0, 800, 800), nullptr);
        ui = std::make_unique<UiDriver>(*editor);
    }
    // Opens the editor with the macro of `row` selected.
    void OpenAt(int row) {
        Open();
        Ui().SelectRow("ms_1_macro_list", row);
    }

    UiDriver& Ui() { return *ui; }
    std::filesystem::path StoreFile() const { return folder.Path() / "Data" / "ms_1" / "macro.data"; }
    Bytes StoreBytes() const { return ReadAll(StoreFile()); }
    const MacroRecord& Macro(std::size_t index) { return *store.List().at(index); }
    int Rows() { return Ui().RowCount("ms_1_macro_action_list"); }
    // The text of a label ("key", "action", "delay") of an action row.
    QString Row(int row, const char* label) {
        auto* list = Ui().Find<CListUI>("ms_1_macro_action_list");
        auto* item = list ? dynamic_cast<CContainerUI*>(list->GetItemAt(row)) : nullptr;
        CControlUI* control = item ? item->FindSubControl(QString::fromLatin1(label)) : nullptr;
        return control ? control->GetText() : QStringLiteral("<no row %1>").arg(row);
    }
    void SetBox(const char* box, const QString& text) {
        Ui().Focus(box);
        Ui().ReplaceText(box, text);
        Ui().Unfocus(box);
    }
    void EditAction(int row) {
        Ui().SelectRow("ms_1_macro_action_list", row);
        Ui().SetChecked("ms_1_macro_action_edit_check", true);
    }
    void PressInList(int key, Qt::KeyboardModifiers modifiers) {
        QWidget* list = Ui().Find("ms_1_macro_action_list")->GetWidget();
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(list, &press);
    }

    TemporaryFolder folder;
    VirtualTime time;
    ScopedServices programFolder{ScopedServices::Set{nullptr, nullptr, nullptr, nullptr, folder.Path()}};
    ModalAnswers answers;
    ScriptedFileDialogs dialogs;
    FixedKeyboardLayout layout = FixedKeyboardLayout::Us();
    KeyCodeTables keys{layout, [](std::string_view key) {
                           return CResourceManager::GetInstance()
                               ->GetText(QString::fromLatin1(key.data(), static_cast<qsizetype>(key.size())))
                               .toStdU16String();
                       }};
    HookOps hooks = RecordingHooks();
    MacroStore store{folder.Path() / "Data"};
    std::unique_ptr<CMS_1_Macro> editor;
    std::unique_ptr<UiDriver> ui;
};

TEST_F(MacroEditor, SixtyFourthMovementIsDroppedAndTheUserToldWhy) {
    Store(u"Moves", Repeat(Action(kMouseMove, kActionMove, 10, 1, 1), 63));
    const Bytes before = StoreBytes();
    OpenAt(0);
    EXPECT_EQ(Rows(), 63);
    EXPECT_FALSE(Ui().IsShown("ms_1_macro_status_label"));

    Ui().SetChecked("ms_1_macro_insert_mouse_btn", true);
    EXPECT_TRUE(Ui().IsShown("ms_1_macro_mouse_event_tab"));
    EXPECT_FALSE(Ui().IsShown("ms_1_macro_name_tab"));
    Ui().ReplaceText("ms_1_edit_x", "5");
    Ui().SelectRow("ms_1_macro_action_list", 10);
    Ui().Click("ms_1_macro_move_btn");

    EXPECT_EQ(Rows(), 63) << "the list shows the stored macro again";
    EXPECT_EQ(Ui().CurSel("ms_1_macro_action_list"), 10);
    EXPECT_EQ(Macro(0).actionCount, 63);
    EXPECT_EQ(StoreBytes(), before);
    EXPECT_TRUE(Ui().IsShown("ms_1_macro_status_label"));
    EXPECT_EQ(Ui().Text("ms_1_macro_status_label"),
              CResourceManager::GetInstance()->GetText(QStringLiteral("macro_too_long_text")));
    EXPECT_TRUE(Ui().Text("ms_1_macro_units_label").contains(QStringLiteral("189")));
}

TEST_F(MacroEditor, MacroOfNinetyFiveClicksAcceptsNoFurtherInsertion) {
    Store(u"Full", Clicks(95));
    const Bytes before = StoreBytes();
    OpenAt(0);
    Ui().SetChecked("ms_1_macro_insert_mouse_btn", true);
    Ui().SelectRow("ms_1_macro_action_list", 10);
    for (const char* button : {"ms_1_macro_key1_btn", "ms_1_macro_key5_btn", "ms_1_macro_move_btn"})
        Ui().Click(button);
    EXPECT_EQ(Rows(), 190);
    EXPECT_EQ(StoreBytes(), before);
}

TEST_F(MacroEditor, ClickInsertedWithLongDelaysIsKeptUpTo191Units) {
    // Short key actions, then a click whose two actions carry the default delay of 300 ms and so
    // cost two units each: 186 + 4 = 190 and 187 + 4 = 191 are kept, 188 + 4 = 192 is not.
    Store(u"A", Repeat(Action(0x04, kActionDown, 10), 186));
    Store(u"B", Repeat(Action(0x04, kActionDown, 10), 187));
    Store(u"C", Repeat(Action(0x04, kActionDown, 10), 188));
    OpenAt(0);
    SetBox("ms_1_default_delay_edit", "300");
    Ui().SetChecked("ms_1_macro_insert_mouse_btn", true);
    const int expected[] = {188, 189, 188};
    for (int row = 0; row < 3; ++row) {
        Ui().SelectRow("ms_1_macro_list", row);
        Ui().Click("ms_1_macro_key2_btn");
        EXPECT_EQ(Macro(row).actionCount, expected[row]) << row;
        EXPECT_EQ(Rows(), expected[row]) << row;
        EXPECT_EQ(Ui().IsShown("ms_1_macro_status_label"), row == 2) << row;
    }
    const MacroAction& down = Macro(0).actions[186];
    const MacroAction& up = Macro(0).actions[187];
    EXPECT_EQ(down.code, kMouseRight);
    EXPECT_EQ(down.kind, kActionDown);
    EXPECT_EQ(up.kind, kActionUp);
    EXPECT_EQ(down.delayMs, 300);
    EXPECT_EQ(up.delayMs, 300);

    // In the other delay modes an inserted click waits 10 ms.
    Ui().SelectRow("ms_1_macro_list", 2);
    Ui().SelectOption("ms_1_no_delay_btn");
    Ui().SelectRow("ms_1_macro_action_list", 0);
    Ui().Click("ms_1_macro_key1_btn");
    EXPECT_EQ(Macro(2).actionCount, 190);
    EXPECT_EQ(Macro(2).actions[1].delayMs, 10);
    EXPECT_EQ(Macro(2).actions[2].code, kMouseLeft);
}

TEST_F(MacroEditor, ClicksGoAfterTheSelectedActionInButtonOrderAndSelectTheRelease) {
    Store(u"Clicks", {Action(0x04, kActionDown, 10), Action(0x04, kActionUp, 10)});
    OpenAt(0);
    Ui().SetChecked("ms_1_macro_insert_mouse_btn", true);
    Ui().Click("ms_1_macro_clear_action_btn");
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Macro(0).actionCount, 0);

    Ui().Click("ms_1_macro_key4_btn");
    EXPECT_EQ(Macro(0).actionCount, 2);
    EXPECT_EQ(Macro(0).actions[0].code, kMouseForward);
    EXPECT_EQ(Macro(0).actions[0].kind, kActionDown);
    EXPECT_EQ(Macro(0).actions[1].code, kMouseForward);
    EXPECT_EQ(Macro(0).actions[1].kind, kActionUp);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_action_list"), 1);

    Ui().SelectRow("ms_1_macro_action_list", 0);
    Ui().Click("ms_1_macro_key5_btn");
    ASSERT_EQ(Macro(0).actionCount, 4);
    EXPECT_EQ(Macro(0).actions[1].code, kMouseBack);
    EXPECT_EQ(Macro(0).actions[2].code, kMouseBack);
    EXPECT_EQ(Macro(0).actions[3].code, kMouseForward);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_action_list"), 2);
    EXPECT_EQ(Row(2, "key"), CResourceManager::GetInstance()->GetText(QStringLiteral("Backward_Button")));
    EXPECT_EQ(Row(2, "action"), CResourceManager::GetInstance()->GetText(QStringLiteral("key_up_action")));
}

TEST_F(MacroEditor, DeletingTheLastMacroLoadsTheOneBeforeAndTheOnlyOneLeavesNothing) {
    Store(u"A", {Action(0x04, kActionDown, 10)});
    Store(u"B", {Action(0x05, kActionDown, 10), Action(0x05, kActionUp, 10)});
    OpenAt(1);

    answers.ClickOnNext("MsgWnd", "btn_cancel");
    Ui().Click("ms_1_macro_delete_btn");
    EXPECT_EQ(store.Count(), 2u);

    answers.ClickOnNext("MsgWnd", "btn_ok");
    Ui().Click("ms_1_macro_delete_btn");
    EXPECT_EQ(store.Count(), 1u);
    EXPECT_EQ(Ui().RowCount("ms_1_macro_list"), 1);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_list"), 0);
    EXPECT_EQ(Ui().Text("ms_1_macro_name_edit"), "A");
    EXPECT_EQ(Rows(), 1);

    answers.ClickOnNext("MsgWnd", "btn_ok");
    Ui().Click("ms_1_macro_delete_btn");
    EXPECT_EQ(store.Count(), 0u);
    EXPECT_EQ(Ui().RowCount("ms_1_macro_list"), 0);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Ui().Text("ms_1_macro_name_edit"), "");
    EXPECT_TRUE(std::filesystem::exists(StoreFile()));
    EXPECT_EQ(std::filesystem::file_size(StoreFile()), 0u);

    // Without a macro there is nothing to delete (and nothing is asked), nor to insert into.
    Ui().Click("ms_1_macro_delete_btn");
    EXPECT_EQ(answers.Opened().size(), 3u);
    Ui().SetChecked("ms_1_macro_insert_mouse_btn", true);
    Ui().Click("ms_1_macro_key1_btn");
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(std::filesystem::file_size(StoreFile()), 0u);
}

TEST_F(MacroEditor, AddedMacrosAreNumberedAndUnique) {
    Store(u"macro 2", {});
    Open();
    Ui().Click("ms_1_macro_add_btn");
    EXPECT_EQ(LeadingName(Macro(1)), u"Macro 2_1");
    EXPECT_EQ(Ui().CurSel("ms_1_macro_list"), 1);
    EXPECT_EQ(Ui().Text("ms_1_macro_name_edit"), "Macro 2_1");
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(ReadAll(StoreFile()).size(), 2u * 3096u);
}

TEST_F(MacroEditor, ImportAddsSelectsAndShowsTheMacroUnderAFreeName) {
    Store(u"Alpha", {});
    MacroList exported;
    exported.push_back(NewMacroRecord(u"ALPHA"));
    exported[0]->actions[0] = Action(0x04, kActionDown, 20);
    exported[0]->actions[1] = Action(0x04, kActionUp, 20);
    exported[0]->actionCount = 2;
    const auto file = folder.Path() / "alpha.macro";
    ASSERT_EQ(WriteMacroFile(SystemFileWriter(), file, *exported[0]), WriteStatus::Written);
    Open();

    dialogs.ExpectOpen(QString::fromStdString(file.string()));
    Ui().Click("ms_1_macro_import_btn");
    ASSERT_EQ(store.Count(), 2u);
    EXPECT_EQ(LeadingName(Macro(1)), u"ALPHA_1");
    EXPECT_EQ(Ui().RowCount("ms_1_macro_list"), 2);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_list"), 1);
    EXPECT_EQ(Ui().Text("ms_1_macro_name_edit"), "ALPHA_1");
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Row(1, "key"), "A");
    EXPECT_EQ(ReadAll(StoreFile()).size(), 2u * 3096u);
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    const FileDialogRequest& request = dialogs.Requests()[0].request;
    ASSERT_EQ(request.filters.size(), 1u);
    EXPECT_EQ(request.filters[0].patterns, QStringList({"*.macro", "*.MACRO"}));
    EXPECT_EQ(request.mustExist, MustExist::Yes);

    // A file of any other size is refused with a message, and nothing changes.
    const Bytes before = StoreBytes();
    Bytes shorter = ReadAll(file);
    shorter.pop_back();
    WriteAll(folder.Path() / "short.macro", shorter);
    dialogs.ExpectOpen(QString::fromStdString((folder.Path() / "short.macro").string()));
    answers.ClickOnNext("MsgWnd", "btn_ok");
    Ui().Click("ms_1_macro_import_btn");
    EXPECT_EQ(answers.Opened(), std::vector<QString>{"MsgWnd"});
    EXPECT_EQ(store.Count(), 2u);
    EXPECT_EQ(Ui().RowCount("ms_1_macro_list"), 2);
    EXPECT_EQ(StoreBytes(), before);

    // A name that fills the field is shortened so that its suffix still fits.
    SetFieldText(exported[0]->name.data(), kMacroNameCapacity, u"ABCDEFGHIJKLMNOPQRSTUVW");
    ASSERT_EQ(WriteMacroFile(SystemFileWriter(), file, *exported[0]), WriteStatus::Written);
    for (const char16_t* expected : {u"ABCDEFGHIJKLMNOPQRSTUVW", u"ABCDEFGHIJKLMNOPQRSTU_1"}) {
        dialogs.ExpectOpen(QString::fromStdString(file.string()));
        Ui().Click("ms_1_macro_import_btn");
        EXPECT_EQ(LeadingName(*store.List().back()), expected);
    }
}

TEST_F(MacroEditor, ExportWritesTheStoredRecordUnderTheChosenName) {
    Store(u"Combo", {Action(0x04, kActionDown, 20), Action(kMouseMove, kActionMove, 10, -5, 7)});
    OpenAt(0);
    dialogs.ExpectSave(QString::fromStdString((folder.Path() / "combo").string()));
    Ui().Click("ms_1_macro_export_btn");
    const Bytes written = ReadAll(folder.Path() / "combo.macro");
    const Bytes stored = StoreBytes();
    EXPECT_EQ(written, stored);
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Requests()[0].request.defaultExtension, "macro");
    EXPECT_EQ(dialogs.Requests()[0].request.overwritePrompt, OverwritePrompt::Yes);
}

TEST_F(MacroEditor, RenameKeepsNamesUniqueWithoutRegardToCase) {
    Store(u"Alpha", {});
    Store(u"Beta", {});
    const Bytes before = StoreBytes();
    OpenAt(0);

    SetBox("ms_1_macro_name_edit", "ALPHA");
    EXPECT_EQ(StoreBytes(), before);
    EXPECT_EQ(Ui().Text("ms_1_macro_name_edit"), "Alpha");

    SetBox("ms_1_macro_name_edit", "beta");
    EXPECT_EQ(StoreBytes(), before);
    EXPECT_EQ(Ui().Text("ms_1_macro_name_edit"), "Alpha");

    SetBox("ms_1_macro_name_edit", "Gamma");
    EXPECT_EQ(LeadingName(Macro(0)), u"Gamma");
    EXPECT_NE(StoreBytes(), before);
    EXPECT_EQ(Ui().Find<CListUI>("ms_1_macro_list")->GetItemAt(0)->GetText(), "Gamma");
}

TEST_F(MacroEditor, DelayBoxesKeepDelaysWithinTenOrOneTo25000) {
    Store(u"Mixed", {Action(0x04, kActionDown, 50), Action(kMouseLeft, kActionDown, 50),
                     Action(kMouseMove, kActionMove, 50, 3, 4), Action(0x04, kActionUp, 50)});
    OpenAt(0);

    EditAction(0);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_action_edit_tab"), 1);
    EXPECT_EQ(Ui().Text("ms_1_macro_action_edit"), "A");
    SetBox("ms_1_macro_delay_edit", "5");
    EXPECT_EQ(Macro(0).actions[0].delayMs, 10);
    EXPECT_EQ(Row(0, "delay"), "10");
    SetBox("ms_1_macro_delay_edit", "30000");
    EXPECT_EQ(Macro(0).actions[0].delayMs, 25000);

    Ui().SelectRow("ms_1_macro_action_list", 1);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_action_edit_tab"), 2);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_mouse_action_combo"), 0);
    SetBox("ms_1_macro_mouseaction_delay_edit", "0");
    EXPECT_EQ(Macro(0).actions[1].delayMs, 10);
    EXPECT_EQ(Ui().Text("ms_1_macro_mouseaction_delay_edit"), "10");
    Ui().SelectComboItem("ms_1_macro_mouse_action_combo", 3);
    EXPECT_EQ(Macro(0).actions[1].code, kMouseForward);

    Ui().SelectRow("ms_1_macro_action_list", 2);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_action_edit_tab"), 3);
    SetBox("mouse_move_delay_edit", "0");
    EXPECT_EQ(Macro(0).actions[2].delayMs, 1);
    SetBox("mouse_move_delay_edit", "30000");
    EXPECT_EQ(Macro(0).actions[2].delayMs, 25000);
    SetBox("mouse_move_edit_y_edit", "-40");
    EXPECT_EQ(Macro(0).actions[2].x, 3);
    EXPECT_EQ(Macro(0).actions[2].y, -40);
    EXPECT_EQ(Row(2, "action"), "X: 3 Y: -40");

    Ui().Click("ms_1_macro_save_btn");
    EXPECT_EQ(Ui().CurSel("ms_1_macro_action_edit_tab"), 0);
    EXPECT_FALSE(Ui().IsChecked("ms_1_macro_action_edit_check"));
}

TEST_F(MacroEditor, CoordinateBoxesKeepSignedDigitsWithin999) {
    Store(u"Moves", {});
    OpenAt(0);
    Ui().SetChecked("ms_1_macro_insert_mouse_btn", true);
    Ui().ReplaceText("ms_1_edit_x", "12a3");
    EXPECT_EQ(Ui().Text("ms_1_edit_x"), "123");
    Ui().ReplaceText("ms_1_edit_x", "1234");
    EXPECT_EQ(Ui().Text("ms_1_edit_x"), "999");
    Ui().ReplaceText("ms_1_edit_y", "-1000");
    EXPECT_EQ(Ui().Text("ms_1_edit_y"), "-999");
    Ui().Click("ms_1_macro_move_btn");
    ASSERT_EQ(Macro(0).actionCount, 1);
    EXPECT_EQ(Macro(0).actions[0].code, kMouseMove);
    EXPECT_EQ(Macro(0).actions[0].x, 999);
    EXPECT_EQ(Macro(0).actions[0].y, -999);
    EXPECT_EQ(Macro(0).actions[0].delayMs, 10);
}

TEST_F(MacroEditor, MovesAndDeletionsActOnTheSelectedAction) {
    Store(u"Order",
          {Action(0x04, kActionDown, 40), Action(0x05, kActionDown, 50), Action(0x06, kActionDown, 60)});
    OpenAt(0);

    Ui().SelectRow("ms_1_macro_action_list", 2);
    Ui().Click("ms_1_macro_up_btn");
    EXPECT_EQ(Macro(0).actions[1].code, 0x06);
    EXPECT_EQ(Macro(0).actions[2].code, 0x05);
    EXPECT_EQ(Macro(0).actions[2].delayMs, 50) << "the stored delay stays";
    EXPECT_EQ(Row(2, "delay"), "1") << "the row that now comes last shows 1";
    EXPECT_EQ(Row(1, "delay"), "60");
    EXPECT_EQ(Ui().CurSel("ms_1_macro_action_list"), 1);

    // Ctrl+Down moves it back, Ctrl+Up on the first action and Down on the last do nothing.
    PressInList(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(Macro(0).actions[2].code, 0x06);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_action_list"), 2);
    const Bytes before = StoreBytes();
    Ui().Click("ms_1_macro_down_btn");
    Ui().SelectRow("ms_1_macro_action_list", 0);
    PressInList(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(StoreBytes(), before);

    // Delete removes the selected action and selects the one that took its place.
    PressInList(Qt::Key_Delete, Qt::NoModifier);
    ASSERT_EQ(Macro(0).actionCount, 2);
    EXPECT_EQ(Macro(0).actions[0].code, 0x05);
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_action_list"), 0);
    Ui().SelectRow("ms_1_macro_action_list", 1);
    Ui().Click("ms_1_macro_delete_action_btn");
    EXPECT_EQ(Macro(0).actionCount, 1);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_action_list"), 0);
}

TEST_F(MacroEditor, KeyBoxTakesItsKeyFromTheHookWhileItHasTheFocus) {
    Store(u"Keys", {Action(0x04, kActionDown, 30), Action(0x04, kActionUp, 30)});
    OpenAt(0);
    EditAction(1);
    ASSERT_EQ(Ui().CurSel("ms_1_macro_action_edit_tab"), 1);

    Ui().Focus("ms_1_macro_action_edit");
    EXPECT_EQ(HookCalls(), (std::vector<std::string>{"installhook", "enablehook(1)"}));
    EXPECT_EQ(g_hookWindow, editor->GetHWND());

    editor->SendMessage(MSG_HOOK_EVENT, 0x42, 1);  // B released: a key is a key, pressed or released
    EXPECT_EQ(Ui().Text("ms_1_macro_action_edit"), "B");
    EXPECT_EQ(Macro(0).actions[1].code, 0x05);
    EXPECT_EQ(Macro(0).actions[0].code, 0x04);
    EXPECT_EQ(Row(1, "key"), "B");

    HookCalls().clear();
    Ui().Unfocus("ms_1_macro_action_edit");
    EXPECT_EQ(HookCalls(), (std::vector<std::string>{"removehook", "enablehook(0)"}));
    editor->SendMessage(MSG_HOOK_EVENT, 0x43, 0);
    EXPECT_EQ(Macro(0).actions[1].code, 0x05) << "without the focus the box takes no key";
}

// --- Recording ---------------------------------------------------------------------------------

constexpr WPARAM kVkA = 0x41, kVkB = 0x42;  // HID usages 0x04 and 0x05
constexpr LPARAM kPressed = 0, kReleased = 1;

QString Language(const char* key) {
    return CResourceManager::GetInstance()->GetText(QString::fromLatin1(key));
}

const std::vector<std::string> kStartCalls = {"installhook", "enablehook(1)", "mousewheelenable(0)"};
const std::vector<std::string> kStopCalls = {"removehook", "removemousehook", "enablemousehook(0)",
                                             "enablehook(0)", "mousewheelenable(0)"};

class MacroRecording : public MacroEditor {
protected:
    void Hook(WPARAM wParam, LPARAM lParam) { editor->SendMessage(MSG_HOOK_EVENT, wParam, lParam); }
    void Stroke(WPARAM key) {
        Hook(key, kPressed);
        Hook(key, kReleased);
    }
    void Record() { Ui().Click("ms_1_macro_record_btn"); }
    std::vector<std::uint16_t> Delays(std::size_t index) {
        const MacroRecord& macro = Macro(index);
        std::vector<std::uint16_t> delays;
        for (int i = 0; i < macro.actionCount; ++i)
            delays.push_back(macro.actions[static_cast<std::size_t>(i)].delayMs);
        return delays;
    }
    // Code and kind of every stored action, "04+" for a press and "04-" for a release.
    std::vector<std::string> Codes(std::size_t index) {
        const MacroRecord& macro = Macro(index);
        std::vector<std::string> codes;
        for (int i = 0; i < macro.actionCount; ++i) {
            const MacroAction& a = macro.actions[static_cast<std::size_t>(i)];
            char text[8];
            std::snprintf(text, sizeof text, "%02X%c", a.code, a.kind == kActionDown ? '+' : '-');
            codes.emplace_back(text);
        }
        return codes;
    }
};

TEST_F(MacroRecording, HookListensOnlyWhileRecordingAndAHeldKeyGivesOnePressAndOneRelease) {
    Open();
    EXPECT_EQ(Ui().Text("ms_1_macro_record_btn"), Language("start_recording_text"));
    Hook(kVkA, kPressed);
    Ui().Hover("ms_1_macro_record_btn");
    Ui().Unhover("ms_1_macro_record_btn");
    EXPECT_TRUE(HookCalls().empty()) << "nothing is asked of the hook before a recording";
    EXPECT_EQ(store.Count(), 0u);

    Record();  // with no macro, the recording makes one
    EXPECT_EQ(HookCalls(), kStartCalls);
    EXPECT_EQ(g_hookWindow, editor->GetHWND());
    EXPECT_TRUE(Ui().IsChecked("ms_1_macro_record_btn"));
    EXPECT_EQ(Ui().Text("ms_1_macro_record_btn"), Language("stop_recording_text"));
    ASSERT_EQ(store.Count(), 1u);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_list"), 0);

    // Keys typed while recording are the macro's, not the editor's.
    Ui().PressKey("ms_1_macro_record_btn", Qt::Key_Space, QStringLiteral(" "));
    Ui().Type("ms_1_default_delay_edit", QStringLiteral("5"));
    EXPECT_TRUE(Ui().IsChecked("ms_1_macro_record_btn"));
    EXPECT_EQ(Ui().Text("ms_1_default_delay_edit"), "10");

    HookCalls().clear();
    Ui().Unhover("ms_1_macro_record_btn");  // the pointer goes to click elsewhere
    for (int repeat = 0; repeat < 20; ++repeat)
        Hook(kVkA, kPressed);
    Hook(kVkA, kReleased);
    Hook(WM_LBUTTONDOWN, 0);
    Hook(WM_LBUTTONUP, 0);
    Hook(WM_XBUTTONDOWN, 1);  // the back side button
    Hook(WM_XBUTTONUP, 1);
    Hook(WM_XBUTTONDOWN, 2);  // forward
    Hook(WM_MOUSEWHEEL, 120);
    Ui().Hover("ms_1_macro_record_btn");  // and comes back to stop
    EXPECT_EQ(HookCalls(), (std::vector<std::string>{"enablemousehook(1)", "enablemousehook(0)"}));
    EXPECT_EQ(Rows(), 7);
    EXPECT_EQ(Macro(0).actionCount, 0) << "the recording is stored when it stops";

    HookCalls().clear();
    Record();
    EXPECT_EQ(HookCalls(), kStopCalls);
    EXPECT_FALSE(Ui().IsChecked("ms_1_macro_record_btn"));
    EXPECT_EQ(Ui().Text("ms_1_macro_record_btn"), Language("start_recording_text"));
    EXPECT_EQ(Codes(0), (std::vector<std::string>{"04+", "04-", "F1+", "F1-", "F4+", "F4-", "F5+"}));
    EXPECT_EQ(Row(0, "key"), "A");
    EXPECT_EQ(Row(4, "action"), Language("key_down_action"));

    const Bytes stored = StoreBytes();
    HookCalls().clear();
    Hook(kVkB, kPressed);
    Ui().Unhover("ms_1_macro_record_btn");
    EXPECT_EQ(Rows(), 7);
    EXPECT_EQ(StoreBytes(), stored);
    EXPECT_TRUE(HookCalls().empty());
    Ui().Type("ms_1_default_delay_edit", QStringLiteral("5"));
    EXPECT_EQ(Ui().Text("ms_1_default_delay_edit"), "105") << "the keyboard is the editor's again";
}

TEST_F(MacroRecording, RecordedDelaysAreTheMeasuredPausesUpTo25000AndTheLastIsOne) {
    Open();
    Ui().SelectOption("ms_1_record_delay_btn");
    Record();
    time.Advance(700);  // the wait before the first event is kept nowhere
    Hook(kVkA, kPressed);
    time.Advance(120);
    Hook(kVkA, kReleased);
    time.Advance(40'000);
    Hook(kVkB, kPressed);
    time.Advance(5);
    Hook(kVkB, kReleased);
    time.Advance(3000);
    Record();
    EXPECT_EQ(Codes(0), (std::vector<std::string>{"04+", "04-", "05+", "05-"}));
    EXPECT_EQ(Delays(0), (std::vector<std::uint16_t>{120, 25000, 5, 1}));
    EXPECT_EQ(Row(1, "delay"), "25000");
}

TEST_F(MacroRecording, RecordingAfterTheSelectedActionInsertsThere) {
    Store(u"Five",
          {Action(0x10, kActionDown, 40), Action(0x11, kActionDown, 41), Action(0x12, kActionDown, 42),
           Action(0x13, kActionDown, 43), Action(0x14, kActionDown, 44)});
    OpenAt(0);
    Ui().SelectOption("ms_1_record_delay_btn");
    Ui().SelectRow("ms_1_macro_action_list", 2);
    Record();
    time.Advance(300);
    Hook(kVkA, kPressed);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_action_list"), 3) << "the newest action is selected";
    time.Advance(50);
    Hook(kVkA, kReleased);
    EXPECT_EQ(Ui().CurSel("ms_1_macro_action_list"), 4);
    Record();
    EXPECT_EQ(Codes(0), (std::vector<std::string>{"10+", "11+", "12+", "04+", "04-", "13+", "14+"}));
    // The action the block went in front of takes the wait from the start to the first event.
    EXPECT_EQ(Delays(0), (std::vector<std::uint16_t>{40, 41, 42, 50, 1, 300, 44}));
}

TEST_F(MacroRecording, FixedDelaysFillTheMacroUntil191UnitsThenTheRecordingStops) {
    Open();
    Ui().ReplaceText("ms_1_default_delay_edit", "300");  // 300 ms costs each action a unit more
    Record();
    // n actions cost 2n - 1 units: the 96th brings 191, and the 97th event finds 190 or more.
    for (int i = 0; i < 40; ++i) {
        Stroke(i % 2 == 0 ? kVkA : kVkB);
        time.Advance(1);
    }
    EXPECT_TRUE(Ui().IsChecked("ms_1_macro_record_btn")) << "still recording after 80 actions";
    HookCalls().clear();
    for (int i = 0; i < 60; ++i)
        Stroke(i % 2 == 0 ? kVkA : kVkB);
    EXPECT_EQ(HookCalls(), kStopCalls);
    EXPECT_FALSE(Ui().IsChecked("ms_1_macro_record_btn"));
    EXPECT_EQ(Ui().Text("ms_1_macro_record_btn"), Language("start_recording_text"));
    ASSERT_EQ(Macro(0).actionCount, 96);
    std::vector<std::uint16_t> expected(96, 300);
    expected.back() = 1;
    EXPECT_EQ(Delays(0), expected);
    EXPECT_EQ(Rows(), 96);
}

TEST_F(MacroRecording, WithoutDelaysNinetyFiveKeystrokesFillTheMacroAndStopTheRecording) {
    Open();
    Ui().SelectOption("ms_1_no_delay_btn");
    Record();
    HookCalls().clear();
    for (int i = 0; i < 95; ++i) {
        time.Advance(400);
        Stroke(i % 2 == 0 ? kVkA : kVkB);
    }
    EXPECT_EQ(HookCalls(), kStopCalls) << "the 190th action ends the recording";
    EXPECT_FALSE(Ui().IsChecked("ms_1_macro_record_btn"));
    ASSERT_EQ(Macro(0).actionCount, 190);
    EXPECT_EQ(Delays(0), std::vector<std::uint16_t>(190, 1));
    Hook(kVkA, kPressed);
    EXPECT_EQ(Rows(), 190);
}

TEST_F(MacroRecording, NextRecordingIgnoresAFirstEventEqualToTheLastOneAndClosingKeepsIt) {
    Open();
    Record();
    Stroke(kVkA);
    Record();
    ASSERT_EQ(Codes(0), (std::vector<std::string>{"04+", "04-"}));

    Record();  // after the selected last action
    HookCalls().clear();
    Hook(kVkA, kReleased);
    Stroke(kVkB);
    Hook(kVkA, kReleased);
    editor->DestroyWindow();
    editor.reset();
    EXPECT_EQ(HookCalls(), kStopCalls) << "the hook stops listening when the editor closes";
    EXPECT_EQ(Codes(0), (std::vector<std::string>{"04+", "04-", "05+", "05-", "04-"}));
}

TEST_F(MacroRecording, RecordButtonSaysWhyItCannotRecord) {
    Store(u"Kept", Clicks(2));
    const Bytes before = StoreBytes();
    g_installResult = 0;  // no X display
    OpenAt(0);
    Record();
    EXPECT_EQ(HookCalls(), (std::vector<std::string>{"installhook"}));
    EXPECT_FALSE(Ui().IsChecked("ms_1_macro_record_btn"));
    EXPECT_FALSE(Ui().IsEnabled("ms_1_macro_record_btn"));
    EXPECT_EQ(Ui().Text("ms_1_macro_record_btn"), Language("recording_unavailable_text"));
    Hook(kVkA, kPressed);
    EXPECT_EQ(Rows(), 4) << "the macro is left as it was";
    EXPECT_EQ(StoreBytes(), before);
    editor->DestroyWindow();
    editor.reset();

    hooks = HookOps{};  // no Hook.so
    OpenAt(0);
    EXPECT_FALSE(Ui().IsEnabled("ms_1_macro_record_btn"));
    EXPECT_EQ(Ui().Text("ms_1_macro_record_btn"), Language("recording_no_hook_text"));
}

}  // namespace
}  // namespace quillon::test
