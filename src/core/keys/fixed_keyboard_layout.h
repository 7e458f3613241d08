#pragma once
// A keyboard layout given as a fixed list of keys.
//
// The desktop's layout comes from XKB (keyboard_layout_xkb.h); this one answers from a key list held
// in memory. It is the layout of last resort when no keymap can be compiled at all (no XKB data
// installed), and it lets the key tables be exercised without a desktop.

#include "core/keys/key_tables.h"
#include "core/keys/keysym_vk.h"

#include <span>
#include <vector>

namespace quillon {

class FixedKeyboardLayout final : public KeyboardLayout {
public:
    FixedKeyboardLayout(std::span<const LayoutKey> keys, OemConvention convention);

    // The US layout of a PC keyboard.
    static FixedKeyboardLayout Us();

    uint32_t ScanCodeOfVk(uint32_t virtualKey) override { return m_map.KeyOfVk(virtualKey); }
    uint32_t VkOfScanCode(uint32_t scanCode) override { return m_map.VkOfKey(scanCode); }
    std::u16string KeyCharacters(uint32_t virtualKey) override;

private:
    std::vector<LayoutKey> m_keys;
    VkMap m_map;
};

// The keys of the US layout on a PC keyboard (main block, editing block, keypad).
std::span<const LayoutKey> UsLayoutKeys();

// Appends a character as UTF-16, leaving out control characters, which are no display text.
void AppendDisplayCharacter(std::u16string& text, char32_t c);

}  // namespace quillon
