#pragma once
// A macro: a named list of at most 190 timed input actions, kept as one flat 3,096-byte block.
//
// The block is the element of the macro store, one record of its file "ms_1/macro.data" and the
// whole content of a ".macro" export file, written byte for byte as it is held in memory: the name
// (24 UTF-16 units, NUL-terminated), a repeat count that only profile imports fill in, the number
// of valid actions and room for 190 `MacroAction`s in the layout the button copies share.
//
// The mouse's macro memory is counted in units (one 2-byte item of a macro frame): a press or a
// release costs 1, a movement 3, and a delay of 128 ms or more 1 more. A macro is storable only
// while its total (`iTotalNum`) is at most 191.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/records/profile_record.h"
#include "core/text16.h"

namespace quillon {

struct MacroRecord {
    std::array<char16_t, kMacroNameCapacity> name;
    std::int32_t carriedRepeatCount;  // set by a profile import; nothing reads it
    std::int32_t actionCount;         // valid entries of `actions`, 0..190
    std::array<MacroAction, kMacroActionCapacity> actions;
};

static_assert(std::is_trivially_copyable_v<MacroRecord> && std::is_standard_layout_v<MacroRecord>);
static_assert(sizeof(MacroRecord) == 3096);
static_assert(offsetof(MacroRecord, name) == 0);
static_assert(offsetof(MacroRecord, carriedRepeatCount) == 48);
static_assert(offsetof(MacroRecord, actionCount) == 52);
static_assert(offsetof(MacroRecord, actions) == 56);
static_assert(sizeof(MacroRecord::actions) == 3040);

// The macros in store order; each record is a heap block of its own, so a reference to one stays
// valid while others are added or removed.
using MacroList = std::vector<std::unique_ptr<MacroRecord>>;

// Longest macro name, in UTF-16 units, that fits the name field with its terminator.
inline constexpr std::size_t kMacroNameMaxLength = kMacroNameCapacity - 1;

// Largest size in units of a macro the mouse can hold.
inline constexpr int kMacroUnitLimit = 191;

// Delays the editor keeps actions within.
inline constexpr std::uint16_t kMacroDelayMax = 25000;

// The name at the start of a macro record, bounded by its field (see record_names.h).
inline std::u16string_view LeadingName(const MacroRecord& record) {
    return FieldText(record.name.data(), record.name.size());
}

// Size in device units of a list of actions.
int iTotalNum(std::span<const MacroAction> actions);
// Units of one action.
int ActionUnits(const MacroAction& action);

// A new record: all zero, then the name (cut to 23 units).
std::unique_ptr<MacroRecord> NewMacroRecord(std::u16string_view name);

// Makes a record read from outside safe to use: the name ends inside its field and the action count
// lies within 0..190. True when anything had to be changed.
bool SanitiseMacro(MacroRecord& record);

// The raw bytes of a record, as written to and read from files.
inline std::span<const std::byte, sizeof(MacroRecord)> MacroBytes(const MacroRecord& record) {
    return std::as_bytes(std::span<const MacroRecord, 1>(&record, 1));
}
inline std::span<std::byte, sizeof(MacroRecord)> MacroBytes(MacroRecord& record) {
    return std::as_writable_bytes(std::span<MacroRecord, 1>(&record, 1));
}

}  // namespace quillon
