#pragma once
// What an apply sends: the groups of the selected record that differ from what the mouse last
// received, and the frames that carry them, in the order the mouse expects them.
//
// The mouse keeps one working set of settings and takes frames without answering, so the program
// remembers what it sent (the `AppliedCopy` of the record) and sends only the frames whose fields
// changed; after a profile is replaced as a whole it sends everything. This part is pure: it reads
// two records and hands out frames; sending and pacing them is the apply's business (apply.h).

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/protocol/frames.h"
#include "core/records/profile_record.h"

namespace quillon {

enum class FullWrite { No, Yes };

// One flag per frame kind, and one per button for its macro.
struct DirtySet {
    bool performance = false;
    bool lighting = false;
    bool polling = false;
    bool keymap = false;
    std::array<bool, kPageButtonCount> macro{};

    bool Any() const;
    bool operator==(const DirtySet&) const = default;
};

// The groups of `record` that differ from `applied`; with FullWrite::Yes, every group. Reserved
// fields that the mouse never sees still mark their group (files and older sessions rely on it);
// `movemode` marks nothing.
DirtySet ComputeDirtySet(const ProfileRecord& record, const ProfileRecord& applied, FullWrite fullWrite);

enum class FrameKind { FullWrite, Performance, Lighting, PollingRate, KeyMap, MacroChunk };

// Calls `send(kind, frame)` for every frame of an apply, in order: the full-write frame when asked
// for, then performance, lighting, polling rate and key map when dirty, then for buttons 0..17 that
// carry a macro (function 17 or 25) and whose macro is dirty, the chunks of that macro from the
// button's base device slot on. Frames are built one at a time on the stack.
template <typename Send>
void ForEachApplyFrame(const ProfileRecord& record, const DirtySet& dirty, FullWrite fullWrite, Send&& send) {
    if (fullWrite == FullWrite::Yes)
        send(FrameKind::FullWrite, FullWriteFrame());
    if (dirty.performance)
        send(FrameKind::Performance, PerformanceFrame(record));
    if (dirty.lighting)
        send(FrameKind::Lighting, LightingFrame(record));
    if (dirty.polling)
        send(FrameKind::PollingRate, PollingRateFrame(record));
    if (dirty.keymap)
        send(FrameKind::KeyMap, KeyMapFrame(record));
    for (std::size_t k = 0; k < kPageButtonCount; ++k) {
        const ButtonSlot& slot = record.slots[k];
        if ((slot.function != kFunctionMacro && slot.function != kFunctionLeftButtonMacro) || !dirty.macro[k])
            continue;
        std::uint8_t deviceSlot = MacroBaseSlot(k);
        std::size_t start = 0;
        for (;;) {
            const MacroChunk chunk = MacroFrame(slot, deviceSlot, start);
            send(FrameKind::MacroChunk, chunk.frame);
            // A chunk always takes at least one action, so the loop ends; the check guards
            // against a builder that would not move on.
            if (!chunk.continues || chunk.nextStart <= start)
                break;
            ++deviceSlot;
            start = chunk.nextStart;
        }
    }
}

}  // namespace quillon
