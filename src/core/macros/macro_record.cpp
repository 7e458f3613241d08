#include "core/macros/macro_record.h"

#include <algorithm>

namespace quillon {

int ActionUnits(const MacroAction& action) {
    // A movement is three items (pause and marker, x, y); a press or release one (pause, code). A
    // delay the first item cannot carry adds an item with its hundreds.
    const int items = action.kind == kActionMove ? 3 : 1;
    return action.delayMs >= 128 ? items + 1 : items;
}

int iTotalNum(std::span<const MacroAction> actions) {
    int total = 0;
    for (const MacroAction& action : actions)
        total += ActionUnits(action);
    return total;
}

std::unique_ptr<MacroRecord> NewMacroRecord(std::u16string_view name) {
    auto record = std::make_unique<MacroRecord>();
    SetFieldText(record->name.data(), record->name.size(), name);
    return record;
}

bool SanitiseMacro(MacroRecord& record) {
    bool changed = false;
    if (BoundedLength(record.name.data(), record.name.size()) >= record.name.size()) {
        TerminateField(record.name.data(), record.name.size());
        changed = true;
    }
    const int count = std::clamp(record.actionCount, 0, static_cast<int>(kMacroActionCapacity));
    if (count != record.actionCount) {
        record.actionCount = count;
        changed = true;
    }
    return changed;
}

}  // namespace quillon
