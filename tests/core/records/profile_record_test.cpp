#include "core/records/profile_record.h"

#include "core/text16.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

using namespace quillon;

namespace {

// Reads the record the way a file reader would: by byte offset, little-endian.
std::int64_t ReadLe(const ProfileRecord& record, std::size_t offset, std::size_t width, bool isSigned) {
    const auto bytes = RecordBytes(record);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= std::uint64_t(std::to_integer<std::uint8_t>(bytes[offset + i])) << (8 * i);
    if (isSigned && width == 4)
        return std::int32_t(std::uint32_t(value));
    return std::int64_t(value);
}

std::unique_ptr<ProfileRecord> NewRecord(std::u16string_view name) {
    auto record = std::make_unique<ProfileRecord>();
    CreateProfile(*record, name);
    return record;
}

struct Expected {
    std::size_t offset;
    std::size_t width;
    std::int64_t value;
};

// Every header value a fresh profile carries, as bytes in the file.
std::vector<Expected> HeaderDefaults() {
    std::vector<Expected> fields = {
        {2200, 4, 420}, {2204, 4, 3}, {2208, 1, 0}, {2212, 4, 6},          {2224, 4, 0}, {2228, 4, 0},
        {2232, 4, 0},   {2340, 4, 8}, {2344, 4, 6}, {2348, 4, 10},         {2352, 4, 2}, {2356, 4, 1},
        {2360, 4, 6},   {2364, 4, 0}, {2368, 4, 1}, {2372, 4, 0},          {2376, 4, 1}, {2380, 4, 0},
        {2384, 4, 3},   {2388, 1, 1}, {2392, 4, 3}, {2396, 4, 0x00FF0000},
    };
    const std::int64_t dpi[8] = {8, 16, 24, 32, 64, 100, 0, 0};
    const std::int64_t enabled[8] = {1, 1, 1, 1, 1, 1, 0, 0};
    const std::int64_t stageColors[8] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFF00FF,
                                         0x00FFFF, 0xFFFFFF, 0x0040FF, 0xFFFFFF};
    const std::int64_t spareColors[8] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFF00FF,
                                         0x00FFFF, 0xFFFFFF, 0xFFFFFF, 0x0080FF};
    for (std::size_t i = 0; i < 8; ++i) {
        fields.push_back({2244 + 4 * i, 4, dpi[i]});
        fields.push_back({2276 + 4 * i, 4, dpi[i]});
        fields.push_back({2308 + 4 * i, 4, enabled[i]});
        fields.push_back({2400 + 4 * i, 4, stageColors[i]});
        fields.push_back({2432 + 4 * i, 4, spareColors[i]});
    }
    return fields;
}

// Changes every field that has a meaning or a default, slots included.
void Scribble(ProfileRecord& record) {
    auto bytes = RecordBytes(record);
    for (std::size_t i = 200; i < sizeof(ProfileRecord); ++i)
        bytes[i] = std::byte(0x5A ^ (i * 7));
}

}  // namespace

TEST(ProfileRecord, NewProfileHoldsNameDefaultsAndZerosElsewhere) {
    const auto record = NewRecord(u"Gaming");
    EXPECT_EQ(FieldText(record->profile_name.data(), kProfileNameCapacity), u"Gaming");

    std::vector<bool> covered(sizeof(ProfileRecord), false);
    for (std::size_t i = 0; i < 200; ++i)
        covered[i] = true;  // the name and its zero tail are checked through the field
    for (const Expected& field : HeaderDefaults()) {
        EXPECT_EQ(ReadLe(*record, field.offset, field.width, true), field.value) << "offset " << field.offset;
        for (std::size_t i = 0; i < field.width; ++i)
            covered[field.offset + i] = true;
    }
    const std::uint8_t functions[18] = {1, 2, 3, 6, 24, 4, 5, 0, 52, 0, 0, 0, 0, 0, 0, 0, 11, 12};
    for (std::size_t k = 0; k < 18; ++k) {
        const std::size_t base = 2464 + 4128 * k;
        EXPECT_EQ(ReadLe(*record, base + 0, 1, false), std::int64_t(k));
        EXPECT_EQ(ReadLe(*record, base + 1, 1, false), functions[k]) << "button " << k;
        EXPECT_EQ(ReadLe(*record, base + 8, 2, false), 562);
        EXPECT_EQ(ReadLe(*record, base + 1072, 4, true), -1);
        EXPECT_EQ(ReadLe(*record, base + 1076, 4, true), -1);
        for (std::size_t at : {std::size_t(0), std::size_t(1), std::size_t(8), std::size_t(9)})
            covered[base + at] = true;
        for (std::size_t i = 0; i < 8; ++i)
            covered[base + 1072 + i] = true;
    }
    const auto bytes = RecordBytes(*record);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (!covered[i]) {
            ASSERT_EQ(bytes[i], std::byte{0}) << "offset " << i;
        }
    }
}

