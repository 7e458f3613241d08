#include "core/remote/profile_commands.h"

#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include <nlohmann/json.hpp>

#include "core/records/profile_json.h"
#include "core/store/atomic_file.h"
#include "core/store/profile_file.h"
#include "core/store/record_names.h"
#include "core/text16.h"

namespace quillon {
namespace {

using Json = nlohmann::ordered_json;

// A readable profile file larger than this is no profile.
constexpr std::uintmax_t kMaxJsonFileSize = 4u * 1024u * 1024u;

CommandReply Refuse(std::string message) {
    return {kExitRefused, {}, std::move(message) + "\n"};
}

std::string NameOf(const ProfileRecord& record) {
    return ToUtf8(LeadingName(record));
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The profile that `word` names: its number in the list from 1, or its name; the number wins when
// a profile is also called by a number.
std::optional<std::size_t> FindProfile(const ProfileList& list, std::string_view word) {
    std::size_t number = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number);
    if (error == std::errc() && end == word.data() + word.size() && number >= 1 && number <= list.size())
        return number - 1;
    const std::u16string name = FromUtf8(word);
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (EqualNoCase(LeadingName(*list[i]), name))
            return i;
    }
    return std::nullopt;
}

std::size_t SelectedIndex(ProfileState& profiles) {
    return static_cast<std::size_t>(profiles.Header().selected);
}

// "member.path = value" lines of the readable form, in its order; the reserved bytes are left out.
void Flatten(const Json& json, const std::string& path, std::string& out) {
    if (json.is_object()) {
        for (const auto& [key, value] : json.items()) {
            if (path.empty() && (key == "format" || key == "version" || key == "reserved"))
                continue;
            Flatten(value, path.empty() ? key : path + "." + key, out);
        }
    } else if (json.is_array() && !json.empty() && (json.front().is_object() || json.front().is_array())) {
        for (std::size_t i = 0; i < json.size(); ++i)
            Flatten(json[i], path + "." + std::to_string(i + 1), out);
    } else {
        out += path + " = " + (json.is_string() ? json.get<std::string>() : json.dump()) + "\n";
    }
}

std::string NoMouseNotice() {
    return "no mouse is awake: the change is saved and reaches the mouse when it wakes\n";
}

CommandReply Finish(CommandHost& host, CommandHost::Change change, CommandReply reply) {
    if (host.Changed(change) == CommandHost::Delivery::NoMouse) {
        reply.exit = kExitNoMouse;
        reply.error += NoMouseNotice();
    }
    return reply;
}

CommandReply Status(const CommandRequest& request, CommandHost& host) {
    const MouseStatus status = host.Status();
    ProfileState& profiles = host.Profiles();
    const ProfileRecord* record = profiles.Selected();
    const int stage = record ? record->dpi_step + 1 : 0;
    const int dpi = record && record->dpi_step >= 0 && record->dpi_step < static_cast<int>(kDpiStageCount)
                        ? record->dpi_x[static_cast<std::size_t>(record->dpi_step)] * 50
                        : 0;
    CommandReply reply;
    reply.exit = status.Present() ? kExitDone : kExitNoMouse;
    if (request.json) {
        Json json;
        json["present"] = status.Present();
        json["awake"] = status.Awake();
        json["links"] = {{"wired", {{"open", status.wiredOpen}, {"awake", status.wiredAwake}}},
                         {"wireless", {{"open", status.wirelessOpen}, {"awake", status.wirelessAwake}}},
                         {"ble", {{"connected", status.bleConnected}}}};
        json["battery"] = status.battery > 0 ? Json(status.battery) : Json(nullptr);
        json["charging"] = status.charging;
        json["profile"] = record ? NameOf(*record) : std::string();
        json["dpi_stage"] = stage;
        json["dpi"] = dpi;
        reply.output = json.dump(2) + "\n";
        return reply;
    }
    const auto linkText = [](bool open, bool awake) {
        return std::string(!open ? "not open" : awake ? "open, awake" : "open, asleep");
    };
    std::string& out = reply.output;
    out += std::string("mouse: ") + (!status.Present() ? "none" : status.Awake() ? "awake" : "asleep") + "\n";
    out += "cable: " + linkText(status.wiredOpen, status.wiredAwake) + "\n";
    out += "2.4 GHz receiver: " + linkText(status.wirelessOpen, status.wirelessAwake) + "\n";
    out += std::string("Bluetooth LE: ") + (status.bleConnected ? "connected" : "not connected") + "\n";
    out +=
        "battery: " + (status.battery > 0 ? std::to_string(status.battery) + "%" : std::string("unknown")) +
        "\n";
    out += std::string("charging: ") + (status.charging ? "yes" : "no") + "\n";
    if (record) {
        out += "profile: " + NameOf(*record) + "\n";
        out += "DPI stage: " + std::to_string(stage) + " (" + std::to_string(dpi) + " DPI)\n";
    }
    if (!status.Present())
        reply.error = "no mouse: neither the cable, the receiver nor Bluetooth LE is connected\n";
    return reply;
}

CommandReply List(const CommandRequest& request, CommandHost& host) {
    ProfileState& profiles = host.Profiles();
    const ProfileList& list = profiles.List();
    const std::size_t selected = SelectedIndex(profiles);
    CommandReply reply;
    if (request.json) {
        Json json = Json::array();
        for (std::size_t i = 0; i < list.size(); ++i)
            json.push_back({{"number", i + 1}, {"name", NameOf(*list[i])}, {"selected", i == selected}});
        reply.output = json.dump(2) + "\n";
        return reply;
    }
    for (std::size_t i = 0; i < list.size(); ++i)
        reply.output +=
            (i == selected ? "* " : "  ") + std::to_string(i + 1) + "  " + NameOf(*list[i]) + "\n";
    return reply;
}

CommandReply Show(const CommandRequest& request, CommandHost& host) {
    if (request.args.size() > 1)
        return Refuse("show: takes at most one profile");
    ProfileState& profiles = host.Profiles();
    std::size_t index = SelectedIndex(profiles);
    if (!request.args.empty()) {
        const auto found = FindProfile(profiles.List(), request.args[0]);
        if (!found)
            return Refuse("show: no profile '" + request.args[0] + "'");
        index = *found;
    }
    const std::string json = ProfileToJson(*profiles.List()[index]);
    CommandReply reply;
    if (request.json) {
        reply.output = json;
    } else {
        reply.output = "profile " + std::to_string(index + 1) +
                       (index == SelectedIndex(profiles) ? " (selected)" : "") + "\n";
        Flatten(Json::parse(json), {}, reply.output);
    }
    return reply;
}

CommandReply Select(const CommandRequest& request, CommandHost& host) {
    if (request.args.size() != 1)
        return Refuse("select: takes one profile");
    ProfileState& profiles = host.Profiles();
    const auto found = FindProfile(profiles.List(), request.args[0]);
    if (!found)
        return Refuse("select: no profile '" + request.args[0] + "'");
    profiles.Select(*found);
    CommandReply reply;
    const std::string name = NameOf(*profiles.List()[*found]);
    if (request.json)
        reply.output = Json{{"selected", *found + 1}, {"name", name}}.dump() + "\n";
    else
        reply.output = "selected " + std::to_string(*found + 1) + ": " + name + "\n";
    return Finish(host, CommandHost::Change::Selected, std::move(reply));
}

CommandReply Set(const CommandRequest& request, CommandHost& host) {
    if (request.args.empty())
        return Refuse("set: takes KEY=VALUE settings");
    ProfileRecord* selected = host.Profiles().Selected();
    if (selected == nullptr)
        return Refuse("set: no profile is selected");
    // All of the settings or none: they go into a copy first.
    auto edited = std::make_unique<ProfileRecord>(*selected);
    Json changed = Json::object();
    for (const std::string& arg : request.args) {
        const std::size_t equals = arg.find('=');
        if (equals == std::string::npos || equals == 0)
            return Refuse("set: '" + arg + "' is not KEY=VALUE");
        const std::string key = arg.substr(0, equals);
        const std::string value = arg.substr(equals + 1);
        const ProfileJsonResult result = SetProfileSetting(*edited, key, value);
        if (!result.ok)
            return Refuse("set: " + result.error);
        changed[key] = value;
    }
    const bool differs = std::memcmp(edited.get(), selected, sizeof(ProfileRecord)) != 0;
    *selected = *edited;
    CommandReply reply;
    if (request.json) {
        reply.output = changed.dump() + "\n";
    } else {
        for (const auto& [key, value] : changed.items())
            reply.output += key + " = " + value.get<std::string>() + "\n";
    }
    if (!differs)
        return reply;  // nothing to send
    return Finish(host, CommandHost::Change::Edited, std::move(reply));
}

enum class FileKind { JsonText, RawRecord, Unknown };
FileKind KindOf(std::string_view path) {
    if (EndsWith(path, ".json"))
        return FileKind::JsonText;
    if (EndsWith(path, ".pro"))
        return FileKind::RawRecord;
    return FileKind::Unknown;
}

CommandReply Export(const CommandRequest& request, CommandHost& host) {
    if (request.args.size() != 2)
        return Refuse("export: takes a profile and a file");
    ProfileState& profiles = host.Profiles();
    const auto found = FindProfile(profiles.List(), request.args[0]);
    if (!found)
        return Refuse("export: no profile '" + request.args[0] + "'");
    const std::string& path = request.args[1];
    const ProfileRecord& record = *profiles.List()[*found];
    bool written = false;
    switch (KindOf(path)) {
    case FileKind::JsonText:
        written = WriteProfileJsonFile(path, record);
        break;
    case FileKind::RawRecord:
        written = WriteProfileFile(path, record);
        break;
    case FileKind::Unknown:
        return Refuse("export: " + path + ": the file name ends in neither .json nor .pro");
    }
    if (!written)
        return Refuse("export: " + path + ": could not be written");
    CommandReply reply;
    if (request.json)
        reply.output = Json{{"exported", *found + 1}, {"file", path}}.dump() + "\n";
    else
        reply.output =
            "exported " + std::to_string(*found + 1) + ": " + NameOf(record) + " to " + path + "\n";
    return reply;
}

// The file's bytes, when it is a regular file of at most `limit` bytes.
std::optional<std::string> ReadSmallFile(const std::string& path, std::uintmax_t limit, std::string& why) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::is_regular_file(status)) {
        why = "no such file";
        return std::nullopt;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > limit) {
        why = "larger than a profile file can be";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        why = "could not be read";
        return std::nullopt;
    }
    return bytes;
}

