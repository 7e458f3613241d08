#include "core/protocol/status.h"

namespace quillon {

std::optional<StatusEvent> DecodeStatusReport(std::span<const std::uint8_t> report) {
    if (report.size() < kStatusReportMinSize || report[1] != kStatusMark)
        return std::nullopt;
    const std::uint8_t type = report[2];
    switch (type) {
    case 0x10:
    case 0x20:
    case 0x40:
    case 0x50:
        return StatusEvent{static_cast<StatusType>(type), report[3], report[4]};
    default:
        return std::nullopt;
    }
}

std::optional<StatusEvent> DecodeBleValue(std::span<const std::uint8_t> value) {
    if (value.size() < kBleValueSize || value[0] != kStatusMark)
        return std::nullopt;
    const std::uint8_t type = value[1];
    const auto word = static_cast<std::uint16_t>(value[2] | value[3] << 8);
    switch (type) {
    case 0x10:
    case 0x20:
    case 0x60:
    case 0x80:
        return StatusEvent{static_cast<StatusType>(type), word, value[3]};
    case 0x40:
    case 0x50:
    case 0x70:
        return StatusEvent{static_cast<StatusType>(type), value[2], value[3]};
    default:
        return std::nullopt;
    }
}

}  // namespace quillon
