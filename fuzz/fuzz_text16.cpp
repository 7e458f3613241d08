// Names arrive from files as raw bytes; the UTF-8 path is used for file names and logs.
#include "core/text16.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string text = quillon::FromUtf8(bytes);
    const std::u16string again = quillon::FromUtf8(quillon::ToUtf8(text));
    if (again != text)
        __builtin_trap();
    char16_t field[8];
    quillon::SetFieldText(field, 8, text);
    (void)quillon::CompareNoCase(quillon::FieldText(field, 8), text);
    return 0;
}
