#include "core/records/profile_json.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "core/records/button_catalogue.h"
#include "core/text16.h"

namespace quillon {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kFormat = "quillon-profile";
constexpr int kVersion = 1;
constexpr std::array<int, 7> kPollingHz = {125, 250, 500, 1000, 2000, 4000, 8000};
constexpr std::array<std::string_view, 12> kEffects = {
    "off",  "static", "breathing", "spectrum-cycle", "rainbow-wave", "rainbow-static", "spectrum-breathing",
    "neon", "flash",  "ripple",    "marquee",        "trail"};
constexpr std::array<std::string_view, 4> kModifierWords = {"ctrl", "shift", "alt", "win"};
constexpr std::array<std::string_view, 5> kMouseWords = {"left", "right", "middle", "back", "forward"};

// A refusal of the input, with the member's path.
struct Refusal : std::runtime_error {
    Refusal(const std::string& path, const std::string& what) : std::runtime_error(path + ": " + what) {}
};

// ---- key names by HID usage of the keyboard page; layout-independent, so files travel -------------

std::string UsageWord(unsigned usage) {
    static constexpr std::array<std::string_view, 29> kNamed = {"Enter",
                                                                "Escape",
                                                                "Backspace",
                                                                "Tab",
                                                                "Space",
                                                                "Minus",
                                                                "Equal",
                                                                "LeftBracket",
                                                                "RightBracket",
                                                                "Backslash",
                                                                "NonUSHash",
                                                                "Semicolon",
                                                                "Quote",
                                                                "Grave",
                                                                "Comma",
                                                                "Period",
                                                                "Slash",
                                                                "CapsLock",
                                                                "",
                                                                "",
                                                                "",
                                                                "",
                                                                "",
                                                                "",
                                                                "",
                                                                "",
                                                                "",
                                                                "",
                                                                ""};
    static constexpr std::array<std::string_view, 14> kEditing = {
        "PrintScreen", "ScrollLock", "Pause", "Insert", "Home", "PageUp", "Delete",
        "End",         "PageDown",   "Right", "Left",   "Down", "Up",     "NumLock"};
    static constexpr std::array<std::string_view, 8> kModifiers = {
        "LeftCtrl", "LeftShift", "LeftAlt", "LeftGui", "RightCtrl", "RightShift", "RightAlt", "RightGui"};
    if (usage >= 4 && usage <= 29)
        return std::string(1, static_cast<char>('A' + usage - 4));
    if (usage >= 30 && usage <= 38)
        return std::string(1, static_cast<char>('1' + usage - 30));
    if (usage == 39)
        return "0";
    if (usage >= 40 && usage <= 57)
        return std::string(kNamed[usage - 40]);
    if (usage >= 58 && usage <= 69)
        return "F" + std::to_string(usage - 57);
    if (usage >= 70 && usage <= 83)
        return std::string(kEditing[usage - 70]);
    if (usage >= 84 && usage <= 88)
        return std::string(std::array<std::string_view, 5>{"KeypadDivide", "KeypadMultiply", "KeypadMinus",
                                                           "KeypadPlus", "KeypadEnter"}[usage - 84]);
    if (usage >= 89 && usage <= 97)
        return "Keypad" + std::to_string(usage - 88);
    if (usage == 98)
        return "Keypad0";
    if (usage == 99)
        return "KeypadPeriod";
    if (usage == 100)
        return "NonUSBackslash";
    if (usage == 101)
        return "Application";
    if (usage >= 104 && usage <= 115)
        return "F" + std::to_string(usage - 91);
    if (usage >= 224 && usage <= 231)
        return std::string(kModifiers[usage - 224]);
    return "usage-" + std::to_string(usage);
}

std::optional<unsigned> ParseNumberSuffix(std::string_view word, std::string_view prefix) {
    if (word.substr(0, prefix.size()) != prefix || word.size() == prefix.size())
        return std::nullopt;
    unsigned value = 0;
    const char* begin = word.data() + prefix.size();
    const char* end = word.data() + word.size();
    auto [next, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || next != end)
        return std::nullopt;
    return value;
}

bool EqualWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<unsigned> UsageOfWord(std::string_view word) {
    if (auto number = ParseNumberSuffix(word, "usage-"); number && *number <= 255)
        return number;
    for (unsigned usage = 0; usage <= 255; ++usage) {
        if (EqualWord(UsageWord(usage), word))
            return usage;
    }
    return std::nullopt;
}

// ---- button function words -------------------------------------------------------------------------

std::string WordOfLabelKey(std::string_view key) {
    std::string word(key.substr(0, key.size() - std::string_view("_text").size()));
    std::replace(word.begin(), word.end(), '_', '-');
    if (word.rfind("titl-", 0) == 0)
        word.replace(0, 4, "tilt");
    return word;
}

std::optional<std::uint8_t> CodeOfFunctionWord(std::string_view word) {
    for (unsigned code = 0; code <= 255; ++code) {
        if (EqualWord(ButtonFunctionWord(static_cast<std::uint8_t>(code)), word))
            return static_cast<std::uint8_t>(code);
    }
    return std::nullopt;
}

// ---- colours -----------------------------------------------------------------------------------------

std::string ColorWord(const ColorBytes& color) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string word = "#";
    for (int i = 0; i < 3; ++i) {
        word += kHex[color[i] >> 4];
        word += kHex[color[i] & 15];
    }
    return word;
}

