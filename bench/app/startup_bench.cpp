// Start-up time and resident memory of Quillon, side by side with an empty Qt Widgets window.
//
// Start-up: from just before the process is spawned until its window has been exposed and has
// painted (both programs write the CLOCK_MONOTONIC time of that moment to the file named by
// QUILLON_STARTUP_MARK). Quillon starts from a copy of the demo program folder, so the simulated
// mouse is present and the settings page is filled, with a profile store of 1 or of 100 profiles.
// Memory: the resident set three seconds after the window was first exposed.
//
// Run it under an X server to measure real mapping (xvfb-run -a -s "-screen 0 1280x1024x24"
// build/bench/app/bench_app_startup); without DISPLAY the programs run offscreen.

#include "core/records/profile_record.h"
#include "core/store/profile_store.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using quillon::ProfileList;
using quillon::ProfileStore;
using quillon::StoreHeader;

constexpr int kMarkTimeoutMs = 30000;

double MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

// One scratch folder for the whole run: the runtime folder (single-instance lock) and the program
// folders.
const fs::path& Scratch() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "quillon-bench-XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        fs::path path = made != nullptr ? fs::path(made) : fs::temp_directory_path() / "quillon-bench";
        fs::create_directories(path / "run");
        fs::permissions(path / "run", fs::perms::owner_all, fs::perm_options::replace);
        return path;
    }();
    return folder;
}

struct ScratchCleanup {
    ~ScratchCleanup() {
        std::error_code ignored;
        fs::remove_all(Scratch(), ignored);
    }
} g_cleanup;

// Seven buttons of the profile play macros of 190 actions each: the longest full write there is.
void PutMacros(quillon::ProfileRecord& record) {
    for (std::size_t button = 0; button < 7; ++button) {
        quillon::ButtonSlot& slot = record.slots[button + 5];
        slot.function = quillon::kFunctionMacro;
        slot.action_count = 190;
        for (std::size_t i = 0; i < 190; ++i) {
            slot.actions[i] = quillon::MacroAction{};
            slot.actions[i].code = 0x04;
            slot.actions[i].kind = i % 2 == 0 ? quillon::kActionDown : quillon::kActionUp;
            slot.actions[i].delayMs = i % 3 == 0 ? 250 : 30;
        }
    }
}

// A copy of the demo program folder whose profile store holds `profiles` profiles; with `macros`,
// the selected one has long macros on seven buttons.
fs::path ProgramFolder(int profiles, bool macros = false) {
    static std::map<std::pair<int, bool>, fs::path> made;
    if (auto found = made.find({profiles, macros}); found != made.end())
        return found->second;
    const fs::path folder = Scratch() / ("demo-" + std::to_string(profiles) + (macros ? "-macros" : ""));
    fs::create_directories(folder);
    for (const char* file :
         {"quillon", "hiddriver_4k_1.so", "hiddriver_4k_2.so", "libquillon_simmouse.so", "quillon-sim"})
        fs::copy_file(fs::path(QUILLON_DEMO_FOLDER) / file, folder / file,
                      fs::copy_options::overwrite_existing);
    fs::create_directory_symlink(QUILLON_RES_FOLDER, folder / "res");
    ProfileList list;
    for (int i = 0; i < profiles; ++i)
        quillon::CreateDefaultProfile(list, u"Profile");
    if (macros)
        PutMacros(*list.front());
    auto header = std::make_unique<StoreHeader>();
    header->selected = 0;
    header->reserved.fill(0);
    ProfileStore store(folder / "Data");
    if (!store.Save(list, *header).Ok())
        std::fprintf(stderr, "startup bench: the profile store could not be written\n");
    made.emplace(std::make_pair(profiles, macros), folder);
    return folder;
}

