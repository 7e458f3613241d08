#pragma once
// The macro copies that buttons hold, and how they follow the macro store.
//
// A button that carries a macro does not point into the store: its slot holds its own copy of the
// macro's name and actions, which is what the mouse receives. After the macro editor has changed
// the store, every copy is brought back in line with it, looked up by name.

#include <cstddef>
#include <optional>

#include "core/macros/macro_record.h"
#include "core/store/profile_store.h"

namespace quillon {

struct MacroMatch {
    std::optional<std::size_t> index;  // store index of the macro of the same name (any letter case)
    bool sameActions = false;          // its action count and every action's 16 bytes equal the copy's
};

// Looks the slot's `macro_name` up in the store.
MacroMatch FindMacroForSlot(const MacroList& macros, const ButtonSlot& slot);

// Copies a macro into a button's slot: its name (cut to fit the field, the rest zeroed), its
// action count (kept within 0..190) and all 190 action entries. The slot's repeat settings, colour
// and `macro_index` are not touched.
void CopyMacroIntoSlot(ButtonSlot& slot, const MacroRecord& macro);

// Buttons whose macro copies follow the store: 1..12 (slots 0..11).
inline constexpr std::size_t kRefreshedMacroSlots = 12;

// For every profile and slots 0..11 that carry a macro (function 17, or any slot with a macro
// name): a copy whose macro is in the store takes over the macro's name, action count and actions
// (repeat settings, colour and `macro_index` stay); a copy whose macro is gone becomes the button's
// factory function with an empty slot.
struct MacroRefresh {
    bool selectedTouched = false;  // a slot of `selected` carried a macro: relabel it and send it
    bool changed = false;          // some slot of some profile changed
};
MacroRefresh RefreshMacroSlots(ProfileList& profiles, const MacroList& macros, const ProfileRecord* selected);

}  // namespace quillon
