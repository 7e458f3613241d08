#pragma once
// The desktop's keyboard layout, read through libxkbcommon.
//
// On X11 the layout is the one the X server has active, and it is followed while the program runs:
// every query first takes in the server's keyboard notifications, so a `setxkbmap fr` or a switch to
// another group shows in the next key name. Without an X server the layout is the one the
// XKB_DEFAULT_* environment variables name, else "us". Tests create fixed layouts by name.

#include "core/keys/key_tables.h"

#include <memory>
#include <string>

namespace quillon {

struct XkbLayoutNames {
    std::string rules;  // empty: the system's default rules
    std::string model;
    std::string layout;  // "us", "fr", "de", or a list "us,fr" whose first entry is active
    std::string variant;
    std::string options;
};

class XkbKeyboardLayout final : public KeyboardLayout {
public:
    // A fixed layout; nullptr when the keymap cannot be compiled (unknown name, no XKB data).
    static std::unique_ptr<XkbKeyboardLayout> FromNames(const XkbLayoutNames& names);
    // The layout named by XKB_DEFAULT_RULES, _MODEL, _LAYOUT, _VARIANT and _OPTIONS, else "us".
    static std::unique_ptr<XkbKeyboardLayout> FromEnvironment();
    // The X server's active layout, followed while it changes; nullptr when no X server with the
    // keyboard extension can be reached. `display` as for XOpenDisplay (nullptr: $DISPLAY).
    static std::unique_ptr<XkbKeyboardLayout> FromX11(const char* display = nullptr);

    ~XkbKeyboardLayout() override;
    XkbKeyboardLayout(const XkbKeyboardLayout&) = delete;
    XkbKeyboardLayout& operator=(const XkbKeyboardLayout&) = delete;

    uint32_t ScanCodeOfVk(uint32_t virtualKey) override;
    uint32_t VkOfScanCode(uint32_t scanCode) override;
    std::u16string KeyCharacters(uint32_t virtualKey) override;

    // The short name of the active layout ("fr") when known, else the keymap's descriptive name
    // ("French"); for diagnostics.
    std::string ActiveLayoutName();

private:
    struct Impl;
    explicit XkbKeyboardLayout(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m;
};

// The layout the program uses: the X server's when one is reachable, else the environment's, else
// "us"; when no keymap can be compiled at all, the built-in US layout. Never null.
std::unique_ptr<KeyboardLayout> CreateDesktopKeyboardLayout();
// The same layout, made when it is first asked something: a start that shows no key name does not
// reach for the X server's keymap (about 0.5 ms of the UI thread).
std::unique_ptr<KeyboardLayout> CreateDesktopKeyboardLayoutOnFirstUse();

}  // namespace quillon