pid_t Spawn(const fs::path& program, const fs::path& mark, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("QUILLON_", 0) == 0 || variable.rfind("XDG_RUNTIME_DIR=", 0) == 0)
            continue;
        variables.push_back(variable);
    }
    variables.insert(variables.end(), extra.begin(), extra.end());
    variables.push_back("QUILLON_STARTUP_MARK=" + mark.string());
    variables.push_back("XDG_RUNTIME_DIR=" + (Scratch() / "run").string());
    if (std::getenv("DISPLAY") == nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr)
        variables.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (auto& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string path = program.string();
    char* argv[] = {path.data(), nullptr};

    // The programs' own messages would disturb the benchmark's table.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::optional<double> WaitForMark(const fs::path& mark, pid_t pid) {
    const double deadline = MonotonicMs() + kMarkTimeoutMs;
    while (MonotonicMs() < deadline) {
        std::ifstream file(mark);
        double value = 0;
        if (file >> value)
            return value;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return std::nullopt;  // it ended without showing its window
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return std::nullopt;
}

void Stop(pid_t pid) {
    kill(pid, SIGTERM);
    const double deadline = MonotonicMs() + kMarkTimeoutMs;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (MonotonicMs() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

double ResidentMegabytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            std::istringstream fields(line.substr(6));
            double kilobytes = 0;
            fields >> kilobytes;
            return kilobytes / 1024.0;
        }
    }
    return 0;
}

// Processor time the process has used so far (user and system), in milliseconds. On a loaded
// machine it tells the program's own work apart from the time it waited for a processor.
double ProcessorMs(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The fields after the command name, which is in parentheses and may hold spaces.
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    double user = 0, system = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14)
            user = std::stod(field);
        if (index == 15) {
            system = std::stod(field);
            break;
        }
    }
    return (user + system) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

constexpr int kEmptyWindow = -1;

// profiles < 0 (kEmptyWindow): the empty Qt window.
fs::path Program(int profiles) {
    return profiles < 0 ? fs::path(EMPTY_WINDOW) : ProgramFolder(profiles) / "quillon";
}

void StartupTime(benchmark::State& state, int profiles) {
    const fs::path program = Program(profiles);
    const fs::path mark = Scratch() / "mark";
    double processorMs = 0;
    for (auto _ : state) {
        fs::remove(mark);
        const double start = MonotonicMs();
        const pid_t pid = Spawn(program, mark);
        if (pid < 0) {
            state.SkipWithError("could not start the program");
            break;
        }
        const auto shown = WaitForMark(mark, pid);
        processorMs += ProcessorMs(pid);
        Stop(pid);
        if (!shown) {
            state.SkipWithError("the window never appeared");
            break;
        }
        state.SetIterationTime((*shown - start) / 1000.0);
    }
    state.counters["process_cpu_ms"] = benchmark::Counter(processorMs, benchmark::Counter::kAvgIterations);
    state.SetLabel(std::getenv("DISPLAY") != nullptr ? "X server" : "offscreen");
}

// The time to the first paint of one start; nullopt when the window never appeared.
std::optional<double> StartOnce(const fs::path& program, const fs::path& mark) {
    fs::remove(mark);
    const double start = MonotonicMs();
    const pid_t pid = Spawn(program, mark);
    if (pid < 0)
        return std::nullopt;
    const auto shown = WaitForMark(mark, pid);
    Stop(pid);
    if (!shown)
        return std::nullopt;
    return *shown - start;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The three programs started in turn, round after round, so that a machine that slows down or
// speeds up during the run weighs on all of them alike; the ratios are those of the medians.
void StartupRatio(benchmark::State& state) {
    const fs::path mark = Scratch() / "mark";
    const fs::path programs[] = {Program(kEmptyWindow), Program(1), Program(100)};
    std::vector<double> times[3];
    for (auto _ : state) {
        for (std::size_t i = 0; i < 3; ++i) {
            const auto shown = StartOnce(programs[i], mark);
            if (!shown) {
                state.SkipWithError("the window never appeared");
                return;
            }
            times[i].push_back(*shown);
        }
        state.SetIterationTime(times[1].back() / 1000.0);
    }
    const double empty = Median(times[0]);
    state.counters["empty_ms"] = empty;
    state.counters["one_profile_ms"] = Median(times[1]);
    state.counters["hundred_profiles_ms"] = Median(times[2]);
    state.counters["one_profile_ratio"] = Median(times[1]) / empty;
    state.counters["hundred_profiles_ratio"] = Median(times[2]) / empty;
    // The spread of the rounds, for the machine's noise.
    const char* names[] = {"empty", "one_profile", "hundred_profiles"};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto [fastest, slowest] = std::minmax_element(times[i].begin(), times[i].end());
        state.counters[std::string(names[i]) + "_min_ms"] = *fastest;
        state.counters[std::string(names[i]) + "_max_ms"] = *slowest;
    }
}

