#include "core/protocol/frames.h"

#include <algorithm>

namespace quillon {

namespace {

constexpr std::uint8_t LowByte(std::uint32_t value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}
constexpr std::uint8_t HighByte(std::uint32_t value) {
    return static_cast<std::uint8_t>(value >> 8 & 0xFF);
}
// Record fields are signed; the wire takes their low byte as the two's-complement value would.
constexpr std::uint32_t Bits(std::int32_t value) {
    return static_cast<std::uint32_t>(value);
}

std::uint16_t Sum16(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

void PutChecksum(std::uint8_t* at, std::uint16_t sum) {
    at[0] = HighByte(sum);
    at[1] = LowByte(sum);
}

Frame StartFrame(std::uint8_t command, std::size_t length) {
    Frame frame;
    frame.length = length;
    frame.bytes[0] = command;
    frame.bytes[1] = static_cast<std::uint8_t>(length);
    frame.bytes[2] = 0x01;
    return frame;
}

// Puts the frame checksum over payload bytes 3..at-1 at `at`.
void SealFrame(Frame& frame, std::size_t at) {
    PutChecksum(&frame.bytes[at], FrameChecksum({frame.bytes.data() + 3, at - 3}));
}

// The report carrying `count` payload bytes from `payload` with the given packet index.
void FillReport(Report& report, std::uint8_t index, const std::uint8_t* payload, std::size_t count) {
    report.fill(0);
    report[0] = kOutputReportId;
    report[1] = static_cast<std::uint8_t>(count + 5);
    report[2] = index;
    std::copy_n(payload, count, report.begin() + 3);
    PutChecksum(&report[3 + count], ReportChecksum({report.data(), 3 + count}));
}

// Bytes one action takes in a macro chunk, and writes them at `out` (which has room for 8).
std::size_t EncodeAction(const MacroAction& action, std::uint8_t* out) {
    const std::uint32_t delay = action.delayMs;
    std::uint32_t pause = delay <= 127 ? delay : delay % 100;
    pause = std::max<std::uint32_t>(pause, 2);
    const bool longDelay = delay >= 128;
    std::size_t n = 0;
    if (action.kind == kActionMove) {
        out[n++] = LowByte(pause);
        out[n++] = kMacroMoveMarker;
        out[n++] = HighByte(Bits(action.x));
        out[n++] = LowByte(Bits(action.x));
        out[n++] = HighByte(Bits(action.y));
        out[n++] = LowByte(Bits(action.y));
    } else {
        out[n++] = LowByte(action.kind == kActionDown ? pause : pause | 0x80);
        out[n++] = action.code;
    }
    if (longDelay) {
        out[n++] = LowByte(delay / 100);
        out[n++] = kMacroLongDelay;
    }
    return n;
}

}  // namespace

std::uint16_t FrameChecksum(std::span<const std::uint8_t> covered) {
    return Sum16(covered);
}
std::uint16_t ReportChecksum(std::span<const std::uint8_t> covered) {
    return Sum16(covered);
}

Frame PerformanceFrame(const ProfileRecord& record) {
    Frame frame = StartFrame(kCommandPerformance, kPerformanceFrameSize);
    auto& b = frame.bytes;
    b[3] = LowByte(Bits(record.lift_of_distance));
    b[4] = LowByte(Bits(record.ripple_control));
    std::uint8_t mask = 0;
    for (std::size_t i = 0; i < kDpiStageCount; ++i) {
        if (record.dpi_step_enabled[i] == 1)
            mask = static_cast<std::uint8_t>(mask | 1u << i);
    }
    b[5] = mask;
    b[6] = LowByte(Bits(record.angle_snap));
    b[7] = LowByte(Bits(record.motion_sync));
    for (std::size_t i = 0; i < kDpiStageCount; ++i) {
        // The mouse counts stages from 50 DPI = 0; a stage holding 0 has no resolution and is sent
        // as 0 rather than as a wrapped -1.
        const std::int32_t steps = record.dpi_x[i] - 1;
        if (steps < 0)
            continue;
        b[8 + i] = LowByte(Bits(steps));
        b[16 + i] = HighByte(Bits(steps));
    }
    b[24] = LowByte(Bits(record.dpi_step) + 1);
    for (std::size_t i = 0; i < kDpiStageCount; ++i)
        std::copy_n(record.dpi_color[i].begin(), 3, b.begin() + 25 + 3 * static_cast<std::ptrdiff_t>(i));
    b[49] = 0x02;
    SealFrame(frame, 50);
    return frame;
}

Frame LightingFrame(const ProfileRecord& record) {
    Frame frame = StartFrame(kCommandLighting, kLightingFrameSize);
    auto& b = frame.bytes;
    const std::uint32_t effect = Bits(record.light_effect);
    const std::uint32_t sleep = Bits(record.sleep_timer);
    b[3] = LowByte(effect * 16);
    b[4] = LowByte((9 - Bits(record.breathspeed)) | (sleep & 0xF0));
    const std::uint8_t level = (effect == 1 || effect == 5) ? LowByte(Bits(record.brightness)) : 8;
    b[5] = LowByte(sleep * 16 | level);
    b[6] = record.light_color[0];
    b[7] = record.light_color[1];
    b[8] = record.light_color[2];
    b[9] = LowByte(Bits(record.light_off));
    b[10] = LowByte(Bits(record.key_debounce));
    SealFrame(frame, 11);
    return frame;
}

std::uint8_t PollingRateCode(std::int32_t prate) {
    static constexpr std::array<std::uint8_t, 7> kCodes = {0x20, 0x10, 0x08, 0x04, 0x02, 0x01, 0x40};
    if (prate < 0 || prate >= static_cast<std::int32_t>(kCodes.size()))
        return 0x02;
    return kCodes[static_cast<std::size_t>(prate)];
}

std::int32_t PrateOfPollingCode(std::uint8_t code) {
    for (std::int32_t prate = 0; prate <= 6; ++prate) {
        if (PollingRateCode(prate) == code)
            return prate;
    }
    return -1;
}

Frame PollingRateFrame(const ProfileRecord& record) {
    Frame frame = StartFrame(kCommandPollingRate, kPollingRateFrameSize);
    const std::uint8_t code = PollingRateCode(record.prate);
    frame.bytes[3] = code;
    frame.bytes[4] = static_cast<std::uint8_t>(code ^ 0xFF);
    return frame;
}

Frame FullWriteFrame() {
    Frame frame = StartFrame(kCommandFullWrite, kFullWriteFrameSize);
    frame.bytes[3] = 0xFE;
    frame.bytes[4] = 0x01;
    frame.bytes[5] = 0xFE;
    return frame;
}

// clang-format off
const std::array<KeyAction, kKeyActionRows> KeyActionTable = {{
    {0, {0x01, 0, 0}},   {1, {0x02, 0, 0}},   {2, {0x03, 0, 0}},   {3, {0x04, 0, 0}},
    {4, {0x06, 0, 0}},   {5, {0x05, 0, 0}},   {6, {0x0D, 0, 0}},   {7, {0x0E, 0, 0}},
    {8, {0x0F, 0, 0}},   {9, {0x07, 0, 0}},   {10, {0x08, 0, 0}},  {11, {0x09, 0, 0}},
    {12, {0x0A, 0, 0}},  {13, {0x0B, 0, 0}},  {14, {0x0C, 0, 0}},  {16, {0x11, 0, 0}},
    {17, {0x12, 0, 0}},  {19, {0x13, 0, 0}},  {21, {0x2B, 0, 0}},  {24, {0x28, 0, 0}},
    {25, {0x3A, 0, 0}},  {52, {0x3C, 0, 0}},  {54, {0x34, 0, 0}},  {55, {0x35, 0, 0}},
    {56, {0x36, 0, 0}},  {64, {0x15, 0, 0}},  {65, {0x18, 0, 0}},  {66, {0x19, 0, 0}},
    {67, {0x16, 0, 0}},  {68, {0x17, 0, 0}},  {69, {0x1B, 0, 0}},  {70, {0x1C, 0, 0}},
    {71, {0x1A, 0, 0}},  {80, {0x25, 0, 0}},  {82, {0x20, 0, 0}},  {83, {0x21, 0, 0}},
    {84, {0x22, 0, 0}},  {85, {0x24, 0, 0}},  {86, {0x26, 0, 0}},  {87, {0x1E, 0, 0}},
    {88, {0x1D, 0, 0}},  {89, {0x23, 0, 0}},  {115, {0x14, 0, 0}},
    {22, {0x10, 0, 0x03}}, {23, {0x29, 0, 0x03}},
    // Keyboard combinations: 0x11, HID modifier bits (1 Ctrl, 2 Shift, 4 Alt, 8 GUI), HID usage.
    {32, {0x11, 0x01, 0x1B}}, {33, {0x11, 0x01, 0x06}}, {34, {0x11, 0x01, 0x19}},
    {35, {0x11, 0x01, 0x12}}, {36, {0x11, 0x01, 0x16}}, {37, {0x11, 0x01, 0x09}},
    {38, {0x11, 0x01, 0x1C}}, {39, {0x11, 0x01, 0x1D}}, {40, {0x11, 0x01, 0x04}},
    {41, {0x11, 0x01, 0x13}}, {42, {0x11, 0x04, 0x3D}}, {43, {0x11, 0x04, 0x2B}},
    {44, {0x11, 0x08, 0x07}}, {45, {0x11, 0x08, 0x15}}, {46, {0x11, 0x08, 0x0F}},
    {47, {0x11, 0x01, 0x11}}, {48, {0x11, 0x01, 0x2E}}, {49, {0x11, 0x01, 0x2D}},
    {50, {0x11, 0x0A, 0x16}}, {81, {0x11, 0x03, 0x12}},
}};
// clang-format on

std::array<std::uint8_t, 3> KeyActionBytes(std::uint8_t function) {
    for (const KeyAction& row : KeyActionTable) {
        if (row.function == function)
            return row.bytes;
    }
    return {0, 0, 0};
}

std::uint8_t MacroBaseSlot(std::size_t button) {
    return button < 7 ? static_cast<std::uint8_t>(1 + 4 * button) : 0;
}

std::array<std::uint8_t, 3> ButtonBytes(const ButtonSlot& slot, std::size_t button) {
    switch (slot.function) {
    case kFunctionShortcut:
        return {0x11, slot.shortcut_modifiers, slot.shortcut_key};
    case kFunctionMacro:
        return {0x12, 0x00, MacroBaseSlot(button)};
    case kFunctionLeftButtonMacro:
        return {0x3A, 0x00, MacroBaseSlot(button)};
    default:
        return KeyActionBytes(slot.function);
    }
}

Frame KeyMapFrame(const ProfileRecord& record) {
    Frame frame = StartFrame(kCommandKeyMap, kKeyMapFrameSize);
    for (std::size_t k = 0; k < kPageButtonCount; ++k) {
        const auto bytes = ButtonBytes(record.slots[k], k);
        std::copy(bytes.begin(), bytes.end(), frame.bytes.begin() + 3 + 3 * static_cast<std::ptrdiff_t>(k));
    }
    SealFrame(frame, 57);
    return frame;
}

MacroChunk MacroFrame(const ButtonSlot& slot, std::uint8_t deviceSlot, std::size_t start) {
    MacroChunk chunk;
    Frame& frame = chunk.frame;
    frame.length = kMacroFrameSize;
    auto& b = frame.bytes;
    b[0] = kCommandMacro;
    b[1] = static_cast<std::uint8_t>(kMacroFrameSize);
    b[2] = deviceSlot;
    if (start == 0) {
        b[3] = LowByte(Bits(slot.repeat_mode));
        b[4] = slot.macro_color[0];
        b[5] = slot.macro_color[1];
        b[6] = slot.macro_color[2];
        const std::uint8_t repeat = LowByte(Bits(slot.repeat_count));
        b[7] = repeat == 0 ? 1 : repeat;
    }

    const std::size_t count = std::min<std::size_t>(slot.action_count, kMacroActionCapacity);
    std::uint8_t* items = b.data() + kMacroItemsStart;
    std::size_t position = 0;
    std::size_t itemCount = 0;
    for (std::size_t i = start; i < count; ++i) {
        std::array<std::uint8_t, 8> encoded{};
        const std::size_t size = EncodeAction(slot.actions[i], encoded.data());
        if (position + size > kMacroItemsLimit) {
            items[position] = static_cast<std::uint8_t>(deviceSlot + 1);
            items[position + 1] = kMacroContinuation;
            ++itemCount;
            chunk.continues = true;
            chunk.nextStart = i;
            break;
        }
        std::copy_n(encoded.begin(), size, items + position);
        position += size;
        itemCount += size / 2;
    }
    b[kMacroItemCountByte] = static_cast<std::uint8_t>(itemCount);
    SealFrame(frame, 109);
    return chunk;
}

WrappedReports WrapReports(std::span<const std::uint8_t> payload) {
    WrappedReports out;
    if (payload.empty())
        return out;
    if (payload[0] == kCommandMacro) {
        if (payload.size() != kMacroFrameSize)
            return out;
        FillReport(out.reports[0], 0, payload.data(), kMacroFirstHalf);
        FillReport(out.reports[1], 1, payload.data() + kMacroFirstHalf, kMacroSecondHalf);
        out.count = 2;
        return out;
    }
    if (payload.size() > kSingleReportPayload)
        return out;
    FillReport(out.reports[0], 0, payload.data(), payload.size());
    out.count = 1;
    return out;
}

}  // namespace quillon
