#pragma once
// Key codes: the bridge between the keys the desktop reports and the keys the mouse stores.
//
// The mouse stores keyboard keys as USB HID usages of the keyboard page (the physical key), while
// key presses arrive as Windows-style virtual-key codes, whose meaning depends on the active keyboard
// layout (see keysym_vk.h). KeyCodeTables holds the fixed table of keys and converts between the two:
// VkToUsage finds the usage of the physical key that produced a virtual key under the active layout,
// VkName and UsageName give display texts. Letters, digits and punctuation go through the scan code,
// so a key is stored by where it sits and shown with the character the active layout gives it.
//
// Nothing here knows the desktop: the layout is asked through KeyboardLayout, language texts come
// from an injected lookup, and the two edit filters write through EditText.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace quillon {

// One row of the key table. The scan code is 0 in every row whose usage lies outside 4..69.
struct KeyMapEntry {
    uint32_t virtualKey = 0;
    uint32_t usage = 0;
    uint32_t scanCode = 0;
};

inline constexpr std::size_t kKeyTableRows = 112;

// The key table. Lookups always take the first matching row: usage 56 has two rows (slash and the
// OEM 8 key share the scan code 53) and usage 50 has none. The last seven rows carry the program's
// own codes at or above 240, which are no keyboard usages and pass through unchanged.
std::span<const KeyMapEntry, kKeyTableRows> KeyTable();

// The program's codes for mouse buttons, accepted by UsageName beside the keyboard usages.
enum MouseButtonCode : uint32_t {
    kLeftButtonCode = 241,
    kRightButtonCode = 242,
    kMiddleButtonCode = 243,
    kBackwardButtonCode = 244,
    kForwardButtonCode = 245,
};

// The questions the key tables ask of the active keyboard layout. Scan codes are PC set-1 codes.
// Not const: a layout that follows the desktop may refresh itself when asked.
class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;

    // The scan code of the key that produces this virtual key; 0 when no key does.
    virtual uint32_t ScanCodeOfVk(uint32_t virtualKey) = 0;

    // The virtual key of the key at this scan code, telling left and right modifiers apart; 0 when
    // there is no such key.
    virtual uint32_t VkOfScanCode(uint32_t scanCode) = 0;

    // The characters the key of this virtual key types when no other key is held (a dead key gives
    // its accent); empty when it types nothing.
    virtual std::u16string KeyCharacters(uint32_t virtualKey) = 0;
};

// Resolves a language-file key to the user-visible text.
using TextLookup = std::function<std::u16string(std::string_view key)>;

struct UsageLookup {
    bool found = false;
    uint32_t usage = 0;  // 0 when not found
};

class KeyCodeTables {
public:
    // Both are used for every conversion; the layout must outlive the tables.
    KeyCodeTables(KeyboardLayout& layout, TextLookup getText);

    // The usage of the physical key that produced `virtualKey`. Keys outside the range of letters,
    // digits, punctuation and F-keys (modifiers, keypad, editing block, the program's own codes) keep
    // their row's usage without asking the layout.
    UsageLookup VkToUsage(uint32_t virtualKey) const;

    // The display text of a virtual key: a language text for named keys, else the upper-cased
    // characters the active layout types with it.
    std::u16string VkName(uint32_t virtualKey) const;

    // The display text of a usage or mouse-button code; empty for codes that have no name.
    std::u16string UsageName(uint32_t usage) const;

private:
    std::u16string Text(std::string_view key) const;

    KeyboardLayout* m_layout;
    TextLookup m_getText;
};

// An edit field whose text a filter may rewrite.
class EditText {
public:
    virtual ~EditText() = default;
    virtual void SetText(std::u16string_view text) = 0;
    virtual void SetSel(long start, long end) = 0;
};

// Keep only the digits '0'..'9' of `text` (SignedDigitFilter also every '-', wherever it stands).
// When anything was removed, the field gets the rest as its text and the caret at its end; range
// checks of the number belong to the caller.
void DigitFilter(EditText& edit, std::u16string_view text);
void SignedDigitFilter(EditText& edit, std::u16string_view text);

// Upper case of one UTF-16 unit for the display of key characters (Latin, Greek and Cyrillic
// letters; everything else unchanged).
char16_t KeyUpperCase(char16_t c);

}  // namespace quillon
