#pragma once
// The catalogue of button functions: for every function code the mouse knows, the item of the
// assignment menu that picks it and the language key of the label a button carries for it.
//
// Codes without a menu item are never produced by the program, but records read from files may
// hold them (or any other byte); their label is the key given here, or empty. The shortcut (16),
// the macro (17) and the left-button macro (25) have composed labels instead of a key.

#include <cstdint>
#include <span>
#include <string_view>

namespace quillon {

struct ButtonFunction {
    std::uint8_t code;
    std::string_view menuItem;  // empty: no menu item
    std::string_view labelKey;  // empty: no key (composed or blank label)
};

// Every catalogued code, in ascending order.
std::span<const ButtonFunction> ButtonCatalogue();

// The catalogue row of `code`, or null for a code the catalogue does not list.
const ButtonFunction* FindButtonFunction(std::uint8_t code);

// The language key of the label for `code`; empty when the label is composed or blank.
std::string_view ButtonLabelKey(std::uint8_t code);

// The code a menu item assigns, compared without regard to case; a name that matches no item
// gives the left click, as the mouse expects of an unknown choice.
std::uint8_t ButtonCodeOfMenuItem(std::string_view itemName);

}  // namespace quillon
