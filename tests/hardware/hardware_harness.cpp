// hardware-harness: runs inside the test guest. It loads the driver plugins of a program folder as
// the program does (dlopen, the exports resolved by name, the program's calling order and message
// numbers), offers them the program's message functions, and works the virtual mouse
// (ms1-firmware) against them through the kernel's HID stack:
//
//   hardware-harness PROGRAM_DIR FIRMWARE BROKEN_PLUGIN [HOST_ROOT HOST_PROGRAM_DIR]
//
// With the host's file tree mounted at HOST_ROOT, it also runs the program of HOST_PROGRAM_DIR (a
// path of the host) against the virtual mouse.
//
// Every check prints "PASS name" or "FAIL name: why"; the last line counts them, and the exit code
// is 0 only when all passed. BROKEN_PLUGIN is a driver known to write to the wrong interface: the
// interface check must fail on it, or the harness itself is broken.

#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/protocol/apply_plan.h"
#include "core/protocol/device_model.h"
#include "core/protocol/frames.h"
#include "core/records/profile_record.h"
#include "core/store/profile_store.h"
#include "mouse_text.h"
#include "quillon/driver_abi.h"
#include "quillon/host_api.h"

namespace {

using namespace quillon;
using namespace quillon::hardware;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The program's message numbers and identifiers.
constexpr uint32_t kWirelessReport = 0x601;
constexpr uint32_t kWirelessPlug = 0x602;
constexpr uint32_t kWiredReport = 0x603;
constexpr uint32_t kWiredPlug = 0x604;
constexpr int kVendorId = 0x1D57;
constexpr int kWiredProductId = 0xFA7F;
constexpr int kWirelessProductId = 0xFA65;
constexpr uint32_t kNobody = 65534;

// Plug messages can take a monitor poll or two, and the guest runs without hardware acceleration.
constexpr auto kPlugWait = 8s;
constexpr auto kReportWait = 4s;

// ---- The program's side of the host interface ------------------------------------------------

struct Message {
    QuillonWindow window = nullptr;
    uint32_t msg = 0;
    uintptr_t wparam = 0;
    intptr_t lparam = 0;
    std::vector<uint8_t> data;
};

std::mutex g_messagesMutex;
std::condition_variable g_messagesChanged;
std::deque<Message> g_messages;

QuillonWindow const kMainWindow = reinterpret_cast<QuillonWindow>(0x468);

// Takes the first message with number `msg`, waiting at most `wait`.
std::optional<Message> TakeMessage(uint32_t msg, Clock::duration wait) {
    std::unique_lock lock(g_messagesMutex);
    const Clock::time_point deadline = Clock::now() + wait;
    for (;;) {
        for (auto it = g_messages.begin(); it != g_messages.end(); ++it) {
            if (it->msg == msg) {
                Message found = std::move(*it);
                g_messages.erase(it);
                return found;
            }
        }
        if (g_messagesChanged.wait_until(lock, deadline) == std::cv_status::timeout)
            return std::nullopt;
    }
}

// Removes every queued message with one of these numbers and returns them in arrival order.
std::vector<Message> DrainMessages(std::initializer_list<uint32_t> numbers) {
    std::lock_guard lock(g_messagesMutex);
    std::vector<Message> taken;
    for (auto it = g_messages.begin(); it != g_messages.end();) {
        if (std::find(numbers.begin(), numbers.end(), it->msg) != numbers.end()) {
            taken.push_back(std::move(*it));
            it = g_messages.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int QuillonPostMessage(QuillonWindow window, uint32_t msg,
                                                                         uintptr_t wparam, intptr_t lparam) {
    {
        std::lock_guard lock(g_messagesMutex);
        g_messages.push_back(Message{window, msg, wparam, lparam, {}});
    }
    g_messagesChanged.notify_all();
    return 1;
}

extern "C" __attribute__((visibility("default"))) int
QuillonPostDataMessage(QuillonWindow window, uint32_t msg, const void* data, size_t size, intptr_t lparam) {
    {
        std::lock_guard lock(g_messagesMutex);
        const auto* bytes = static_cast<const uint8_t*>(data);
        g_messages.push_back(Message{window, msg, 0, lparam, std::vector<uint8_t>(bytes, bytes + size)});
    }
    g_messagesChanged.notify_all();
    return 1;
}

namespace {

// ---- Driver libraries, loaded as the program loads them ----------------------------------------

struct Driver {
    void* handle = nullptr;
    std::string problem;
    Set_VIDPID_Fn Set_VIDPID = nullptr;
    Open_DevMonitor_Fn Open_DevMonitor = nullptr;
    Close_DevMonitor_Fn Close_DevMonitor = nullptr;
    Open_FeatureDevice_Fn Open_FeatureDevice = nullptr;
    Close_FeatureDevice_Fn Close_FeatureDevice = nullptr;
    SetFeature_Fn SetFeature = nullptr;
    GetFeature_Fn GetFeature = nullptr;
    Open_ReportDevice_Fn Open_ReportDevice = nullptr;
    Close_ReportDevice_Fn Close_ReportDevice = nullptr;
    WriteUSB_Fn WriteUSB = nullptr;
    ReadUSB_Fn ReadUSB = nullptr;
    Get_OpenError_Fn Get_OpenError = nullptr;

    bool Complete() const {
        return Set_VIDPID && Open_DevMonitor && Close_DevMonitor && Open_FeatureDevice &&
               Close_FeatureDevice && SetFeature && GetFeature && Open_ReportDevice && Close_ReportDevice &&
               WriteUSB && ReadUSB;
    }
};

template <typename Function> void Resolve(void* handle, Function& slot, const char* name) {
    slot = reinterpret_cast<Function>(dlsym(handle, name));
}

Driver LoadDriver(const std::string& path) {
    Driver driver;
    driver.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (driver.handle == nullptr) {
        driver.problem = dlerror();
        return driver;
    }
    Resolve(driver.handle, driver.Set_VIDPID, "Set_VIDPID");
    Resolve(driver.handle, driver.Open_DevMonitor, "Open_DevMonitor");
    Resolve(driver.handle, driver.Close_DevMonitor, "Close_DevMonitor");
    Resolve(driver.handle, driver.Open_FeatureDevice, "Open_FeatureDevice");
    Resolve(driver.handle, driver.Close_FeatureDevice, "Close_FeatureDevice");
    Resolve(driver.handle, driver.SetFeature, "SetFeature");
    Resolve(driver.handle, driver.GetFeature, "GetFeature");
    Resolve(driver.handle, driver.Open_ReportDevice, "Open_ReportDevice");
    Resolve(driver.handle, driver.Close_ReportDevice, "Close_ReportDevice");
    Resolve(driver.handle, driver.WriteUSB, "WriteUSB");
    Resolve(driver.handle, driver.ReadUSB, "ReadUSB");
    Resolve(driver.handle, driver.Get_OpenError, "Get_OpenError");
    if (!driver.Complete())
        driver.problem = "missing export in " + path;
    return driver;
}

// ---- The virtual mouse ------------------------------------------------------------------------

struct OutEvent {
    std::string device;
    std::string interface;
    std::string verdict;
    std::string hex;
};

class FirmwareLink {
public:
    bool Start(const std::string& path) {
        int toChild[2];
        int fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
            return false;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(toChild[0], STDIN_FILENO);
            dup2(fromChild[1], STDOUT_FILENO);
            execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        m_toChild = toChild[1];
        m_fromChild = fromChild[0];
        m_reader = std::thread([this] { ReadLines(); });
        return m_pid > 0;
    }

    void Stop() {
        Send("quit");
        if (m_toChild >= 0)
            close(m_toChild);
        m_toChild = -1;
        if (m_pid > 0)
            waitpid(m_pid, nullptr, 0);
        if (m_reader.joinable())
            m_reader.join();
    }

    // Sends a command and waits for its answer ("ok ...", "state ..." or "error ...").
    std::string Command(const std::string& line) {
        Send(line);
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, 20s, [&] { return !m_replies.empty() || m_ended; }) ||
            m_replies.empty())
            return "error no answer from the firmware to: " + line;
        std::string reply = m_replies.front();
        m_replies.pop_front();
        return reply;
    }

    bool Ok(const std::string& line) { return Command(line).rfind("ok ", 0) == 0; }

    StateText Dump(const std::string& device) {
        const std::string reply = Command("dump " + device);
        return reply.rfind("state ", 0) == 0 ? SplitStateText(reply) : StateText{};
    }

    // The next output report that reached the firmware, other than the keyboard LED reports the
    // kernel sends on its own.
    std::optional<OutEvent> NextOut(Clock::duration wait) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            while (m_nextOut < m_outs.size()) {
                const OutEvent& event = m_outs[m_nextOut++];
                if (event.verdict != "keyboard")
                    return event;
            }
            if (m_changed.wait_for(lock, wait) == std::cv_status::timeout || m_ended)
                return std::nullopt;
        }
    }

    // Every output report since `from`, and the index to continue from.
    std::vector<OutEvent> OutsSince(std::size_t from) {
        std::lock_guard lock(m_mutex);
        if (from >= m_outs.size())
            return {};
        return {m_outs.begin() + static_cast<std::ptrdiff_t>(from), m_outs.end()};
    }
    std::size_t OutCount() {
        std::lock_guard lock(m_mutex);
        m_nextOut = m_outs.size();
        return m_outs.size();
    }

private:
    void Send(const std::string& line) {
        const std::string text = line + "\n";
        if (m_toChild >= 0 && write(m_toChild, text.data(), text.size()) < 0)
            std::perror("hardware-harness: firmware");
    }

    void ReadLines() {
        std::string pending;
        char buffer[4096];
        for (;;) {
            const ssize_t got = read(m_fromChild, buffer, sizeof(buffer));
            if (got <= 0)
                break;
            pending.append(buffer, static_cast<std::size_t>(got));
            std::size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                const std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                std::lock_guard lock(m_mutex);
                if (line.rfind("out ", 0) == 0) {
                    std::istringstream in(line.substr(4));
                    OutEvent event;
                    in >> event.device >> event.interface >> event.verdict >> event.hex;
                    m_outs.push_back(event);
                } else if (line.rfind("getreport", 0) != 0 && line.rfind("setreport", 0) != 0) {
                    m_replies.push_back(line);
                }
                m_changed.notify_all();
            }
        }
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_changed.notify_all();
    }

