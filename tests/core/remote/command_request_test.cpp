// The lines quillon-cli and the running program exchange: what one side writes the other reads,
// and a line from anyone else is refused with a reason rather than half understood.
#include "core/remote/command_request.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(CommandRequest, RequestsAndAnswersReadBackAsWritten) {
    const CommandRequest request{"set", {"dpi.3=1600", "name=Zoë \"quoted\"\nline"}, true};
    const std::string line = EncodeCommandRequest(request);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line";
    const CommandRequestRead read = ReadCommandRequest(line);
    ASSERT_TRUE(read.request) << read.error;
    EXPECT_EQ(read.request->command, "set");
    EXPECT_EQ(read.request->args, request.args);
    EXPECT_TRUE(read.request->json);

    const auto reply = ReadCommandReply(EncodeCommandReply({2, "a\nb\n", "no mouse\n"}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->exit, 2);
    EXPECT_EQ(reply->output, "a\nb\n");
    EXPECT_EQ(reply->error, "no mouse\n");
}

TEST(CommandRequest, RefusesLinesThatAreNotARequestOfThisVersion) {
    const struct {
        std::string line;
        std::string error;
    } cases[] = {
        {"activate", "request is not a JSON object"},
        {R"(["status"])", "request is not a JSON object"},
        {R"({"command":"status"})", "quillon-cli: missing"},
        {R"({"quillon-cli":2,"command":"status"})", "quillon-cli: version 2 is not 1"},
        {R"({"quillon-cli":"1","command":"status"})", "quillon-cli: version \"1\" is not 1"},
        {R"({"quillon-cli":1})", "command: missing"},
        {R"({"quillon-cli":1,"command":""})", "command: not a command name"},
        {R"({"quillon-cli":1,"command":"set","args":"dpi.3=1600"})", "args: not a list of at most 64 texts"},
        {R"({"quillon-cli":1,"command":"set","args":[3]})", "args: not a list of texts"},
        {R"({"quillon-cli":1,"command":"set","json":1})", "json: not true or false"},
        {R"({"quillon-cli":1,"command":"set","user":"root"})", "user: unknown member"},
        {"{\"quillon-cli\":1,\n\"command\":\"list\"}", "request spans more than one line"},
        {R"({"quillon-cli":1,"command":"show","args":[")" + std::string(kMaxCommandRequest, 'a') + "\"]}",
         "request longer than 16384 bytes"},
    };
    for (const auto& c : cases) {
        const CommandRequestRead read = ReadCommandRequest(c.line);
        EXPECT_FALSE(read.request) << c.line;
        EXPECT_EQ(read.error, c.error) << c.line.substr(0, 80);
    }
    EXPECT_FALSE(ReadCommandReply("done\n")) << "the answer to activate is no command answer";
    EXPECT_FALSE(ReadCommandReply(R"({"quillon-cli":1,"exit":300,"output":"","error":""})"));
}

}  // namespace
}  // namespace quillon
