// The instance socket takes request lines from any process of the user: whatever the bytes,
// reading either refuses with a reason or gives a request that writes back to a line that reads
// as the same request.
#include "core/remote/command_request.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const quillon::CommandRequestRead read = quillon::ReadCommandRequest(line);
    if (!read.request) {
        if (read.error.empty())
            __builtin_trap();
        return 0;
    }
    const std::string again = quillon::EncodeCommandRequest(*read.request);
    const quillon::CommandRequestRead back = quillon::ReadCommandRequest(again);
    if (!back.request || back.request->command != read.request->command ||
        back.request->args != read.request->args || back.request->json != read.request->json)
        __builtin_trap();
    (void)quillon::ReadCommandReply(line);
    return 0;
}