    pid_t m_pid = -1;
    int m_toChild = -1;
    int m_fromChild = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_replies;
    std::vector<OutEvent> m_outs;
    std::size_t m_nextOut = 0;
    bool m_ended = false;
};

// ---- Checks -----------------------------------------------------------------------------------

int g_passed = 0;
int g_failed = 0;

bool Check(const std::string& name, bool ok, const std::string& why = {}) {
    if (ok) {
        ++g_passed;
        std::printf("PASS %s\n", name.c_str());
    } else {
        ++g_failed;
        std::printf("FAIL %s: %s\n", name.c_str(), why.c_str());
    }
    std::fflush(stdout);
    return ok;
}

// Empty when every report the mouse received came through the vendor interface of the cable or the
// receiver and was taken by the mouse; otherwise the first one that did not.
std::string WrongWrites(const std::vector<OutEvent>& events) {
    for (const OutEvent& event : events) {
        if (event.verdict == "keyboard")
            continue;
        if (event.device != "cable" && event.device != "receiver")
            return "a report reached the " + event.device + ": " + event.hex.substr(0, 16) + "...";
        if (event.interface != "if1")
            return "a report reached " + event.device + " " + event.interface + " (" + event.verdict + ")";
        if (event.verdict != "accepted")
            return event.device + " refused a report: " + event.verdict;
    }
    return {};
}

