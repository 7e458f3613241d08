// The mouse's decoder takes output reports from the program, or from anything that writes to the
// simulated mouse. Input: one flag byte, then reports of 64 bytes (a shorter tail is fed as it is).
// Flag bit 0 recomputes the report checksum and bit 1 the frame checksum of each report before it
// is fed, so the fuzzer gets past the checksums into the frame decoding.
#include "core/protocol/device_model.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void PutSum(std::uint8_t* bytes, std::size_t from, std::size_t to, std::size_t at) {
    unsigned sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += bytes[i];
    bytes[at] = static_cast<std::uint8_t>(sum >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(sum);
}

void FixFrameSum(std::uint8_t* report) {
    if (report[2] != 0 || report[1] < 5)
        return;
    const std::size_t carried = report[1] - 5u;
    std::uint8_t* frame = report + 3;
    switch (frame[0]) {
    case 0x04:
        if (carried >= 52)
            PutSum(frame, 3, 50, 50);
        break;
    case 0x05:
        if (carried >= 13)
            PutSum(frame, 3, 11, 11);
        break;
    case 0x08:
        if (carried >= 59)
            PutSum(frame, 3, 57, 57);
        break;
    default:
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t flags = data[0];
    ++data;
    --size;
    quillon::DeviceModel mouse;
    std::size_t fed = 0;
    while (size > 0) {
        const std::size_t take = std::min<std::size_t>(size, 64);
        std::vector<std::uint8_t> report(data, data + take);
        if (take == 64) {
            if ((flags & 2) != 0)
                FixFrameSum(report.data());
            if ((flags & 1) != 0 && report[1] >= 5 && report[1] <= 64)
                PutSum(report.data(), 0, report[1] - 2u, report[1] - 2u);
        }
        const quillon::FeedResult result = mouse.Feed(report);
        if (result.accepted == (result.reason != quillon::RejectReason::None))
            __builtin_trap();
        if (result.frameComplete && mouse.LastFrame(result.command).empty())
            __builtin_trap();
        ++fed;
        data += take;
        size -= take;
    }
    if (mouse.AcceptedReports() + mouse.RejectedReports() != fed)
        __builtin_trap();
    for (unsigned slot = 0; slot < 256; ++slot)
        (void)mouse.MacroFrom(static_cast<std::uint8_t>(slot));
    return 0;
}
