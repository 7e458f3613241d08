// quillon-cli, the command line beside the Quillon window.
#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "cli/standalone_host.h"
#include "core/remote/command_request.h"
#include "core/remote/profile_commands.h"
#include "platform/single_instance.h"

namespace quillon {
namespace {

// The running program answers at once; this only bounds a program that hangs.
constexpr int kAnswerWaitMs = 30000;

const std::set<std::string, std::less<>> kCommands = {"status", "list",   "show",  "select",
                                                      "set",    "export", "import"};
// The commands that work on the mouse; the others need only the store.
const std::set<std::string, std::less<>> kMouseCommands = {"status", "select", "set"};

int Print(const CommandReply& reply) {
    std::fputs(reply.output.c_str(), stdout);
    std::fflush(stdout);
    if (!reply.error.empty()) {
        std::fputs("quillon-cli: ", stderr);
        std::fputs(reply.error.c_str(), stderr);
    }
    return reply.exit;
}

int Refuse(const std::string& message) {
    return Print({kExitRefused, {}, message + "\n"});
}

// Paths are the caller's, relative to its working folder; the running program has another one.
std::string Absolute(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

int Run(int argc, char** argv) {
    CommandRequest request;
    bool haveCommand = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            request.json = true;
        } else if (!haveCommand && (arg == "--help" || arg == "-h")) {
            std::fputs(CommandLineUsage().c_str(), stdout);
            return kExitDone;
        } else if (!haveCommand && (arg == "--version" || arg == "-V")) {
            std::printf("quillon-cli %s\n", QUILLON_VERSION);
            return kExitDone;
        } else if (!haveCommand && arg.size() > 1 && arg[0] == '-') {
            return Refuse("unknown option '" + arg + "' (see quillon-cli --help)");
        } else if (!haveCommand) {
            request.command = arg;
            haveCommand = true;
        } else {
            request.args.push_back(arg);
        }
    }
    if (!haveCommand)
        return Refuse("no command given (see quillon-cli --help)");
    if (kCommands.count(request.command) == 0)
        return Refuse("unknown command '" + request.command + "' (see quillon-cli --help)");
    if (request.args.size() > kMaxCommandArgs)
        return Refuse("too many arguments: at most " + std::to_string(kMaxCommandArgs));
    if (request.command == "export" && request.args.size() == 2)
        request.args[1] = Absolute(request.args[1]);
    if (request.command == "import" && request.args.size() == 1)
        request.args[0] = Absolute(request.args[0]);

    int qtArgc = 1;
    QCoreApplication application(qtArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillon"));

    // One writer at a time: while the window runs, it carries the command out.
    SingleInstance instance;
    if (!instance.Claim()) {
        const std::string line = EncodeCommandRequest(request);
        if (line.size() > kMaxCommandRequest)
            return Refuse("the command is too long");
        const auto answer = instance.SendRequest(line, kAnswerWaitMs);
        if (!answer)
            return Refuse("the running Quillon did not answer");
        const auto reply = ReadCommandReply(*answer);
        if (!reply)
            return Refuse("the running Quillon gave an answer this command line does not understand");
        return Print(*reply);
    }

    StandaloneHost host;
    host.Start(kMouseCommands.count(request.command) != 0 ? StandaloneHost::Mouse::Open
                                                          : StandaloneHost::Mouse::Leave);
    const CommandReply reply = RunProfileCommand(request, host);
    host.Shutdown();
    return Print(reply);
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
    return quillon::Run(argc, argv);
}
