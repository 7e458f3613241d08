// What the input hook costs: the time from a key press or click at the X server to the hook event
// handled by the program's window, and the processor time the hook takes while it listens and
// nobody types. Runs against an X server of its own (Xvfb), into which XTest injects the input.

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <thread>

#include "app/hook_library.h"
#include "platform/message_window.h"
#include "support/private_x_server.h"

using namespace quillon;

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return *app;
}

// One X server, one injecting connection and the loaded hook for the whole run.
struct Desk {
    test::PrivateXServer server;
    Display* user = nullptr;
    HookLibrary library;
    HookOps hooks;
    std::size_t received = 0;
    MessageWindow window{[this](UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == MSG_HOOK_EVENT)
            ++received;
        return 0;
    }};

    Desk() {
        if (server.Display().empty())
            return;
        setenv("DISPLAY", server.Display().c_str(), 1);
        user = XOpenDisplay(server.Display().c_str());
        if (!library.Load(QUILLON_PROGRAM_FOLDER, hooks))
            std::fprintf(stderr, "hook bench: %s\n", library.Error().c_str());
    }
    ~Desk() {
        library.Release(hooks);
        if (user != nullptr)
            XCloseDisplay(user);
    }
    bool Ready() const { return user != nullptr && hooks.installhook != nullptr; }

    void WaitFor(std::size_t count) {
        while (received < count)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 100);
    }
};

// Ended at exit, so that the X server goes with the run.
Desk& TheDesk() {
    App();
    static Desk desk;
    return desk;
}

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One iteration: a key goes down or up (alternately) at the server, and its event is handled.
void BM_KeyPressToHandledEvent(benchmark::State& state) {
    Desk& desk = TheDesk();
    if (!desk.Ready()) {
        state.SkipWithError("no Xvfb with XTest, or no Hook.so");
        return;
    }
    desk.hooks.installhook(desk.window.handle());
    desk.hooks.enablehook(1);
    bool down = true;
    for (auto _ : state) {
        const std::size_t expected = desk.received + 1;
        XTestFakeKeyEvent(desk.user, 24, down ? True : False, CurrentTime);  // the Q key
        XFlush(desk.user);
        desk.WaitFor(expected);
        down = !down;
    }
    desk.hooks.removehook();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KeyPressToHandledEvent)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ClickToHandledEvent(benchmark::State& state) {
    Desk& desk = TheDesk();
    if (!desk.Ready()) {
        state.SkipWithError("no Xvfb with XTest, or no Hook.so");
        return;
    }
    desk.hooks.installhook(desk.window.handle());
    desk.hooks.enablemousehook(1);
    bool down = true;
    for (auto _ : state) {
        const std::size_t expected = desk.received + 1;
        XTestFakeButtonEvent(desk.user, 1, down ? True : False, CurrentTime);
        XFlush(desk.user);
        desk.WaitFor(expected);
        down = !down;
    }
    desk.hooks.removehook();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ClickToHandledEvent)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Installing and removing, as a key box does when it gets and loses the focus.
void BM_InstallAndRemove(benchmark::State& state) {
    Desk& desk = TheDesk();
    if (!desk.Ready()) {
        state.SkipWithError("no Xvfb with XTest, or no Hook.so");
        return;
    }
    for (auto _ : state) {
        desk.hooks.installhook(desk.window.handle());
        desk.hooks.enablehook(1);
        desk.hooks.removehook();
        desk.hooks.enablehook(0);
    }
}
BENCHMARK(BM_InstallAndRemove)->Unit(benchmark::kMillisecond)->UseRealTime();

// Listening for keys and buttons while nobody types: the processor time of the whole process
// during one second of wall time, in milliseconds.
void BM_IdleWhileListening(benchmark::State& state) {
    Desk& desk = TheDesk();
    if (!desk.Ready()) {
        state.SkipWithError("no Xvfb with XTest, or no Hook.so");
        return;
    }
    desk.hooks.installhook(desk.window.handle());
    desk.hooks.enablehook(1);
    desk.hooks.enablemousehook(1);
    double cpu = 0;
    for (auto _ : state) {
        const double before = ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        cpu += ProcessCpuSeconds() - before;
    }
    desk.hooks.removehook();
    state.counters["cpu_ms_per_s"] = cpu * 1000.0 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_IdleWhileListening)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
