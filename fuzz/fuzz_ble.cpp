// BLE notification values arrive from the GATT layer with whatever length the peer sent.
#include "core/protocol/status.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> value(data, data + size);
    const auto event = quillon::DecodeBleValue(value);
    if (event && (size < 4 || value[0] != 0x3C || static_cast<std::uint8_t>(event->type) != value[1]))
        __builtin_trap();
    return 0;
}
