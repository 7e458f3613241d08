// Status reports come from the mouse through the driver library with whatever length it delivers.
#include "core/protocol/status.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so that a read past the end is caught.
    const std::vector<std::uint8_t> report(data, data + size);
    const auto event = quillon::DecodeStatusReport(report);
    if (event && (size < 5 || report[1] != 0x3C))
        __builtin_trap();
    if (event && event->value > 0xFF)
        __builtin_trap();
    return 0;
}
