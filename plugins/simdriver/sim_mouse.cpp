#include "sim_mouse.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "core/protocol/frames.h"

namespace quillon::sim {

const char* LinkName(SimLink link) {
    return link == SimLink::Wired ? "wired" : "wireless";
}

std::optional<SimLink> LinkOfProduct(int productId) {
    if (productId == 0xFA7F)
        return SimLink::Wired;
    if (productId == 0xFA65)
        return SimLink::Wireless;
    return std::nullopt;
}

bool LinkStartsPlugged(SimLink link, const char* setting) {
    const std::string list = setting != nullptr ? setting : "wireless";
    std::stringstream stream(list);
    std::string item;
    while (std::getline(stream, item, ',')) {
        item.erase(0, item.find_first_not_of(" \t"));
        item.erase(item.find_last_not_of(" \t") + 1);
        if (item == LinkName(link))
            return true;
    }
    return false;
}

namespace {

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    char part[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(part, sizeof part, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += part;
    }
    return text;
}

std::string Timestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis));
    return text;
}

bool IsPollingCode(unsigned code) {
    return code == 0x01 || code == 0x02 || code == 0x04 || code == 0x08 || code == 0x10 || code == 0x20 ||
           code == 0x40;
}

}  // namespace

SimMouse::SimMouse(SimLink link, bool plugged, MouseBody& body)
    : m_link(link), m_body(body), m_plugged(plugged) {
    std::lock_guard lock(m_body.mutex);
    if (m_link == SimLink::Wired)
        m_body.cablePlugged = plugged;
}

bool SimMouse::Plugged() const {
    std::lock_guard lock(m_body.mutex);
    return m_plugged;
}

int SimMouse::Write(std::span<const std::uint8_t> report) {
    std::lock_guard lock(m_body.mutex);
    if (!m_plugged) {
        Log(std::string(LinkName(m_link)) + " dropped (not plugged) " + Hex(report));
        return -1;
    }
    const FeedResult result = m_body.model.Feed(report);
    if (result.accepted)
        Log(std::string(LinkName(m_link)) + " write " + Hex(report));
    else
        Log(std::string(LinkName(m_link)) + " rejected (" + RejectReasonName(result.reason) + ") " +
            Hex(report));
    return static_cast<int>(report.size());
}

std::optional<MouseStatusReport> SimMouse::PowerTick() {
    std::lock_guard lock(m_body.mutex);
    if (!m_plugged || !m_body.awake)
        return std::nullopt;
    return PowerReportLocked();
}

MouseStatusReport SimMouse::PowerReportLocked() {
    if (ChargingLocked()) {
        if (m_body.level < 100)
            ++m_body.level;
        return MakePowerStatus(m_body.level >= 100 ? 2 : 3, static_cast<std::uint8_t>(m_body.level));
    }
    if (++m_body.ticks % kDrainTicks == 0 && m_body.level > 1)
        --m_body.level;
    return MakePowerStatus(1, static_cast<std::uint8_t>(m_body.level));
}

std::string SimMouse::Command(const std::string& line, Outgoing& out) {
    std::istringstream words(line);
    std::string command, argument;
    words >> command >> argument;

    if (command == "state")
        return Describe();
    if (command == "help" || command.empty())
        return "commands: plug, pull, sleep, wake, dpi <1..8>, rate <code 0x01..0x40>, charge start|end, "
               "state";

    std::lock_guard lock(m_body.mutex);
    if (command == "plug" || command == "pull") {
        const bool plug = command == "plug";
        if (m_plugged == plug)
            return plug ? "error: already plugged" : "error: not plugged";
        m_plugged = plug;
        if (m_link == SimLink::Wired)
            m_body.cablePlugged = plug;
        out.plug = plug;
        Log(std::string(LinkName(m_link)) + (plug ? " plugged" : " pulled"));
        return "ok";
    }
    if (!m_plugged)
        return "error: the " + std::string(LinkName(m_link)) + " link has no mouse plugged";
    if (command == "sleep") {
        m_body.awake = false;
        return "ok";
    }
    if (command == "wake") {
        m_body.awake = true;
        out.reports.push_back(PowerReportLocked());
        return "ok";
    }
    if (command == "dpi") {
        const int stage = std::atoi(argument.c_str());
        if (stage < 1 || stage > 8)
            return "error: the stage is 1..8";
        // A button press on the mouse wakes it.
        m_body.awake = true;
        out.reports.push_back(m_body.model.SwitchStage(static_cast<std::uint8_t>(stage)));
        return "ok";
    }
    if (command == "rate") {
        const unsigned long code = std::strtoul(argument.c_str(), nullptr, 0);
        if (!IsPollingCode(static_cast<unsigned>(code)))
            return "error: the rate is one of the codes 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40";
        // The mouse keeps the rate as if the program had written it, then tells the program.
        const auto c = static_cast<std::uint8_t>(code);
        const std::array<std::uint8_t, 9> frame{0x06, 0x09, 0x01, c, static_cast<std::uint8_t>(c ^ 0xFF),
                                                0,    0,    0,    0};
        const WrappedReports wrapped = WrapReports(frame);
        for (const Report& report : wrapped.used())
            m_body.model.Feed(report);
        m_body.awake = true;
        out.reports.push_back(MakePollingStatus(c));
        return "ok";
    }
    if (command == "charge") {
        if (argument != "start" && argument != "end")
            return "error: charge start or charge end";
        m_body.chargerCommanded = argument == "start";
        if (m_body.awake)
            out.reports.push_back(PowerReportLocked());
        return "ok";
    }
    return "error: unknown command '" + command + "' (try help)";
}

