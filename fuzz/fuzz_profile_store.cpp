// Loads arbitrary pro.data contents and checks that the store always hands the page a usable list:
// at least one record, a selected index inside it, bounded names and macro counts, and a file that
// loads cleanly once it has been repaired.
//
// Whole records are 101,536 bytes, far more than a fuzzer likes to mutate, so inputs longer than
// four bytes are spread over a file: bytes 0..3 are the selected index, byte 4 chooses whether the
// record bytes that follow are padded with zeros to whole records (odd) or left as they are (even),
// and the reserved area of the header stays zero. Inputs of four bytes or fewer are the file itself.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/text16.h"
#include "profiles/profile_store.h"

namespace {

const std::filesystem::path& Folder() {
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        return std::filesystem::path(pattern);
    }();
    return folder;
}

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillon;
    std::vector<std::uint8_t> file(data, data + std::min<std::size_t>(size, 4));
    if (size > 4) {
        file.resize(sizeof(StoreHeader), 0);
        file.insert(file.end(), data + 5, data + size);
        if (data[4] & 1) {
            const std::size_t records = (size - 5 + sizeof(ProfileRecord) - 1) / sizeof(ProfileRecord);
            file.resize(sizeof(StoreHeader) + records * sizeof(ProfileRecord), 0);
        }
    }
    std::filesystem::remove_all(Folder() / "Data");
    std::filesystem::create_directories(Folder() / "Data" / "ms_1");
    ProfileStore store(Folder() / "Data");
    if (std::FILE* out = std::fopen(store.FilePath().c_str(), "wb")) {
        std::fwrite(file.data(), 1, file.size(), out);
        std::fclose(out);
    }

    ProfileList list;
    auto header = std::make_unique<StoreHeader>();
    store.Load(list, *header, u"Profile");
    Check(!list.empty());
    Check(header->selected >= 0 && static_cast<std::size_t>(header->selected) < list.size());
    for (const auto& record : list) {
        Check(BoundedLength(record->profile_name.data(), kProfileNameCapacity) < kProfileNameCapacity);
        for (const ButtonSlot& slot : record->slots) {
            Check(slot.action_count <= kMacroActionCapacity);
            Check(BoundedLength(slot.macro_name.data(), kMacroNameCapacity) < kMacroNameCapacity);
        }
    }

    // Whatever was repaired is whole now and loads without a further repair.
    store.Save(list, *header);
    ProfileList again;
    const LoadReport report = store.Load(again, *header, u"Profile");
    Check(report.outcome == LoadOutcome::Loaded && again.size() == list.size());
    return 0;
}
