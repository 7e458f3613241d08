#include "sim_mouse.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "protocol/frames.h"

namespace quillon::sim {

const char* LinkName(SimLink link) { return link == SimLink::Wired ? "wired" : "wireless"; }

std::optional<SimLink> LinkOfProduct(int productId)
{
    if (productId == 0xFA7F)
        return SimLink::Wired;
    if (productId == 0xFA65)
        return SimLink::Wireless;
    return std::nullopt;
}

bool LinkStartsPlugged(SimLink link, const char* setting)
{
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

std::string Hex(std::span<const std::uint8_t> bytes)
{
    std::string text;
    char part[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(part, sizeof part, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += part;
    }
    return text;
}

std::string Timestamp()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis));
    return text;
}

bool IsPollingCode(unsigned code)
{
    return code == 0x01 || code == 0x02 || code == 0x04 || code == 0x08 || code == 0x10 || code == 0x20 ||
           code == 0x40;
}

} // namespace

SimMouse::SimMouse(SimLink link, bool plugged, std::filesystem::path logFile)
    : m_link(link), m_logFile(std::move(logFile)), m_plugged(plugged),
      // The cable charges the mouse; on the receiver it runs on its battery.
      m_charging(link == SimLink::Wired)
{
}

bool SimMouse::Plugged() const
{
    std::lock_guard lock(m_mutex);
    return m_plugged;
}

int SimMouse::Write(std::span<const std::uint8_t> report)
{
    std::lock_guard lock(m_mutex);
    if (!m_plugged) {
        Log(std::string(LinkName(m_link)) + " dropped (not plugged) " + Hex(report));
        return -1;
    }
    const FeedResult result = m_model.Feed(report);
    if (result.accepted)
        Log(std::string(LinkName(m_link)) + " write " + Hex(report));
    else
        Log(std::string(LinkName(m_link)) + " rejected (" + RejectReasonName(result.reason) + ") " + Hex(report));
    return static_cast<int>(report.size());
}

std::optional<MouseStatusReport> SimMouse::PowerTick()
{
    std::lock_guard lock(m_mutex);
    if (!m_plugged || !m_awake)
        return std::nullopt;
    return PowerReportLocked();
}

MouseStatusReport SimMouse::PowerReportLocked()
{
    if (m_charging) {
        if (m_level < 100)
            ++m_level;
        return MakePowerStatus(m_level >= 100 ? 2 : 3, static_cast<std::uint8_t>(m_level));
    }
    if (++m_ticks % kDrainTicks == 0 && m_level > 1)
        --m_level;
    return MakePowerStatus(1, static_cast<std::uint8_t>(m_level));
}

std::string SimMouse::Command(const std::string& line, Outgoing& out)
{
    std::istringstream words(line);
    std::string command, argument;
    words >> command >> argument;

    if (command == "state")
        return Describe();
    if (command == "help" || command.empty())
        return "commands: plug, pull, sleep, wake, dpi <1..8>, rate <code 0x01..0x40>, charge start|end, state";

    std::lock_guard lock(m_mutex);
    if (command == "plug" || command == "pull") {
        const bool plug = command == "plug";
        if (m_plugged == plug)
            return plug ? "error: already plugged" : "error: not plugged";
        m_plugged = plug;
        out.plug = plug;
        Log(std::string(LinkName(m_link)) + (plug ? " plugged" : " pulled"));
        return "ok";
    }
    if (!m_plugged)
        return "error: the " + std::string(LinkName(m_link)) + " link has no mouse plugged";
    if (command == "sleep") {
        m_awake = false;
        return "ok";
    }
    if (command == "wake") {
        m_awake = true;
        out.reports.push_back(PowerReportLocked());
        return "ok";
    }
    if (command == "dpi") {
        const int stage = std::atoi(argument.c_str());
        if (stage < 1 || stage > 8)
            return "error: the stage is 1..8";
        // A button press on the mouse wakes it.
        m_awake = true;
        out.reports.push_back(m_model.SwitchStage(static_cast<std::uint8_t>(stage)));
        return "ok";
    }
    if (command == "rate") {
        const unsigned long code = std::strtoul(argument.c_str(), nullptr, 0);
        if (!IsPollingCode(static_cast<unsigned>(code)))
            return "error: the rate is one of the codes 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40";
        // The mouse keeps the rate as if the program had written it, then tells the program.
        const auto c = static_cast<std::uint8_t>(code);
        const std::array<std::uint8_t, 9> frame{0x06, 0x09, 0x01, c, static_cast<std::uint8_t>(c ^ 0xFF), 0, 0, 0, 0};
        const WrappedReports wrapped = WrapReports(frame);
        for (const Report& report : wrapped.used())
            m_model.Feed(report);
        m_awake = true;
        out.reports.push_back(MakePollingStatus(c));
        return "ok";
    }
    if (command == "charge") {
        if (argument != "start" && argument != "end")
            return "error: charge start or charge end";
        m_charging = argument == "start";
        if (m_awake)
            out.reports.push_back(PowerReportLocked());
        return "ok";
    }
    return "error: unknown command '" + command + "' (try help)";
}

std::string SimMouse::Describe() const
{
    std::lock_guard lock(m_mutex);
    const MouseState& s = m_model.State();
    std::ostringstream text;
    char hex[16];
    auto byte = [&](unsigned value) {
        std::snprintf(hex, sizeof hex, "0x%02X", value);
        return std::string(hex);
    };
    text << "link: " << LinkName(m_link) << (m_plugged ? " (plugged)" : " (not plugged)") << "\n";
    text << "mouse: " << (m_awake ? "awake" : "asleep") << ", "
         << (m_charging ? (m_level >= 100 ? "charge complete" : "charging") : "on battery") << " " << m_level
         << "%\n";
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
    text << "reports: " << m_model.AcceptedReports() << " accepted, " << m_model.RejectedReports() << " rejected";
    if (m_model.RejectedReports() > 0)
        text << " (last: " << RejectReasonName(m_model.LastRejection()) << ")";
    text << "\n";
    return text.str();
}

MouseState SimMouse::State() const
{
    std::lock_guard lock(m_mutex);
    return m_model.State();
}

std::size_t SimMouse::RejectedReports() const
{
    std::lock_guard lock(m_mutex);
    return m_model.RejectedReports();
}

void SimMouse::Log(const std::string& line) const
{
    if (m_logFile.empty())
        return;
    std::ofstream file(m_logFile, std::ios::app);
    file << Timestamp() << " " << line << "\n";
}

} // namespace quillon::sim