CommandReply Import(const CommandRequest& request, CommandHost& host) {
    if (request.args.size() != 1)
        return Refuse("import: takes one file");
    const std::string& path = request.args[0];
    const FileKind kind = KindOf(path);
    if (kind == FileKind::Unknown)
        return Refuse("import: " + path + ": the file name ends in neither .json nor .pro");
    std::string why;
    const auto bytes =
        ReadSmallFile(path, kind == FileKind::RawRecord ? sizeof(ProfileRecord) : kMaxJsonFileSize, why);
    if (!bytes)
        return Refuse("import: " + path + ": " + why);
    auto record = std::make_unique<ProfileRecord>();
    if (kind == FileKind::RawRecord) {
        if (bytes->size() != sizeof(ProfileRecord))
            return Refuse("import: " + path + ": not a profile file (" + std::to_string(bytes->size()) +
                          " bytes, a profile has " + std::to_string(sizeof(ProfileRecord)) + ")");
        std::memcpy(record.get(), bytes->data(), sizeof(ProfileRecord));
    } else {
        // A file that names no profile gets the file's own name.
        std::string stem = std::filesystem::path(path).stem().string();
        CreateProfile(*record, FromUtf8(stem).substr(0, kProfileNameMaxLength));
        const ProfileJsonResult result = ProfileFromJson(*bytes, *record);
        if (!result.ok)
            return Refuse("import: " + path + ": " + result.error);
    }
    ProfileState& profiles = host.Profiles();
    ProfileList& list = profiles.List();
    // As the window's own import does: names terminated, settings in range, a free name.
    AdmitImportedProfile(
        *record, list,
        FromUtf8(std::filesystem::path(path).stem().string()).substr(0, kProfileNameMaxLength));
    const std::u16string name(LeadingName(*record));
    list.push_back(std::move(record));
    if (profiles.Save() != WriteStatus::Written) {
        list.pop_back();
        return Refuse("import: the profile store could not be saved; nothing was imported");
    }
    CommandReply reply;
    const std::size_t number = list.size();
    if (request.json)
        reply.output = Json{{"imported", number}, {"name", ToUtf8(name)}}.dump() + "\n";
    else
        reply.output = "imported " + path + " as " + std::to_string(number) + ": " + ToUtf8(name) + "\n";
    host.Changed(CommandHost::Change::Added);
    return reply;
}

}  // namespace

