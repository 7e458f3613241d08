#include "core/protocol/status.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace quillon;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Each decode runs on a heap block of exactly the given size, so a read past its end is caught by
// the address sanitizer.
std::optional<StatusEvent> Hid(const Bytes& bytes) {
    return DecodeStatusReport(Bytes(bytes));
}
std::optional<StatusEvent> Ble(const Bytes& bytes) {
    return DecodeBleValue(Bytes(bytes));
}

struct Case {
    Bytes bytes;
    bool decoded;
    StatusType type;
    std::uint16_t value;
    std::uint8_t level;
};

void Check(const std::optional<StatusEvent>& event, const Case& c) {
    ASSERT_EQ(event.has_value(), c.decoded);
    if (!c.decoded)
        return;
    EXPECT_EQ(event->type, c.type);
    EXPECT_EQ(event->value, c.value);
    EXPECT_EQ(event->level, c.level);
}

}  // namespace

TEST(StatusReports, WiredAndWirelessReportsDecodeByType) {
    const Case cases[] = {
        {{0x06, 0x3C, 0x10, 0x03, 0x00}, true, StatusType::DpiStage, 3, 0},
        {{0x06, 0x3C, 0x20, 0x04, 0x00, 0xAA, 0xBB}, true, StatusType::PollingRate, 0x04, 0},
        {{0x00, 0x3C, 0x40, 0x01, 0x57}, true, StatusType::Power, 1, 87},
        {{0x00, 0x3C, 0x40, 0x03, 0x00}, true, StatusType::Power, 3, 0},
        {{0x00, 0x3C, 0x50, 0x00, 0x00}, true, StatusType::Flag, 0, 0},
        {{0x00, 0x3D, 0x10, 0x03, 0x00}, false, {}, 0, 0},  // not a status report
        {{0x00, 0x3C, 0x60, 0x03, 0x00}, false, {}, 0, 0},  // a BLE-only type
        {{0x00, 0x3C, 0x11, 0x03, 0x00}, false, {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        Check(Hid(c.bytes), c);
    }
}

TEST(StatusReports, ShortReportsAreIgnored) {
    const Bytes full = {0x06, 0x3C, 0x40, 0x01, 0x57};
    for (std::size_t size = 0; size < full.size(); ++size)
        EXPECT_FALSE(Hid(Bytes(full.begin(), full.begin() + long(size))).has_value()) << size;
    EXPECT_TRUE(Hid(full).has_value());
}

TEST(StatusReports, BleValuesDecodeByType) {
    const Case cases[] = {
        {{0x3C, 0x10, 0x05, 0x00}, true, StatusType::DpiStage, 5, 0},
        {{0x3C, 0x10, 0x05, 0x01}, true, StatusType::DpiStage, 0x0105, 1},  // out of range, for the caller
        {{0x3C, 0x20, 0x08, 0x00}, true, StatusType::PollingRate, 8, 0},
        {{0x3C, 0x40, 0x02, 0x64}, true, StatusType::Power, 2, 100},
        {{0x3C, 0x50, 0x00, 0x09}, true, StatusType::Flag, 0, 9},
        {{0x3C, 0x60, 0x0A, 0x00}, true, StatusType::BatteryValue, 10, 0},
        {{0x3C, 0x70, 0x35, 0x00}, true, StatusType::LightEffect, 0x35, 0},
        {{0x3C, 0x80, 0x04, 0x00}, true, StatusType::Mode, 4, 0},
        {{0x3D, 0x10, 0x05, 0x00}, false, {}, 0, 0},
        {{0x3C, 0x30, 0x05, 0x00}, false, {}, 0, 0},
        {{0x3C, 0x40, 0x02}, false, {}, 0, 0},
        {{}, false, {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        Check(Ble(c.bytes), c);
    }
}
