#pragma once
// The mouse's side of the protocol: what an MS_1 does with the output reports it receives, and the
// status reports it sends back.
//
// `DeviceModel` is a decoder written from the wire format alone; its decoding shares no code with
// the frame builders, so a test that builds frames and feeds them here checks one reading of the
// protocol against another. The simulated mouse (a driver plugin) wraps one model per link, and tests use
// it to see exactly what reached the mouse.
//
//   DeviceModel mouse;
//   FeedResult r = mouse.Feed(report);     // one 64-byte output report
//   if (!r.accepted) ... r.reason ...      // malformed input is rejected and counted, never trusted
//   mouse.State().stageSteps[0] ...        // the settings as the mouse now holds them
//   auto status = MakeStageStatus(3);      // bytes the mouse sends when its stage button is used
//
// The model is strict: besides identifier, count, packet index and both checksums it insists on
// the fixed header bytes, the frame lengths and zero padding, so a builder that leaves a stray byte
// behind is caught. The two reports of a macro frame must arrive one right after the other.
// Values inside a well-formed frame are stored as the wire carries them (nibbles, codes, v - 1),
// without range checks: the firmware's ranges are not the model's business.
//
// A model is not thread-safe: the program writes reports from its worker thread while a plugin may
// read the state from another, so whoever wraps the model serialises access to it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quillon {

enum class RejectReason : std::uint8_t {
    None = 0,
    WrongSize,             // not a 64-byte report
    WrongIdentifier,       // byte 0 is not 0x04
    BadCount,              // count byte outside 5..64
    BadPacketIndex,        // packet index other than 0 or 1
    BadReportChecksum,     // report checksum does not match
    NonZeroPadding,        // bytes behind the report checksum are not zero
    UnexpectedSecondHalf,  // packet 1 without a macro frame's first half just before it
    MissingSecondHalf,     // a macro frame's first half was followed by something else
    UnknownCommand,        // command byte of no frame the mouse knows
    BadLength,             // frame length byte or carried length wrong for the command
    BadHeader,             // byte 2 of a frame other than the macro frame is not 0x01
    BadFrameChecksum,      // frame checksum does not match
    BadContent,            // fixed bytes of a frame are wrong (complement, full-write bytes, padding)
    BadMacroItems,         // item count, item sequence or continuation marker malformed
};
inline constexpr std::size_t kRejectReasonCount = 15;

// A short name for logs and test messages ("bad report checksum").
const char* RejectReasonName(RejectReason reason);

struct FeedResult {
    bool accepted = false;
    RejectReason reason = RejectReason::None;
    // Set when the report completed a frame (always for single-report frames, on the second half
    // of a macro frame); `command` then names the frame.
    bool frameComplete = false;
    std::uint8_t command = 0;
};

// One decoded macro item as the mouse plays it.
struct MacroEvent {
    enum class Kind : std::uint8_t { Move, Press, Release };
    Kind kind = Kind::Press;
    std::uint8_t code = 0;      // key usage or mouse code (presses and releases)
    std::uint8_t pause = 0;     // first byte's pause, 0..127
    bool longDelay = false;     // followed by a (hundreds, 0x03) item
    std::uint8_t hundreds = 0;  // the hundreds of that item
    std::int16_t x = 0;         // movement
    std::int16_t y = 0;         // movement
};

// A device macro slot as written by one macro frame.
struct MouseMacroSlot {
    bool written = false;
    std::uint8_t repeatMode = 0;
    std::array<std::uint8_t, 3> color{};
    std::uint8_t repeatCount = 0;
    std::uint8_t itemCount = 0;             // items including a continuation marker
    std::array<std::uint8_t, 100> items{};  // item bytes, two per item
    bool continues = false;                 // ends with the marker for the next slot
    std::vector<MacroEvent> events;         // the items decoded, marker excluded
};

inline constexpr std::size_t kMouseStageCount = 8;
inline constexpr std::size_t kMouseButtonCount = 18;
inline constexpr std::size_t kMouseMacroSlots = 256;

struct MouseState {
    // Performance frame.
    std::uint8_t liftOff = 0;
    std::uint8_t ripple = 0;
    std::uint8_t stageMask = 0;
    std::uint8_t angleSnap = 0;
    std::uint8_t motionSync = 0;
    std::array<std::uint16_t, kMouseStageCount> stageSteps{};  // resolution in 50 DPI steps, minus 1
    std::uint8_t currentStage = 0;                             // 1..8
    std::array<std::array<std::uint8_t, 3>, kMouseStageCount> stageColors{};

    // Lighting frame.
    std::uint8_t lightEffect = 0;  // high nibble of byte 3
    std::uint8_t breathCode = 0;   // low nibble of byte 4: 9 - breathing speed
    std::uint8_t sleepTimer = 0;   // high nibble of byte 4, joined with the high nibble of byte 5
    std::uint8_t brightness = 0;   // low nibble of byte 5
    std::array<std::uint8_t, 3> lightColor{};
    std::uint8_t lightOff = 0;
    std::uint8_t debounce = 0;