struct Link {
    const char* name;  // as the firmware calls the device
    Driver driver;
    int productId;
    uint32_t dataMessage;
    uint32_t plugMessage;
};

// The crafted profile: every setting away from its default, macros with moves, long pauses and
// more actions than one device slot holds, a shortcut, and a macro on a button beyond the seventh.
ProfileRecord CraftedProfile() {
    static ProfileRecord record;
    CreateProfile(record, u"hardware");
    record.dpi_x = {4, 16, 33, 64, 128, 260, 401, 520};
    record.dpi_step_enabled = {1, 1, 0, 1, 1, 0, 1, 1};
    record.dpi_step = 3;
    for (std::size_t i = 0; i < kDpiStageCount; ++i)
        record.dpi_color[i] = {static_cast<uint8_t>(20 * i + 1), static_cast<uint8_t>(200 - 9 * i),
                               static_cast<uint8_t>(7 * i), 0};
    record.lift_of_distance = 2;
    record.ripple_control = 1;
    record.angle_snap = 1;
    record.motion_sync = 1;
    record.light_effect = 5;
    record.brightness = 9;
    record.breathspeed = 3;
    record.sleep_timer = 0x25;
    record.light_color = {0x12, 0xab, 0xef, 0};
    record.light_off = 20;
    record.key_debounce = 8;
    record.prate = 3;

    auto macro = [](ButtonSlot& slot, uint8_t function, int actions, int repeatMode, int repeatCount,
                    ColorBytes color) {
        slot.function = function;
        slot.repeat_mode = repeatMode;
        slot.repeat_count = repeatCount;
        slot.macro_color = color;
        slot.macro_index = 0;
        slot.action_count = static_cast<uint16_t>(actions);
        for (int i = 0; i < actions; ++i) {
            MacroAction& a = slot.actions[static_cast<std::size_t>(i)];
            a = MacroAction{};
            a.kind = i % 7 == 6 ? kActionMove : (i % 2 == 0 ? kActionDown : kActionUp);
            a.code = static_cast<uint8_t>(0x04 + i % 26);
            a.delayMs = static_cast<uint16_t>(i % 5 == 0 ? 250 + 100 * i : 1 + 13 * i % 120);
            a.x = -3 * i;
            a.y = 7 * i - 40;
        }
    };
    macro(record.slots[0], kFunctionMacro, 70, 1, 3, {0xff, 0x80, 0x00, 0});
    macro(record.slots[3], kFunctionLeftButtonMacro, 5, 2, 0, {0x00, 0x40, 0xff, 0});
    macro(record.slots[12], kFunctionMacro, 3, 0, 255, {0x01, 0x02, 0x03, 0});
    record.slots[8].function = kFunctionShortcut;
    record.slots[8].shortcut_modifiers = 0x03;
    record.slots[8].shortcut_key = 0x0E;
    return record;
}

