// ms1-firmware: a virtual MS_1 for a Linux guest. It creates the HID devices of the cable
// (1d57:fa7f), the 2.4 GHz receiver (1d57:fa65) and, on request, a look-alike with another product
// id through /dev/uhid, each with two interfaces (boot mouse; keyboard, consumer and vendor
// collections). Output reports that reach the vendor collection go through the core's device model;
// status reports go out as input report 0x05, the power report on a timer like the real mouse.
//
// It is driven over stdin, one command a line, and answers on stdout:
//   plug DEV | unplug DEV          -> ok plug DEV (both interfaces started) | ok unplug DEV
//   send DEV HEX                   input report HEX on the vendor interface -> ok send DEV
//   stage DEV N                    the user switches to stage N on the mouse -> ok stage DEV
//   power DEV PERIOD STATUS LEVEL  a power report now and every PERIOD ms (0: the mouse sleeps)
//   dump DEV                       -> state DEV key=value ... (mouse_text.h)
//   quit
// and reports every output report the kernel hands over, as it arrives:
//   out DEV ifN VERDICT HEX        VERDICT: accepted | rejected:REASON | keyboard | not-vendor
// DEV is cable, receiver or lookalike; errors come back as "error TEXT".

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "core/protocol/device_model.h"
#include "mouse_text.h"
#include "report_descriptors.h"