void ResidentMemory(benchmark::State& state, int profiles) {
    const fs::path program = Program(profiles);
    const fs::path mark = Scratch() / "mark";
    double megabytes = 0;
    for (auto _ : state) {
        fs::remove(mark);
        const pid_t pid = Spawn(program, mark);
        const auto shown = pid >= 0 ? WaitForMark(mark, pid) : std::nullopt;
        if (!shown) {
            if (pid >= 0)
                Stop(pid);
            state.SkipWithError("the window never appeared");
            break;
        }
        std::this_thread::sleep_for(std::chrono::seconds(3));
        megabytes = ResidentMegabytes(pid);
        Stop(pid);
        state.SetIterationTime(3);
    }
    state.counters["resident_MB"] = megabytes;
}

// The longest time the UI thread's event loop is blocked while the mouse is written whole at
// start-up (seven buttons with macros of 190 actions), reports 20 DPI stages in a row (each report
// is taken over and saves the whole store), and the receiver is pulled and plugged in again (the
// link is reopened and written whole once more). The program measures itself with a 1 ms
// timer (QUILLON_STALL_REPORT); the figures are those of its last run.
void UiStall(benchmark::State& state, int profiles) {
    const fs::path folder = ProgramFolder(profiles, /*macros=*/true);
    const fs::path mark = Scratch() / "mark";
    const fs::path report = Scratch() / "stall-report";
    std::map<std::string, double> measures;
    for (auto _ : state) {
        fs::remove(mark);
        fs::remove(report);
        const pid_t pid = Spawn(folder / "quillon", mark, {"QUILLON_STALL_REPORT=" + report.string()});
        if (pid < 0 || !WaitForMark(mark, pid)) {
            if (pid >= 0)
                Stop(pid);
            state.SkipWithError("the window never appeared");
            break;
        }
        auto sim = [&](const std::string& command) {
            const std::string line = (folder / "quillon-sim").string() + " " + command + " >/dev/null 2>&1";
            return std::system(line.c_str()) == 0;
        };
        std::this_thread::sleep_for(std::chrono::seconds(1));
        bool worked = true;
        for (int i = 0; i < 20; ++i) {
            worked = worked && sim("dpi " + std::to_string(i % 8 + 1));
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
        worked = worked && sim("pull");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        worked = worked && sim("plug");
        std::this_thread::sleep_for(std::chrono::seconds(3));
        if (!worked)
            state.SkipWithError("quillon-sim failed");
        Stop(pid);
        std::ifstream file(report);
        std::string name;
        double value = 0;
        while (file >> name >> value)
            measures[name] = value;
        state.SetIterationTime(1);
    }
    for (const auto& [name, value] : measures)
        state.counters[name] = value;
}

BENCHMARK_CAPTURE(UiStall, quillon_1_profile, 1)->UseManualTime()->Iterations(1);
BENCHMARK_CAPTURE(UiStall, quillon_100_profiles, 100)->UseManualTime()->Iterations(1);

BENCHMARK_CAPTURE(StartupTime, empty_qt_window, kEmptyWindow)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StartupTime, quillon_1_profile, 1)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StartupTime, quillon_100_profiles, 100)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(StartupRatio)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ResidentMemory, empty_qt_window, kEmptyWindow)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(ResidentMemory, quillon_1_profile, 1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(ResidentMemory, quillon_100_profiles, 100)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
