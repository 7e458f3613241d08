#include "platform/keyboard/keyboard_layout_xkb.h"

#include <gtest/gtest.h>

#include "support/private_x_server.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>
#include <xcb/xcb.h>
// The XKB protocol header names a structure field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

namespace quillon {
namespace {

using test::OnPath;
using test::PrivateXServer;
using test::RunProgram;

// Locks a keyboard group on the server, as a desktop's layout switcher does.
bool LockGroup(const std::string& display, uint8_t group) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    bool ok = xcb_connection_has_error(connection) == 0;
    if (ok) {
        xcb_xkb_use_extension_reply_t* reply =
            xcb_xkb_use_extension_reply(connection, xcb_xkb_use_extension(connection, 1, 0), nullptr);
        ok = reply != nullptr && reply->supported;
        std::free(reply);
    }
    if (ok) {
        xcb_generic_error_t* error = xcb_request_check(
            connection,
            xcb_xkb_latch_lock_state_checked(connection, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, group, 0, 0, 0));
        ok = error == nullptr;
        std::free(error);
    }
    xcb_disconnect(connection);
    return ok;
}

class X11KeyboardLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnPath("Xvfb") || !OnPath("setxkbmap")) {
            GTEST_SKIP() << "no X server for this test: it needs Xvfb and setxkbmap (packages xvfb, "
                            "x11-xkb-utils) to start an X server of its own";
        }
        server = std::make_unique<PrivateXServer>();
        if (server->Display().empty()) {
            GTEST_SKIP() << "no X server for this test: Xvfb did not start";
        }
        ASSERT_TRUE(SetLayout("us"));
        layout = XkbKeyboardLayout::FromX11(server->Display().c_str());
        ASSERT_NE(layout, nullptr) << "the keyboard extension of " << server->Display() << " is not usable";
        tables = std::make_unique<KeyCodeTables>(*layout, [](std::string_view) { return std::u16string(); });
    }

    bool SetLayout(const std::string& name, const std::string& variant = "") {
        std::vector<std::string> args = {"setxkbmap", "-display", server->Display(), "-layout", name};
        args.insert(args.end(), {"-variant", variant});
        return RunProgram(args);
    }

    std::unique_ptr<PrivateXServer> server;
    std::unique_ptr<XkbKeyboardLayout> layout;
    std::unique_ptr<KeyCodeTables> tables;
};

TEST_F(X11KeyboardLayoutTest, FollowsTheServersLayoutWhileAlive) {
    EXPECT_EQ(layout->ActiveLayoutName(), "us");
    EXPECT_EQ(tables->VkToUsage(65).usage, 4u);
    EXPECT_EQ(tables->UsageName(4), u"A");

    ASSERT_TRUE(SetLayout("fr"));
    EXPECT_EQ(layout->ActiveLayoutName(), "fr");
    EXPECT_EQ(tables->VkToUsage(65).usage, 20u);
    EXPECT_EQ(tables->UsageName(20), u"A");
    EXPECT_EQ(tables->UsageName(31), u"\u00C9");
    EXPECT_EQ(tables->VkToUsage(223).usage, 56u);

    ASSERT_TRUE(SetLayout("de"));
    EXPECT_EQ(tables->VkToUsage(89).usage, 29u);
    EXPECT_EQ(tables->UsageName(28), u"Z");

    ASSERT_TRUE(SetLayout("us"));
    EXPECT_EQ(tables->VkToUsage(65).usage, 4u);
    EXPECT_EQ(tables->UsageName(51), u";");
}

TEST_F(X11KeyboardLayoutTest, FollowsTheActiveGroup) {
    ASSERT_TRUE(SetLayout("us,fr"));
    EXPECT_EQ(tables->VkToUsage(65).usage, 4u);
    ASSERT_TRUE(LockGroup(server->Display(), 1));
    EXPECT_EQ(layout->ActiveLayoutName(), "fr");
    EXPECT_EQ(tables->VkToUsage(65).usage, 20u);
    EXPECT_EQ(tables->UsageName(16), u",");
    ASSERT_TRUE(LockGroup(server->Display(), 0));
    EXPECT_EQ(tables->VkToUsage(65).usage, 4u);
    EXPECT_EQ(tables->UsageName(16), u"M");
}

}  // namespace
}  // namespace quillon