// The reports of a full write of `record`, in the order the program sends them.
std::vector<Report> FullWriteReports(const ProfileRecord& record) {
    std::vector<Report> reports;
    static ProfileRecord applied{};
    const DirtySet dirty = ComputeDirtySet(record, applied, FullWrite::Yes);
    ForEachApplyFrame(record, dirty, FullWrite::Yes, [&](FrameKind, const Frame& frame) {
        for (const Report& report : WrapReports(frame).used())
            reports.push_back(report);
    });
    return reports;
}

// Writes the reports one by one, each once the mouse has taken the one before (the program paces
// its writes far more slowly). Returns what arrived, or the reason it stopped: a report that did
// not arrive, arrived changed or reached another device than `device`, the one the driver serves.
std::string WriteReports(Driver& driver, FirmwareLink& firmware, const std::string& device,
                         const std::vector<Report>& reports, std::vector<OutEvent>& arrived) {
    for (const Report& report : reports) {
        const int written = driver.WriteUSB(report.data(), static_cast<int>(report.size()));
        if (written != static_cast<int>(report.size()))
            return "WriteUSB returned " + std::to_string(written);
        const std::optional<OutEvent> event = firmware.NextOut(kReportWait);
        if (!event)
            return "a written report never reached the mouse";
        arrived.push_back(*event);
        if (event->device != device)
            return "a report for the " + device + " reached the " + event->device;
        if (event->hex != Hex(report))
            return "the mouse received other bytes than were written: " + event->hex.substr(0, 24) + "...";
    }
    return {};
}

std::string StateDifferences(const StateText& expected, const StateText& actual) {
    std::string why;
    for (const auto& [key, value] : expected) {
        auto it = actual.find(key);
        const std::string got = it == actual.end() ? "(missing)" : it->second;
        if (got != value)
            why += " " + key + ": mouse " + got.substr(0, 60) + ", record " + value.substr(0, 60) + ";";
    }
    return why;
}

// The program waits a second after an arrival before it opens the device: the driver reports the
// device as soon as its first node is listed, and the others follow.
void SettleAfterArrival() {
    std::this_thread::sleep_for(1s);
}

bool ExpectPlug(const Link& link, uintptr_t arrived, const std::string& check) {
    const std::optional<Message> plug = TakeMessage(link.plugMessage, kPlugWait);
    if (!plug)
        return Check(check, false, std::string("no plug message from the ") + link.name + " driver");
    return Check(check, plug->wparam == arrived && plug->window == kMainWindow,
                 "plug message with wParam " + std::to_string(plug->wparam));
}

// Runs one driver as an unprivileged user, as a user without the udev rule would: in a new process
// of this program (forking a process with driver threads running is not safe).
int ProbeOpenAsNobody(const std::string& self, const std::string& plugin, int productId) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(120);
        const std::string product = std::to_string(productId);
        execl(self.c_str(), self.c_str(), "--probe-open", plugin.c_str(), product.c_str(),
              static_cast<char*>(nullptr));
        _exit(121);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 122;
}

// In the unprivileged process: what Open_ReportDevice says, as the exit code (0..3 the reason of a
// failed open, 100 when the device opened).
int ProbeOpen(const std::string& plugin, int productId) {
    Driver driver = LoadDriver(plugin);
    if (!driver.Complete() || driver.Get_OpenError == nullptr)
        return 110;
    driver.Set_VIDPID(kVendorId, productId);
    driver.Open_FeatureDevice();
    if (driver.Open_ReportDevice() != 0) {
        driver.Close_ReportDevice();
        return 100;
    }
    return driver.Get_OpenError();
}

