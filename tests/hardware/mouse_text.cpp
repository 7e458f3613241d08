#include "mouse_text.h"

#include <cstdio>
#include <sstream>
#include <vector>

#include "core/protocol/frames.h"

namespace quillon::hardware {
namespace {

std::string Number(unsigned value) {
    return std::to_string(value);
}

template <typename Range, typename Format> std::string List(const Range& range, Format&& format) {
    std::string text;
    for (const auto& item : range) {
        if (!text.empty())
            text += ',';
        text += format(item);
    }
    return text;
}

std::string Triple(const std::array<std::uint8_t, 3>& bytes) {
    return Hex(bytes);
}

std::string EventText(char kind, unsigned pause, bool longDelay, unsigned hundreds, const std::string& what) {
    std::string text(1, kind);
    text += Number(pause);
    if (longDelay)
        text += "+" + Number(hundreds);
    return text + ":" + what;
}

std::string EventsText(const std::vector<MacroEvent>& events) {
    std::string text;
    for (const MacroEvent& event : events) {
        if (!text.empty())
            text += ';';
        const bool move = event.kind == MacroEvent::Kind::Move;
        const char kind = move ? 'M' : event.kind == MacroEvent::Kind::Press ? 'P' : 'R';
        const std::string what = move ? std::to_string(event.x) + "," + std::to_string(event.y)
                                      : Hex(std::span<const std::uint8_t>(&event.code, 1));
        text += EventText(kind, event.pause, event.longDelay, event.hundreds, what);
    }
    return text;
}

std::string SlotText(std::uint8_t mode, const std::array<std::uint8_t, 3>& color, std::uint8_t count) {
    return Number(mode) + "/" + Triple(color) + "/" + Number(count);
}

std::uint8_t Low(std::int32_t value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

std::array<std::uint8_t, 3> Rgb(const ColorBytes& color) {
    return {color[0], color[1], color[2]};
}

}  // namespace

std::string Hex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

StateText FormatMouseState(const DeviceModel& model) {
    const MouseState& s = model.State();
    StateText text;
    text["fullWrites"] = Number(static_cast<unsigned>(s.fullWrites));
    text["liftOff"] = Number(s.liftOff);
    text["ripple"] = Number(s.ripple);
    text["stageMask"] = Number(s.stageMask);
    text["angleSnap"] = Number(s.angleSnap);
    text["motionSync"] = Number(s.motionSync);
    text["stageSteps"] = List(s.stageSteps, [](std::uint16_t v) { return Number(v); });
    text["stageColors"] = List(s.stageColors, Triple);
    text["currentStage"] = Number(s.currentStage);
    text["lightEffect"] = Number(s.lightEffect);
    text["breathCode"] = Number(s.breathCode);
    text["sleepTimer"] = Number(s.sleepTimer);
    text["brightness"] = Number(s.brightness);
    text["lightColor"] = Triple(s.lightColor);
    text["lightOff"] = Number(s.lightOff);
    text["debounce"] = Number(s.debounce);
    text["pollingCode"] = Number(s.pollingCode);
    text["keyMap"] = List(s.keyMap, Triple);
    for (std::size_t n = 0; n < kMouseMacroSlots; ++n) {
        const MouseMacroSlot& slot = s.macros[n];
        if (!slot.written)
            continue;
        text["slot" + Number(static_cast<unsigned>(n))] =
            SlotText(slot.repeatMode, slot.color, slot.repeatCount);
        text["play" + Number(static_cast<unsigned>(n))] =
            EventsText(model.MacroFrom(static_cast<std::uint8_t>(n)));
    }
    text["accepted"] = Number(static_cast<unsigned>(model.AcceptedReports()));
    text["rejected"] = Number(static_cast<unsigned>(model.RejectedReports()));
    return text;
}

StateText ExpectedMouseState(const ProfileRecord& r) {
    StateText text;
    text["fullWrites"] = "1";
    text["liftOff"] = Number(Low(r.lift_of_distance));
    text["ripple"] = Number(Low(r.ripple_control));
    unsigned mask = 0;
    for (std::size_t i = 0; i < kDpiStageCount; ++i)
        mask |= r.dpi_step_enabled[i] == 1 ? 1u << i : 0u;
    text["stageMask"] = Number(mask);
    text["angleSnap"] = Number(Low(r.angle_snap));
    text["motionSync"] = Number(Low(r.motion_sync));
    // The mouse keeps resolutions in 50 DPI steps counted from 0; a stage holding 0 reads as 0.
    text["stageSteps"] =
        List(r.dpi_x, [](std::int32_t v) { return Number(v > 0 ? static_cast<unsigned>(v - 1) : 0u); });
    text["stageColors"] = List(r.dpi_color, [](const ColorBytes& c) { return Triple(Rgb(c)); });
    text["currentStage"] = Number(Low(r.dpi_step + 1));
    text["lightEffect"] = Number(static_cast<unsigned>(r.light_effect & 0x0F));
    text["breathCode"] = Number(static_cast<unsigned>((9 - r.breathspeed) & 0x0F));
    text["sleepTimer"] = Number(Low(r.sleep_timer));
    // Only the steady and breathing effects carry a brightness; the others send 8.
    const bool ownBrightness = r.light_effect == 1 || r.light_effect == 5;
    text["brightness"] = Number(ownBrightness ? static_cast<unsigned>(r.brightness & 0x0F) : 8u);
    text["lightColor"] = Triple(Rgb(r.light_color));
    text["lightOff"] = Number(Low(r.light_off));
    text["debounce"] = Number(Low(r.key_debounce));
    text["pollingCode"] = Number(PollingRateCode(r.prate));
    std::vector<std::array<std::uint8_t, 3>> keys;
    for (std::size_t k = 0; k < kPageButtonCount; ++k)
        keys.push_back(ButtonBytes(r.slots[k], k));
    text["keyMap"] = List(keys, Triple);

    for (std::size_t k = 0; k < kPageButtonCount; ++k) {
        const ButtonSlot& slot = r.slots[k];
        if (slot.function != kFunctionMacro && slot.function != kFunctionLeftButtonMacro)
            continue;
        const unsigned base = MacroBaseSlot(k);
        const std::uint8_t count = Low(slot.repeat_count) == 0 ? 1 : Low(slot.repeat_count);
        text["slot" + Number(base)] = SlotText(Low(slot.repeat_mode), Rgb(slot.macro_color), count);
        std::string events;
        for (std::size_t i = 0; i < slot.action_count && i < kMacroActionCapacity; ++i) {
            const MacroAction& a = slot.actions[i];
            // Pauses up to 127 ms travel as they are; longer ones as hundreds plus the rest.
            const unsigned d = a.delayMs;
            unsigned pause = d <= 127 ? d : d % 100;
            pause = pause < 2 ? 2 : pause;
            const bool longDelay = d >= 128;
            const unsigned hundreds = (d / 100) & 0xFF;
            if (!events.empty())
                events += ';';
            if (a.kind == kActionMove)
                events += EventText('M', pause, longDelay, hundreds,
                                    std::to_string(static_cast<std::int16_t>(a.x)) + "," +
                                        std::to_string(static_cast<std::int16_t>(a.y)));
            else
                events += EventText(a.kind == kActionDown ? 'P' : 'R', pause, longDelay, hundreds,
                                    Hex(std::span<const std::uint8_t>(&a.code, 1)));
        }
        text["play" + Number(base)] = events;
    }
    text["rejected"] = "0";
    return text;
}

std::string JoinStateText(const StateText& text) {
    std::string line;
    for (const auto& [key, value] : text) {
        if (!line.empty())
            line += ' ';
        line += key + "=" + value;
    }
    return line;
}

StateText SplitStateText(const std::string& line) {
    StateText text;
    std::istringstream in(line);
    std::string word;
    while (in >> word) {
        const auto equals = word.find('=');
        if (equals != std::string::npos)
            text[word.substr(0, equals)] = word.substr(equals + 1);
    }
    return text;
}

}  // namespace quillon::hardware
