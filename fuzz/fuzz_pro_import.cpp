// Imports arbitrary ".pro" contents into a small profile list and checks that whatever is admitted
// is safe for the page and the mouse: a terminated name that no other profile has, macro copies
// that claim no more actions than they hold, every setting in its range (a second repair finds
// nothing to do), and frames that encode without reading past the record.
//
// A whole record is 101,536 bytes, far more than a fuzzer likes to mutate. The first byte chooses
// how the rest is used: even, the rest is the file as it is (only an exact record passes); odd, the
// rest is laid over the start of a factory-default record (the settings header, then the button
// slots), which is then read back as a file of the right size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "core/protocol/frames.h"
#include "core/store/profile_file.h"
#include "core/store/record_names.h"
#include "core/store/record_ranges.h"
#include "core/text16.h"

namespace {

using namespace quillon;

const ProfileList& ExistingProfiles() {
    static const ProfileList list = [] {
        ProfileList profiles;
        for (std::u16string_view name : {u"Profile 1", u"Work", u"Work_1"}) {
            auto record = std::make_unique<ProfileRecord>();
            CreateProfile(*record, name);
            profiles.push_back(std::move(record));
        }
        return profiles;
    }();
    return list;
}

void Check(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const auto input = std::as_bytes(std::span(data + 1, size - 1));
    std::vector<std::byte> file;
    if ((data[0] & 1) == 0) {
        file.assign(input.begin(), input.end());
    } else {
        ProfileRecord base;
        CreateProfile(base, u"Imported");
        const auto bytes = RecordBytes(base);
        file.assign(bytes.begin(), bytes.end());
        std::memcpy(file.data(), input.data(), std::min(input.size(), file.size()));
    }

    std::unique_ptr<ProfileRecord> record = ParseProfileFile(file);
    Check((record != nullptr) == (file.size() == kProfileFileSize));
    if (!record)
        return 0;

    const ProfileList& list = ExistingProfiles();
    AdmitImportedProfile(*record, list, u"Imported");

    const std::u16string_view name = LeadingName(*record);
    Check(name.size() < kProfileNameCapacity);
    Check(!name.empty());
    Check(!NameExists(list, name));
    Check(KeepFieldsInRange(*record) == 0);
    Check(record->dpi_step_enabled[static_cast<std::size_t>(record->dpi_step)] == 1);
    for (const ButtonSlot& slot : record->slots) {
        Check(slot.action_count <= kMacroActionCapacity);
        Check(BoundedLength(slot.macro_name.data(), slot.macro_name.size()) < kMacroNameCapacity);
    }

    // The lighting byte carries the effect in its high nibble only.
    const Frame lighting = LightingFrame(*record);
    Check(lighting.bytes[3] == static_cast<std::uint8_t>(record->light_effect * 16));
    PerformanceFrame(*record);
    PollingRateFrame(*record);
    KeyMapFrame(*record);
    for (std::size_t k = 0; k < kPageButtonCount; ++k) {
        std::size_t start = 0;
        for (int chunks = 0; chunks < 64; ++chunks) {
            const MacroChunk chunk = MacroFrame(record->slots[k], MacroBaseSlot(k), start);
            if (!chunk.continues)
                break;
            Check(chunk.nextStart > start);
            start = chunk.nextStart;
        }
    }
    return 0;
}
