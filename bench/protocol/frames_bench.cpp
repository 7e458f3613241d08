// Building and wrapping each frame kind, and the mouse model's decoding of the result. An apply
// builds at most a handful of frames, so these run far below anything a user could notice; the
// figures guard against a builder growing an accidental allocation or quadratic loop.
#include "core/protocol/device_model.h"
#include "core/protocol/frames.h"

#include <benchmark/benchmark.h>

#include <memory>

using namespace quillon;

namespace {

std::unique_ptr<ProfileRecord> BenchRecord() {
    auto record = std::make_unique<ProfileRecord>();
    CreateProfile(*record, u"Bench");
    ButtonSlot& slot = record->slots[0];
    slot.function = kFunctionMacro;
    slot.action_count = kMacroActionCapacity;
    for (std::size_t i = 0; i < kMacroActionCapacity; ++i) {
        MacroAction& action = slot.actions[i];
        action.kind = static_cast<std::uint8_t>(i % 3);
        action.code = 0x04;
        action.delayMs = static_cast<std::uint16_t>(i * 131 % 25000);
        action.x = static_cast<std::int32_t>(i);
        action.y = -static_cast<std::int32_t>(i);
    }
    return record;
}

template <Frame (*Build)(const ProfileRecord&)> void BuildAndWrap(benchmark::State& state) {
    const auto record = BenchRecord();
    for (auto _ : state) {
        const WrappedReports reports = WrapReports(Build(*record));
        benchmark::DoNotOptimize(reports);
    }
}

Frame FullWrite(const ProfileRecord&) {
    return FullWriteFrame();
}

// Every chunk of a 190-action macro with long delays and movements (the largest a slot holds).
void MacroChunks(benchmark::State& state) {
    const auto record = BenchRecord();
    const ButtonSlot& slot = record->slots[0];
    std::size_t chunks = 0;
    for (auto _ : state) {
        std::size_t start = 0;
        std::uint8_t number = 1;
        for (;;) {
            const MacroChunk chunk = MacroFrame(slot, number, start);
            const WrappedReports reports = WrapReports(chunk.frame);
            benchmark::DoNotOptimize(reports);
            ++chunks;
            if (!chunk.continues)
                break;
            start = chunk.nextStart;
            ++number;
        }
    }
    state.counters["chunks/macro"] =
        benchmark::Counter(static_cast<double>(chunks) / static_cast<double>(state.iterations()));
}

void DeviceModelDecodesAProfile(benchmark::State& state) {
    const auto record = BenchRecord();
    const WrappedReports frames[] = {WrapReports(PerformanceFrame(*record)),
                                     WrapReports(LightingFrame(*record)),
                                     WrapReports(PollingRateFrame(*record)),
                                     WrapReports(KeyMapFrame(*record)), WrapReports(FullWriteFrame())};
    DeviceModel mouse;
    for (auto _ : state) {
        for (const WrappedReports& wrapped : frames) {
            for (const Report& report : wrapped.used())
                benchmark::DoNotOptimize(mouse.Feed(report));
        }
    }
}

}  // namespace

BENCHMARK(BuildAndWrap<PerformanceFrame>)->Name("PerformanceFrame");
BENCHMARK(BuildAndWrap<LightingFrame>)->Name("LightingFrame");
BENCHMARK(BuildAndWrap<PollingRateFrame>)->Name("PollingRateFrame");
BENCHMARK(BuildAndWrap<KeyMapFrame>)->Name("KeyMapFrame");
BENCHMARK(BuildAndWrap<FullWrite>)->Name("FullWriteFrame");
BENCHMARK(MacroChunks)->Name("MacroFrame/190 actions, all chunks");
BENCHMARK(DeviceModelDecodesAProfile)->Name("DeviceModel/five frames");
