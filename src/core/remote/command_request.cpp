#include "core/remote/command_request.h"

#include <nlohmann/json.hpp>

namespace quillon {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kVersionKey = "quillon-cli";
constexpr std::size_t kMaxCommandName = 32;

}  // namespace

std::string EncodeCommandRequest(const CommandRequest& request) {
    Json json;
    json[kVersionKey] = kCommandProtocolVersion;
    json["command"] = request.command;
    json["args"] = request.args;
    json["json"] = request.json;
    // Replacement of invalid UTF-8 keeps a mistyped argument from throwing; the receiver refuses it.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

CommandRequestRead ReadCommandRequest(std::string_view line) {
    CommandRequestRead result;
    if (line.size() > kMaxCommandRequest) {
        result.error = "request longer than " + std::to_string(kMaxCommandRequest) + " bytes";
        return result;
    }
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (line.find('\n') != std::string_view::npos) {
        result.error = "request spans more than one line";
        return result;
    }
    const Json json = Json::parse(line, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        result.error = "request is not a JSON object";
        return result;
    }
    CommandRequest request;
    bool haveVersion = false;
    bool haveCommand = false;
    for (const auto& [key, value] : json.items()) {
        if (key == kVersionKey) {
            if (!value.is_number_integer() || value.get<long long>() != kCommandProtocolVersion) {
                result.error = std::string(kVersionKey) + ": version " + value.dump() + " is not " +
                               std::to_string(kCommandProtocolVersion);
                return result;
            }
            haveVersion = true;
        } else if (key == "command") {
            if (!value.is_string() || value.get_ref<const std::string&>().empty() ||
                value.get_ref<const std::string&>().size() > kMaxCommandName) {
                result.error = "command: not a command name";
                return result;
            }
            request.command = value.get<std::string>();
            haveCommand = true;
        } else if (key == "args") {
            if (!value.is_array() || value.size() > kMaxCommandArgs) {
                result.error = "args: not a list of at most " + std::to_string(kMaxCommandArgs) + " texts";
                return result;
            }
            for (const Json& arg : value) {
                if (!arg.is_string()) {
                    result.error = "args: not a list of texts";
                    return result;
                }
                request.args.push_back(arg.get<std::string>());
            }
        } else if (key == "json") {
            if (!value.is_boolean()) {
                result.error = "json: not true or false";
                return result;
            }
            request.json = value.get<bool>();
        } else {
            result.error = key + ": unknown member";
            return result;
        }
    }
    if (!haveVersion) {
        result.error = std::string(kVersionKey) + ": missing";
        return result;
    }
    if (!haveCommand) {
        result.error = "command: missing";
        return result;
    }
    result.request = std::move(request);
    return result;
}

std::string EncodeCommandReply(const CommandReply& reply) {
    Json json;
    json[kVersionKey] = kCommandProtocolVersion;
    json["exit"] = reply.exit;
    json["output"] = reply.output;
    json["error"] = reply.error;
    return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<CommandReply> ReadCommandReply(std::string_view line) {
    if (line.size() > kMaxCommandReply)
        return std::nullopt;
    const Json json = Json::parse(line, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return std::nullopt;
    const auto version = json.find(kVersionKey);
    const auto exit = json.find("exit");
    const auto output = json.find("output");
    const auto error = json.find("error");
    if (version == json.end() || !version->is_number_integer() ||
        version->get<long long>() != kCommandProtocolVersion || exit == json.end() ||
        !exit->is_number_integer() || output == json.end() || !output->is_string() || error == json.end() ||
        !error->is_string())
        return std::nullopt;
    const long long code = exit->get<long long>();
    if (code < 0 || code > 255)
        return std::nullopt;
    return CommandReply{static_cast<int>(code), output->get<std::string>(), error->get<std::string>()};
}

}  // namespace quillon