TEST(ProfileRecord, ResetKeepsNameAndMovemodeAndRebuildsEverythingElse) {
    auto record = NewRecord(u"Office");
    Scribble(*record);
    // Areas the reset does not write keep what they hold; give them fresh-record content so the
    // result can be compared whole, and check separately below that they really are kept.
    const auto fresh = NewRecord(u"Office");
    const auto from = RecordBytes(*fresh);
    auto to = RecordBytes(*record);
    for (auto [offset, size] : {std::pair<std::size_t, std::size_t>{202, 998},
                                {1202, 998},
                                {2209, 3},
                                {2216, 8},
                                {2236, 8},
                                {2389, 3}})
        std::memcpy(&to[offset], &from[offset], size);
    record->movemode = 1;

    InitProfileDefaults(*record);

    auto expected = NewRecord(u"Office");
    expected->movemode = 1;
    EXPECT_EQ(std::memcmp(record.get(), expected.get(), sizeof(ProfileRecord)), 0);
}

TEST(ProfileRecord, ResetLeavesAreasWithoutDefaultAlone) {
    auto record = NewRecord(u"p");
    record->reserved_text_1 = {u'a', u'b', u'c'};
    record->reserved_text_2 = {u'x', u'y'};
    record->reserved2209 = {7, 8, 9};
    record->reserved2216.fill(0xAA);
    record->reserved2236.fill(0xBB);
    record->reserved2389 = {1, 2, 3};

    InitProfileDefaults(*record);

    EXPECT_EQ(record->reserved_text_1[0], u'\0');
    EXPECT_EQ(record->reserved_text_1[1], u'b');
    EXPECT_EQ(record->reserved_text_2[0], u'\0');
    EXPECT_EQ(record->reserved2209, (std::array<std::uint8_t, 3>{7, 8, 9}));
    EXPECT_EQ(record->reserved2216[7], 0xAA);
    EXPECT_EQ(record->reserved2236[0], 0xBB);
    EXPECT_EQ(record->reserved2389, (std::array<std::uint8_t, 3>{1, 2, 3}));
}

TEST(ProfileRecord, ResetDpiStagesTouchesOnlyTheStages) {
    auto record = NewRecord(u"p");
    Scribble(*record);
    auto before = std::make_unique<ProfileRecord>(*record);

    ResetDpiStages(*record);

    EXPECT_EQ(record->dpi_step, 1);
    EXPECT_EQ(record->dpi_x, kDefaultDpi);
    EXPECT_EQ(record->dpi_y, kDefaultDpi);
    EXPECT_EQ(record->dpi_step_enabled, kDefaultDpiEnabled);
    EXPECT_EQ(record->dpi_color, kDefaultDpiColors);
    // Put the stage fields back and the rest must be byte-identical to before.
    before->dpi_step = record->dpi_step;
    before->dpi_x = record->dpi_x;
    before->dpi_y = record->dpi_y;
    before->dpi_step_enabled = record->dpi_step_enabled;
    before->dpi_color = record->dpi_color;
    EXPECT_EQ(std::memcmp(record.get(), before.get(), sizeof(ProfileRecord)), 0);
}

TEST(ProfileRecord, ColoursConvertBetweenStoredBytesAndArgb) {
    EXPECT_EQ(ColorToArgb({255, 64, 0, 0}), 0xFFFF4000u);
    EXPECT_EQ(ArgbToColor(0xFF1EB40Au), (ColorBytes{30, 180, 10, 0}));
    // The alpha is dropped on the way in and always opaque on the way out.
    EXPECT_EQ(ArgbToColor(0x121EB40Au), (ColorBytes{30, 180, 10, 0}));
    for (std::uint32_t rgb : {0x000000u, 0x123456u, 0xFFFFFFu, 0x80FF01u})
        EXPECT_EQ(ColorToArgb(ArgbToColor(rgb)), 0xFF000000u | rgb);
}
