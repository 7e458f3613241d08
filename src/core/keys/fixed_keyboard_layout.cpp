#include "core/keys/fixed_keyboard_layout.h"

#include <xkbcommon/xkbcommon-keysyms.h>

namespace quillon {
namespace {

// clang-format off
constexpr LayoutKey kUsKeys[] = {
    {1, XKB_KEY_Escape, XKB_KEY_Escape},
    {2, '1', '!'}, {3, '2', '@'}, {4, '3', '#'}, {5, '4', '$'}, {6, '5', '%'},
    {7, '6', '^'}, {8, '7', '&'}, {9, '8', '*'}, {10, '9', '('}, {11, '0', ')'},
    {12, '-', '_'}, {13, '=', '+'}, {14, XKB_KEY_BackSpace, XKB_KEY_BackSpace},
    {15, XKB_KEY_Tab, XKB_KEY_ISO_Left_Tab},
    {16, 'q', 'Q'}, {17, 'w', 'W'}, {18, 'e', 'E'}, {19, 'r', 'R'}, {20, 't', 'T'},
    {21, 'y', 'Y'}, {22, 'u', 'U'}, {23, 'i', 'I'}, {24, 'o', 'O'}, {25, 'p', 'P'},
    {26, '[', '{'}, {27, ']', '}'}, {28, XKB_KEY_Return, XKB_KEY_Return},
    {29, XKB_KEY_Control_L, XKB_KEY_Control_L},
    {30, 'a', 'A'}, {31, 's', 'S'}, {32, 'd', 'D'}, {33, 'f', 'F'}, {34, 'g', 'G'},
    {35, 'h', 'H'}, {36, 'j', 'J'}, {37, 'k', 'K'}, {38, 'l', 'L'},
    {39, ';', ':'}, {40, '\'', '"'}, {41, '`', '~'}, {42, XKB_KEY_Shift_L, XKB_KEY_Shift_L},
    {43, '\\', '|'},
    {44, 'z', 'Z'}, {45, 'x', 'X'}, {46, 'c', 'C'}, {47, 'v', 'V'}, {48, 'b', 'B'},
    {49, 'n', 'N'}, {50, 'm', 'M'}, {51, ',', '<'}, {52, '.', '>'}, {53, '/', '?'},
    {54, XKB_KEY_Shift_R, XKB_KEY_Shift_R}, {55, XKB_KEY_KP_Multiply, XKB_KEY_KP_Multiply},
    {56, XKB_KEY_Alt_L, XKB_KEY_Meta_L}, {57, XKB_KEY_space, XKB_KEY_space},
    {58, XKB_KEY_Caps_Lock, XKB_KEY_Caps_Lock},
    {59, XKB_KEY_F1, XKB_KEY_F1}, {60, XKB_KEY_F2, XKB_KEY_F2}, {61, XKB_KEY_F3, XKB_KEY_F3},
    {62, XKB_KEY_F4, XKB_KEY_F4}, {63, XKB_KEY_F5, XKB_KEY_F5}, {64, XKB_KEY_F6, XKB_KEY_F6},
    {65, XKB_KEY_F7, XKB_KEY_F7}, {66, XKB_KEY_F8, XKB_KEY_F8}, {67, XKB_KEY_F9, XKB_KEY_F9},
    {68, XKB_KEY_F10, XKB_KEY_F10}, {69, XKB_KEY_Num_Lock, XKB_KEY_Num_Lock},
    {70, XKB_KEY_Scroll_Lock, XKB_KEY_Scroll_Lock},
    {71, XKB_KEY_KP_Home, XKB_KEY_KP_7}, {72, XKB_KEY_KP_Up, XKB_KEY_KP_8},
    {73, XKB_KEY_KP_Prior, XKB_KEY_KP_9}, {74, XKB_KEY_KP_Subtract, XKB_KEY_KP_Subtract},
    {75, XKB_KEY_KP_Left, XKB_KEY_KP_4}, {76, XKB_KEY_KP_Begin, XKB_KEY_KP_5},
    {77, XKB_KEY_KP_Right, XKB_KEY_KP_6}, {78, XKB_KEY_KP_Add, XKB_KEY_KP_Add},
    {79, XKB_KEY_KP_End, XKB_KEY_KP_1}, {80, XKB_KEY_KP_Down, XKB_KEY_KP_2},
    {81, XKB_KEY_KP_Next, XKB_KEY_KP_3}, {82, XKB_KEY_KP_Insert, XKB_KEY_KP_0},
    {83, XKB_KEY_KP_Delete, XKB_KEY_KP_Decimal}, {86, '<', '>'},
    {87, XKB_KEY_F11, XKB_KEY_F11}, {88, XKB_KEY_F12, XKB_KEY_F12},
    {96, XKB_KEY_KP_Enter, XKB_KEY_KP_Enter}, {97, XKB_KEY_Control_R, XKB_KEY_Control_R},
    {98, XKB_KEY_KP_Divide, XKB_KEY_KP_Divide}, {99, XKB_KEY_Print, XKB_KEY_Sys_Req},
    {100, XKB_KEY_Alt_R, XKB_KEY_Meta_R}, {102, XKB_KEY_Home, XKB_KEY_Home},
    {103, XKB_KEY_Up, XKB_KEY_Up}, {104, XKB_KEY_Prior, XKB_KEY_Prior},
    {105, XKB_KEY_Left, XKB_KEY_Left}, {106, XKB_KEY_Right, XKB_KEY_Right},
    {107, XKB_KEY_End, XKB_KEY_End}, {108, XKB_KEY_Down, XKB_KEY_Down},
    {109, XKB_KEY_Next, XKB_KEY_Next}, {110, XKB_KEY_Insert, XKB_KEY_Insert},
    {111, XKB_KEY_Delete, XKB_KEY_Delete}, {119, XKB_KEY_Pause, XKB_KEY_Break},
    {125, XKB_KEY_Super_L, XKB_KEY_Super_L}, {126, XKB_KEY_Super_R, XKB_KEY_Super_R},
    {127, XKB_KEY_Menu, XKB_KEY_Menu},
};
// clang-format on

}  // namespace

std::span<const LayoutKey> UsLayoutKeys() {
    return kUsKeys;
}

void AppendDisplayCharacter(std::u16string& text, char32_t c) {
    if (c < 0x20 || (c >= 0x7f && c < 0xa0) || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) {
        return;
    }
    if (c >= 0x10000) {
        c -= 0x10000;
        text.push_back(static_cast<char16_t>(0xd800 + (c >> 10)));
        text.push_back(static_cast<char16_t>(0xdc00 + (c & 0x3ff)));
    } else {
        text.push_back(static_cast<char16_t>(c));
    }
}

FixedKeyboardLayout::FixedKeyboardLayout(std::span<const LayoutKey> keys, OemConvention convention)
    : m_keys(keys.begin(), keys.end()), m_map(VkMap::Build(m_keys, convention)) {}

FixedKeyboardLayout FixedKeyboardLayout::Us() {
    return FixedKeyboardLayout(UsLayoutKeys(), OemConvention::Generic);
}

std::u16string FixedKeyboardLayout::KeyCharacters(uint32_t virtualKey) {
    const uint32_t evdev = m_map.KeyOfVk(virtualKey);
    std::u16string text;
    for (const LayoutKey& key : m_keys) {
        if (evdev != 0 && key.evdev == evdev) {
            AppendDisplayCharacter(text, KeysymCharacter(key.keysym));
        }
    }
    return text;
}

}  // namespace quillon