// ---- reading helpers: every member is checked, every unknown member refused -----------------------

class Reader {
public:
    Reader(const Json& object, std::string path) : m_object(object), m_path(std::move(path)) {
        if (!m_object.is_object())
            throw Refusal(PathOr("(top)"), "must be an object");
    }
    ~Reader() noexcept(false) {
        if (std::uncaught_exceptions() > 0)
            return;
        for (const auto& item : m_object.items()) {
            if (!m_seen.count(item.key()))
                throw Refusal(Child(item.key()), "unknown member");
        }
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    const Json* Find(const std::string& key) {
        m_seen.insert(key);
        auto found = m_object.find(key);
        return found == m_object.end() ? nullptr : &*found;
    }
    std::string Child(const std::string& key) const { return m_path.empty() ? key : m_path + "." + key; }

    std::optional<long long> Integer(const std::string& key, long long low, long long high) {
        const Json* value = Find(key);
        if (value == nullptr)
            return std::nullopt;
        if (!value->is_number_integer())
            throw Refusal(Child(key), "must be a whole number");
        const long long number = value->get<long long>();
        if (number < low || number > high)
            throw Refusal(Child(key),
                          "must be between " + std::to_string(low) + " and " + std::to_string(high));
        return number;
    }
    std::optional<bool> Flag(const std::string& key) {
        const Json* value = Find(key);
        if (value == nullptr)
            return std::nullopt;
        if (!value->is_boolean())
            throw Refusal(Child(key), "must be true or false");
        return value->get<bool>();
    }
    std::optional<std::string> Text(const std::string& key) {
        const Json* value = Find(key);
        if (value == nullptr)
            return std::nullopt;
        if (!value->is_string())
            throw Refusal(Child(key), "must be a text");
        return value->get<std::string>();
    }
    std::optional<ColorBytes> Color(const std::string& key) {
        auto text = Text(key);
        if (!text)
            return std::nullopt;
        if (text->size() != 7 || (*text)[0] != '#' ||
            text->find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
            throw Refusal(Child(key), "must be a colour written #rrggbb");
        ColorBytes color{};
        for (int i = 0; i < 3; ++i)
            color[i] = static_cast<std::uint8_t>(std::stoul(text->substr(1 + 2 * i, 2), nullptr, 16));
        return color;
    }

private:
    std::string PathOr(const char* fallback) const { return m_path.empty() ? fallback : m_path; }
    const Json& m_object;
    std::string m_path;
    std::set<std::string> m_seen;
};

// A colour's fourth byte is no setting: only red, green and blue are written.
void SetRgb(ColorBytes& target, const ColorBytes& color) {
    std::copy_n(color.begin(), 3, target.begin());
}

void WriteName(char16_t* field, std::size_t capacity, const std::string& path, const std::string& text) {
    const std::u16string name = FromUtf8(text);
    if (name.size() >= capacity)
        throw Refusal(path, "longer than " + std::to_string(capacity - 1) + " characters");
    if (name.find(u'\0') != std::u16string::npos)
        throw Refusal(path, "must not hold a NUL character");
    // Only the text and its terminator: what lies behind it in the field is not a setting.
    std::copy(name.begin(), name.end(), field);
    field[name.size()] = u'\0';
}

void ReadAction(const Json& item, const std::string& path, MacroAction& action) {
    Reader reader(item, path);
    const auto delay = reader.Integer("delay_ms", 0, 65535);
    if (const Json* move = reader.Find("move")) {
        if (!move->is_array() || move->size() != 2 || !(*move)[0].is_number_integer() ||
            !(*move)[1].is_number_integer())
            throw Refusal(reader.Child("move"), "must be [x, y]");
        const auto x = (*move)[0].get<long long>();
        const auto y = (*move)[1].get<long long>();
        if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX)
            throw Refusal(reader.Child("move"), "out of range");
        action.kind = kActionMove;
        action.x = static_cast<std::int32_t>(x);
        action.y = static_cast<std::int32_t>(y);
        action.code = static_cast<std::uint8_t>(reader.Integer("code", 0, 255).value_or(kMouseMove));
    } else {
        const auto key = reader.Text("key");
        const auto mouse = reader.Text("mouse");
        if (key.has_value() == mouse.has_value())
            throw Refusal(path, "needs one of key, mouse or move");
        if (key) {
            const auto usage = UsageOfWord(*key);
            if (!usage)
                throw Refusal(reader.Child("key"), "unknown key '" + *key + "'");
            action.code = static_cast<std::uint8_t>(*usage);
        } else {
            auto found = std::find_if(kMouseWords.begin(), kMouseWords.end(),
                                      [&](std::string_view word) { return EqualWord(word, *mouse); });
            if (found == kMouseWords.end())
                throw Refusal(reader.Child("mouse"), "unknown mouse button '" + *mouse + "'");
            action.code = static_cast<std::uint8_t>(kMouseLeft + (found - kMouseWords.begin()));
        }
        const auto what = reader.Text("action");
        const auto rawKind = what ? ParseNumberSuffix(*what, "kind-") : std::nullopt;
        if (!what || (*what != "down" && *what != "up" && !(rawKind && *rawKind >= 3 && *rawKind <= 255)))
            throw Refusal(reader.Child("action"), "must be down or up");
        action.kind = *what == "down" ? kActionDown
                      : *what == "up" ? kActionUp
                                      : static_cast<std::uint8_t>(*rawKind);
    }
    action.delayMs = static_cast<std::uint16_t>(delay.value_or(0));
}

void ReadButton(const Json& item, const std::string& path, ButtonSlot& slot) {
    Reader reader(item, path);
    const auto word = reader.Text("function");
    if (!word)
        throw Refusal(reader.Child("function"), "missing");
    const auto code = CodeOfFunctionWord(*word);
    if (!code)
        throw Refusal(reader.Child("function"), "unknown function '" + *word + "'");
    slot.function = *code;
    if (*code == kFunctionShortcut) {
        const auto key = reader.Text("key");
        std::uint8_t usage = 0;
        if (key) {
            const auto found = UsageOfWord(*key);
            if (!found)
                throw Refusal(reader.Child("key"), "unknown key '" + *key + "'");
            usage = static_cast<std::uint8_t>(*found);
        }
        std::uint8_t modifiers = 0;
        if (const Json* list = reader.Find("modifiers")) {
            if (!list->is_array())
                throw Refusal(reader.Child("modifiers"), "must be a list such as [\"ctrl\", \"shift\"]");
            for (const Json& modifier : *list) {
                const std::string name = modifier.is_string() ? modifier.get<std::string>() : std::string();
                auto found = std::find_if(kModifierWords.begin(), kModifierWords.end(),
                                          [&](std::string_view w) { return EqualWord(w, name); });
                if (found != kModifierWords.end()) {
                    modifiers |= static_cast<std::uint8_t>(1u << (found - kModifierWords.begin()));
                } else if (auto bit = ParseNumberSuffix(name, "bit"); bit && *bit >= 4 && *bit <= 7) {
                    modifiers |= static_cast<std::uint8_t>(1u << *bit);
                } else {
                    throw Refusal(reader.Child("modifiers"), "unknown modifier '" + name + "'");
                }
            }
        }
        slot.shortcut_key = usage;
        slot.shortcut_modifiers = modifiers;
    }
    if (*code == kFunctionMacro || *code == kFunctionLeftButtonMacro) {
        const Json* macro = reader.Find("macro");
        if (macro == nullptr)
            throw Refusal(reader.Child("macro"), "missing");
        Reader macroReader(*macro, reader.Child("macro"));
        if (auto name = macroReader.Text("name"))
            WriteName(slot.macro_name.data(), kMacroNameCapacity, macroReader.Child("name"), *name);
        else
            slot.macro_name[0] = u'\0';
        slot.macro_index =
            static_cast<std::int32_t>(macroReader.Integer("index", -1, INT32_MAX).value_or(-1));
        slot.repeat_mode = static_cast<std::int32_t>(macroReader.Integer("repeat_mode", 0, 3).value_or(0));
        slot.repeat_count =
            static_cast<std::int32_t>(macroReader.Integer("repeat_count", 0, 255).value_or(1));
        SetRgb(slot.macro_color, macroReader.Color("color").value_or(ColorBytes{}));
        const Json* actions = macroReader.Find("actions");
        std::size_t count = 0;
        if (actions != nullptr) {
            if (!actions->is_array())
                throw Refusal(macroReader.Child("actions"), "must be a list");
            if (actions->size() > kMacroActionCapacity)
                throw Refusal(macroReader.Child("actions"),
                              "holds more than " + std::to_string(kMacroActionCapacity) + " actions");
            for (const Json& action : *actions) {
                ReadAction(action, macroReader.Child("actions") + "." + std::to_string(count + 1),
                           slot.actions[count]);
                ++count;
            }
        }
        slot.action_count = static_cast<std::uint16_t>(count);
    }
}

// Everything the named members of `json` set; returns nothing, throws a Refusal.
void ReadNamed(const Json& json, ProfileRecord& record) {
    Reader top(json, "");
    if (auto format = top.Text("format"); format && *format != kFormat)
        throw Refusal("format", "not a Quillon profile ('" + *format + "')");
    top.Integer("version", kVersion, kVersion);
    if (auto name = top.Text("name"))
        WriteName(record.profile_name.data(), kProfileNameCapacity, "name", *name);

    if (const Json* dpi = top.Find("dpi")) {
        Reader reader(*dpi, "dpi");
        if (auto current = reader.Integer("current", 1, 8))
            record.dpi_step = static_cast<std::int32_t>(*current - 1);
        if (const Json* stages = reader.Find("stages")) {
            if (!stages->is_array() || stages->size() > kDpiStageCount)
                throw Refusal("dpi.stages", "must be a list of at most 8 stages");
            for (std::size_t i = 0; i < stages->size(); ++i) {
                const std::string path = "dpi.stages." + std::to_string(i + 1);
                Reader stage((*stages)[i], path);
                if (auto value = stage.Integer("dpi", 0, 26000)) {
                    if (*value % 50 != 0)
                        throw Refusal(stage.Child("dpi"), "must be a multiple of 50");
                    record.dpi_x[i] = static_cast<std::int32_t>(*value / 50);
                }
                if (auto enabled = stage.Flag("enabled"))
                    record.dpi_step_enabled[i] = *enabled ? 1 : 0;
                if (auto color = stage.Color("color"))
                    SetRgb(record.dpi_color[i], *color);
            }
        }
    }
    if (const Json* lighting = top.Find("lighting")) {
        Reader reader(*lighting, "lighting");
        if (auto effect = reader.Text("effect")) {
            auto found = std::find_if(kEffects.begin(), kEffects.end(),
                                      [&](std::string_view word) { return EqualWord(word, *effect); });
            if (found == kEffects.end())
                throw Refusal("lighting.effect", "unknown effect '" + *effect + "'");
            record.light_effect = static_cast<std::int32_t>(found - kEffects.begin());
        }
        if (auto value = reader.Integer("brightness", 0, 15))
            record.brightness = static_cast<std::int32_t>(*value);
        if (auto value = reader.Integer("speed", 0, 9))
            record.breathspeed = static_cast<std::int32_t>(*value);
        if (auto color = reader.Color("color"))
            SetRgb(record.light_color, *color);
    }
    if (const Json* performance = top.Find("performance")) {
        Reader reader(*performance, "performance");
        if (auto hz = reader.Integer("polling_hz", 0, 8000)) {
            auto found = std::find(kPollingHz.begin(), kPollingHz.end(), static_cast<int>(*hz));
            if (found == kPollingHz.end())
                throw Refusal("performance.polling_hz", "must be 125, 250, 500, 1000, 2000, 4000 or 8000");
            record.prate = static_cast<std::int32_t>(found - kPollingHz.begin());
        }
        if (auto value = reader.Integer("lift_off_distance", 1, 2))
            record.lift_of_distance = static_cast<std::int32_t>(*value - 1);
        if (auto value = reader.Flag("ripple_control"))
            record.ripple_control = *value ? 1 : 0;
        if (auto value = reader.Flag("angle_snap"))
            record.angle_snap = *value ? 1 : 0;
        if (auto value = reader.Flag("motion_sync"))
            record.motion_sync = *value ? 1 : 0;
        if (auto value = reader.Flag("move_mode"))
            record.movemode = *value ? 1 : 0;
        if (auto value = reader.Integer("debounce_ms", 0, 255))
            record.key_debounce = static_cast<std::int32_t>(*value);
    }
    if (const Json* power = top.Find("power")) {
        Reader reader(*power, "power");
        if (auto value = reader.Integer("sleep_timer", 0, 255))
            record.sleep_timer = static_cast<std::int32_t>(*value);
        if (auto value = reader.Integer("light_off", 0, 255))
            record.light_off = static_cast<std::int32_t>(*value);
    }
    if (const Json* buttons = top.Find("buttons")) {
        Reader reader(*buttons, "buttons");
        for (std::size_t k = 0; k < kPageButtonCount; ++k) {
            const std::string key = std::to_string(k + 1);
            if (const Json* button = reader.Find(key))
                ReadButton(*button, "buttons." + key, record.slots[k]);
        }
    }
    top.Find("reserved");  // applied by the caller
}

// A new profile: what a member that a file leaves out keeps.
std::unique_ptr<ProfileRecord> BaseRecord() {
    auto record = std::make_unique<ProfileRecord>();
    CreateProfile(*record, u"");
    return record;
}

// Which bytes the named members of `json` write, whatever the record held before.
std::vector<bool> NamedBytes(const Json& json) {
    auto zeros = std::make_unique<ProfileRecord>();
    auto ones = std::make_unique<ProfileRecord>();
    std::memset(zeros.get(), 0x00, sizeof(ProfileRecord));
    std::memset(ones.get(), 0xFF, sizeof(ProfileRecord));
    // The check of the current stage reads the record; both copies get the named stages' flags.
    try {
        ReadNamed(json, *zeros);
    } catch (const Refusal&) {
    }
    try {
        ReadNamed(json, *ones);
    } catch (const Refusal&) {
    }
    std::vector<bool> named(sizeof(ProfileRecord));
    const auto a = RecordBytes(*zeros);
    const auto b = RecordBytes(*ones);
    for (std::size_t i = 0; i < named.size(); ++i)
        named[i] = a[i] == b[i];
    return named;
}

std::string Hex(std::span<const std::byte> bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::byte b : bytes) {
        text += kHex[std::to_integer<unsigned>(b) >> 4];
        text += kHex[std::to_integer<unsigned>(b) & 15];
    }
    return text;
}

