#include "core/keys/keysym_vk.h"

#include <algorithm>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace quillon {
namespace {

struct KeysymVk {
    uint32_t keysym;
    uint8_t vk;
};

// Keys whose code does not depend on the layout. Keypad Enter reports VK_RETURN and the keypad's
// decimal key reports VK_DECIMAL whatever it types (comma on some layouts), as on Windows.
// clang-format off
constexpr KeysymVk kFixedKeys[] = {
    {XKB_KEY_BackSpace, 8},       {XKB_KEY_Tab, 9},
    {XKB_KEY_ISO_Left_Tab, 9},    {XKB_KEY_KP_Tab, 9},
    {XKB_KEY_Clear, 12},          {XKB_KEY_KP_Begin, 12},
    {XKB_KEY_Return, 13},         {XKB_KEY_KP_Enter, 13},
    {XKB_KEY_Pause, 19},          {XKB_KEY_Break, 3},
    {XKB_KEY_Caps_Lock, 20},      {XKB_KEY_Shift_Lock, 20},
    {XKB_KEY_Escape, 27},         {XKB_KEY_space, 32},
    {XKB_KEY_KP_Space, 32},       {XKB_KEY_Prior, 33},
    {XKB_KEY_KP_Prior, 33},       {XKB_KEY_Next, 34},
    {XKB_KEY_KP_Next, 34},        {XKB_KEY_End, 35},
    {XKB_KEY_KP_End, 35},         {XKB_KEY_Home, 36},
    {XKB_KEY_KP_Home, 36},        {XKB_KEY_Left, 37},
    {XKB_KEY_KP_Left, 37},        {XKB_KEY_Up, 38},
    {XKB_KEY_KP_Up, 38},          {XKB_KEY_Right, 39},
    {XKB_KEY_KP_Right, 39},       {XKB_KEY_Down, 40},
    {XKB_KEY_KP_Down, 40},        {XKB_KEY_Select, 41},
    {XKB_KEY_Execute, 43},        {XKB_KEY_Print, 44},
    {XKB_KEY_Sys_Req, 44},        {XKB_KEY_Insert, 45},
    {XKB_KEY_KP_Insert, 45},      {XKB_KEY_Delete, 46},
    {XKB_KEY_KP_Delete, 46},      {XKB_KEY_Help, 47},
    {XKB_KEY_Super_L, 91},        {XKB_KEY_Super_R, 92},
    {XKB_KEY_Menu, 93},           {XKB_KEY_XF86Sleep, 95},
    {XKB_KEY_KP_0, 96},           {XKB_KEY_KP_1, 97},
    {XKB_KEY_KP_2, 98},           {XKB_KEY_KP_3, 99},
    {XKB_KEY_KP_4, 100},          {XKB_KEY_KP_5, 101},
    {XKB_KEY_KP_6, 102},          {XKB_KEY_KP_7, 103},
    {XKB_KEY_KP_8, 104},          {XKB_KEY_KP_9, 105},
    {XKB_KEY_KP_Multiply, 106},   {XKB_KEY_KP_Add, 107},
    {XKB_KEY_KP_Separator, 110},  {XKB_KEY_KP_Subtract, 109},
    {XKB_KEY_KP_Decimal, 110},    {XKB_KEY_KP_Divide, 111},
    {XKB_KEY_Num_Lock, 144},      {XKB_KEY_Scroll_Lock, 145},
    {XKB_KEY_Shift_L, 160},       {XKB_KEY_Shift_R, 161},
    {XKB_KEY_Control_L, 162},     {XKB_KEY_Control_R, 163},
    {XKB_KEY_Alt_L, 164},         {XKB_KEY_Meta_L, 164},
    {XKB_KEY_Alt_R, 165},         {XKB_KEY_Meta_R, 165},
    {XKB_KEY_ISO_Level3_Shift, 165}, {XKB_KEY_Mode_switch, 165},
    {XKB_KEY_XF86Back, 166},      {XKB_KEY_XF86Forward, 167},
    {XKB_KEY_XF86Refresh, 168},   {XKB_KEY_XF86Reload, 168},
    {XKB_KEY_XF86Stop, 169},      {XKB_KEY_XF86Search, 170},
    {XKB_KEY_XF86Favorites, 171}, {XKB_KEY_XF86HomePage, 172},
    {XKB_KEY_XF86AudioMute, 173}, {XKB_KEY_XF86AudioLowerVolume, 174},
    {XKB_KEY_XF86AudioRaiseVolume, 175}, {XKB_KEY_XF86AudioNext, 176},
    {XKB_KEY_XF86AudioPrev, 177}, {XKB_KEY_XF86AudioStop, 178},
    {XKB_KEY_XF86AudioPlay, 179}, {XKB_KEY_XF86AudioPause, 179},
    {XKB_KEY_XF86Mail, 180},      {XKB_KEY_XF86AudioMedia, 181},
    {XKB_KEY_XF86Launch0, 182},   {XKB_KEY_XF86Launch1, 183},
    {XKB_KEY_XF86Calculator, 183},
};
// clang-format on

// The spacing accent each dead key stands for.
// clang-format off
constexpr std::pair<uint32_t, char32_t> kDeadKeys[] = {
    {XKB_KEY_dead_grave, U'`'},       {XKB_KEY_dead_acute, U'\u00B4'},  {XKB_KEY_dead_circumflex, U'^'},
    {XKB_KEY_dead_tilde, U'~'},       {XKB_KEY_dead_macron, U'\u00AF'}, {XKB_KEY_dead_breve, U'\u02D8'},
    {XKB_KEY_dead_abovedot, U'\u02D9'}, {XKB_KEY_dead_diaeresis, U'\u00A8'},
    {XKB_KEY_dead_abovering, U'\u02DA'}, {XKB_KEY_dead_doubleacute, U'\u02DD'},
    {XKB_KEY_dead_caron, U'\u02C7'},  {XKB_KEY_dead_cedilla, U'\u00B8'}, {XKB_KEY_dead_ogonek, U'\u02DB'},
    {XKB_KEY_dead_iota, U'\u037A'},   {XKB_KEY_dead_belowdot, U'.'},    {XKB_KEY_dead_stroke, U'/'},
};
// clang-format on

// Windows' punctuation codes by key position (evdev code) for the layouts whose assignment differs
// from what the generic steps would give.
struct PositionVk {
    uint8_t evdev;
    uint8_t vk;
};
// clang-format off
constexpr PositionVk kFrenchOem[] = {
    {41, vk::Oem7},     {12, vk::Oem4},      {13, vk::OemPlus},  {26, vk::Oem6},
    {27, vk::Oem1},     {40, vk::Oem3},      {43, vk::Oem5},     {50, vk::OemComma},
    {51, vk::OemPeriod}, {52, vk::Oem2},     {53, vk::Oem8},     {86, vk::Oem102},
};
constexpr PositionVk kGermanOem[] = {
    {41, vk::Oem5},     {12, vk::Oem4},      {13, vk::Oem6},     {26, vk::Oem1},
    {27, vk::OemPlus},  {39, vk::Oem3},      {40, vk::Oem7},     {43, vk::Oem2},
    {51, vk::OemComma}, {52, vk::OemPeriod}, {53, vk::OemMinus}, {86, vk::Oem102},
};
constexpr PositionVk kBritishOem[] = {
    {41, vk::Oem8},     {12, vk::OemMinus},  {13, vk::OemPlus},  {26, vk::Oem4},
    {27, vk::Oem6},     {39, vk::Oem1},      {40, vk::Oem3},     {43, vk::Oem7},
    {51, vk::OemComma}, {52, vk::OemPeriod}, {53, vk::Oem2},     {86, vk::Oem5},
};
// The US layout's punctuation keys by position.
constexpr PositionVk kUsOem[] = {
    {12, vk::OemMinus}, {13, vk::OemPlus},   {26, vk::Oem4},     {27, vk::Oem6},
    {39, vk::Oem1},     {40, vk::Oem7},      {41, vk::Oem3},     {43, vk::Oem5},
    {51, vk::OemComma}, {52, vk::OemPeriod}, {53, vk::Oem2},     {86, vk::Oem102},
};

// The US letter in each letter position, by evdev code.
constexpr PositionVk kUsLetters[] = {
    {16, 'Q'}, {17, 'W'}, {18, 'E'}, {19, 'R'}, {20, 'T'}, {21, 'Y'}, {22, 'U'}, {23, 'I'}, {24, 'O'},
    {25, 'P'}, {30, 'A'}, {31, 'S'}, {32, 'D'}, {33, 'F'}, {34, 'G'}, {35, 'H'}, {36, 'J'}, {37, 'K'},
    {38, 'L'}, {44, 'Z'}, {45, 'X'}, {46, 'C'}, {47, 'V'}, {48, 'B'}, {49, 'N'}, {50, 'M'},
};

constexpr uint8_t kOemOrder[] = {vk::Oem1, vk::OemPlus, vk::OemComma, vk::OemMinus, vk::OemPeriod,
                                 vk::Oem2, vk::Oem3,    vk::Oem4,     vk::Oem5,     vk::Oem6,
                                 vk::Oem7, vk::Oem8,    vk::Oem102};
// clang-format on

// The punctuation codes Windows keeps for these characters on every layout.
// clang-format off
uint32_t UniversalOem(char32_t c) {
    switch (c) {
    case U'+': return vk::OemPlus;
    case U',': return vk::OemComma;
    case U'-': return vk::OemMinus;
    case U'.': return vk::OemPeriod;
    default: return 0;
    }
}

// The code of the US key that carries this ASCII punctuation character, shifted or not.
uint32_t UsPunctuationOem(char32_t c) {
    switch (c) {
    case U';': case U':': return vk::Oem1;
    case U'=': return vk::OemPlus;
    case U'<': return vk::OemComma;
    case U'_': return vk::OemMinus;
    case U'>': return vk::OemPeriod;
    case U'/': case U'?': return vk::Oem2;
    case U'`': case U'~': return vk::Oem3;
    case U'[': case U'{': return vk::Oem4;
    case U'\\': case U'|': return vk::Oem5;
    case U']': case U'}': return vk::Oem6;
    case U'\'': case U'"': return vk::Oem7;
    default: return UniversalOem(c);
    }
}
// clang-format on

bool IsKeypadDigitKeysym(uint32_t keysym) {
    return (keysym >= XKB_KEY_KP_0 && keysym <= XKB_KEY_KP_9) || keysym == XKB_KEY_KP_Decimal ||
           keysym == XKB_KEY_KP_Separator;
}

// Assigns codes while keeping track of which keys and codes are taken.
class Assigner {
public:
    explicit Assigner(std::span<const LayoutKey> keys) : m_keys(keys) {}

