#include "core/macros/macro_slots.h"

#include <algorithm>
#include <cstring>

namespace quillon {

MacroMatch FindMacroForSlot(const MacroList& macros, const ButtonSlot& slot) {
    MacroMatch match;
    const std::u16string_view name = FieldText(slot.macro_name.data(), slot.macro_name.size());
    for (std::size_t i = 0; i < macros.size(); ++i) {
        const MacroRecord& macro = *macros[i];
        if (!EqualNoCase(LeadingName(macro), name))
            continue;
        match.index = i;
        const auto count =
            static_cast<std::size_t>(std::clamp(macro.actionCount, 0, int{kMacroActionCapacity}));
        match.sameActions =
            count == slot.action_count &&
            std::memcmp(macro.actions.data(), slot.actions.data(), count * sizeof(MacroAction)) == 0;
        return match;
    }
    return match;
}

void CopyMacroIntoSlot(ButtonSlot& slot, const MacroRecord& macro) {
    slot.action_count =
        static_cast<std::uint16_t>(std::clamp(macro.actionCount, 0, int{kMacroActionCapacity}));
    SetFieldText(slot.macro_name.data(), slot.macro_name.size(), LeadingName(macro));
    slot.actions = macro.actions;
}

MacroRefresh RefreshMacroSlots(ProfileList& profiles, const MacroList& macros,
                               const ProfileRecord* selected) {
    MacroRefresh refresh;
    for (auto& profile : profiles) {
        for (std::size_t k = 0; k < kRefreshedMacroSlots; ++k) {
            ButtonSlot& slot = profile->slots[k];
            const bool named = slot.macro_name[0] != u'\0';
            if (slot.function != kFunctionMacro && !named)
                continue;
            if (profile.get() == selected)
                refresh.selectedTouched = true;
            const ButtonSlot before = slot;
            const MacroMatch match = FindMacroForSlot(macros, slot);
            if (!match.index) {
                std::memset(&slot, 0, sizeof slot);
                slot.function = kDefaultButtonFunctions[k];
                slot.macro_index = -1;
            } else {
                CopyMacroIntoSlot(slot, *macros[*match.index]);
            }
            if (std::memcmp(&before, &slot, sizeof slot) != 0)
                refresh.changed = true;
        }
    }
    return refresh;
}

}  // namespace quillon