Json NamedJson(const ProfileRecord& record) {
    Json json;
    json["format"] = kFormat;
    json["version"] = kVersion;
    // Values outside what the mouse takes are written clamped (a loaded store is repaired the same
    // way), so that every file this writes reads back.
    json["name"] = ToUtf8(FieldText(record.profile_name.data(), kProfileNameCapacity - 1));

    Json stages = Json::array();
    for (std::size_t i = 0; i < kDpiStageCount; ++i) {
        Json stage;
        stage["dpi"] = static_cast<long long>(std::clamp(record.dpi_x[i], 0, 520)) * 50;
        stage["enabled"] = record.dpi_step_enabled[i] != 0;
        stage["color"] = ColorWord(record.dpi_color[i]);
        stages.push_back(stage);
    }
    json["dpi"] = {{"current", std::clamp(record.dpi_step, 0, 7) + 1}, {"stages", stages}};

    Json lighting;
    const auto effect = static_cast<std::size_t>(record.light_effect);
    lighting["effect"] = std::string(kEffects[effect < kEffects.size() ? effect : 0]);
    lighting["brightness"] = std::clamp(record.brightness, 0, 15);
    lighting["speed"] = std::clamp(record.breathspeed, 0, 9);
    lighting["color"] = ColorWord(record.light_color);
    json["lighting"] = lighting;

    Json performance;
    const auto prate = static_cast<std::size_t>(record.prate);
    performance["polling_hz"] = kPollingHz[prate < kPollingHz.size() ? prate : kPollingHz.size() - 1];
    performance["lift_off_distance"] = std::clamp(record.lift_of_distance, 0, 1) + 1;
    performance["ripple_control"] = record.ripple_control != 0;
    performance["angle_snap"] = record.angle_snap != 0;
    performance["motion_sync"] = record.motion_sync != 0;
    performance["move_mode"] = record.movemode != 0;
    performance["debounce_ms"] = std::clamp(record.key_debounce, 0, 255);
    json["performance"] = performance;
    json["power"] = {{"sleep_timer", std::clamp(record.sleep_timer, 0, 255)},
                     {"light_off", std::clamp(record.light_off, 0, 255)}};

    Json buttons;
    for (std::size_t k = 0; k < kPageButtonCount; ++k) {
        const ButtonSlot& slot = record.slots[k];
        Json button;
        button["function"] = ButtonFunctionWord(slot.function);
        if (slot.function == kFunctionShortcut) {
            if (slot.shortcut_key != 0)
                button["key"] = UsageWord(slot.shortcut_key);
            Json modifiers = Json::array();
            for (unsigned bit = 0; bit < 8; ++bit) {
                if (slot.shortcut_modifiers & (1u << bit))
                    modifiers.push_back(bit < 4 ? std::string(kModifierWords[bit])
                                                : "bit" + std::to_string(bit));
            }
            button["modifiers"] = modifiers;
        }
        if (slot.function == kFunctionMacro || slot.function == kFunctionLeftButtonMacro) {
            Json macro;
            macro["name"] = ToUtf8(FieldText(slot.macro_name.data(), kMacroNameCapacity - 1));
            macro["index"] = std::max(slot.macro_index, -1);
            macro["repeat_mode"] = std::clamp(slot.repeat_mode, 0, 3);
            macro["repeat_count"] = std::clamp(slot.repeat_count, 0, 255);
            macro["color"] = ColorWord(slot.macro_color);
            Json actions = Json::array();
            const std::size_t count = std::min<std::size_t>(slot.action_count, kMacroActionCapacity);
            for (std::size_t i = 0; i < count; ++i) {
                const MacroAction& action = slot.actions[i];
                Json item;
                if (action.kind == kActionMove) {
                    item["move"] = {action.x, action.y};
                    if (action.code != kMouseMove)
                        item["code"] = action.code;
                } else {
                    if (action.code >= kMouseLeft && action.code <= kMouseForward)
                        item["mouse"] = std::string(kMouseWords[action.code - kMouseLeft]);
                    else
                        item["key"] = UsageWord(action.code);
                    item["action"] = action.kind == kActionDown ? "down"
                                     : action.kind == kActionUp ? "up"
                                                                : "kind-" + std::to_string(action.kind);
                }
                item["delay_ms"] = action.delayMs;
                actions.push_back(item);
            }
            macro["actions"] = actions;
            button["macro"] = macro;
        }
        buttons[std::to_string(k + 1)] = button;
    }
    json["buttons"] = buttons;
    return json;
}