    // Polling-rate frame: the one-bit code.
    std::uint8_t pollingCode = 0;

    // Key-map frame: three device bytes per button.
    std::array<std::array<std::uint8_t, 3>, kMouseButtonCount> keyMap{};

    // Macro frames by device slot.
    std::array<MouseMacroSlot, kMouseMacroSlots> macros{};

    // Full-write frames received.
    std::size_t fullWrites = 0;
};

// Status reports the mouse sends on the wired and 2.4 GHz links: an identifier the program does not
// look at, the mark 0x3C, type, value and battery level, padded with zeros.
inline constexpr std::size_t kMouseStatusReportSize = 8;
inline constexpr std::uint8_t kMouseStatusReportId = 0x05;
using MouseStatusReport = std::array<std::uint8_t, kMouseStatusReportSize>;

MouseStatusReport MakeStatusReport(std::uint8_t type, std::uint8_t value, std::uint8_t level);
// Power: `status` 2 charge complete, 3 charging, anything else on battery with `level` 1..100.
MouseStatusReport MakePowerStatus(std::uint8_t status, std::uint8_t level);
// The stage the mouse switched to, 1..8.
MouseStatusReport MakeStageStatus(std::uint8_t stage);
// The polling rate as its one-bit code (0x01..0x40).
MouseStatusReport MakePollingStatus(std::uint8_t code);
MouseStatusReport MakeFlagStatus(std::uint8_t flag);

// A Bluetooth LE notification value: mark, type, then the two bytes of `word` low byte first. For
// power, pass status | level << 8; for the flag and the lighting effect, the byte in the low half.
std::array<std::uint8_t, 4> MakeBleValue(std::uint8_t type, std::uint16_t word);

// What the model holds before the first report: nothing (every field zero, for tests that want to
// see exactly what was written), or what a new mouse leaves the factory with, which is what the
// program writes for a fresh profile (the simulated mouse, so that its state is real from the
// start).
enum class MouseStart { Blank, FactorySettings };

class DeviceModel {
public:
    explicit DeviceModel(MouseStart start = MouseStart::Blank);

    // Takes one output report as written to the mouse.
    FeedResult Feed(std::span<const std::uint8_t> report);

    const MouseState& State() const { return *m_state; }

    // Counters of what was fed.
    std::size_t AcceptedReports() const { return m_accepted; }
    std::size_t RejectedReports() const { return m_rejectedTotal; }
    std::size_t Rejected(RejectReason reason) const { return m_rejected[static_cast<std::size_t>(reason)]; }
    RejectReason LastRejection() const { return m_lastRejection; }
    // Complete frames taken over, by command byte.
    std::size_t FramesReceived(std::uint8_t command) const { return m_frames[command]; }

    // The payload of the last complete frame of a command (empty when none came yet).
    std::span<const std::uint8_t> LastFrame(std::uint8_t command) const;

    // The events of a macro as the mouse plays it: from `firstSlot`, following continuation markers
    // into the next slots. A chain that loops back or reaches an unwritten slot ends there.
    std::vector<MacroEvent> MacroFrom(std::uint8_t firstSlot) const;

    // The user switches the stage on the mouse itself: the current stage changes and the status
    // report that tells the program comes back. `stage` is 1..8.
    MouseStatusReport SwitchStage(std::uint8_t stage);

    // Forgets everything received and goes back to the state it started with; the counters stay.
    void Reset();

private:
    FeedResult Reject(RejectReason reason);
    FeedResult TakeFrame(std::span<const std::uint8_t> frame);
    RejectReason DecodePerformance(std::span<const std::uint8_t> f);
    RejectReason DecodeLighting(std::span<const std::uint8_t> f);
    RejectReason DecodePollingRate(std::span<const std::uint8_t> f);
    RejectReason DecodeKeyMap(std::span<const std::uint8_t> f);
    RejectReason DecodeMacro(std::span<const std::uint8_t> f);
    RejectReason DecodeFullWrite(std::span<const std::uint8_t> f);
    void LoadFactorySettings();

    MouseStart m_start;
    std::unique_ptr<MouseState> m_state;
    std::array<std::uint8_t, 111> m_firstHalf{};
    bool m_haveFirstHalf = false;
    std::array<std::array<std::uint8_t, 111>, 16> m_lastFrames{};
    std::array<std::size_t, 16> m_lastFrameLengths{};
    std::size_t m_accepted = 0;
    std::size_t m_rejectedTotal = 0;
    std::array<std::size_t, kRejectReasonCount> m_rejected{};
    std::array<std::size_t, 256> m_frames{};
    RejectReason m_lastRejection = RejectReason::None;
};

}  // namespace quillon