    bool KeyFree(uint32_t evdev) const { return evdev < VkMap::kKeyCount && m_vk[evdev] == 0; }
    bool CodeFree(uint32_t code) const { return code != 0 && !m_used[code]; }

    // The key's code becomes `code` when both are free; side-specific modifiers and codes that
    // Windows gives to two keys (Enter, the keypad twins) may repeat.
    void Assign(uint32_t evdev, uint32_t code, bool codeMayRepeat) {
        if (code == 0 || code > 255 || !KeyFree(evdev) || (!codeMayRepeat && m_used[code])) {
            return;
        }
        m_vk[evdev] = static_cast<uint8_t>(code);
        m_used[code] = true;
    }

    const LayoutKey* Find(uint32_t evdev) const {
        for (const LayoutKey& key : m_keys) {
            if (key.evdev == evdev) {
                return &key;
            }
        }
        return nullptr;
    }

    // Calls `pick` for every free character key and assigns what it returns when that code is free.
    template <typename Pick> void ForFreeCharacterKeys(Pick pick) {
        for (const LayoutKey& key : m_keys) {
            if (KeyFree(key.evdev) && IsCharacterKeysym(key.keysym)) {
                Assign(key.evdev, pick(key), false);
            }
        }
    }

    const std::array<uint8_t, VkMap::kKeyCount>& Codes() const { return m_vk; }

private:
    std::span<const LayoutKey> m_keys;
    std::array<uint8_t, VkMap::kKeyCount> m_vk{};
    std::array<bool, 256> m_used{};
};

}  // namespace

