// What a window message costs: posting from another thread (as a driver plugin posts input
// reports), posting with a 64-byte payload, and a cross-thread SendMessage round trip.

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <array>
#include <atomic>
#include <thread>

#include "platform/message_window.h"
#include "platform/thread_queue.h"

using namespace quillon;

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return *app;
}

// Another thread posts a batch; the UI thread handles all of it.
void BM_PostFromThreadAndDispatch(benchmark::State& state) {
    App();
    const int batch = static_cast<int>(state.range(0));
    const bool withPayload = state.range(1) != 0;
    std::size_t handled = 0;
    MessageWindow window([&](UINT, WPARAM, LPARAM) -> LRESULT {
        ++handled;
        return 0;
    });
    const std::array<std::uint8_t, 64> report{};
    for (auto _ : state) {
        handled = 0;
        std::thread poster([&] {
            for (int i = 0; i < batch; ++i) {
                if (withPayload)
                    PostDataMessage(window.handle(), WM_USER, report.data(), report.size(), 64);
                else
                    PostMessage(window.handle(), WM_USER, static_cast<WPARAM>(i), 0);
            }
        });
        poster.join();
        while (handled < static_cast<std::size_t>(batch))
            QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_PostFromThreadAndDispatch)
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// A worker thread sends and waits; the UI thread runs its loop.
void BM_SendFromThreadRoundTrip(benchmark::State& state) {
    App();
    MessageWindow window([](UINT, WPARAM wParam, LPARAM) -> LRESULT { return static_cast<LRESULT>(wParam); });
    constexpr int kBatch = 200;
    for (auto _ : state) {
        std::atomic<bool> done{false};
        std::thread sender([&] {
            for (int i = 0; i < kBatch; ++i)
                benchmark::DoNotOptimize(SendMessage(window.handle(), WM_USER, static_cast<WPARAM>(i), 0));
            done = true;
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        sender.join();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_SendFromThreadRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ThreadQueueHandOver(benchmark::State& state) {
    constexpr int kBatch = 1000;
    for (auto _ : state) {
        ThreadMessageQueue queue;
        std::thread worker([&] {
            MSG msg;
            while (queue.GetMessage(msg)) {
            }
        });
        for (int i = 0; i < kBatch; ++i)
            queue.PostThreadMessage(0x600, 0, 0);
        queue.PostThreadMessage(WM_QUIT, 0, 0);
        worker.join();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_ThreadQueueHandOver)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
