// The input-hook library end to end: the real Hook.so, loaded the way the main window loads it,
// listening to an X server of the test's own into which XTest injects key presses and clicks.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/hook_library.h"
#include "core/keys/key_tables.h"
#include "platform/keyboard/keyboard_layout_xkb.h"
#include "platform/message_window.h"
#include "platform/module.h"
#include "support/private_x_server.h"
#include "support/qt_app.h"

namespace quillon {
namespace {

using test::OnPath;
using test::PrivateXServer;
using test::PumpUntil;
using test::RunProgram;

struct Event {
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Event& event) {
    return out << "(" << event.wParam << ", " << event.lParam << ")";
}

// Evdev key codes (the X keycode less 8) of the keys the tests press.
constexpr unsigned kKeyQ = 16, kKey1 = 2, kKeySemicolon = 39, kKeyEnter = 28, kKeyLeftShift = 42, kKeyF5 = 63;
constexpr unsigned kKeyEscape = 1;  // the marker that closes a sequence

// X buttons: 1 left, 2 middle, 3 right, 4 and 5 the wheel, 8 back, 9 forward.
constexpr unsigned kLeft = 1, kMiddle = 2, kRight = 3, kWheelUp = 4, kWheelDown = 5, kBack = 8, kForward = 9;

// A user at the X server: XTest presses keys and buttons as if on the real keyboard and mouse.
class User {
public:
    explicit User(const std::string& display) : m_display(XOpenDisplay(display.c_str())) {}
    ~User() {
        if (m_display != nullptr)
            XCloseDisplay(m_display);
    }
    bool HasXTest() {
        int event = 0, error = 0, major = 0, minor = 0;
        return m_display != nullptr && XTestQueryExtension(m_display, &event, &error, &major, &minor);
    }
    void Key(unsigned evdev, bool press) {
        XTestFakeKeyEvent(m_display, evdev + 8, press ? True : False, CurrentTime);
        XSync(m_display, False);
    }
    void Type(unsigned evdev) {
        Key(evdev, true);
        Key(evdev, false);
    }
    void Button(unsigned button, bool press) {
        XTestFakeButtonEvent(m_display, button, press ? True : False, CurrentTime);
        XSync(m_display, False);
    }
    void Click(unsigned button) {
        Button(button, true);
        Button(button, false);
    }
    void Move(int x, int y) {
        XTestFakeMotionEvent(m_display, 0, x, y, CurrentTime);
        XSync(m_display, False);
    }

private:
    Display* m_display;
};

class HookX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        test::TestApplication();
        if (!OnPath("Xvfb") || !OnPath("setxkbmap")) {
            GTEST_SKIP() << "no X server for this test: it needs Xvfb and setxkbmap (packages xvfb, "
                            "x11-xkb-utils) to start an X server of its own";
        }
        server = std::make_unique<PrivateXServer>();
        if (server->Display().empty()) {
            GTEST_SKIP() << "no X server for this test: Xvfb did not start";
        }
        // The hook connects to the display the program runs on.
        setenv("DISPLAY", server->Display().c_str(), 1);
        ASSERT_TRUE(SetLayout("us"));
        user = std::make_unique<User>(server->Display());
        ASSERT_TRUE(user->HasXTest()) << "the X server offers no XTest extension";
        ASSERT_TRUE(hookLibrary.Load(QUILLON_PROGRAM_FOLDER, hooks)) << hookLibrary.Error();
        ASSERT_NE(hooks.installhook, nullptr);
        ASSERT_NE(hooks.enablemousehook, nullptr);
        window.SetHandler([this](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message == MSG_HOOK_EVENT)
                received.push_back({wParam, lParam});
            return 0;
        });
    }
    void TearDown() override {
        hookLibrary.Release(hooks);
        unsetenv("DISPLAY");
    }

    bool SetLayout(const std::string& name) {
        return RunProgram({"setxkbmap", "-display", server->Display(), "-layout", name, "-variant", ""});
    }

    // Waits until `count` events have arrived (the hook posts from its own thread).
    bool Receive(std::size_t count) {
        return PumpUntil([&] { return received.size() >= count; });
    }

    // Everything that arrived up to the marker, an Escape key press and release typed last: what
    // was injected before the marker would have been posted before it.
    std::vector<Event> UpToMarker() {
        const std::size_t before = received.size();
        user->Type(kKeyEscape);
        const bool arrived = PumpUntil([&] {
            return received.size() >= before + 2 && received.back() == Event{27, 1};
        });
        EXPECT_TRUE(arrived) << "the marker did not arrive";
        std::vector<Event> events = std::move(received);
        received.clear();
        if (arrived)
            events.resize(events.size() - 2);
        return events;
    }

    std::unique_ptr<PrivateXServer> server;
    std::unique_ptr<User> user;
    HookLibrary hookLibrary;
    HookOps hooks;
    MessageWindow window;
    std::vector<Event> received;
};

