// ".pro" files as the import reads them: exactly one record or nothing, and what an imported record
// must look like before it joins the list.
#include "core/store/profile_file.h"

#include <gtest/gtest.h>

#include "core/protocol/frames.h"
#include "core/store/record_names.h"
#include "core/store/record_ranges.h"
#include "core/store/store_bytes.h"

namespace quillon {
namespace {

using test::Bytes;

ProfileList ListOf(std::initializer_list<std::u16string_view> names) {
    ProfileList list;
    for (std::u16string_view name : names) {
        auto record = std::make_unique<ProfileRecord>();
        CreateProfile(*record, name);
        list.push_back(std::move(record));
    }
    return list;
}

TEST(ProfileFile, OnlyAFileOfExactlyOneRecordIsRead) {
    test::TemporaryFolder folder;
    const auto path = folder.Path() / "game.pro";
    Bytes bytes = test::DefaultRecordBytes(u"Game");
    test::WriteAll(path, bytes);
    ProfileFileRead read = ReadProfileFile(path);
    ASSERT_EQ(read.error, ProfileFileError::None);
    EXPECT_EQ(std::memcmp(read.record.get(), bytes.data(), bytes.size()), 0);

    for (std::size_t size : {std::size_t{0}, std::size_t{1}, test::kRecordBytes - 1, test::kRecordBytes + 1,
                             2 * test::kRecordBytes}) {
        bytes.resize(size, 0x41);
        test::WriteAll(path, bytes);
        read = ReadProfileFile(path);
        EXPECT_EQ(read.error, ProfileFileError::WrongSize) << size;
        EXPECT_EQ(read.record, nullptr) << size;
    }
    EXPECT_EQ(ReadProfileFile(folder.Path() / "missing.pro").error, ProfileFileError::CannotOpen);
    EXPECT_EQ(ReadProfileFile(folder.Path()).error, ProfileFileError::CannotOpen) << "a folder";
}

TEST(ProfileFile, ExportReplacesAnExistingFileWithTheRecordsBytes) {
    test::TemporaryFolder folder;
    const auto path = folder.Path() / "game.pro";
    test::WriteAll(path, Bytes(7, 0xEE));
    ProfileRecord record;
    CreateProfile(record, u"Game");
    record.brightness = 3;
    ASSERT_TRUE(WriteProfileFile(path, record));
    Bytes expected = test::DefaultRecordBytes(u"Game");
    test::Put32(expected, 2340, 3);
    EXPECT_EQ(test::ReadAll(path), expected);
    EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(path)));
}

TEST(ProfileFile, ImportedNameIsTerminatedMadeUniqueAndCutTogetherWithItsSuffix) {
    const ProfileList list = ListOf({u"Work", u"work_1", std::u16string(99, u'L')});

    ProfileRecord record;
    CreateProfile(record, u"WORK");
    AdmitImportedProfile(record, list, u"Imported");
    EXPECT_EQ(LeadingName(record), u"WORK_2") << "case-insensitive, first free number";

    // A name without a terminator that fills its field, equal to a stored one once cut.
    record.profile_name.fill(u'L');
    AdmitImportedProfile(record, list, u"Imported");
    EXPECT_EQ(LeadingName(record), std::u16string(49, u'L') + u"_1");

    record.profile_name.fill(0);
    AdmitImportedProfile(record, list, u"Game");
    EXPECT_EQ(LeadingName(record), u"Game") << "a nameless record takes the file's name";
}

// Settings that would spill into a neighbour's bits on the wire, and choices that name no option.
TEST(ProfileFile, ImportedSettingsAreBroughtIntoTheirRanges) {
    ProfileRecord record;
    CreateProfile(record, u"Odd");
    EXPECT_EQ(KeepFieldsInRange(record), 0u) << "a factory profile is in range";

    record.light_effect = 17;  // would land in the high nibble of the next byte's neighbour
    record.brightness = 40;    // shares a byte with the sleep timer
    record.breathspeed = -3;
    record.sleep_timer = 0;
    record.key_debounce = 1000;
    record.prate = 9;
    record.angle_snap = 7;
    record.dpi_x[2] = 9000;
    record.dpi_step_enabled[4] = 2;
    record.dpi_step = 12;
    record.slots[3].repeat_mode = 8;
    record.slots[3].repeat_count = 999;
    record.slots[3].action_count = 500;
    record.slots[3].actions[0].delayMs = 65000;
    const ProfileRecord unchanged = record;
    AdmitImportedProfile(record, {}, u"x");

    EXPECT_EQ(record.light_effect, 0);
    EXPECT_EQ(record.brightness, 15);
    EXPECT_EQ(record.breathspeed, 1);
    EXPECT_EQ(record.sleep_timer, 1);
    EXPECT_EQ(record.key_debounce, 30);
    EXPECT_EQ(record.prate, 6);
    EXPECT_EQ(record.angle_snap, 0);
    EXPECT_EQ(record.dpi_x[2], 520);
    EXPECT_EQ(record.dpi_step_enabled[4], 0) << "only 1 enables a stage on the mouse";
    EXPECT_EQ(record.dpi_step, 7);
    EXPECT_EQ(record.dpi_step_enabled[7], 1) << "the current stage is enabled";
    EXPECT_EQ(record.slots[3].repeat_mode, 0);
    EXPECT_EQ(record.slots[3].repeat_count, 255);
    EXPECT_EQ(record.slots[3].action_count, 190);
    EXPECT_EQ(record.slots[3].actions[0].delayMs, 25000);
    EXPECT_EQ(std::memcmp(&record.slots[4], &unchanged.slots[4], sizeof(ButtonSlot)), 0);

    record.light_effect = 1;  // static: the brightness is sent
    EXPECT_EQ(LightingFrame(record).bytes[5], 0x1F) << "sleep 1 in the high nibble, brightness 15 in the low";
}

TEST(ProfileFile, CurrentDpiStageOfAnImportIsAlwaysEnabled) {
    ProfileRecord record;
    CreateProfile(record, u"Stages");
    record.dpi_step = 7;  // disabled in a factory profile
    KeepFieldsInRange(record);
    EXPECT_EQ(record.dpi_step, 7);
    EXPECT_EQ(record.dpi_step_enabled[7], 1);
    EXPECT_EQ(PerformanceFrame(record).bytes[5], 0xBF) << "stages 1..6 and 8 in the mask";
}

}  // namespace
}  // namespace quillon
