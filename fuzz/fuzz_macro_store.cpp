// Reads arbitrary bytes as macro.data contents and as a ".macro" file and checks that what comes out
// is always safe to use: whole records only, names that end inside their field, action counts within
// 0..190, a ".macro" taken only when it is exactly one record, and records that, written back, read
// again without a further repair.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/macros/macro_file.h"
#include "core/text16.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void CheckRecord(const quillon::MacroRecord& record) {
    using namespace quillon;
    Check(BoundedLength(record.name.data(), kMacroNameCapacity) < kMacroNameCapacity);
    Check(record.actionCount >= 0 && record.actionCount <= static_cast<int>(kMacroActionCapacity));
    // The unit count reads only the valid actions.
    Check(iTotalNum(std::span(record.actions.data(), static_cast<std::size_t>(record.actionCount))) <=
          4 * record.actionCount);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillon;
    const auto bytes = std::as_bytes(std::span(data, size));

    ParsedMacroStore store = ParseMacroStore(bytes);
    Check(store.records.size() == size / sizeof(MacroRecord));
    Check(store.bytesDropped == size % sizeof(MacroRecord));
    std::vector<std::byte> written;
    for (const auto& record : store.records) {
        CheckRecord(*record);
        const auto raw = MacroBytes(*record);
        written.insert(written.end(), raw.begin(), raw.end());
    }
    const ParsedMacroStore again = ParseMacroStore(written);
    Check(!again.Damaged() && again.records.size() == store.records.size());

    const MacroFileContents file = ParseMacroFile(bytes);
    Check((file.record != nullptr) == (size == sizeof(MacroRecord)));
    Check(file.record == nullptr || file.problem == MacroFileProblem::None);
    if (file.record)
        CheckRecord(*file.record);
    return 0;
}