TEST_F(HookX11Test, KeysArriveAsVirtualKeysOfTheActiveLayoutWithTheirUsages) {
    ASSERT_EQ(hooks.installhook(window.handle()), 1);
    hooks.enablehook(1);

    // US layout: the key beside Tab is Q; modifiers keep their side.
    for (unsigned key : {kKeyQ, kKey1, kKeySemicolon, kKeyEnter, kKeyF5})
        user->Type(key);
    user->Key(kKeyLeftShift, true);
    user->Key(kKeyLeftShift, false);
    EXPECT_EQ(UpToMarker(), (std::vector<Event>{{'Q', 0},
                                                {'Q', 1},
                                                {'1', 0},
                                                {'1', 1},
                                                {186, 0},  // VK_OEM_1
                                                {186, 1},
                                                {13, 0},
                                                {13, 1},
                                                {116, 0},
                                                {116, 1},
                                                {160, 0},  // VK_LSHIFT
                                                {160, 1}}));

    // French layout, switched while the hook listens: the same physical keys now mean A, 1 (it
    // types '&') and M, and the editor turns those codes back into the usages of the keys pressed.
    ASSERT_TRUE(SetLayout("fr"));
    for (unsigned key : {kKeyQ, kKey1, kKeySemicolon})
        user->Type(key);
    const std::vector<Event> french = UpToMarker();
    EXPECT_EQ(french, (std::vector<Event>{{'A', 0}, {'A', 1}, {'1', 0}, {'1', 1}, {'M', 0}, {'M', 1}}));

    auto layout = XkbKeyboardLayout::FromX11(server->Display().c_str());
    ASSERT_NE(layout, nullptr);
    KeyCodeTables tables(*layout, [](std::string_view) { return std::u16string(); });
    std::vector<uint32_t> usages;
    for (std::size_t i = 0; i < french.size(); i += 2)
        usages.push_back(tables.VkToUsage(static_cast<uint32_t>(french[i].wParam)).usage);
    EXPECT_EQ(usages, (std::vector<uint32_t>{0x14, 0x1E, 0x33}));  // the keys Q, 1 and ; of a US keyboard
}

TEST_F(HookX11Test, MouseButtonsArriveAsButtonMessagesAndTheWheelAndMotionNever) {
    ASSERT_EQ(hooks.installhook(window.handle()), 1);
    hooks.enablehook(1);
    hooks.mousewheelenable(0);
    hooks.enablemousehook(1);

    for (unsigned button : {kLeft, kRight, kMiddle, kBack, kForward}) {
        user->Click(button);
        user->Click(kWheelUp);
        user->Move(static_cast<int>(button) * 10, 20);
    }
    // Asked for or not, the wheel stays unreported.
    hooks.mousewheelenable(1);
    user->Click(kWheelDown);
    EXPECT_EQ(UpToMarker(), (std::vector<Event>{{513, 0},
                                                {514, 0},
                                                {516, 0},
                                                {517, 0},
                                                {519, 0},
                                                {520, 0},
                                                {523, 1},
                                                {524, 1},
                                                {523, 2},
                                                {524, 2}}));
}

