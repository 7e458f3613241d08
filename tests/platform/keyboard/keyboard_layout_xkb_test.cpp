#include "core/keys/keysym_vk.h"
#include "platform/keyboard/keyboard_layout_xkb.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace quillon {
namespace {

std::u16string U(std::string_view utf8Ascii) {
    return std::u16string(utf8Ascii.begin(), utf8Ascii.end());
}

XkbKeyboardLayout& Layout(const std::string& layout, const std::string& variant = "") {
    static std::map<std::string, std::unique_ptr<XkbKeyboardLayout>> layouts;
    auto& slot = layouts[layout + "(" + variant + ")"];
    if (!slot) {
        slot = XkbKeyboardLayout::FromNames({"", "pc105", layout, variant, ""});
    }
    if (!slot) {
        ADD_FAILURE() << "cannot compile the XKB layout " << layout << "(" << variant << ")";
        std::abort();
    }
    return *slot;
}

KeyCodeTables Tables(const std::string& layout, const std::string& variant = "") {
    return KeyCodeTables(Layout(layout, variant), [](std::string_view key) { return u"<" + U(key) + u">"; });
}

struct UsageCase {
    const char* layout;
    uint32_t vk;
    uint32_t usage;
};

// The physical key that types a letter decides the stored usage.
TEST(XkbKeyTables, VkToUsageFollowsTheLayout) {
    const UsageCase cases[] = {
        {"us", 65, 4},    {"us", 81, 20},  {"us", 89, 28},  {"us", 90, 29},  {"us", 191, 56},
        {"us", 223, 56},  {"fr", 65, 20},  {"fr", 81, 4},   {"fr", 90, 26},  {"fr", 87, 29},
        {"fr", 77, 51},   {"fr", 188, 16}, {"fr", 223, 56}, {"fr", 191, 55}, {"fr", 50, 31},
        {"de", 89, 29},   {"de", 90, 28},  {"de", 191, 49}, {"de", 189, 56}, {"de", 186, 47},
        {"gb", 223, 53},  {"gb", 222, 49}, {"ru", 65, 4},   {"ru", 190, 55}, {"us", 162, 224},
        {"fr", 162, 224}, {"fr", 13, 40},  {"de", 123, 69},
    };
    for (const UsageCase& c : cases) {
        const UsageLookup result = Tables(c.layout).VkToUsage(c.vk);
        EXPECT_TRUE(result.found) << c.layout << " vk " << c.vk;
        EXPECT_EQ(result.usage, c.usage) << c.layout << " vk " << c.vk;
    }
}

struct NameCase {
    const char* layout;
    uint32_t usage;
    std::u16string_view text;
};

// A stored usage is shown with the character the active layout puts on that key.
TEST(XkbKeyTables, UsageNameShowsTheLayoutsCharacter) {
    const NameCase cases[] = {
        {"us", 4, u"A"},       {"us", 20, u"Q"},           {"us", 47, u"["},
        {"us", 53, u"`"},      {"us", 40, u"<key_Enter>"}, {"fr", 20, u"A"},
        {"fr", 4, u"Q"},       {"fr", 26, u"Z"},           {"fr", 51, u"M"},
        {"fr", 16, u","},      {"fr", 31, u"\u00C9"},      {"fr", 30, u"&"},
        {"fr", 47, u"^"},      {"fr", 52, u"\u00D9"},      {"fr", 56, u"!"},
        {"fr", 53, u"\u00B2"}, {"fr", 57, u"<key_Caplk>"}, {"de", 28, u"Z"},
        {"de", 29, u"Y"},      {"de", 45, u"\u00DF"},      {"de", 51, u"\u00D6"},
        {"de", 47, u"\u00DC"}, {"de", 46, u"\u00B4"},      {"de", 53, u"^"},
        {"ru", 4, u"\u0424"},  {"ru", 51, u"\u0416"},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(Tables(c.layout).UsageName(c.usage), c.text) << c.layout << " usage " << c.usage;
    }
}

struct KeyCase {
    const char* layout;
    uint32_t evdev;
    uint32_t vk;
};

// The codes Windows' own layouts give these keys; the keypad and the modifiers on any layout.
TEST(XkbKeyTables, KeysTakeWindowsCodes) {
    const KeyCase cases[] = {
        {"us", 12, 189}, {"us", 13, 187}, {"us", 26, 219}, {"us", 27, 221},  {"us", 39, 186},
        {"us", 40, 222}, {"us", 41, 192}, {"us", 43, 220}, {"us", 51, 188},  {"us", 52, 190},
        {"us", 53, 191}, {"us", 86, 226}, {"fr", 41, 222}, {"fr", 12, 219},  {"fr", 13, 187},
        {"fr", 26, 221}, {"fr", 27, 186}, {"fr", 40, 192}, {"fr", 43, 220},  {"fr", 50, 188},
        {"fr", 51, 190}, {"fr", 52, 191}, {"fr", 53, 223}, {"fr", 39, 77},   {"fr", 2, 49},
        {"fr", 11, 48},  {"de", 41, 220}, {"de", 12, 219}, {"de", 13, 221},  {"de", 26, 186},
        {"de", 27, 187}, {"de", 39, 192}, {"de", 40, 222}, {"de", 43, 191},  {"de", 53, 189},
        {"gb", 41, 223}, {"gb", 40, 192}, {"gb", 43, 222}, {"gb", 86, 220},  {"ru", 16, 81},
        {"ru", 39, 186}, {"ru", 51, 188}, {"us", 71, 103}, {"us", 82, 96},   {"us", 83, 110},
        {"us", 96, 13},  {"us", 98, 111}, {"us", 55, 106}, {"us", 42, 160},  {"us", 54, 161},
        {"us", 29, 162}, {"us", 97, 163}, {"us", 56, 164}, {"us", 100, 165}, {"fr", 100, 165},
        {"us", 125, 91}, {"us", 127, 93}, {"us", 102, 36}, {"us", 99, 44},   {"us", 119, 19},
        {"us", 87, 122}, {"us", 58, 20},
    };
    for (const KeyCase& c : cases) {
        EXPECT_EQ(Layout(c.layout).VkOfScanCode(c.evdev), c.vk) << c.layout << " key " << c.evdev;
    }
    // Side-neutral modifiers and keys Windows gives two positions come from the main block.
    EXPECT_EQ(Layout("us").ScanCodeOfVk(16), 42u);
    EXPECT_EQ(Layout("us").ScanCodeOfVk(17), 29u);
    EXPECT_EQ(Layout("us").ScanCodeOfVk(13), 28u);
    EXPECT_EQ(Layout("us").ScanCodeOfVk(36), 102u);
    EXPECT_EQ(Layout("us").ScanCodeOfVk(0), 0u);
}

// Whatever the layout, every key of the main block gets a code of its own, so that a key's code
// always leads back to that key.
TEST(XkbKeyTables, EveryLayoutRoundTripsItsCharacterKeys) {
    const std::pair<const char*, const char*> layouts[] = {
        {"us", ""}, {"us", "dvorak"}, {"fr", ""}, {"fr", "bepo"}, {"de", ""}, {"de", "neo"},
        {"gb", ""}, {"es", ""},       {"it", ""}, {"se", ""},     {"ch", ""}, {"be", ""},
        {"cz", ""}, {"tr", ""},       {"ru", ""}, {"gr", ""},     {"ca", ""},
    };
    for (const auto& [name, variant] : layouts) {
        XkbKeyboardLayout& layout = Layout(name, variant);
        std::set<uint32_t> seen;
        for (uint32_t evdev = 2; evdev <= 53; ++evdev) {
            const uint32_t vk = layout.VkOfScanCode(evdev);
            if (evdev == 14 || evdev == 15 || evdev == 28 || evdev == 29 || evdev == 42) {
                continue;  // Backspace, Tab, Enter, Ctrl and Shift keep their fixed codes
            }
            ASSERT_NE(vk, 0u) << name << "(" << variant << ") key " << evdev;
            EXPECT_TRUE(seen.insert(vk).second) << name << "(" << variant << ") code " << vk << " twice";
            EXPECT_EQ(layout.ScanCodeOfVk(vk), evdev) << name << "(" << variant << ") code " << vk;
        }
    }
}

TEST(XkbKeyTables, EnvironmentNamesTheLayout) {
    const char* saved = std::getenv("XKB_DEFAULT_LAYOUT");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("XKB_DEFAULT_LAYOUT", "fr", 1);
    auto french = XkbKeyboardLayout::FromEnvironment();
    unsetenv("XKB_DEFAULT_LAYOUT");
    auto fallback = XkbKeyboardLayout::FromEnvironment();
    if (saved != nullptr) {
        setenv("XKB_DEFAULT_LAYOUT", previous.c_str(), 1);
    }
    ASSERT_TRUE(french && fallback);
    EXPECT_EQ(french->ActiveLayoutName(), "fr");
    EXPECT_EQ(french->ScanCodeOfVk(65), 16u);
    EXPECT_EQ(fallback->ActiveLayoutName(), "us");
    EXPECT_EQ(fallback->ScanCodeOfVk(65), 30u);
}

TEST(XkbKeyTables, UnknownLayoutIsRefused) {
    EXPECT_EQ(XkbKeyboardLayout::FromNames({"", "", "no-such-layout", "", ""}), nullptr);
}

}  // namespace
}  // namespace quillon