namespace {

using namespace quillon;
using namespace quillon::hardware;
using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kBusUsb = 0x03;
constexpr std::uint16_t kVendorId = 0x1D57;

void Emit(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::vector<std::uint8_t> ParseHex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

struct Interface {
    int fd = -1;
    bool started = false;
};

struct Device {
    std::string name;
    std::uint16_t productId = 0;
    std::string productName;
    std::array<Interface, 2> interfaces{};
    bool plugged = false;
    DeviceModel model;
    // The timed power report: sent every `powerPeriod` while the mouse is awake.
    std::chrono::milliseconds powerPeriod{0};
    Clock::time_point nextPower{};
    std::uint8_t powerStatus = 0;
    std::uint8_t powerLevel = 0;
};

bool WriteEvent(int fd, const uhid_event& event) {
    return write(fd, &event, sizeof(event)) == static_cast<ssize_t>(sizeof(event));
}

class Firmware {
public:
    Firmware() {
        AddDevice("cable", 0xFA7F, "MS_1 Gaming Mouse");
        AddDevice("receiver", 0xFA65, "MS_1 2.4G Receiver");
        AddDevice("lookalike", 0xFA60, "1D57 Other Device");
    }

    int Run();

private:
    void AddDevice(const std::string& name, std::uint16_t productId, const std::string& productName) {
        Device& device = m_devices[name];
        device.name = name;
        device.productId = productId;
        device.productName = productName;
    }

    Device* Find(const std::string& name) {
        auto it = m_devices.find(name);
        return it == m_devices.end() ? nullptr : &it->second;
    }

    void Command(const std::string& line);
    bool Plug(Device& device);
    void Unplug(Device& device);
    bool SendInput(Device& device, std::span<const std::uint8_t> bytes);
    void HandleEvent(Device& device, std::size_t index);
    void SendDuePower();
    int PollTimeoutMs() const;

    std::map<std::string, Device> m_devices;
    std::string m_input;
    bool m_quit = false;
};

bool Firmware::Plug(Device& device) {
    if (device.plugged)
        return true;
    for (std::size_t i = 0; i < device.interfaces.size(); ++i) {
        Interface& iface = device.interfaces[i];
        iface.fd = open("/dev/uhid", O_RDWR | O_CLOEXEC);
        if (iface.fd < 0)
            return false;
        uhid_event event{};
        event.type = UHID_CREATE2;
        const std::string name = device.productName;
        std::snprintf(reinterpret_cast<char*>(event.u.create2.name), sizeof(event.u.create2.name), "%s",
                      name.c_str());
        std::snprintf(reinterpret_cast<char*>(event.u.create2.phys), sizeof(event.u.create2.phys),
                      "virtual-ms1/%s/input%zu", device.name.c_str(), i);
        const std::uint8_t* descriptor = i == 0 ? kBootMouseDescriptor : kVendorInterfaceDescriptor;
        const std::size_t size = i == 0 ? sizeof(kBootMouseDescriptor) : sizeof(kVendorInterfaceDescriptor);
        std::memcpy(event.u.create2.rd_data, descriptor, size);
        event.u.create2.rd_size = static_cast<std::uint16_t>(size);
        event.u.create2.bus = kBusUsb;
        event.u.create2.vendor = kVendorId;
        event.u.create2.product = device.productId;
        event.u.create2.version = 0x0100;
        if (!WriteEvent(iface.fd, event))
            return false;
        // Interface 0 first, as USB enumerates them: each is started before the next is created.
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
        while (!iface.started) {
            pollfd pfd{iface.fd, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
                return false;
            HandleEvent(device, i);
        }
    }
    device.plugged = true;
    return true;
}

void Firmware::Unplug(Device& device) {
    for (Interface& iface : device.interfaces) {
        if (iface.fd < 0)
            continue;
        uhid_event event{};
        event.type = UHID_DESTROY;
        WriteEvent(iface.fd, event);
        close(iface.fd);
        iface = Interface{};
    }
    device.plugged = false;
    device.powerPeriod = std::chrono::milliseconds(0);
    // Unplugged, the mouse keeps nothing it was sent.
    device.model.Reset();
}

bool Firmware::SendInput(Device& device, std::span<const std::uint8_t> bytes) {
    Interface& vendor = device.interfaces[1];
    if (!device.plugged || vendor.fd < 0 || bytes.size() > UHID_DATA_MAX)
        return false;
    uhid_event event{};
    event.type = UHID_INPUT2;
    event.u.input2.size = static_cast<std::uint16_t>(bytes.size());
    std::memcpy(event.u.input2.data, bytes.data(), bytes.size());
    return WriteEvent(vendor.fd, event);
}

void Firmware::HandleEvent(Device& device, std::size_t index) {
    Interface& iface = device.interfaces[index];
    uhid_event event{};
    const ssize_t got = read(iface.fd, &event, sizeof(event));
    if (got <= 0)
        return;
    switch (event.type) {
    case UHID_START:
        iface.started = true;
        break;
    case UHID_OUTPUT: {
        const std::span<const std::uint8_t> data(event.u.output.data, event.u.output.size);
        std::string verdict;
        if (index != 1) {
            // The boot mouse interface has no output report; the real mouse drops what comes there.
            verdict = "not-vendor";
        } else if (!data.empty() && data[0] == kKeyboardReportId) {
            verdict = "keyboard";  // the LED report the kernel's keyboard handling sends
        } else {
            const FeedResult result = device.model.Feed(data);
            verdict =
                result.accepted ? "accepted" : std::string("rejected:") + RejectReasonName(result.reason);
            for (char& c : verdict)
                c = c == ' ' ? '-' : c;
        }
        Emit("out " + device.name + " if" + std::to_string(index) + " " + verdict + " " + Hex(data));
        break;
    }
    case UHID_GET_REPORT: {
        // The mouse has no feature or readable reports.
        uhid_event reply{};
        reply.type = UHID_GET_REPORT_REPLY;
        reply.u.get_report_reply.id = event.u.get_report.id;
        reply.u.get_report_reply.err = EIO;
        WriteEvent(iface.fd, reply);
        Emit("getreport " + device.name + " if" + std::to_string(index));
        break;
    }
    case UHID_SET_REPORT: {
        uhid_event reply{};
        reply.type = UHID_SET_REPORT_REPLY;
        reply.u.set_report_reply.id = event.u.set_report.id;
        reply.u.set_report_reply.err = EIO;
        WriteEvent(iface.fd, reply);
        Emit("setreport " + device.name + " if" + std::to_string(index) + " " +
             Hex(std::span<const std::uint8_t>(event.u.set_report.data, event.u.set_report.size)));
        break;
    }
    default:
        break;  // open, close, stop: nothing to do
    }
}

void Firmware::SendDuePower() {
    const Clock::time_point now = Clock::now();
    for (auto& [name, device] : m_devices) {
        if (!device.plugged || device.powerPeriod.count() == 0 || now < device.nextPower)
            continue;
        SendInput(device, MakePowerStatus(device.powerStatus, device.powerLevel));
        device.nextPower = now + device.powerPeriod;
    }
}

int Firmware::PollTimeoutMs() const {
    int timeout = -1;
    const Clock::time_point now = Clock::now();
    for (const auto& [name, device] : m_devices) {
        if (!device.plugged || device.powerPeriod.count() == 0)
            continue;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(device.nextPower - now).count();
        const int ms = left < 0 ? 0 : static_cast<int>(left);
        timeout = timeout < 0 ? ms : std::min(timeout, ms);
    }
    return timeout;
}

void Firmware::Command(const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    std::string name;
    in >> verb >> name;
    if (verb == "quit") {
        m_quit = true;
        return;
    }
    Device* device = Find(name);
    if (device == nullptr) {
        Emit("error unknown device in: " + line);
        return;
    }
    bool done = true;
    if (verb == "plug") {
        done = Plug(*device);
    } else if (verb == "unplug") {
        Unplug(*device);
    } else if (verb == "send") {
        std::string hex;
        in >> hex;
        done = SendInput(*device, ParseHex(hex));
    } else if (verb == "stage") {
        int stage = 0;
        in >> stage;
        done = SendInput(*device, device->model.SwitchStage(static_cast<std::uint8_t>(stage)));
    } else if (verb == "power") {
        int period = 0;
        int status = 0;
        int level = 0;
        in >> period >> status >> level;
        device->powerPeriod = std::chrono::milliseconds(period);
        device->powerStatus = static_cast<std::uint8_t>(status);
        device->powerLevel = static_cast<std::uint8_t>(level);
        device->nextPower = Clock::now();
        if (period > 0)
            SendDuePower();
    } else if (verb == "dump") {
        Emit("state " + name + " " + JoinStateText(FormatMouseState(device->model)));
        return;
    } else {
        Emit("error unknown command: " + line);
        return;
    }
    Emit(done ? "ok " + verb + " " + name : "error " + verb + " " + name + ": " + std::strerror(errno));
}

int Firmware::Run() {
    std::array<char, 4096> buffer{};
    while (!m_quit) {
        std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
        std::vector<std::pair<Device*, std::size_t>> owners{{nullptr, 0}};
        for (auto& [name, device] : m_devices) {
            for (std::size_t i = 0; i < device.interfaces.size(); ++i) {
                if (device.interfaces[i].fd >= 0) {
                    fds.push_back({device.interfaces[i].fd, POLLIN, 0});
                    owners.emplace_back(&device, i);
                }
            }
        }
        if (poll(fds.data(), fds.size(), PollTimeoutMs()) < 0 && errno != EINTR)
            return 1;
        for (std::size_t k = 1; k < fds.size(); ++k) {
            if (fds[k].revents & POLLIN)
                HandleEvent(*owners[k].first, owners[k].second);
        }
        SendDuePower();
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            const ssize_t got = read(STDIN_FILENO, buffer.data(), buffer.size());
            if (got <= 0)
                break;  // the harness went away
            m_input.append(buffer.data(), static_cast<std::size_t>(got));
            std::size_t end;
            while (!m_quit && (end = m_input.find('\n')) != std::string::npos) {
                const std::string line = m_input.substr(0, end);
                m_input.erase(0, end + 1);
                if (!line.empty())
                    Command(line);
            }
        }
    }
    for (auto& [name, device] : m_devices)
        Unplug(device);
    return 0;
}

}  // namespace

int main() {
    if (access("/dev/uhid", R_OK | W_OK) != 0) {
        std::perror("ms1-firmware: /dev/uhid");
        return 2;
    }
    Firmware firmware;
    return firmware.Run();
}