CommandReply RunProfileCommand(const CommandRequest& request, CommandHost& host) {
    try {
        if (request.command == "status")
            return Status(request, host);
        if (host.Profiles().Selected() == nullptr)
            return Refuse(request.command + ": the profiles are not loaded");
        if (request.command == "list")
            return List(request, host);
        if (request.command == "show")
            return Show(request, host);
        if (request.command == "select")
            return Select(request, host);
        if (request.command == "set")
            return Set(request, host);
        if (request.command == "export")
            return Export(request, host);
        if (request.command == "import")
            return Import(request, host);
        return Refuse("unknown command '" + request.command + "' (see quillon-cli --help)");
    } catch (const std::exception& error) {
        return Refuse(request.command + ": " + error.what());
    }
}

std::string CommandLineUsage() {
    return R"(Usage: quillon-cli [--json] COMMAND [ARGUMENT...]
       quillon-cli --help | --version

quillon-cli shows and changes the profiles of the MS_1 gaming mouse from a shell or a script.
While the Quillon window runs, the command line leaves the mouse to it: the window carries out
the command as if it had been made there (the page shows the change, the mouse gets it, the
profiles are saved). Otherwise the command line opens the mouse itself, waits up to a few
seconds for it to wake, sends the change, and saves the profiles as the window would.

Commands:
  status                 the links (cable, 2.4 GHz receiver, Bluetooth LE), whether the mouse
                         is awake, its battery and charging, the profile and DPI stage in use
  list                   the profiles; the selected one is marked with "*"
  show [PROFILE]         every setting of PROFILE (by default the selected one), one per line
                         as KEY = VALUE; the keys are the ones "set" takes
  select PROFILE         makes PROFILE the selected profile and sends it to the mouse
  set KEY=VALUE...       changes settings of the selected profile and sends them; when one
                         setting is refused, none is changed
  export PROFILE FILE    writes PROFILE to FILE.json (readable) or FILE.pro (Quillon's own)
  import FILE            adds the profile in FILE.json or FILE.pro to the list; a name that
                         is taken gets a "_n" suffix

PROFILE is a profile's name (letter case does not matter) or its number in "list".

Setting keys:
  dpi.N=DPI              DPI of stage N (1..8), 50..26000 in steps of 50
  dpi.current=N          the stage in use
  polling=HZ             125, 250, 500, 1000, 2000, 4000 or 8000
  light.effect=EFFECT    off, static, breathing, spectrum-cycle, rainbow-wave, rainbow-static,
                         spectrum-breathing, neon, flash, ripple, marquee, trail
  light.brightness=N, light.speed=N, light.color=#rrggbb
  button.N=FUNCTION      the function of button N (1..18), e.g. left-click, forward, back
  name=TEXT              the profile's name
  and every key that "show" lists, e.g. performance.ripple_control=true

Options:
  --json                 output for scripts: one JSON document on the standard output
  -h, --help             print this help and exit
  -V, --version          print the version and exit

Exit status:
  0  done
  1  refused: an unknown command, profile, setting or value, or a file that could not be
     read or written; the reason goes to the standard error
  2  no mouse: nothing is connected ("status"), or the change was saved but no mouse was
     awake to receive it; it is sent when the mouse next wakes with the window open

Files:
  Profiles are kept in $XDG_DATA_HOME/quillon/Data/ms_1/pro.data when installed, or in
  Data/ms_1/pro.data beside the program when it runs from its own folder.
)";
}

}  // namespace quillon