// The HID device (bus:vendor:product.instance) behind each hidraw node.
std::vector<std::pair<std::string, std::string>> HidrawNodes() {
    std::vector<std::pair<std::string, std::string>> nodes;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/hidraw")) {
        std::error_code error;
        const auto device = std::filesystem::canonical(entry.path() / "device", error);
        nodes.emplace_back(entry.path().filename().string(), error ? "" : device.filename().string());
    }
    return nodes;
}

std::string RunCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[4096];
    std::size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        output.append(buffer, got);
    pclose(pipe);
    return output;
}

bool TaggedUaccess(const std::string& udevOutput) {
    std::istringstream in(udevOutput);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("TAGS=", 0) == 0 && line.find(":uaccess:") != std::string::npos)
            return true;
    }
    return false;
}

// The program itself, from the host's tree (mounted read-only at `hostRoot`), in a copy of its
// program folder on a writable file system: it loads its drivers, finds the mouse, and when the
// user switches the stage on the mouse it keeps that stage in the selected profile of its store.
// Returns empty on success, else what went wrong.
std::string RunProgram(FirmwareLink& firmware, const std::string& hostRoot,
                       const std::string& hostProgramDir) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path source = fs::path(hostRoot) / fs::path(hostProgramDir).relative_path();
    const fs::path copy = fs::path(hostRoot) / "tmp/quillon-program";
    if (!fs::exists(source / "quillon", error))
        return "no program at " + source.string() + " (is the host's tree mounted?)";
    fs::create_directories(copy, error);
    fs::copy(source, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error)
        return "cannot copy the program folder: " + error.message();
    fs::create_directories(fs::path(hostRoot) / "tmp/runtime", error);
    fs::permissions(fs::path(hostRoot) / "tmp/runtime", fs::perms::owner_all, error);
    const fs::path store = copy / "Data/ms_1/pro.data";

    const pid_t pid = fork();
    if (pid == 0) {
        if (chroot(hostRoot.c_str()) != 0 || chdir("/tmp/quillon-program") != 0)
            _exit(126);
        const int log = open("/tmp/quillon-program/quillon.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("HOME", "/tmp", 1);
        setenv("XDG_RUNTIME_DIR", "/tmp/runtime", 1);
        unsetenv("LD_LIBRARY_PATH");
        execl("/tmp/quillon-program/quillon", "/tmp/quillon-program/quillon", static_cast<char*>(nullptr));
        _exit(127);
    }

    // The mouse on its cable is awake and charging; once the program has started (its store is
    // there) the user switches to stage 3 on the mouse, again every second until the program has
    // kept it. A profile's current stage is counted from 0.
    firmware.Ok("power cable 1000 3 0");
    std::string problem = "the program did not keep the stage the mouse reported";
    const Clock::time_point deadline = Clock::now() + 120s;
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            problem = "the program ended early (status " + std::to_string(status) + ")";
            break;
        }
        std::this_thread::sleep_for(1s);
        std::ifstream in(store, std::ios::binary);
        if (!in)
            continue;
        firmware.Ok("stage cable 3");
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::int32_t selected = -1;
        if (bytes.size() >= sizeof(StoreHeader))
            std::memcpy(&selected, bytes.data(), sizeof(selected));
        const std::size_t at = sizeof(StoreHeader) +
                               static_cast<std::size_t>(selected) * sizeof(ProfileRecord) +
                               offsetof(ProfileRecord, dpi_step);
        std::int32_t stage = -1;
        if (selected >= 0 && bytes.size() >= at + sizeof(stage))
            std::memcpy(&stage, bytes.data() + at, sizeof(stage));
        if (stage == 2) {
            problem.clear();
            break;
        }
    }
    firmware.Ok("power cable 0 0 0");
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) != pid; ++i)
        std::this_thread::sleep_for(100ms);
    if (kill(pid, 0) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        if (problem.empty())
            problem = "the program did not end on SIGTERM";
    }
    if (!problem.empty()) {
        std::ifstream log(copy / "quillon.log");
        std::string line;
        while (std::getline(log, line))
            std::fprintf(stderr, "quillon: %s\n", line.c_str());
    }
    return problem;
}

