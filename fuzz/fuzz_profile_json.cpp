// Readable profile files come from users and scripts: whatever the text, reading it either refuses
// with a message or gives a record whose file reads back to the very same record.
#include "core/records/profile_json.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto record = std::make_unique<quillon::ProfileRecord>();
    quillon::CreateProfile(*record, u"fuzz");
    const auto result = quillon::ProfileFromJson(text, *record);
    if (!result.ok) {
        if (result.error.empty())
            __builtin_trap();
        return 0;
    }
    const std::string json = quillon::ProfileToJson(*record);
    auto back = std::make_unique<quillon::ProfileRecord>();
    if (!quillon::ProfileFromJson(json, *back).ok ||
        std::memcmp(record.get(), back.get(), sizeof(quillon::ProfileRecord)) != 0 ||
        quillon::ProfileToJson(*back) != json)
        __builtin_trap();
    return 0;
}