uint32_t VkFromKeysym(uint32_t keysym) {
    if (keysym >= XKB_KEY_F1 && keysym <= XKB_KEY_F24) {
        return 112 + (keysym - XKB_KEY_F1);
    }
    for (const KeysymVk& entry : kFixedKeys) {
        if (entry.keysym == keysym) {
            return entry.vk;
        }
    }
    return 0;
}

char32_t KeysymCharacter(uint32_t keysym) {
    if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff)) {
        return static_cast<char32_t>(keysym);
    }
    if (keysym >= 0x01000100 && keysym <= 0x0110ffff) {
        return static_cast<char32_t>(keysym - 0x01000000);
    }
    for (const auto& [dead, accent] : kDeadKeys) {
        if (dead == keysym) {
            return accent;
        }
    }
    return 0;
}

bool IsCharacterKeysym(uint32_t keysym) {
    if (keysym == XKB_KEY_space || VkFromKeysym(keysym) != 0) {
        return false;
    }
    return (keysym >= 0x21 && keysym < 0xfe00) || (keysym >= XKB_KEY_dead_grave && keysym <= 0xfe93) ||
           (keysym >= 0x01000100 && keysym <= 0x0110ffff);
}

OemConvention OemConventionForLayout(std::string_view layout, std::string_view variant) {
    // Only the base layouts and their dead-key twins share Windows' assignment; other variants
    // (Bépo, Neo, Canadian French, ...) move punctuation around and take the generic steps.
    const bool plain = variant.empty() || variant == "nodeadkeys";
    if (plain && (layout == "fr" || layout == "French" || layout == "French (no dead keys)")) {
        return OemConvention::French;
    }
    if (plain && (layout == "de" || layout == "German" || layout == "German (no dead keys)")) {
        return OemConvention::German;
    }
    if ((layout == "gb" && variant.empty()) || layout == "English (UK)") {
        return OemConvention::British;
    }
    return OemConvention::Generic;
}

