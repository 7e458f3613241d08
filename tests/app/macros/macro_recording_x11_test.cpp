// Recording end to end: the macro editor with the real Hook.so, loaded as the main window loads
// it, listening to an X server of the test's own into which XTest presses keys and buttons, with
// the key names and usages of that server's layout.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/hook_library.h"
#include "app/macros/macro_store.h"
#include "app/macros/ms_1_macro.h"
#include "core/keys/key_tables.h"
#include "core/store/store_bytes.h"
#include "platform/keyboard/keyboard_layout_xkb.h"
#include "platform/services.h"
#include "support/private_x_server.h"
#include "support/qt_app.h"
#include "support/ui_driver.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"

// Last: Xlib's macros (Status, Bool, None) would break the headers above.
// clang-format off
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
// clang-format on

namespace quillon::test {
namespace {

// Evdev key codes (the X keycode less 8) and X buttons.
constexpr unsigned kKeyQ = 16, kKey1 = 2;
constexpr unsigned kLeft = 1, kRight = 3, kWheelUp = 4, kBack = 8, kForward = 9;

class Desk {
public:
    explicit Desk(const std::string& display) : m_display(XOpenDisplay(display.c_str())) {}
    ~Desk() {
        if (m_display != nullptr)
            XCloseDisplay(m_display);
    }
    bool HasXTest() {
        int event = 0, error = 0, major = 0, minor = 0;
        return m_display != nullptr && XTestQueryExtension(m_display, &event, &error, &major, &minor);
    }
    void Type(unsigned evdev) {
        XTestFakeKeyEvent(m_display, evdev + 8, True, CurrentTime);
        XTestFakeKeyEvent(m_display, evdev + 8, False, CurrentTime);
        XSync(m_display, False);
    }
    void Click(unsigned button) {
        XTestFakeButtonEvent(m_display, button, True, CurrentTime);
        XTestFakeButtonEvent(m_display, button, False, CurrentTime);
        XSync(m_display, False);
    }

private:
    Display* m_display;
};

class MacroRecordingX11 : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        if (!OnPath("Xvfb") || !OnPath("setxkbmap"))
            GTEST_SKIP() << "no X server for this test: it needs Xvfb and setxkbmap (packages xvfb, "
                            "x11-xkb-utils) to start an X server of its own";
        server = std::make_unique<PrivateXServer>();
        if (server->Display().empty())
            GTEST_SKIP() << "no X server for this test: Xvfb did not start";
        setenv("DISPLAY", server->Display().c_str(), 1);
        desk = std::make_unique<Desk>(server->Display());
        ASSERT_TRUE(desk->HasXTest()) << "the X server offers no XTest extension";
        ASSERT_TRUE(hookLibrary.Load(QUILLON_PROGRAM_FOLDER, hooks)) << hookLibrary.Error();
        CPaintManagerUI::SetResourcePath(QStringLiteral(QUILLON_SOURCE_DIR "/res/"));
        CResourceManager::GetInstance()->LoadLanguage(QStringLiteral("lan.xml"));
    }
    void TearDown() override {
        if (editor)
            editor->DestroyWindow();
        hookLibrary.Release(hooks);
        unsetenv("DISPLAY");
    }

    bool SetLayout(const std::string& name) {
        return RunProgram({"setxkbmap", "-display", server->Display(), "-layout", name, "-variant", ""});
    }

    // Code and kind of every stored action of the first macro, "14+" for a press.
    std::vector<std::string> Codes() {
        const MacroRecord& macro = *store.List().at(0);
        std::vector<std::string> codes;
        for (int i = 0; i < macro.actionCount; ++i) {
            const MacroAction& a = macro.actions[static_cast<std::size_t>(i)];
            char text[8];
            std::snprintf(text, sizeof text, "%02X%c", a.code, a.kind == kActionDown ? '+' : '-');
            codes.emplace_back(text);
        }
        return codes;
    }

    std::unique_ptr<PrivateXServer> server;
    std::unique_ptr<Desk> desk;
    HookLibrary hookLibrary;
    HookOps hooks;
    TemporaryFolder folder;
    ScopedServices programFolder{ScopedServices::Set{nullptr, nullptr, nullptr, nullptr, folder.Path()}};
    MacroStore store{folder.Path() / "Data"};
    std::unique_ptr<CMS_1_Macro> editor;
};

TEST_F(MacroRecordingX11, KeysAndClicksOnTheDesktopBecomeTheMacrosActions) {
    // French layout: the keys a US keyboard labels Q and 1 type A and '&'; the macro keeps the keys
    // where they sit.
    ASSERT_TRUE(SetLayout("fr"));
    auto layout = XkbKeyboardLayout::FromX11(server->Display().c_str());
    ASSERT_NE(layout, nullptr);
    KeyCodeTables keys(*layout, [](std::string_view) { return std::u16string(); });

    // Typed before the recording: never read.
    desk->Type(kKeyQ);
    desk->Click(kRight);

    editor = std::make_unique<CMS_1_Macro>(store, &hooks, &keys);
    ASSERT_NE(editor->Create(nullptr, {}, WS_VISIBLE, 0, 0, 0, 800, 800), nullptr);
    UiDriver ui(*editor);
    ui.Click("ms_1_macro_record_btn");
    ASSERT_TRUE(ui.IsChecked("ms_1_macro_record_btn"));
    desk->Click(kLeft);  // the pointer is still on the record button: not recorded
    ui.Unhover("ms_1_macro_record_btn");

    desk->Type(kKeyQ);
    desk->Type(kKey1);
    desk->Click(kLeft);
    desk->Click(kWheelUp);
    desk->Click(kBack);
    desk->Click(kForward);
    ASSERT_TRUE(PumpUntil([&] { return ui.RowCount("ms_1_macro_action_list") >= 10; }))
        << "recorded " << ui.RowCount("ms_1_macro_action_list") << " actions";
    EXPECT_EQ(ui.Text("ms_1_macro_record_btn"),
              CResourceManager::GetInstance()->GetText(QStringLiteral("stop_recording_text")));

    ui.Hover("ms_1_macro_record_btn");
    ui.Click("ms_1_macro_record_btn");
    EXPECT_FALSE(ui.IsChecked("ms_1_macro_record_btn"));
    PumpPending();
    EXPECT_EQ(Codes(), (std::vector<std::string>{"14+", "14-", "1E+", "1E-", "F1+", "F1-", "F4+", "F4-",
                                                 "F5+", "F5-"}));
}

}  // namespace
}  // namespace quillon::test
