#pragma once
// The frames the program sends to the mouse, and the 64-byte output reports that carry them.
//
// Everything the program tells the mouse is a *frame*: a short command payload built from the
// selected profile record. `WrapReports` puts a frame into one 64-byte HID output report (two for
// a macro frame) with its count byte, packet index and checksum; the apply writes those reports.
// The mouse never answers a frame, so nothing here reads anything back.
//
// Every builder writes into a fixed buffer and returns it by value: no allocation, no I/O. The
// payload layout of every frame is:
//   byte 0  command (kCommand*)
//   byte 1  payload length
//   byte 2  0x01, except in a macro frame, where it is the device macro slot of the chunk
// Both checksums are 16-bit sums of unsigned bytes, wrapping, stored high byte first.

#include "core/records/profile_record.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quillon {

inline constexpr std::size_t kReportSize = 64;
inline constexpr std::uint8_t kOutputReportId = 0x04;
using Report = std::array<std::uint8_t, kReportSize>;

inline constexpr std::uint8_t kCommandPerformance = 0x04;
inline constexpr std::uint8_t kCommandLighting = 0x05;
inline constexpr std::uint8_t kCommandPollingRate = 0x06;
inline constexpr std::uint8_t kCommandKeyMap = 0x08;
inline constexpr std::uint8_t kCommandMacro = 0x09;
inline constexpr std::uint8_t kCommandFullWrite = 0x0C;

inline constexpr std::size_t kPerformanceFrameSize = 56;
inline constexpr std::size_t kLightingFrameSize = 15;
inline constexpr std::size_t kPollingRateFrameSize = 9;
inline constexpr std::size_t kKeyMapFrameSize = 59;
inline constexpr std::size_t kMacroFrameSize = 111;
inline constexpr std::size_t kFullWriteFrameSize = 10;
inline constexpr std::size_t kMaxFrameSize = kMacroFrameSize;

// The largest payload a single report carries: 64 minus identifier, count, index and checksum.
inline constexpr std::size_t kSingleReportPayload = kReportSize - 5;
// How a macro frame is split over its two reports.
inline constexpr std::size_t kMacroFirstHalf = 59;
inline constexpr std::size_t kMacroSecondHalf = kMacroFrameSize - kMacroFirstHalf;

// Inside a macro frame: the item count, where the items start, and how many item bytes a chunk may
// use before it must hand over to the next chunk with a continuation marker.
inline constexpr std::size_t kMacroItemCountByte = 8;
inline constexpr std::size_t kMacroItemsStart = 9;
inline constexpr std::size_t kMacroItemsLimit = 98;
inline constexpr std::uint8_t kMacroContinuation = 0xFE;
inline constexpr std::uint8_t kMacroMoveMarker = 0xF6;
inline constexpr std::uint8_t kMacroLongDelay = 0x03;

// A frame payload in a fixed buffer; only the first `length` bytes belong to the frame.
struct Frame {
    std::array<std::uint8_t, kMaxFrameSize> bytes{};
    std::size_t length = 0;

    std::span<const std::uint8_t> payload() const { return {bytes.data(), length}; }
};

// The one or two output reports of a frame.
struct WrappedReports {
    std::array<Report, 2> reports{};
    std::size_t count = 0;

    std::span<const Report> used() const { return {reports.data(), count}; }
};

// One chunk of a macro, and where the next chunk starts when the macro did not fit.
struct MacroChunk {
    Frame frame;
    bool continues = false;     // another chunk follows in device slot + 1
    std::size_t nextStart = 0;  // index of the first action of the next chunk
};

// The checksum inside a frame: the sum of the payload bytes it covers (from byte 3 up to the byte
// before the checksum; the caller passes exactly that range).
std::uint16_t FrameChecksum(std::span<const std::uint8_t> covered);
// The checksum at the end of each report: the sum of identifier, count, index and carried bytes.
std::uint16_t ReportChecksum(std::span<const std::uint8_t> covered);

// Sensor settings, stage resolutions, stage mask, current stage and stage colours.
Frame PerformanceFrame(const ProfileRecord& record);
// Effect, breathing speed, sleep timer, brightness, colour, light-off time and key debounce.
Frame LightingFrame(const ProfileRecord& record);
// The polling-rate code of `prate` and its complement.
Frame PollingRateFrame(const ProfileRecord& record);
// The three device bytes of each of the 18 buttons.
Frame KeyMapFrame(const ProfileRecord& record);
// Fixed bytes that ask the mouse to take over everything sent.
Frame FullWriteFrame();

// One chunk of the macro held in `slot`, written to device macro slot `deviceSlot`, starting with
// action `start` (0 for the first chunk, which also carries the repeat settings and colour). When
// the actions do not all fit, the chunk ends with the marker (deviceSlot + 1, 0xFE) and the result
// says where to go on; the caller sends the chunk and repeats with deviceSlot + 1. An action count
// above 190 (only possible in a damaged file) is taken as 190.
MacroChunk MacroFrame(const ButtonSlot& slot, std::uint8_t deviceSlot, std::size_t start);

// The output reports of a frame. A frame of any command but the macro one goes into one report; a
// macro frame into two. A payload that cannot be wrapped (longer than one report can carry, or a
// macro frame of another length than 111) yields no report at all rather than a truncated one.
WrappedReports WrapReports(std::span<const std::uint8_t> payload);
inline WrappedReports WrapReports(const Frame& frame) {
    return WrapReports(frame.payload());
}

// Polling-rate codes: `prate` 0..6 -> 0x20, 0x10, 0x08, 0x04, 0x02, 0x01, 0x40; anything else 0x02.
std::uint8_t PollingRateCode(std::int32_t prate);
// The `prate` option of a one-bit code the mouse reports, or -1 for a code without one.
std::int32_t PrateOfPollingCode(std::uint8_t code);

// The device bytes of a button function without its own encoding.
struct KeyAction {
    std::uint8_t function;
    std::array<std::uint8_t, 3> bytes;
};
inline constexpr std::size_t kKeyActionRows = 65;
extern const std::array<KeyAction, kKeyActionRows> KeyActionTable;

// The three bytes of `KeyActionTable` for a function code, or 00 00 00 when it has no row.
std::array<std::uint8_t, 3> KeyActionBytes(std::uint8_t function);
// The three device bytes of button `button` (0..17) as the key-map frame carries them.
std::array<std::uint8_t, 3> ButtonBytes(const ButtonSlot& slot, std::size_t button);
// First device macro slot of button 0..17: 1, 5, ..., 25 for buttons 0..6, and 0 for the rest.
std::uint8_t MacroBaseSlot(std::size_t button);

}  // namespace quillon