VkMap VkMap::Build(std::span<const LayoutKey> keys, OemConvention convention) {
    Assigner assigner(keys);

    // 1. Fixed keys; keypad keys by their NumLock level.
    for (const LayoutKey& key : keys) {
        const bool keypadTwin = VkFromKeysym(key.keysym) != 0 && IsKeypadDigitKeysym(key.shiftedKeysym) &&
                                key.keysym >= XKB_KEY_KP_Space && key.keysym <= XKB_KEY_KP_9;
        assigner.Assign(key.evdev, VkFromKeysym(keypadTwin ? key.shiftedKeysym : key.keysym), true);
    }
    // 2. Latin letters by the character they type.
    for (const LayoutKey& key : keys) {
        if (key.keysym >= 'a' && key.keysym <= 'z') {
            assigner.Assign(key.evdev, key.keysym - 'a' + 'A', false);
        } else if (key.keysym >= 'A' && key.keysym <= 'Z') {
            assigner.Assign(key.evdev, key.keysym, false);
        }
    }
    // 3. The number row by position.
    for (uint32_t evdev = 2; evdev <= 11; ++evdev) {
        if (const LayoutKey* key = assigner.Find(evdev); key && IsCharacterKeysym(key->keysym)) {
            assigner.Assign(evdev, evdev == 11 ? '0' : '1' + (evdev - 2), false);
        }
    }
    // 4. Letters of other scripts by their US position.
    bool lettersByPosition = false;
    for (const PositionVk& letter : kUsLetters) {
        if (const LayoutKey* key = assigner.Find(letter.evdev);
            key && IsCharacterKeysym(key->keysym) && key->keysym > 0x7e && assigner.KeyFree(letter.evdev) &&
            assigner.CodeFree(letter.vk)) {
            assigner.Assign(letter.evdev, letter.vk, false);
            lettersByPosition = true;
        }
    }
    // 5. Punctuation. Layouts that name their letters by position name punctuation by position too.
    const auto usPosition = [](const LayoutKey& key) -> uint32_t {
        for (const PositionVk& position : kUsOem) {
            if (position.evdev == key.evdev) {
                return position.vk;
            }
        }
        return 0;
    };
    std::span<const PositionVk> known;
    switch (convention) {
    case OemConvention::French:
        known = kFrenchOem;
        break;
    case OemConvention::German:
        known = kGermanOem;
        break;
    case OemConvention::British:
        known = kBritishOem;
        break;
    case OemConvention::Generic:
        break;
    }
    for (const PositionVk& position : known) {
        if (const LayoutKey* key = assigner.Find(position.evdev); key && IsCharacterKeysym(key->keysym)) {
            assigner.Assign(position.evdev, position.vk, false);
        }
    }
    if (lettersByPosition && convention == OemConvention::Generic) {
        assigner.ForFreeCharacterKeys(usPosition);
    }
    assigner.ForFreeCharacterKeys(
        [](const LayoutKey& key) { return UniversalOem(KeysymCharacter(key.keysym)); });
    assigner.ForFreeCharacterKeys(
        [](const LayoutKey& key) { return UniversalOem(KeysymCharacter(key.shiftedKeysym)); });
    assigner.ForFreeCharacterKeys(
        [](const LayoutKey& key) { return UsPunctuationOem(KeysymCharacter(key.keysym)); });
    assigner.ForFreeCharacterKeys(
        [](const LayoutKey& key) { return UsPunctuationOem(KeysymCharacter(key.shiftedKeysym)); });
    assigner.ForFreeCharacterKeys(usPosition);
    assigner.ForFreeCharacterKeys([&assigner](const LayoutKey&) -> uint32_t {
        for (uint8_t code : kOemOrder) {
            if (assigner.CodeFree(code)) {
                return code;
            }
        }
        return 0;
    });

    VkMap map;
    map.m_vkOfKey = assigner.Codes();
    return map;
}

uint32_t VkMap::KeyOfVk(uint32_t vk) const {
    switch (vk) {
    case vk::Shift:
        vk = vk::LeftShift;
        break;
    case vk::Control:
        vk = vk::LeftControl;
        break;
    case vk::Menu:
        vk = vk::LeftMenu;
        break;
    default:
        break;
    }
    if (vk == 0) {
        return 0;
    }
    for (uint32_t evdev = 1; evdev < kKeyCount; ++evdev) {
        if (m_vkOfKey[evdev] == vk) {
            return evdev;
        }
    }
    return 0;
}

}  // namespace quillon