void ApplyReserved(const Json& reserved, const std::vector<bool>& named, ProfileRecord& record) {
    if (!reserved.is_object())
        throw Refusal("reserved", "must be an object of offsets and hex bytes");
    auto bytes = RecordBytes(record);
    for (const auto& item : reserved.items()) {
        const std::string path = "reserved." + item.key();
        const auto offset = ParseNumberSuffix(item.key(), "");
        if (!offset || *offset >= sizeof(ProfileRecord))
            throw Refusal(path, "not an offset inside the record");
        if (!item.value().is_string())
            throw Refusal(path, "must be hex bytes");
        const std::string hex = item.value().get<std::string>();
        if (hex.empty() || hex.size() % 2 != 0 ||
            hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos ||
            *offset + hex.size() / 2 > sizeof(ProfileRecord))
            throw Refusal(path, "must be hex bytes inside the record");
        for (std::size_t i = 0; i < hex.size() / 2; ++i) {
            if (named[*offset + i])
                throw Refusal(path, "covers a named setting; change that setting instead");
            bytes[*offset + i] = static_cast<std::byte>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
        }
    }
}

}  // namespace

std::string ButtonFunctionWord(std::uint8_t code) {
    switch (code) {
    case kFunctionShortcut:
        return "shortcut";
    case kFunctionMacro:
        return "macro";
    case kFunctionLeftButtonMacro:
        return "left-macro";
    default:
        break;
    }
    const std::string_view key = ButtonLabelKey(code);
    if (!key.empty() && key.size() > 5)
        return WordOfLabelKey(key);
    return "code-" + std::to_string(code);
}

