#pragma once
// Windows virtual-key codes for the keys of an X keyboard layout.
//
// The program names keys the way the mouse's Windows heritage does: a virtual-key code says what a
// key means under the active layout (the letter A, the digit 1, an OEM punctuation key), a scan
// code says where the key sits. X describes a layout as keysyms per key instead. This file turns
// one into the other, so that the keyboard-layout object and the input hook agree on every key.
// It links nothing but the standard library; keysyms are plain X keysym numbers.
//
// Keys are identified by their Linux evdev key code, which equals the PC set-1 scan code for every
// key of the main block (A = 30, Enter = 28, F11 = 87). The X keycode is the evdev code plus 8.
//
// The rule that assigns a virtual-key code to every key of a layout (VkMap::Build), in this order;
// a step never reassigns a key and never hands out a code that an earlier step gave away:
//
// 1. Keys that are not character keys (Enter, Tab, Space, the editing block, arrows, function keys,
//    the keypad, modifiers, media keys) take the fixed code of the keysym they produce unshifted
//    (VkFromKeysym). A keypad key whose NumLock level is a digit or the decimal point takes the code
//    of that level (VK_NUMPAD7 for the KP_Home/KP_7 key), because Windows names keypad keys so.
// 2. Letters: a key whose unshifted keysym is a Latin letter a..z takes that letter's code ('A' = 65
//    ...). So the AZERTY key in the US Q position is 'A', and QWERTZ swaps 'Y' and 'Z'.
// 3. Digits: the ten keys of the number row (evdev 2..11) take '1'..'9', '0' by position, whatever
//    they type unshifted: the AZERTY number row types & é " ' ( - è _ ç à and still gives '1'..'0'.
// 4. A key in one of the 26 US letter positions that is still free and types a character outside
//    ASCII keeps its US letter (Cyrillic, Greek and similar layouts name letters by position).
// 5. The remaining character keys take the VK_OEM_* punctuation codes:
//    - for layouts whose Windows assignment is fixed here (OemConvention French, German, British),
//      the code Windows' own layout gives that key position;
//    - on a layout that took any letter by position in step 4, the code the US layout gives the
//      key's position, as Windows' Cyrillic and Greek layouts do;
//    - then, for any layout, the key typing '+', ',', '-' or '.' (unshifted first, then shifted)
//      takes VK_OEM_PLUS, VK_OEM_COMMA, VK_OEM_MINUS or VK_OEM_PERIOD, which Windows keeps for these
//      characters on every layout;
//    - then a key typing other ASCII punctuation takes the code of the US key that carries that
//      character (';' and ':' VK_OEM_1, '/' VK_OEM_2, '`' VK_OEM_3, '[' VK_OEM_4, '\' VK_OEM_5,
//      ']' VK_OEM_6, '\'' VK_OEM_7), unshifted first, then shifted;
//    - then the code the US layout gives the key's position;
//    - and last the first free code of VK_OEM_1..VK_OEM_8, VK_OEM_102.
//    With this, "us" and its ASCII variants (Dvorak included) come out exactly as on Windows.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace quillon {

// Virtual-key codes this file hands out by name.
namespace vk {
inline constexpr uint32_t Shift = 16, Control = 17, Menu = 18;
inline constexpr uint32_t LeftShift = 160, RightShift = 161, LeftControl = 162, RightControl = 163,
                          LeftMenu = 164, RightMenu = 165;
inline constexpr uint32_t Oem1 = 186, OemPlus = 187, OemComma = 188, OemMinus = 189, OemPeriod = 190,
                          Oem2 = 191, Oem3 = 192, Oem4 = 219, Oem5 = 220, Oem6 = 221, Oem7 = 222, Oem8 = 223,
                          Oem102 = 226;
}  // namespace vk

// The fixed virtual-key code of a keysym that is not a layout-dependent character: control and
// editing keys, function keys F1..F24, keypad keys, modifiers, lock keys and media keys. 0 for any
// other keysym (letters, digits, punctuation, dead keys, unknown keys).
uint32_t VkFromKeysym(uint32_t keysym);

// The character a keysym types, for the keysyms whose character needs no table: Latin-1, the
// Unicode keysyms, and the dead keys, which stand for their spacing accent (dead_circumflex '^',
// dead_diaeresis U+00A8), as a dead key's name is the accent it puts on the next letter. 0 otherwise.
char32_t KeysymCharacter(uint32_t keysym);

// True for keysyms that type something (characters, dead keys); false for function, modifier and
// media keysyms and for NoSymbol.
bool IsCharacterKeysym(uint32_t keysym);

// Which Windows punctuation assignment a layout follows (rule step 5).
enum class OemConvention { Generic, French, German, British };

// The convention of an XKB layout, given by its short name and variant ("fr", "" or "nodeadkeys")
// or by the descriptive group name an X server reports ("French", "German (no dead keys)").
OemConvention OemConventionForLayout(std::string_view layout, std::string_view variant);

// One key of a layout as read from a keymap: its evdev code and the keysyms of its first two shift
// levels in the active group (for keypad keys the second level is the NumLock level).
struct LayoutKey {
    uint32_t evdev = 0;
    uint32_t keysym = 0;
    uint32_t shiftedKeysym = 0;
};

// The virtual-key code of every key of one layout, built by the rule above.
class VkMap {
public:
    static constexpr uint32_t kKeyCount = 248;  // evdev codes that fit an X keycode (evdev + 8 <= 255)

    static VkMap Build(std::span<const LayoutKey> keys, OemConvention convention);

    // The code of the key with this evdev code; 0 when the key is absent or means nothing.
    uint32_t VkOfKey(uint32_t evdev) const { return evdev < kKeyCount ? m_vkOfKey[evdev] : 0; }

    // The evdev code of the key that produces this code: the lowest such key (the main Enter before
    // the keypad's), with the side-neutral modifier codes 16, 17 and 18 taken as their left keys.
    // 0 when no key produces it.
    uint32_t KeyOfVk(uint32_t vk) const;

private:
    std::array<uint8_t, kKeyCount> m_vkOfKey{};
};

}  // namespace quillon
