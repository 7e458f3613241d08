#include "core/keys/key_tables.h"

#include <optional>
#include <utility>

namespace quillon {
namespace {

// clang-format off
constexpr std::array<KeyMapEntry, kKeyTableRows> kKeyTable = {{
    // Letters A..Z: virtual keys 65..90, usages 4..29, scan codes by position.
    {65, 4, 30}, {66, 5, 48}, {67, 6, 46}, {68, 7, 32}, {69, 8, 18}, {70, 9, 33}, {71, 10, 34},
    {72, 11, 35}, {73, 12, 23}, {74, 13, 36}, {75, 14, 37}, {76, 15, 38}, {77, 16, 50}, {78, 17, 49},
    {79, 18, 24}, {80, 19, 25}, {81, 20, 16}, {82, 21, 19}, {83, 22, 31}, {84, 23, 20}, {85, 24, 22},
    {86, 25, 47}, {87, 26, 17}, {88, 27, 45}, {89, 28, 21}, {90, 29, 44},
    // Digits 1..9, 0.
    {49, 30, 2}, {50, 31, 3}, {51, 32, 4}, {52, 33, 5}, {53, 34, 6}, {54, 35, 7}, {55, 36, 8},
    {56, 37, 9}, {57, 38, 10}, {48, 39, 11},
    // Enter, Esc, Backspace, Tab, Space.
    {13, 40, 28}, {27, 41, 1}, {8, 42, 14}, {9, 43, 15}, {32, 44, 57},
    // Punctuation: minus, equals, brackets, backslash, semicolon, apostrophe, grave, comma, full stop,
    // slash and the OEM 8 key (which shares the slash's position and usage).
    {189, 45, 12}, {187, 46, 13}, {219, 47, 26}, {221, 48, 27}, {220, 49, 43}, {186, 51, 39},
    {222, 52, 40}, {192, 53, 41}, {188, 54, 51}, {190, 55, 52}, {191, 56, 53}, {223, 56, 53},
    // Caps Lock, F1..F12.
    {20, 57, 58}, {112, 58, 59}, {113, 59, 60}, {114, 60, 61}, {115, 61, 62}, {116, 62, 63},
    {117, 63, 64}, {118, 64, 65}, {119, 65, 66}, {120, 66, 67}, {121, 67, 68}, {122, 68, 87},
    {123, 69, 88},
    // Print Screen, Scroll Lock, Pause, Insert, Home, Page Up, Delete, End, Page Down, arrows.
    {44, 70, 0}, {145, 71, 0}, {19, 72, 0}, {45, 73, 0}, {36, 74, 0}, {33, 75, 0}, {46, 76, 0},
    {35, 77, 0}, {34, 78, 0}, {39, 79, 0}, {37, 80, 0}, {40, 81, 0}, {38, 82, 0},
    // Num Lock and the keypad; keypad Enter is the separator key.
    {144, 83, 0}, {111, 84, 0}, {106, 85, 0}, {109, 86, 0}, {107, 87, 0}, {108, 88, 0},
    {97, 89, 0}, {98, 90, 0}, {99, 91, 0}, {100, 92, 0}, {101, 93, 0}, {103, 95, 0}, {102, 94, 0},
    {104, 96, 0}, {105, 97, 0}, {96, 98, 0}, {110, 99, 0},
    // Application key and the eight modifiers.
    {93, 101, 0}, {162, 224, 0}, {160, 225, 0}, {164, 226, 0}, {91, 227, 0}, {163, 228, 0},
    {161, 229, 0}, {165, 230, 0}, {92, 231, 0},
    // The program's own codes.
    {240, 240, 0}, {241, 241, 0}, {242, 242, 0}, {243, 243, 0}, {244, 244, 0}, {247, 247, 0},
    {248, 248, 0},
}};
// clang-format on

static_assert(kKeyTable.size() == 112);
static_assert(kKeyTable[52].virtualKey == 223 && kKeyTable[52].usage == 56 && kKeyTable[52].scanCode == 53);
static_assert(kKeyTable[91].virtualKey == 102 && kKeyTable[91].usage == 94);
static_assert(kKeyTable[111].virtualKey == 248);

const KeyMapEntry* FirstRowWithVk(uint32_t virtualKey) {
    for (const KeyMapEntry& row : kKeyTable) {
        if (row.virtualKey == virtualKey) {
            return &row;
        }
    }
    return nullptr;
}

const KeyMapEntry* FirstRowWithUsage(uint32_t usage) {
    for (const KeyMapEntry& row : kKeyTable) {
        if (row.usage == usage) {
            return &row;
        }
    }
    return nullptr;
}

const KeyMapEntry* FirstRowWithScanCode(uint32_t scanCode) {
    for (const KeyMapEntry& row : kKeyTable) {
        if (row.scanCode == scanCode) {
            return &row;
        }
    }
    return nullptr;
}

std::string Numbered(std::string_view prefix, uint32_t number) {
    return std::string(prefix) + std::to_string(number);
}

// clang-format off
// The language key of a virtual key that has a fixed name.
std::optional<std::string> VkTextKey(uint32_t virtualKey) {
    if (virtualKey >= 96 && virtualKey <= 105) {
        return Numbered("key_Num_", virtualKey - 96);
    }
    if (virtualKey >= 112 && virtualKey <= 123) {
        return Numbered("key_F", virtualKey - 111);
    }
    switch (virtualKey) {
    case 8: return "key_BackSpace";
    case 9: return "key_Tab";
    case 13: return "key_Enter";
    case 16: case 160: return "key_LShift";
    case 17: case 162: return "key_LCtrl";
    case 18: case 164: return "key_LAlt";
    case 19: return "key_Pause";
    case 20: case 240: return "key_Caplk";
    case 27: return "key_Esc";
    case 32: return "key_Space";
    case 33: return "key_Page Up";
    case 34: return "key_Page Down";
    case 35: return "key_End";
    case 36: return "key_Home";
    case 37: return "key_Left";
    case 38: return "key_Up";
    case 39: return "key_Right";
    case 40: return "key_Down";
    case 42: case 44: return "key_Print Scr";
    case 45: return "key_Insert";
    case 46: return "key_Delete";
    case 91: return "key_LWin";
    case 92: return "key_RWin";
    case 93: return "key_APP";
    case 106: return "key_Num_*";
    case 107: return "key_Num_+";
    case 108: return "key_Num_Enter";
    case 109: return "key_Num_-";
    case 110: return "key_Num_.";
    case 111: return "key_Num_/";
    case 144: return "key_Num Lock";
    case 145: return "key_Scroll Lock";
    case 161: return "key_RShift";
    case 163: return "key_RCtrl";
    case 165: return "key_RAlt";
    default: return std::nullopt;
    }
}
// clang-format on

// clang-format off
// The language key of a usage or mouse-button code outside the layout-dependent range; nullopt
// for codes that have no name.
std::optional<std::string> UsageTextKey(uint32_t usage) {
    if (usage >= 58 && usage <= 69) {
        return Numbered("key_F", usage - 57);
    }
    if (usage >= 89 && usage <= 97) {
        return Numbered("key_Num_", usage - 88);
    }
    switch (usage) {
    case 70: return "key_Print Scr";
    case 71: return "key_Scroll Lock";
    case 72: return "key_Pause";
    case 73: return "key_Insert";
    case 74: return "key_Home";
    case 75: return "key_Page Up";
    case 76: return "key_Delete";
    case 77: return "key_End";
    case 78: return "key_Page Down";
    case 79: return "key_Right";
    case 80: return "key_Left";
    case 81: return "key_Down";
    case 82: return "key_Up";
    case 83: return "key_Num Lock";
    case 84: return "key_Num_/";
    case 85: return "key_Num_*";
    case 86: return "key_Num_-";
    case 87: return "key_Num_+";
    case 88: return "key_Num_Enter";
    case 98: return "key_Num_0";
    case 99: return "key_Num_.";
    case 100: return "key_\\";
    case 101: return "key_APP";
    // The three keys beyond the Application key have an empty language key: their text is whatever
    // the language file gives the empty key.
    case 102: case 103: case 104: return "";
    case 130: return "Sleep";
    case 136: return "Kana/Roma";
    case 221: return "`";
    case 224: return "key_LCtrl";
    case 225: return "key_LShift";
    case 226: return "key_LAlt";
    case 227: return "key_LWin";
    case 228: return "key_RCtrl";
    case 229: return "key_RShift";
    case 230: return "key_RAlt";
    case 231: return "key_RWin";
    case kLeftButtonCode: return "L_Button";
    case kRightButtonCode: return "R_Button";
    case kMiddleButtonCode: return "M_Button";
    case kBackwardButtonCode: return "Backward_Button";
    case kForwardButtonCode: return "Forward_Button";
    default: return std::nullopt;
    }
}
// clang-format on

enum class Sign { Dropped, Kept };

void FilterDigits(EditText& edit, std::u16string_view text, Sign sign) {
    std::u16string kept;
    kept.reserve(text.size());
    for (char16_t c : text) {
        if ((c >= u'0' && c <= u'9') || (sign == Sign::Kept && c == u'-')) {
            kept.push_back(c);
        }
    }
    if (kept.size() == text.size()) {
        return;
    }
    edit.SetText(kept);
    const long end = static_cast<long>(kept.size());
    edit.SetSel(end, end);
}

}  // namespace

std::span<const KeyMapEntry, kKeyTableRows> KeyTable() {
    return kKeyTable;
}

char16_t KeyUpperCase(char16_t c) {
    const auto shifted = [](char16_t ch, int by) { return static_cast<char16_t>(ch + by); };
    if (c >= u'a' && c <= u'z') {
        return shifted(c, -32);
    }
    if (c < 0xE0) {
        return c;
    }
    if (c <= 0xFE) {
        return c == 0xF7 ? c : shifted(c, -32);  // the division sign sits among the Latin-1 letters
    }
    if (c == 0xFF) {
        return 0x178;
    }
    // Latin Extended-A pairs capital and small letters side by side; the capital comes first
    // except in the runs 0x139..0x148 and 0x179..0x17E, where it is the odd one.
    if (c == 0x131) {
        return u'I';  // dotless i
    }
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
        return (c & 1) ? shifted(c, -1) : c;
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
        return (c & 1) ? c : shifted(c, -1);
    }
    if (c == 0x3C2) {
        return 0x3A3;  // final sigma
    }
    if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB) || (c >= 0x430 && c <= 0x44F)) {
        return shifted(c, -32);
    }
    if (c >= 0x450 && c <= 0x45F) {
        return shifted(c, -80);
    }
    return c;
}