TEST_F(HookX11Test, NothingIsPostedUnlessInstalledAndEnabled) {
    // Neither installed nor enabled.
    user->Type(kKeyQ);
    user->Click(kLeft);
    ASSERT_EQ(hooks.installhook(window.handle()), 1);
    // Installed, nothing enabled yet.
    user->Type(kKeyQ);
    user->Click(kLeft);
    hooks.enablehook(1);
    EXPECT_EQ(UpToMarker(), std::vector<Event>{});

    // Keys on, buttons off: a click is not reported; then the buttons alone.
    user->Click(kLeft);
    hooks.enablemousehook(1);
    hooks.enablehook(0);
    user->Type(kKeyQ);
    user->Click(kRight);
    hooks.enablehook(1);
    EXPECT_EQ(UpToMarker(), (std::vector<Event>{{516, 0}, {517, 0}}));

    // Mouse reporting removed, then the whole hook: nothing at all until installed and enabled again.
    hooks.removemousehook();
    user->Click(kLeft);
    EXPECT_EQ(UpToMarker(), std::vector<Event>{});
    hooks.removehook();
    user->Type(kKeyQ);
    user->Click(kLeft);
    ASSERT_EQ(hooks.installhook(window.handle()), 1);
    user->Type(kKeyQ);
    hooks.enablehook(1);
    EXPECT_EQ(UpToMarker(), std::vector<Event>{});
    // A remove also turns both kinds off for the next install.
    hooks.enablemousehook(1);
    hooks.enablehook(1);
    hooks.removehook();
    ASSERT_EQ(hooks.installhook(window.handle()), 1);
    user->Click(kLeft);
    user->Type(kKeyQ);
    hooks.enablehook(1);
    EXPECT_EQ(UpToMarker(), std::vector<Event>{});
}

TEST_F(HookX11Test, UnloadingTheLibraryStopsListening) {
    // The program may end without removing the hook; the library then stops its thread itself
    // before it goes, so no event is read or posted afterwards.
    hookLibrary.Release(hooks);
    {
        Module library = Module::Load(std::string(QUILLON_PROGRAM_FOLDER) + "/" + kHookLibraryFile);
        ASSERT_TRUE(library) << library.Error();
        ASSERT_EQ(library.Resolve<int (*)(QuillonWindow)>("installhook")(window.handle()), 1);
        library.Resolve<void (*)(int)>("enablehook")(1);
        user->Type(kKeyQ);
        ASSERT_TRUE(Receive(2));
        library.Free();
    }
    received.clear();
    user->Type(kKeyQ);
    user->Type(kKeyEnter);
    ASSERT_TRUE(hookLibrary.Load(QUILLON_PROGRAM_FOLDER, hooks));
    ASSERT_EQ(hooks.installhook(window.handle()), 1);
    hooks.enablehook(1);
    EXPECT_EQ(UpToMarker(), std::vector<Event>{});
}

TEST_F(HookX11Test, WithoutAnXServerTheHookSaysSoAndTheProgramRunsOn) {
    ASSERT_EQ(hooks.installhook(window.handle()), 1);
    hooks.enablehook(1);
    hooks.enablemousehook(1);
    // The server goes away while the hook listens (an X server that ends, XWayland stopped): the
    // hook ends its thread instead of the process.
    user.reset();
    server.reset();
    hooks.enablehook(0);
    hooks.removehook();
    EXPECT_EQ(hooks.installhook(window.handle()), 0) << "the display is gone";
    unsetenv("DISPLAY");
    EXPECT_EQ(hooks.installhook(window.handle()), 0) << "no display at all";
    hooks.enablehook(1);
    hooks.removehook();
    EXPECT_TRUE(received.empty());
}

}  // namespace
}  // namespace quillon