int RunChecks(const std::string& self, const std::string& programDir, const std::string& firmwarePath,
              const std::string& brokenPlugin, const std::string& hostRoot,
              const std::string& hostProgramDir) {
    FirmwareLink firmware;
    if (!Check("the virtual mouse starts", firmware.Start(firmwarePath), "cannot run " + firmwarePath))
        return 1;

    Link wired{"cable", LoadDriver(programDir + "/hiddriver_4k_1.so"), kWiredProductId, kWiredReport,
               kWiredPlug};
    Link wireless{"receiver", LoadDriver(programDir + "/hiddriver_4k_2.so"), kWirelessProductId,
                  kWirelessReport, kWirelessPlug};
    const bool loaded = Check("both driver copies load with all their exports",
                              wired.driver.Complete() && wireless.driver.Complete() &&
                                  wired.driver.Get_OpenError && wireless.driver.Get_OpenError,
                              wired.driver.problem + " " + wireless.driver.problem);
    if (!loaded) {
        firmware.Stop();
        return 1;
    }
    Link* links[] = {&wired, &wireless};

    // Enumeration: only a look-alike with another product id is present; then the mouse arrives.
    Check("the look-alike device appears", firmware.Ok("plug lookalike"));
    bool ignored = true;
    std::string why;
    for (Link* link : links) {
        Driver& d = link->driver;
        d.Set_VIDPID(kVendorId, link->productId);
        d.Open_DevMonitor(kMainWindow, link->dataMessage, link->plugMessage);
        const int feature = d.Open_FeatureDevice();
        const int report = d.Open_ReportDevice();
        const int error = d.Get_OpenError();
        if (feature != 0 || report != 0 || error != QUILLON_OPEN_NOT_FOUND) {
            ignored = false;
            why += std::string(link->name) + " driver: feature " + std::to_string(feature) + ", report " +
                   std::to_string(report) + ", reason " + std::to_string(error) + "; ";
        }
    }
    std::this_thread::sleep_for(1500ms);  // several monitor polls
    const std::vector<Message> early =
        DrainMessages({kWiredPlug, kWirelessPlug, kWiredReport, kWirelessReport});
    if (!early.empty()) {
        ignored = false;
        why += "message " + std::to_string(early.front().msg) + " for the look-alike; ";
    }
    Check("enumeration ignores a look-alike with another product id", ignored, why);

    for (Link* link : links) {
        const std::string name = link->name;
        Check("the " + name + " appears", firmware.Ok("plug " + name));
        if (ExpectPlug(*link, 1, "the " + name + " driver reports the arrival")) {
            SettleAfterArrival();
            const int feature = link->driver.Open_FeatureDevice();
            const int report = link->driver.Open_ReportDevice();
            Check("the " + name + " driver opens the mouse", feature == 1 && report == 1,
                  "feature " + std::to_string(feature) + ", report " + std::to_string(report) + ", reason " +
                      std::to_string(link->driver.Get_OpenError()));
        }
    }
    const std::vector<Message> crossed = DrainMessages({kWiredPlug, kWirelessPlug});
    Check("each driver reports only its own device", crossed.empty(),
          crossed.empty() ? "" : "extra plug message " + std::to_string(crossed.front().msg));

    // A full write of the crafted profile on each link, decoded by the mouse.
    const ProfileRecord record = CraftedProfile();
    const std::vector<Report> reports = FullWriteReports(record);
    const std::size_t firstOut = firmware.OutCount();
    for (Link* link : links) {
        std::vector<OutEvent> arrived;
        std::string stopped = WriteReports(link->driver, firmware, link->name, reports, arrived);
        const StateText state = firmware.Dump(link->name);
        Check("a full write over the " + std::string(link->name) + " (" + std::to_string(reports.size()) +
                  " reports) leaves the record in the mouse",
              stopped.empty() && !state.empty() &&
                  StateDifferences(ExpectedMouseState(record), state).empty(),
              stopped.empty() ? StateDifferences(ExpectedMouseState(record), state) : stopped);
    }
    const std::string wrong = WrongWrites(firmware.OutsSince(firstOut));
    Check("only the vendor interface of the mouse is written", wrong.empty(), wrong);

    // Status reports, as the mouse sends them.
    DrainMessages({kWiredReport, kWirelessReport});
    const std::vector<MouseStatusReport> sequence = {MakeStageStatus(3),    MakePollingStatus(0x04),
                                                     MakePowerStatus(3, 0), MakePowerStatus(1, 57),
                                                     MakeFlagStatus(0),     MakePowerStatus(2, 100)};
    for (Link* link : links) {
        const std::string name = link->name;
        bool sent = firmware.Ok("stage " + name + " 3");
        for (std::size_t i = 1; i < sequence.size(); ++i)
            sent = firmware.Ok("send " + name + " " + Hex(sequence[i])) && sent;
        std::string problem = sent ? "" : "the mouse could not send";
        for (const MouseStatusReport& expected : sequence) {
            const std::optional<Message> got = TakeMessage(link->dataMessage, kReportWait);
            const std::vector<uint8_t> want(expected.begin(), expected.end());
            if (!got) {
                problem += " missing " + Hex(expected) + ";";
                break;
            }
            if (got->data != want || got->lparam != static_cast<intptr_t>(want.size()) ||
                got->window != kMainWindow)
                problem += " got " + Hex(got->data) + " (lParam " + std::to_string(got->lparam) + ") for " +
                           Hex(expected) + ";";
        }
        const uint32_t other = link == &wired ? kWirelessReport : kWiredReport;
        if (!DrainMessages({other}).empty())
            problem += " reports also reached the other link;";
        Check("status reports of the " + name + " arrive as data messages, in order", problem.empty(),
              problem);
    }

    // Timed power reports while the mouse is awake, none once it sleeps.
    {
        firmware.Ok("power receiver 250 1 80");
        std::this_thread::sleep_for(2s);
        firmware.Ok("power receiver 0 0 0");
        std::this_thread::sleep_for(500ms);  // reports already on their way
        const std::vector<Message> awake = DrainMessages({kWirelessReport});
        const std::vector<uint8_t> power = [] {
            const MouseStatusReport r = MakePowerStatus(1, 80);
            return std::vector<uint8_t>(r.begin(), r.end());
        }();
        const bool allPower =
            std::all_of(awake.begin(), awake.end(), [&](const Message& m) { return m.data == power; });
        std::this_thread::sleep_for(1500ms);
        const std::vector<Message> asleep = DrainMessages({kWirelessReport});
        Check("timed power reports arrive while the mouse is awake and stop when it sleeps",
              awake.size() >= 3 && allPower && asleep.empty(),
              std::to_string(awake.size()) + " power reports in 2 s, " + std::to_string(asleep.size()) +
                  " after it slept");
    }

    // Pulling and plugging again. The receiver is pulled and plugged after the driver saw it gone;
    // the cable is pulled and plugged back at once, several times, so that the driver sees the new
    // device at different moments of its polling.
    for (Link* link : links) {
        const std::string name = link->name;
        Driver& d = link->driver;
        const bool quick = link == &wired;
        std::string problem;
        for (int round = 1; round <= (quick ? 4 : 1) && problem.empty(); ++round) {
            const std::string when = quick ? " (round " + std::to_string(round) + ")" : "";
            if (quick) {
                if (!firmware.Ok("unplug " + name) || !firmware.Ok("plug " + name))
                    problem += " the mouse could not be replugged;";
            } else if (!firmware.Ok("unplug " + name)) {
                problem += " the mouse could not be pulled;";
            }
            const std::optional<Message> removal = TakeMessage(link->plugMessage, kPlugWait);
            if (!removal || removal->wparam != 0)
                problem += removal ? " first plug message was an arrival" + when + ";"
                                   : " no removal message" + when + ";";
            d.Close_FeatureDevice();
            d.Close_ReportDevice();
            if (!quick && !firmware.Ok("plug " + name))
                problem += " the mouse could not be plugged again;";
            const std::optional<Message> arrival = TakeMessage(link->plugMessage, kPlugWait);
            if (!arrival || arrival->wparam != 1)
                problem += arrival ? " second plug message was a removal" + when + ";"
                                   : " no arrival message" + when + ";";
            SettleAfterArrival();
            d.Open_FeatureDevice();
            if (d.Open_ReportDevice() != 1) {
                problem += " the report device did not open again" + when + ";";
                continue;
            }
            ProfileRecord changed = record;
            changed.prate = round % 7;
            std::vector<OutEvent> arrived;
            std::vector<Report> polling;
            for (const Report& report : WrapReports(PollingRateFrame(changed)).used())
                polling.push_back(report);
            firmware.OutCount();
            const std::string stopped = WriteReports(d, firmware, name, polling, arrived);
            if (!stopped.empty())
                problem += " " + stopped + when + ";";
            else if (!WrongWrites(arrived).empty())
                problem += " " + WrongWrites(arrived) + when + ";";
            else if (firmware.Dump(name)["pollingCode"] != std::to_string(PollingRateCode(changed.prate)))
                problem += " the mouse did not take the polling rate" + when + ";";
        }
        // The mouse sends its power report again; the driver reads the new node. (A report sent
        // before the driver's next poll after the arrival may be lost: the node can be listed
        // before it can be opened, and the driver opens it again on the following poll.)
        DrainMessages({link->dataMessage});
        firmware.Ok("power " + name + " 300 3 0");
        const std::optional<Message> status = TakeMessage(link->dataMessage, kReportWait);
        firmware.Ok("power " + name + " 0 0 0");
        const MouseStatusReport charging = MakePowerStatus(3, 0);
        if (!status || status->data != std::vector<uint8_t>(charging.begin(), charging.end()))
            problem += " no status report after the replug;";
        const std::vector<Message> extra = DrainMessages({link->plugMessage});
        if (!extra.empty())
            problem += " " + std::to_string(extra.size()) + " extra plug messages;";
        Check(std::string(quick ? "a quick replug" : "pulling and plugging") + " of the " + name +
                  " gives a removal and an arrival, and the link works again",
              problem.empty(), problem);
    }

    // A user without access to the mouse's node (no udev rule) is told so, not "no mouse".
    {
        const int reason = ProbeOpenAsNobody(self, programDir + "/hiddriver_4k_1.so", kWiredProductId);
        Check("a hidraw node the user may not open gives the permission reason",
              reason == QUILLON_OPEN_PERMISSION_DENIED,
              reason == 100 ? "the unprivileged user opened the node" : "reason " + std::to_string(reason));
    }

    // The udev rule tags the mouse's nodes, and only those, for the user at the seat.
    {
        std::string problem;
        int tagged = 0;
        if (access("/usr/bin/udevadm", X_OK) != 0 && access("/bin/udevadm", X_OK) != 0) {
            problem = "udevadm is not in the guest";
        } else {
            for (const auto& [node, hid] : HidrawNodes()) {
                const bool mouse = hid.find(":1D57:FA7F.") != std::string::npos ||
                                   hid.find(":1D57:FA65.") != std::string::npos;
                const std::string output = RunCommand("udevadm test /sys/class/hidraw/" + node + " 2>&1");
                const bool isTagged = TaggedUaccess(output);
                tagged += isTagged ? 1 : 0;
                if (isTagged != mouse) {
                    problem += " " + node + " (" + hid + ") " + (isTagged ? "tagged" : "not tagged") + ";";
                    std::fprintf(stderr, "udevadm test of %s:\n%s\n", node.c_str(), output.c_str());
                }
            }
            if (tagged == 0 && problem.empty())
                problem = "no node was tagged";
        }
        Check("the udev rule gives the seat's user the mouse's nodes and no others (udevadm test)",
              problem.empty() && tagged == 4,
              problem.empty() ? std::to_string(tagged) + " nodes tagged" : problem);
    }

    // Shut-down in the program's order.
    for (Link* link : links) {
        link->driver.Close_FeatureDevice();
        link->driver.Close_DevMonitor();
        link->driver.Close_ReportDevice();
    }
    const std::string allWrong = WrongWrites(firmware.OutsSince(0));
    Check("over the whole run, only the vendor interface of the mouse was written", allWrong.empty(),
          allWrong);
    for (Link* link : links)
        dlclose(link->driver.handle);
    DrainMessages({kWiredPlug, kWirelessPlug, kWiredReport, kWirelessReport});

    if (!hostRoot.empty()) {
        const std::string problem = RunProgram(firmware, hostRoot, hostProgramDir);
        Check("the program finds the mouse and keeps the stage the user switched to on it", problem.empty(),
              problem);
    }

    // The harness itself: a driver that writes to the first interface must fail the interface check.
    {
        Driver broken = LoadDriver(brokenPlugin);
        std::string caught;
        if (broken.Complete()) {
            broken.Set_VIDPID(kVendorId, kWiredProductId);
            broken.Open_DevMonitor(kMainWindow, kWiredReport, kWiredPlug);
            broken.Open_FeatureDevice();
            if (broken.Open_ReportDevice() == 1) {
                const std::size_t from = firmware.OutCount();
                std::vector<OutEvent> arrived;
                std::vector<Report> full;
                for (const Report& report : WrapReports(FullWriteFrame()).used())
                    full.push_back(report);
                WriteReports(broken, firmware, "cable", full, arrived);
                caught = WrongWrites(firmware.OutsSince(from));
            }
            broken.Close_FeatureDevice();
            broken.Close_DevMonitor();
            broken.Close_ReportDevice();
            dlclose(broken.handle);
        }
        Check("the interface check fails on a driver that writes to the first interface", !caught.empty(),
              broken.Complete() ? "the broken driver passed" : "cannot load " + brokenPlugin);
        if (!caught.empty())
            std::printf("     (broken driver: %s)\n", caught.c_str());
    }

    firmware.Stop();
    std::printf("hardware checks: %d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == 4 && std::strcmp(argv[1], "--probe-open") == 0)
        return ProbeOpen(argv[2], std::atoi(argv[3]));
    if (argc != 4 && argc != 6) {
        std::fprintf(stderr, "usage: %s PROGRAM_DIR FIRMWARE BROKEN_PLUGIN [HOST_ROOT HOST_PROGRAM_DIR]\n",
                     argv[0]);
        return 2;
    }
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    return RunChecks(self, argv[1], argv[2], argv[3], argc == 6 ? argv[4] : "", argc == 6 ? argv[5] : "");
}
