#pragma once
// Decoding what the mouse tells the program on its own: status reports on the wired and 2.4 GHz
// links, and 4-byte notification values on Bluetooth LE.
//
// Both arrive from outside the program, so the decoders take any number of bytes: a report or a
// value shorter than its fields, one without the 0x3C status mark, or one of a type the mouse does
// not send on that link gives no event, and nothing past the end of the bytes is ever read. Range
// checks on the value (stage 1..8, level 1..100, ...) belong to whoever acts on the event.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quillon {

inline constexpr std::uint8_t kStatusMark = 0x3C;

enum class StatusType : std::uint8_t {
    DpiStage = 0x10,      // value: current stage 1..8
    PollingRate = 0x20,   // HID: the one-bit polling code; BLE: the polling index 1..8
    Power = 0x40,         // value: 2 charge complete, 3 charging, else on battery with `level`
    Flag = 0x50,          // value: the flag byte
    BatteryValue = 0x60,  // BLE only: a value 1..10 kept as the battery level
    LightEffect = 0x70,   // BLE only: the lighting effect in bits 4..7 of the value
    Mode = 0x80,          // BLE only: a value 1..5 without a field of its own
};

struct StatusEvent {
    StatusType type;
    std::uint16_t value;
    std::uint8_t level;  // HID: byte 4 (meaningful for power reports); BLE: byte 3
};

// Size a status report must have; byte 0 (the report identifier) is not examined.
inline constexpr std::size_t kStatusReportMinSize = 5;
inline constexpr std::size_t kBleValueSize = 4;

// A wired or 2.4 GHz status report: 1 = mark 0x3C, 2 = type (0x10, 0x20, 0x40 or 0x50), 3 = value,
// 4 = battery level.
std::optional<StatusEvent> DecodeStatusReport(std::span<const std::uint8_t> report);

// A BLE notification value: 0 = mark 0x3C, 1 = type, 2 = value, 3 = level. For types 0x10, 0x20,
// 0x60 and 0x80 the value is the little-endian word of bytes 2 and 3; for the others it is byte 2.
std::optional<StatusEvent> DecodeBleValue(std::span<const std::uint8_t> value);

}  // namespace quillon
