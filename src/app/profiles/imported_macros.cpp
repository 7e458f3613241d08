#include "app/profiles/imported_macros.h"

#include <string>

#include "app/macros/macro_store.h"
#include "core/text16.h"
#include "ui/resource_manager.h"

namespace quillon {

void MacroStoreImports::AddMacrosOf(ProfileRecord& record) {
    bool added = false;
    for (std::size_t k = 0; k < kPageButtonCount; ++k) {
        ButtonSlot& slot = record.slots[k];
        if (slot.function != kFunctionMacro)
            continue;
        std::u16string wanted(FieldText(slot.macro_name.data(), slot.macro_name.size()));
        if (wanted.empty()) {
            // A copy without a name is named as the editor names a new macro.
            wanted =
                CResourceManager::GetInstance()->GetText(QStringLiteral("add_macro_text")).toStdU16String();
            const std::string number = std::to_string(m_store.Count() + 1);
            wanted.append(number.begin(), number.end());
        }
        const std::u16string name = m_store.UniqueName(wanted);
        std::unique_ptr<MacroRecord> macro = NewMacroRecord(name);
        macro->carriedRepeatCount = slot.repeat_count;
        macro->actionCount = slot.action_count;
        macro->actions = slot.actions;
        SetFieldText(slot.macro_name.data(), slot.macro_name.size(), name);
        slot.macro_index = static_cast<std::int32_t>(m_store.AppendMacro(std::move(macro)));
        added = true;
    }
    if (added)
        static_cast<void>(m_store.SaveMacroStore());
}

}  // namespace quillon