std::string ProfileToJson(const ProfileRecord& record) {
    Json json = NamedJson(record);
    // What the named members do not cover, where it differs from a new profile's bytes.
    auto rebuilt = BaseRecord();
    try {
        ReadNamed(json, *rebuilt);
    } catch (const Refusal&) {
        // Cannot happen for what NamedJson writes; without a base there is no residue to keep.
        return json.dump(2) + "\n";
    }
    const std::vector<bool> named = NamedBytes(json);
    const auto original = RecordBytes(record);
    const auto base = RecordBytes(*rebuilt);
    Json reserved = Json::object();
    for (std::size_t i = 0; i < original.size();) {
        if (named[i] || original[i] == base[i]) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < original.size() && !named[end] && original[end] != base[end])
            ++end;
        reserved[std::to_string(i)] = Hex(original.subspan(i, end - i));
        i = end;
    }
    if (!reserved.empty())
        json["reserved"] = reserved;
    return json.dump(2) + "\n";
}

ProfileJsonResult ProfileFromJson(std::string_view text, ProfileRecord& record) {
    Json json;
    try {
        json = Json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::exception& error) {
        // Besides syntax, the reader refuses a number too large for any type (1e400).
        return {false, std::string("(file): not JSON: ") + error.what()};
    }
    try {
        auto rebuilt = BaseRecord();
        ReadNamed(json, *rebuilt);
        if (json.is_object() && json.contains("reserved"))
            // Reserved bytes never reach a setting, also one this file leaves out: the mask is that of
            // the full form of the record, as the writer gives it.
            ApplyReserved(json["reserved"], NamedBytes(NamedJson(*rebuilt)), *rebuilt);
        // The current stage is always one the mouse cycles through.
        if (rebuilt->dpi_step_enabled[static_cast<std::size_t>(rebuilt->dpi_step)] == 0)
            return {false, "dpi.current: names stage " + std::to_string(rebuilt->dpi_step + 1) +
                               ", which is not enabled"};
        record = *rebuilt;
        return {};
    } catch (const Refusal& refusal) {
        return {false, refusal.what()};
    } catch (const nlohmann::json::exception& error) {
        return {false, std::string("(file): ") + error.what()};
    }
}

