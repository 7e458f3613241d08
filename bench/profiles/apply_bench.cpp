// The processor time of an apply without its pacing: choosing the dirty groups, building and
// wrapping every frame and handing the reports to the link. The waits between frames are what
// make an apply take seconds; this is everything else, run with a clock that does not wait.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/store/profile_state.h"
#include "core/text16.h"
#include "device/apply.h"

namespace {

using namespace quillon;

class NoWaitClock final : public Clock {
public:
    std::uint64_t Ticks() const override { return m_ticks; }
    void Sleep(std::uint32_t milliseconds) override { m_ticks += milliseconds; }

private:
    std::uint64_t m_ticks = 0;
};

class DiscardingLinks final : public ReportLinks {
public:
    LinkState State(Link) const override { return LinkState::Open; }
    bool IsAwake(Link) const override { return true; }
    bool WriteReport(Link, const Report& report) override {
        benchmark::DoNotOptimize(report.data());
        return true;
    }
};

class NoWatchdogs final : public LinkWatchdogs, public ApplyRingControl {
public:
    void StopWatchdogs() override {}
    void RestartWatchdogs() override {}
    bool SetApplyRingVisible(bool) override { return false; }
};

// A store file that is never flushed to the disk, so that the save the apply ends with does not
// dominate: the apply's own work is what is measured here (the store has its own benchmark).
class NullWriter final : public FileWriter {
    class File final : public OutputFile {
        bool Write(std::span<const std::byte>) override { return true; }
        bool Finish() override { return true; }
    };

public:
    std::unique_ptr<OutputFile> Create(const std::filesystem::path&) override {
        return std::make_unique<File>();
    }
    bool Replace(const std::filesystem::path&, const std::filesystem::path&) override { return true; }
};

QCoreApplication& Application() {
    static int argc = 1;
    static char name[] = "bench_apply";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return application;
}

void PutMacro(ButtonSlot& slot, std::size_t actions) {
    slot.function = kFunctionMacro;
    slot.action_count = static_cast<std::uint16_t>(actions);
    for (std::size_t i = 0; i < actions; ++i) {
        slot.actions[i] = MacroAction{};
        slot.actions[i].code = 0x04;
        slot.actions[i].kind = i % 2 == 0 ? kActionDown : kActionUp;
        slot.actions[i].delayMs = i % 3 == 0 ? 250 : 30;
    }
}

struct Setup {
    Setup() {
        Application();
        if (state.Load(u"Profile").saveResult != WriteStatus::Written)
            std::fprintf(stderr, "apply bench: the profile store could not be written\n");
        for (std::size_t k = 0; k < 7; ++k)
            PutMacro(state.Selected()->slots[k], 190);
    }
    ~Setup() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "quillon-bench-apply";
    NullWriter writer;
    ProfileState state{std::make_unique<ProfileStore>(folder, writer)};
    NoWaitClock clock;
    DiscardingLinks links;
    NoWatchdogs watchdogs;
    ApplySequence apply{state, links, watchdogs, watchdogs, &clock};
};

// Everything, with seven buttons carrying full macros: the largest apply there is.
void BM_ApplyFullWrite(benchmark::State& bench) {
    Setup setup;
    std::size_t frames = 0;
    for (auto _ : bench) {
        setup.state.RequestFullWrite(FullWriteReason::UserChange);
        frames += setup.apply.Apply().framesSent;
    }
    bench.counters["frames"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ApplyFullWrite)->Unit(benchmark::kMicrosecond);

// The common case: one slider moved, one frame sent.
void BM_ApplyOneGroup(benchmark::State& bench) {
    Setup setup;
    setup.apply.Apply();
    for (auto _ : bench) {
        setup.state.Selected()->brightness ^= 1;
        setup.apply.Apply();
    }
}
BENCHMARK(BM_ApplyOneGroup)->Unit(benchmark::kMicrosecond);

}  // namespace
