// The HID driver's device monitor: what one enumeration costs, how soon an arrival is reported,
// and how much processor time an idle monitor takes.
//
//   bench_hid_monitor                         all three
//   bench_hid_monitor --benchmark_filter=Idle only the 10-second idle measurement

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <random>
#include <thread>

#include "hid_driver.h"

using namespace quillon::hid;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint16_t kVendor = 0x1D57;
constexpr uint16_t kProduct = 0xFA7F;

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// One real enumeration through hidapi's hidraw backend (udev and sysfs), as every poll makes.
void BM_HidEnumerate(benchmark::State& state) {
    const Backend& backend = HidapiBackend();
    for (auto _ : state)
        benchmark::DoNotOptimize(backend.enumerate(kVendor, kProduct));
}
BENCHMARK(BM_HidEnumerate)->Unit(benchmark::kMicrosecond);

// Time from the device appearing to the plug message, with the production poll interval. The
// enumeration is a fake that flips at a random moment; the monitor thread and its timing are real.
void BM_ArrivalLatency(benchmark::State& state) {
    std::mutex mutex;
    std::condition_variable posted;
    bool present = false;
    bool arrived = false;
    Backend backend;
    backend.enumerate = [&](uint16_t, uint16_t) {
        std::lock_guard lock(mutex);
        return present ? std::vector<DeviceEntry>{{"/fake", 0x0001, 2, 0}} : std::vector<DeviceEntry>{};
    };
    backend.open = [](const std::string&, OpenFailure& failure) -> Handle {
        failure = OpenFailure::NotFound;
        return nullptr;
    };
    backend.close = [](Handle) {};
    backend.write = [](Handle, const uint8_t*, size_t) { return -1; };
    backend.read = [](Handle, uint8_t*, size_t, int) { return -1; };

    HidDriver driver(backend);
    driver.SetIds(kVendor, kProduct);
    HostPoster host;
    host.post = [&](QuillonWindow, uint32_t, uintptr_t wparam, intptr_t) {
        std::lock_guard lock(mutex);
        arrived = wparam == 1;
        posted.notify_all();
        return 1;
    };
    driver.OpenMonitor(nullptr, 0x603, 0x604, host);
    std::minstd_rand random(42);
    std::uniform_int_distribution<int> offset(0, 249);
    double worst = 0;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(offset(random)));
        const auto start = Clock::now();
        {
            std::unique_lock lock(mutex);
            present = true;
            posted.wait(lock, [&] { return arrived; });
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        worst = std::max(worst, seconds);
        state.SetIterationTime(seconds);
        std::unique_lock lock(mutex);
        present = false;
        posted.wait(lock, [&] { return !arrived; });
    }
    driver.CloseMonitor();
    state.counters["worst_ms"] = worst * 1000;
}
BENCHMARK(BM_ArrivalLatency)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// Ten seconds of a monitor over the real hidapi backend with no device plugged: processor time
// spent (all threads of the process) and enumerations made.
void BM_IdleMonitorCpu(benchmark::State& state) {
    for (auto _ : state) {
        HidDriver driver(HidapiBackend());
        driver.SetIds(kVendor, kProduct);
        const double cpuBefore = ProcessCpuSeconds();
        driver.OpenMonitor(nullptr, 0x603, 0x604, {});
        std::this_thread::sleep_for(std::chrono::seconds(10));
        const auto polls = driver.PollCount();
        driver.CloseMonitor();
        const double cpu = ProcessCpuSeconds() - cpuBefore;
        state.counters["cpu_ms_per_10s"] = cpu * 1000;
        state.counters["cpu_percent"] = cpu / 10.0 * 100;
        state.counters["polls"] = static_cast<double>(polls);
    }
}
BENCHMARK(BM_IdleMonitorCpu)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