std::string SimMouse::Describe() const {
    std::lock_guard lock(m_body.mutex);
    const DeviceModel& model = m_body.model;
    const MouseState& s = model.State();
    std::ostringstream text;
    char hex[16];
    auto byte = [&](unsigned value) {
        std::snprintf(hex, sizeof hex, "0x%02X", value);
        return std::string(hex);
    };
    text << "link: " << LinkName(m_link) << (m_plugged ? " (plugged)" : " (not plugged)") << "\n";
    text << "mouse: " << (m_body.awake ? "awake" : "asleep") << ", "
         << (ChargingLocked() ? (m_body.level >= 100 ? "charge complete" : "charging") : "on battery") << " "
         << m_body.level << "%\n";
    text << "current stage: " << unsigned(s.currentStage) << "\n";
    text << "stage mask: " << byte(s.stageMask) << "\nstages (DPI):";
    for (std::size_t i = 0; i < kMouseStageCount; ++i)
        text << " " << (static_cast<unsigned>(s.stageSteps[i]) + 1) * 50;
    text << "\npolling code: " << byte(s.pollingCode) << "\n";
    text << "lift-off: " << unsigned(s.liftOff) << ", ripple: " << unsigned(s.ripple)
         << ", angle snap: " << unsigned(s.angleSnap) << ", motion sync: " << unsigned(s.motionSync) << "\n";
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X", s.lightColor[0], s.lightColor[1], s.lightColor[2]);
    text << "lighting: effect " << unsigned(s.lightEffect) << ", brightness " << unsigned(s.brightness)
         << ", breathing code " << unsigned(s.breathCode) << ", colour " << hex << ", sleep timer "
         << unsigned(s.sleepTimer) << ", light off " << unsigned(s.lightOff) << ", debounce "
         << unsigned(s.debounce) << "\n";
    text << "key map:";
    for (std::size_t i = 0; i < kMouseButtonCount; ++i)
        text << " " << (i + 1) << "=" << Hex(s.keyMap[i]);
    text << "\nmacro slots written:";
    for (std::size_t slot = 0; slot < kMouseMacroSlots; ++slot)
        if (s.macros[slot].written)
            text << " " << slot;
    text << "\nfull writes: " << s.fullWrites << "\n";
    text << "reports: " << model.AcceptedReports() << " accepted, " << model.RejectedReports() << " rejected";
    if (model.RejectedReports() > 0)
        text << " (last: " << RejectReasonName(model.LastRejection()) << ")";
    text << "\n";
    return text.str();
}

MouseState SimMouse::State() const {
    std::lock_guard lock(m_body.mutex);
    return m_body.model.State();
}

std::size_t SimMouse::RejectedReports() const {
    std::lock_guard lock(m_body.mutex);
    return m_body.model.RejectedReports();
}

void SimMouse::Log(const std::string& line) const {
    if (m_body.logFile.empty())
        return;
    std::ofstream file(m_body.logFile, std::ios::app);
    file << Timestamp() << " " << line << "\n";
}

}  // namespace quillon::sim
