#include "core/protocol/device_model.h"

#include <algorithm>
#include <tuple>

#include "core/protocol/frames.h"
#include "core/records/profile_record.h"

namespace quillon {

namespace {

// The mouse's own view of the wire; deliberately not shared with the frame builders.
constexpr std::size_t kWireReportSize = 64;
constexpr std::uint8_t kWireReportId = 0x04;
constexpr std::size_t kMacroLength = 111;
constexpr std::size_t kMacroFirstCarried = 59;
constexpr std::size_t kMacroSecondCarried = 52;
constexpr std::size_t kMacroItemBytes = 100;

std::size_t ExpectedLength(std::uint8_t command) {
    switch (command) {
    case 0x04:
        return 56;
    case 0x05:
        return 15;
    case 0x06:
        return 9;
    case 0x08:
        return 59;
    case 0x09:
        return kMacroLength;
    case 0x0C:
        return 10;
    default:
        return 0;
    }
}

std::uint16_t Sum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

std::uint16_t BigEndian(std::uint8_t high, std::uint8_t low) {
    return static_cast<std::uint16_t>(high << 8 | low);
}

// The frame checksum at `at`, covering bytes 3..at-1.
bool FrameSumMatches(std::span<const std::uint8_t> f, std::size_t at) {
    return Sum(f.subspan(3, at - 3)) == BigEndian(f[at], f[at + 1]);
}

bool AllZero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

std::array<std::uint8_t, 3> Triple(std::span<const std::uint8_t> f, std::size_t at) {
    return {f[at], f[at + 1], f[at + 2]};
}

// Reads the items of a macro chunk in device slot `slot`. Returns false on a malformed sequence.
bool ParseItems(std::span<const std::uint8_t> items, std::uint8_t slot, MouseMacroSlot& out) {
    const std::size_t count = items.size() / 2;
    std::vector<MacroEvent> events;
    bool lastWasAction = false;
    bool continues = false;
    for (std::size_t i = 0; i < count;) {
        const std::uint8_t first = items[2 * i];
        const std::uint8_t second = items[2 * i + 1];
        if (second == 0xFE) {
            // The continuation marker names the next slot and closes the chunk.
            if (i + 1 != count || first != static_cast<std::uint8_t>(slot + 1))
                return false;
            continues = true;
            ++i;
        } else if (second == 0x03) {
            // Hundreds of milliseconds belonging to the action just before.
            if (!lastWasAction)
                return false;
            events.back().longDelay = true;
            events.back().hundreds = first;
            lastWasAction = false;
            ++i;
        } else if (second == 0xF6) {
            if (i + 3 > count || (first & 0x80) != 0)
                return false;
            MacroEvent move;
            move.kind = MacroEvent::Kind::Move;
            move.pause = first;
            move.code = second;
            move.x = static_cast<std::int16_t>(BigEndian(items[2 * i + 2], items[2 * i + 3]));
            move.y = static_cast<std::int16_t>(BigEndian(items[2 * i + 4], items[2 * i + 5]));
            events.push_back(move);
            lastWasAction = true;
            i += 3;
        } else {
            MacroEvent key;
            key.kind = (first & 0x80) != 0 ? MacroEvent::Kind::Release : MacroEvent::Kind::Press;
            key.pause = static_cast<std::uint8_t>(first & 0x7F);
            key.code = second;
            events.push_back(key);
            lastWasAction = true;
            ++i;
        }
    }
    out.events = std::move(events);
    out.continues = continues;
    return true;
}

}  // namespace

const char* RejectReasonName(RejectReason reason) {
    switch (reason) {
    case RejectReason::None:
        return "none";
    case RejectReason::WrongSize:
        return "wrong report size";
    case RejectReason::WrongIdentifier:
        return "wrong report identifier";
    case RejectReason::BadCount:
        return "bad count byte";
    case RejectReason::BadPacketIndex:
        return "bad packet index";
    case RejectReason::BadReportChecksum:
        return "bad report checksum";
    case RejectReason::NonZeroPadding:
        return "non-zero padding";
    case RejectReason::UnexpectedSecondHalf:
        return "second half without a first";
    case RejectReason::MissingSecondHalf:
        return "first half without a second";
    case RejectReason::UnknownCommand:
        return "unknown command";
    case RejectReason::BadLength:
        return "bad frame length";
    case RejectReason::BadHeader:
        return "bad frame header";
    case RejectReason::BadFrameChecksum:
        return "bad frame checksum";
    case RejectReason::BadContent:
        return "bad fixed bytes";
    case RejectReason::BadMacroItems:
        return "bad macro items";
    }
    return "unknown";
}

DeviceModel::DeviceModel(MouseStart start) : m_start(start), m_state(std::make_unique<MouseState>()) {
    if (m_start == MouseStart::FactorySettings)
        LoadFactorySettings();
}

void DeviceModel::Reset() {
    *m_state = MouseState{};
    m_haveFirstHalf = false;
    m_lastFrameLengths.fill(0);
    if (m_start == MouseStart::FactorySettings)
        LoadFactorySettings();
}

void DeviceModel::LoadFactorySettings() {
    // The factory settings are those of a fresh profile, as the program sends them. Only this
    // starting point comes from the frame builders; every report is still decoded by the model's
    // own reading. The reports are not counted: nothing was written to the mouse yet.
    const auto counters = std::make_tuple(m_accepted, m_rejectedTotal, m_rejected, m_frames, m_lastRejection);
    auto record = std::make_unique<ProfileRecord>();
    CreateProfile(*record, u"");
    for (const Frame& frame : {PerformanceFrame(*record), LightingFrame(*record), PollingRateFrame(*record),
                               KeyMapFrame(*record)}) {
        const WrappedReports wrapped = WrapReports(frame);
        for (const Report& report : wrapped.used())
            Feed(report);
    }
    std::tie(m_accepted, m_rejectedTotal, m_rejected, m_frames, m_lastRejection) = counters;
    m_lastFrameLengths.fill(0);
}

FeedResult DeviceModel::Reject(RejectReason reason) {
    ++m_rejectedTotal;
    ++m_rejected[static_cast<std::size_t>(reason)];
    m_lastRejection = reason;
    FeedResult result;
    result.reason = reason;
    return result;
}

FeedResult DeviceModel::Feed(std::span<const std::uint8_t> report) {
    if (report.size() != kWireReportSize)
        return Reject(RejectReason::WrongSize);
    if (report[0] != kWireReportId)
        return Reject(RejectReason::WrongIdentifier);
    const std::size_t count = report[1];
    if (count < 5 || count > kWireReportSize)
        return Reject(RejectReason::BadCount);
    const std::uint8_t index = report[2];
    if (index > 1)
        return Reject(RejectReason::BadPacketIndex);
    const std::size_t carried = count - 5;
    if (Sum(report.first(3 + carried)) != BigEndian(report[3 + carried], report[4 + carried]))
        return Reject(RejectReason::BadReportChecksum);
    if (!AllZero(report.subspan(count)))
        return Reject(RejectReason::NonZeroPadding);
    const auto payload = report.subspan(3, carried);

    if (index == 1) {
        if (!m_haveFirstHalf)
            return Reject(RejectReason::UnexpectedSecondHalf);
        m_haveFirstHalf = false;
        if (carried != kMacroSecondCarried)
            return Reject(RejectReason::BadLength);
        std::copy(payload.begin(), payload.end(), m_firstHalf.begin() + kMacroFirstCarried);
        return TakeFrame(m_firstHalf);
    }

    if (m_haveFirstHalf) {
        // The first half of a macro frame is lost when its second half does not follow at once.
        m_haveFirstHalf = false;
        ++m_rejected[static_cast<std::size_t>(RejectReason::MissingSecondHalf)];
    }
    if (carried >= 1 && payload[0] == 0x09) {
        if (carried != kMacroFirstCarried)
            return Reject(RejectReason::BadLength);
        std::copy(payload.begin(), payload.end(), m_firstHalf.begin());
        m_haveFirstHalf = true;
        ++m_accepted;
        FeedResult result;
        result.accepted = true;
        result.command = 0x09;
        return result;
    }
    return TakeFrame(payload);
}

FeedResult DeviceModel::TakeFrame(std::span<const std::uint8_t> f) {
    if (f.size() < 3)
        return Reject(RejectReason::BadLength);
    const std::uint8_t command = f[0];
    const std::size_t length = ExpectedLength(command);
    if (length == 0)
        return Reject(RejectReason::UnknownCommand);
    if (f.size() != length || f[1] != length)
        return Reject(RejectReason::BadLength);
    if (command != 0x09 && f[2] != 0x01)
        return Reject(RejectReason::BadHeader);

    RejectReason reason = RejectReason::None;
    switch (command) {
    case 0x04:
        reason = DecodePerformance(f);
        break;
    case 0x05:
        reason = DecodeLighting(f);
        break;
    case 0x06:
        reason = DecodePollingRate(f);
        break;
    case 0x08:
        reason = DecodeKeyMap(f);
        break;
    case 0x09:
        reason = DecodeMacro(f);
        break;
    case 0x0C:
        reason = DecodeFullWrite(f);
        break;
    default:
        break;
    }
    if (reason != RejectReason::None)
        return Reject(reason);

    std::copy(f.begin(), f.end(), m_lastFrames[command].begin());
    m_lastFrameLengths[command] = f.size();
    ++m_frames[command];
    ++m_accepted;
    FeedResult result;
    result.accepted = true;
    result.frameComplete = true;
    result.command = command;
    return result;
}

RejectReason DeviceModel::DecodePerformance(std::span<const std::uint8_t> f) {
    if (!FrameSumMatches(f, 50))
        return RejectReason::BadFrameChecksum;
    if (f[49] != 0x02 || !AllZero(f.subspan(52)))
        return RejectReason::BadContent;
    MouseState& s = *m_state;
    s.liftOff = f[3];
    s.ripple = f[4];
    s.stageMask = f[5];
    s.angleSnap = f[6];
    s.motionSync = f[7];
    for (std::size_t i = 0; i < kMouseStageCount; ++i) {
        s.stageSteps[i] = BigEndian(f[16 + i], f[8 + i]);
        s.stageColors[i] = Triple(f, 25 + 3 * i);
    }
    s.currentStage = f[24];
    return RejectReason::None;
}

RejectReason DeviceModel::DecodeLighting(std::span<const std::uint8_t> f) {
    if (!FrameSumMatches(f, 11))
        return RejectReason::BadFrameChecksum;
    if ((f[3] & 0x0F) != 0 || !AllZero(f.subspan(13)))
        return RejectReason::BadContent;
    MouseState& s = *m_state;
    s.lightEffect = static_cast<std::uint8_t>(f[3] >> 4);
    s.breathCode = static_cast<std::uint8_t>(f[4] & 0x0F);
    s.sleepTimer = static_cast<std::uint8_t>((f[4] & 0xF0) | f[5] >> 4);
    s.brightness = static_cast<std::uint8_t>(f[5] & 0x0F);
    s.lightColor = Triple(f, 6);
    s.lightOff = f[9];
    s.debounce = f[10];
    return RejectReason::None;
}

RejectReason DeviceModel::DecodePollingRate(std::span<const std::uint8_t> f) {
    if (f[4] != static_cast<std::uint8_t>(f[3] ^ 0xFF) || !AllZero(f.subspan(5)))
        return RejectReason::BadContent;
    m_state->pollingCode = f[3];
    return RejectReason::None;
}

RejectReason DeviceModel::DecodeKeyMap(std::span<const std::uint8_t> f) {
    if (!FrameSumMatches(f, 57))
        return RejectReason::BadFrameChecksum;
    for (std::size_t k = 0; k < kMouseButtonCount; ++k)
        m_state->keyMap[k] = Triple(f, 3 + 3 * k);
    return RejectReason::None;
}

RejectReason DeviceModel::DecodeMacro(std::span<const std::uint8_t> f) {
    if (!FrameSumMatches(f, 109))
        return RejectReason::BadFrameChecksum;
    const std::size_t itemCount = f[8];
    if (itemCount * 2 > kMacroItemBytes)
        return RejectReason::BadMacroItems;
    const auto items = f.subspan(9, kMacroItemBytes);
    if (!AllZero(items.subspan(itemCount * 2)))
        return RejectReason::BadContent;
    const std::uint8_t slotNumber = f[2];
    MouseMacroSlot slot;
    if (!ParseItems(items.first(itemCount * 2), slotNumber, slot))
        return RejectReason::BadMacroItems;
    slot.written = true;
    slot.repeatMode = f[3];
    slot.color = Triple(f, 4);
    slot.repeatCount = f[7];
    slot.itemCount = static_cast<std::uint8_t>(itemCount);
    std::copy(items.begin(), items.end(), slot.items.begin());
    m_state->macros[slotNumber] = std::move(slot);
    return RejectReason::None;
}

RejectReason DeviceModel::DecodeFullWrite(std::span<const std::uint8_t> f) {
    static constexpr std::array<std::uint8_t, 7> kBody = {0xFE, 0x01, 0xFE, 0, 0, 0, 0};
    if (!std::equal(kBody.begin(), kBody.end(), f.begin() + 3))
        return RejectReason::BadContent;
    ++m_state->fullWrites;
    return RejectReason::None;
}

std::span<const std::uint8_t> DeviceModel::LastFrame(std::uint8_t command) const {
    if (command >= m_lastFrames.size())
        return {};
    return {m_lastFrames[command].data(), m_lastFrameLengths[command]};
}

std::vector<MacroEvent> DeviceModel::MacroFrom(std::uint8_t firstSlot) const {
    std::vector<MacroEvent> events;
    std::array<bool, kMouseMacroSlots> visited{};
    std::uint8_t number = firstSlot;
    while (!visited[number]) {
        visited[number] = true;
        const MouseMacroSlot& slot = m_state->macros[number];
        if (!slot.written)
            break;
        events.insert(events.end(), slot.events.begin(), slot.events.end());
        if (!slot.continues)
            break;
        number = static_cast<std::uint8_t>(number + 1);
    }
    return events;
}

MouseStatusReport DeviceModel::SwitchStage(std::uint8_t stage) {
    m_state->currentStage = stage;
    return MakeStageStatus(stage);
}

MouseStatusReport MakeStatusReport(std::uint8_t type, std::uint8_t value, std::uint8_t level) {
    MouseStatusReport report{};
    report[0] = kMouseStatusReportId;
    report[1] = 0x3C;
    report[2] = type;
    report[3] = value;
    report[4] = level;
    return report;
}

MouseStatusReport MakePowerStatus(std::uint8_t status, std::uint8_t level) {
    return MakeStatusReport(0x40, status, level);
}
MouseStatusReport MakeStageStatus(std::uint8_t stage) {
    return MakeStatusReport(0x10, stage, 0);
}
MouseStatusReport MakePollingStatus(std::uint8_t code) {
    return MakeStatusReport(0x20, code, 0);
}
MouseStatusReport MakeFlagStatus(std::uint8_t flag) {
    return MakeStatusReport(0x50, flag, 0);
}

std::array<std::uint8_t, 4> MakeBleValue(std::uint8_t type, std::uint16_t word) {
    return {0x3C, type, static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>(word >> 8)};
}

}  // namespace quillon