ProfileJsonResult SetProfileSetting(ProfileRecord& record, std::string_view key, std::string_view value) {
    // Short keys of the command line, and the member path they stand for.
    std::string path(key);
    if (auto stage = ParseNumberSuffix(key, "dpi."); stage)
        path = "dpi.stages." + std::to_string(*stage) + ".dpi";
    else if (key == "polling")
        path = "performance.polling_hz";
    else if (key.substr(0, 6) == "light.")
        path = "lighting." + std::string(key.substr(6) == "speed" ? "speed" : key.substr(6));
    else if (auto button = ParseNumberSuffix(key, "button."); button)
        path = "buttons." + std::to_string(*button) + ".function";

    Json json = Json::parse(ProfileToJson(record));
    Json parsed;
    if (value == "true" || value == "false") {
        parsed = value == "true";
    } else if (!value.empty() && value.front() == '[' &&
               !(parsed = Json::parse(value, nullptr, false)).is_discarded()) {
        // A list, as "show" prints one: ["ctrl","shift"].
    } else {
        long long number = 0;
        auto [next, error] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (error == std::errc() && next == value.data() + value.size() && !value.empty())
            parsed = number;
        else
            parsed = std::string(value);
    }
    // Walk the path; list members count from 1.
    Json* node = &json;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = path.find('.', start);
        const std::string part =
            path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        const bool last = dot == std::string::npos;
        if (node->is_array()) {
            const auto index = ParseNumberSuffix(part, "");
            if (!index || *index < 1 || *index > node->size())
                return {false, std::string(key) + ": no such entry"};
            node = &(*node)[*index - 1];
        } else if (node->is_object() && (node->contains(part) || (last && path.rfind("buttons.", 0) == 0))) {
            node = &(*node)[part];
        } else {
            return {false, std::string(key) + ": unknown setting"};
        }
        if (last)
            break;
        start = dot + 1;
    }
    // A button given another function drops what belonged to its former one; given the function it
    // has, it keeps its key, modifiers or macro.
    if (path.rfind("buttons.", 0) == 0 && path.size() > 9 && path.substr(path.size() - 9) == ".function" &&
        *node != parsed) {
        const std::string buttonPath = path.substr(0, path.size() - 9);
        Json& button = json["buttons"][buttonPath.substr(8)];
        button = Json{{"function", parsed}};
        auto result = ProfileFromJson(json.dump(), record);
        if (!result.ok && result.error.rfind("buttons.", 0) == 0)
            result.error = std::string(key) + result.error.substr(result.error.find(':'));
        return result;
    }
    *node = parsed;
    auto result = ProfileFromJson(json.dump(), record);
    if (!result.ok)
        result.error = std::string(key) + result.error.substr(result.error.find(':'));
    return result;
}

}  // namespace quillon