KeyCodeTables::KeyCodeTables(KeyboardLayout& layout, TextLookup getText)
    : m_layout(&layout), m_getText(std::move(getText)) {}

std::u16string KeyCodeTables::Text(std::string_view key) const {
    return m_getText ? m_getText(key) : std::u16string();
}

UsageLookup KeyCodeTables::VkToUsage(uint32_t virtualKey) const {
    const KeyMapEntry* row = FirstRowWithVk(virtualKey);
    if (row == nullptr) {
        return {};
    }
    uint32_t usage = row->usage;
    if (usage < 4 || usage > 69) {
        return {true, usage};
    }
    // The key that produced the virtual key under the active layout decides the usage: on AZERTY the
    // letter A comes from the key in the Q position, which the mouse must store as Q's usage.
    // A layout without such a key answers 0; the row's own usage stands then, because the first
    // row with scan code 0 is Print Screen, which the user never pressed.
    const uint32_t scanCode = m_layout->ScanCodeOfVk(virtualKey);
    if (scanCode == 0) {
        return {true, usage};
    }
    if (const KeyMapEntry* byPosition = FirstRowWithScanCode(scanCode)) {
        usage = byPosition->usage;
    }
    return {true, usage};
}

std::u16string KeyCodeTables::VkName(uint32_t virtualKey) const {
    if (const auto key = VkTextKey(virtualKey)) {
        return Text(*key);
    }
    std::u16string text = m_layout->KeyCharacters(virtualKey);
    for (char16_t& c : text) {
        c = KeyUpperCase(c);
    }
    return text;
}

std::u16string KeyCodeTables::UsageName(uint32_t usage) const {
    if ((usage >= 4 && usage <= 57) || (usage >= 232 && usage <= 239)) {
        const KeyMapEntry* row = FirstRowWithUsage(usage);
        if (row == nullptr || usage > 57) {
            return {};
        }
        return VkName(m_layout->VkOfScanCode(row->scanCode));
    }
    if (const auto key = UsageTextKey(usage)) {
        return Text(*key);
    }
    return {};
}

void DigitFilter(EditText& edit, std::u16string_view text) {
    FilterDigits(edit, text, Sign::Dropped);
}

void SignedDigitFilter(EditText& edit, std::u16string_view text) {
    FilterDigits(edit, text, Sign::Kept);
}

}  // namespace quillon
