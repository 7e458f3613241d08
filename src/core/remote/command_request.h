#pragma once
// The requests that quillon-cli hands to a running Quillon over its single-instance socket, and
// the answers it gets back. One JSON object per line, UTF-8, ending with "\n":
//
//     request:  {"quillon-cli": 1, "command": "set", "args": ["dpi.3=1600"], "json": false}
//     answer:   {"quillon-cli": 1, "exit": 0, "output": "dpi.3 = 1600\n", "error": ""}
//
// "quillon-cli" is the version of this format; a request of another version is refused. "command"
// is one of the command line's commands (status, list, show, select, set, export, import), "args"
// its arguments as typed (paths made absolute by the sender), and "json" asks for the output that
// scripts read. "exit" is the command line's exit status (0 done, 1 refused, 2 no mouse) "output"
// what it prints, "error" what it tells on its error stream. The running program reads a request line of at
// most kMaxCommandRequest bytes; anything longer, not one object of exactly these members, or of other types
// is refused. The plain line "activate" (a second start of the program) shares the socket and is no JSON.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr int kCommandProtocolVersion = 1;
inline constexpr std::size_t kMaxCommandRequest = 16 * 1024;
inline constexpr std::size_t kMaxCommandArgs = 64;
inline constexpr std::size_t kMaxCommandReply = 8 * 1024 * 1024;

// Exit statuses of the command line, also carried in answers.
inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitNoMouse = 2;

struct CommandRequest {
    std::string command;
    std::vector<std::string> args;
    bool json = false;
};

struct CommandReply {
    int exit = kExitDone;
    std::string output;  // for the standard output
    std::string error;   // for the error stream: why an input was refused, or a warning
};

// The request as one line, "\n" included.
std::string EncodeCommandRequest(const CommandRequest& request);

struct CommandRequestRead {
    std::optional<CommandRequest> request;
    std::string error;  // why the line was refused; empty when `request` holds one
};

// Reads one request line (with or without its "\n"); refuses anything but a request of this
// version whose members all have the right types and sizes.
CommandRequestRead ReadCommandRequest(std::string_view line);

// The answer as one line, "\n" included.
std::string EncodeCommandReply(const CommandReply& reply);
// Reads one answer line; nothing when it is not an answer of this version.
std::optional<CommandReply> ReadCommandReply(std::string_view line);

}  // namespace quillon
