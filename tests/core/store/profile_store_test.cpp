#include "core/store/profile_store.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "core/store/profile_state.h"
#include "core/store/record_names.h"
#include "core/store/store_bytes.h"

namespace quillon {
namespace {

using test::Bytes;

std::u16string NameOf(const ProfileRecord& record) {
    return std::u16string(LeadingName(record));
}

class ProfileStoreTest : public ::testing::Test {
protected:
    std::filesystem::path DataFolder() const { return m_folder.Path() / "Data"; }
    std::filesystem::path StoreFile() const { return DataFolder() / "ms_1" / "pro.data"; }

    test::TemporaryFolder m_folder;
    ProfileList m_list;
    std::unique_ptr<StoreHeader> m_header = std::make_unique<StoreHeader>();
};

TEST_F(ProfileStoreTest, FirstStartWritesOneDefaultProfileInFolderItCreates) {
    ProfileStore store(DataFolder());
    const LoadReport report = store.Load(m_list, *m_header, u"Profile");

    EXPECT_EQ(report.outcome, LoadOutcome::CreatedDefault);
    EXPECT_EQ(report.saveResult, WriteStatus::Written);
    ASSERT_EQ(m_list.size(), 1u);
    EXPECT_EQ(m_header->selected, 0);

    Bytes golden = test::HeaderBytes(0);
    test::Append(golden, test::DefaultRecordBytes(u"Profile1"));
    ASSERT_EQ(golden.size(), 609220u);
    const Bytes onDisk = test::ReadAll(StoreFile());
    ASSERT_EQ(onDisk.size(), 609220u);
    for (std::size_t i = 0; i < golden.size(); ++i)
        ASSERT_EQ(onDisk[i], golden[i]) << "first difference at file offset " << i;
}

// A file as an older session may have left it: non-zero reserved area, edited records, and bytes
// in reserved fields that this program never writes itself.
Bytes ThreeProfileFile() {
    Bytes file = test::HeaderBytes(2);
    for (std::size_t i = 4; i < test::kHeaderBytes; i += 997)
        test::Put8(file, i, static_cast<std::uint8_t>(i * 7 + 1));
    const char16_t* names[] = {u"Work", u"Game", u"Ünïcode"};
    for (int k = 0; k < 3; ++k) {
        Bytes record = test::DefaultRecordBytes(names[k]);
        test::Put32(record, 2360, k);                                   // prate
        test::Put8(record, 2217, static_cast<std::uint8_t>(0xA0 + k));  // reserved zero area
        test::Put8(record, test::kSlotsAt + 70 + k, 0x5A);              // reserved bytes of slot 0
        test::Put16(record, test::kSlotsAt + 68, 190);                  // a full macro copy
        test::Append(file, record);
    }
    return file;
}

TEST_F(ProfileStoreTest, ThreeProfilesLoadInFileOrderAndSaveBackToTheSameBytes) {
    const Bytes original = ThreeProfileFile();
    test::WriteAll(StoreFile(), original);
    ProfileStore store(DataFolder());

    const LoadReport report = store.Load(m_list, *m_header, u"Profile");
    EXPECT_EQ(report.outcome, LoadOutcome::Loaded);
    ASSERT_EQ(m_list.size(), 3u);
    EXPECT_EQ(NameOf(*m_list[0]), u"Work");
    EXPECT_EQ(NameOf(*m_list[1]), u"Game");
    EXPECT_EQ(NameOf(*m_list[2]), u"Ünïcode");
    EXPECT_EQ(m_list[1]->prate, 1);
    EXPECT_EQ(m_header->selected, 2);

    std::filesystem::remove(StoreFile());
    ASSERT_EQ(store.Save(m_list, *m_header), WriteStatus::Written);
    EXPECT_TRUE(test::ReadAll(StoreFile()) == original);
    EXPECT_FALSE(std::filesystem::exists(store.BackupPath()));
}

struct DamagedCase {
    const char* what;
    std::size_t keepBytes;  // the file is ThreeProfileFile() cut to this size
    std::size_t records;    // profiles in the list after loading
    std::int32_t selected;  // selected index after loading
    bool keepsBackup;
};

class DamagedFileTest : public ProfileStoreTest, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedFileTest, LeavesAValidSelectionAndKeepsTheOriginal) {
    const DamagedCase& c = GetParam();
    Bytes original = ThreeProfileFile();
    original.resize(c.keepBytes);
    test::WriteAll(StoreFile(), original);
    ProfileStore store(DataFolder());

    const LoadReport report = store.Load(m_list, *m_header, u"Profile");
    ASSERT_EQ(m_list.size(), c.records);
    EXPECT_EQ(m_header->selected, c.selected);
    EXPECT_EQ(report.backupKept, c.keepsBackup);
    if (c.keepsBackup) {
        EXPECT_EQ(report.outcome, LoadOutcome::Repaired);
        EXPECT_EQ(report.backupPath, store.BackupPath());
        EXPECT_TRUE(test::ReadAll(store.BackupPath()) == original);
        // The repaired file is whole again: a header and whole records.
        EXPECT_EQ(test::ReadAll(StoreFile()).size(), test::kHeaderBytes + c.records * test::kRecordBytes);
    }
    // Whole records that were there survive the repair.
    if (c.keepBytes >= test::kHeaderBytes + test::kRecordBytes) {
        EXPECT_EQ(NameOf(*m_list[0]), u"Work");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFileTest,
    ::testing::Values(DamagedCase{"empty", 0, 1, 0, true},
                      DamagedCase{"cut inside the header", 1000, 1, 0, true},
                      DamagedCase{"header without records", test::kHeaderBytes, 1, 0, true},
                      // The stored index 2 names the record that was cut off.
                      DamagedCase{"cut inside the second record",
                                  test::kHeaderBytes + test::kRecordBytes + 5000, 1, 0, true},
                      DamagedCase{"cut inside the third record",
                                  test::kHeaderBytes + 2 * test::kRecordBytes + 1, 2, 1, true}),
    [](const ::testing::TestParamInfo<DamagedCase>& param) {
        std::string name = param.param.what;
        for (char& ch : name)
            if (ch == ' ')
                ch = '_';
        return name;
    });

TEST_F(ProfileStoreTest, SelectedIndexOutsideTheListIsBroughtIntoRangeWithoutTouchingTheFile) {
    for (const std::int32_t stored : {-1, 3, 1000000}) {
        Bytes file = ThreeProfileFile();
        test::Put32(file, 0, stored);
        test::WriteAll(StoreFile(), file);
        ProfileStore store(DataFolder());
        m_list.clear();
        const LoadReport report = store.Load(m_list, *m_header, u"Profile");
        EXPECT_TRUE(report.selectedCorrected);
        EXPECT_EQ(m_header->selected, stored < 0 ? 0 : 2) << stored;
        EXPECT_EQ(report.outcome, LoadOutcome::Loaded);
        EXPECT_TRUE(test::ReadAll(StoreFile()) == file);
    }
}

TEST_F(ProfileStoreTest, NamesAndMacroCountsFromTheFileAreBounded) {
    Bytes file = ThreeProfileFile();
    const std::size_t second = test::kHeaderBytes + test::kRecordBytes;
    for (std::size_t i = 0; i < 100; ++i)
        test::Put16(file, second + 2 * i, u'x');
    test::Put16(file, second + test::kSlotsAt + 4128 + 68, 60000);
    test::WriteAll(StoreFile(), file);
    ProfileStore store(DataFolder());
    EXPECT_EQ(store.Load(m_list, *m_header, u"Profile").outcome, LoadOutcome::Loaded);

    ASSERT_EQ(m_list.size(), 3u);
    EXPECT_EQ(NameOf(*m_list[1]), std::u16string(99, u'x'));
    EXPECT_EQ(m_list[1]->slots[1].action_count, 190);
}

// Settings a file holds out of range would spill into the neighbouring bits of their frames: they
// are repaired on load, and every other byte of the record stays as the file has it.
TEST_F(ProfileStoreTest, SettingsOutOfRangeInTheFileAreRepairedAndNothingElse) {
    struct Field {
        std::size_t at;
        std::int32_t stored, repaired;
    };
    const std::vector<std::vector<Field>> cases = {
        {{2356, 300, 7}, {2340, 16, 15}, {2344, 10, 9}, {2380, 12, 0}, {2360, 7, 6}, {2308 + 4 * 7, 0, 1}},
        {{2356, -1, 0}, {2340, -5, 0}, {2344, -1, 0}, {2380, -1, 0}, {2360, -1, 6}},
        // In range: nothing changes, except that the current stage (3, disabled here) is enabled.
        {{2356, 3, 3}, {2340, 15, 15}, {2344, 0, 0}, {2380, 11, 11}, {2360, 0, 0}, {2308 + 4 * 3, 0, 1}},
    };
    for (const auto& fields : cases) {
        Bytes file = ThreeProfileFile();
        const std::size_t second = test::kHeaderBytes + test::kRecordBytes;
        Bytes expected(file.begin() + static_cast<std::ptrdiff_t>(second),
                       file.begin() + static_cast<std::ptrdiff_t>(second + test::kRecordBytes));
        for (const Field& f : fields) {
            test::Put32(file, second + f.at, f.stored);
            test::Put32(expected, f.at, f.repaired);
        }
        test::WriteAll(StoreFile(), file);
        ProfileStore store(DataFolder());
        m_list.clear();
        EXPECT_EQ(store.Load(m_list, *m_header, u"Profile").outcome, LoadOutcome::Loaded);
        ASSERT_EQ(m_list.size(), 3u);
        const auto loaded = RecordBytes(*m_list[1]);
        EXPECT_EQ(std::memcmp(loaded.data(), expected.data(), expected.size()), 0) << fields[0].stored;
    }
}

// Wraps the real file system and fails the way a full disk or a crash mid-write would.
class FailingWriter final : public FileWriter {
public:
    enum class Fail { AfterBytes, OnRename };
    FailingWriter(Fail fail, std::size_t allowedBytes) : m_fail(fail), m_allowed(allowedBytes) {}

    std::unique_ptr<OutputFile> Create(const std::filesystem::path& path) override {
        class File final : public OutputFile {
        public:
            File(std::unique_ptr<OutputFile> real, std::size_t& allowed)
                : m_real(std::move(real)), m_allowed(allowed) {}
            bool Write(std::span<const std::byte> bytes) override {
                if (bytes.size() <= m_allowed) {
                    m_allowed -= bytes.size();
                    return m_real->Write(bytes);
                }
                // Part of the data reaches the disk before the failure.
                static_cast<void>(m_real->Write(bytes.first(m_allowed)));
                m_allowed = 0;
                errno = ENOSPC;
                return false;
            }
            bool Finish() override { return m_real->Finish(); }

        private:
            std::unique_ptr<OutputFile> m_real;
            std::size_t& m_allowed;
        };
        return std::make_unique<File>(SystemFileWriter().Create(path), m_allowed);
    }
    bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) override {
        if (m_fail != Fail::OnRename)
            return SystemFileWriter().Replace(from, to);
        errno = EXDEV;
        return false;
    }

private:
    Fail m_fail;
    std::size_t m_allowed;
};

TEST_F(ProfileStoreTest, FailedSaveLeavesThePreviousFileIntact) {
    const Bytes original = ThreeProfileFile();
    struct Case {
        FailingWriter::Fail fail;
        std::size_t allowed;
        WriteStatus status;
        const char* reason;
    };
    for (const Case c :
         {Case{FailingWriter::Fail::AfterBytes, 0, WriteStatus::WriteFailed,
               "the content could not be written: No space left on device"},
          Case{FailingWriter::Fail::AfterBytes, test::kHeaderBytes + 12345, WriteStatus::WriteFailed,
               "the content could not be written: No space left on device"},
          Case{FailingWriter::Fail::OnRename, SIZE_MAX, WriteStatus::ReplaceFailed,
               "the new file could not replace the old one: Invalid cross-device link"}}) {
        test::WriteAll(StoreFile(), original);
        ProfileStore reader(DataFolder());
        m_list.clear();
        ASSERT_EQ(reader.Load(m_list, *m_header, u"Profile").outcome, LoadOutcome::Loaded);
        CreateDefaultProfile(m_list, u"Profile");

        FailingWriter writer(c.fail, c.allowed);
        ProfileStore store(DataFolder(), writer);
        const WriteResult result = store.Save(m_list, *m_header);
        EXPECT_EQ(result, c.status);
        EXPECT_EQ(WriteFailureReason(result), c.reason);
        EXPECT_TRUE(test::ReadAll(StoreFile()) == original);
        EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(StoreFile())));
    }
}

// The system's own refusal, not a simulated one: the name of the temporary file is taken by a
// folder, which not even the superuser can open as a file.
TEST_F(ProfileStoreTest, SaveThatTheSystemRefusesSaysWhy) {
    std::filesystem::create_directories(TemporaryPathFor(StoreFile()));
    ProfileStore store(DataFolder());
    CreateDefaultProfile(m_list, u"Profile");
    const WriteResult result = store.Save(m_list, *m_header);
    EXPECT_EQ(result, WriteStatus::CannotCreate);
    EXPECT_EQ(WriteFailureReason(result), "the temporary file could not be created: Is a directory");
    EXPECT_FALSE(std::filesystem::exists(StoreFile()));
}

// Each damaged start keeps its own backup: the second must not replace the first, which may hold
// the only copy of profiles the repair had to drop.
TEST_F(ProfileStoreTest, EveryDamagedStartKeepsItsOwnBackup) {
    std::vector<Bytes> damaged;
    for (std::size_t cut : {test::kHeaderBytes + test::kRecordBytes + 7, std::size_t{1000}, std::size_t{0}}) {
        Bytes file = ThreeProfileFile();
        file.resize(cut);
        damaged.push_back(file);
        test::WriteAll(StoreFile(), file);
        ProfileStore store(DataFolder());
        m_list.clear();
        const LoadReport report = store.Load(m_list, *m_header, u"Profile");
        EXPECT_EQ(report.outcome, LoadOutcome::Repaired);
        EXPECT_TRUE(report.backupKept);
        EXPECT_EQ(report.backupPath, store.BackupPath(damaged.size() - 1));
    }
    const ProfileStore store(DataFolder());
    EXPECT_EQ(store.BackupPath(0).filename(), "pro.data.bak");
    EXPECT_EQ(store.BackupPath(2).filename(), "pro.data.bak.2");
    for (std::size_t i = 0; i < damaged.size(); ++i)
        EXPECT_TRUE(test::ReadAll(store.BackupPath(static_cast<unsigned>(i))) == damaged[i]) << i;
}

TEST_F(ProfileStoreTest, SavesFromTwoThreadsEachWriteAWholeFile) {
    ProfileStore store(DataFolder());
    ProfileList one;
    ProfileList four;
    CreateDefaultProfile(one, u"One");
    for (int i = 0; i < 4; ++i)
        CreateDefaultProfile(four, u"Four");
    auto headerOne = std::make_unique<StoreHeader>();
    auto headerFour = std::make_unique<StoreHeader>();
    headerFour->selected = 3;

    std::thread other([&] {
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(store.Save(four, *headerFour), WriteStatus::Written);
    });
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(store.Save(one, *headerOne), WriteStatus::Written);
    other.join();

    ProfileList loaded;
    const LoadReport report = store.Load(loaded, *m_header, u"Profile");
    EXPECT_EQ(report.outcome, LoadOutcome::Loaded);
    EXPECT_TRUE(loaded.size() == 1 || loaded.size() == 4);
    EXPECT_EQ(m_header->selected, loaded.size() == 4 ? 3 : 0);
}

// Holds every write at its start until the test opens the gate, and can refuse them as a full disk.
class GatedWriter final : public FileWriter {
public:
    std::unique_ptr<OutputFile> Create(const std::filesystem::path& path) override {
        std::unique_lock lock(m_mutex);
        ++m_started;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        if (m_full) {
            errno = ENOSPC;
            return nullptr;
        }
        return SystemFileWriter().Create(path);
    }
    bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) override {
        return SystemFileWriter().Replace(from, to);
    }
    void WaitForStart(int count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_started >= count; });
    }
    void Open(bool full = false) {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_full = full;
        m_changed.notify_all();
    }
    int Started() {
        std::lock_guard lock(m_mutex);
        return m_started;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_started = 0;
    bool m_open = false;
    bool m_full = false;
};

// The window saves on a writer thread: what reaches the disk is the list as it was at each save,
// in order, the newest winning over saves still waiting, and every save is heard on the caller's
// thread with its result.
TEST_F(ProfileStoreTest, SavesOnTheWriterThreadKeepTheirOrderAndAreAllHeard) {
    CreateDefaultProfile(m_list, u"Profile");
    m_header->selected = 0;
    ASSERT_EQ(ProfileStore(DataFolder()).Save(m_list, *m_header), WriteStatus::Written);

    GatedWriter writer;
    ProfileState state(std::make_unique<ProfileStore>(DataFolder(), writer));
    ASSERT_EQ(state.Load(u"Profile").outcome, LoadOutcome::Loaded);
    std::vector<WriteStatus> heard;
    state.SetSaveObserver([&](const WriteResult& result) { heard.push_back(result.status); });
    std::mutex wakeMutex;
    int wakes = 0;
    state.SaveInBackground([&] {
        std::lock_guard lock(wakeMutex);
        ++wakes;
    });
    const auto storedDpi = [&] {
        ProfileList list;
        auto header = std::make_unique<StoreHeader>();
        EXPECT_EQ(ProfileStore(DataFolder()).Load(list, *header, u"Profile").outcome, LoadOutcome::Loaded);
        return list.at(0)->dpi_x[0];
    };

    state.Selected()->dpi_x[0] = 1;
    state.SaveSoon();  // in flight, held at the gate
    writer.WaitForStart(1);
    state.Selected()->dpi_x[0] = 2;
    state.SaveSoon();  // waits
    state.Selected()->dpi_x[0] = 3;
    state.SaveSoon();                // replaces the one that waits
    state.Selected()->dpi_x[0] = 4;  // not saved: the copy was taken at the save
    EXPECT_TRUE(heard.empty()) << "nothing is heard before the UI thread asks";

    writer.Open();
    state.FlushSaves();
    EXPECT_EQ(writer.Started(), 2) << "the save that was superseded while waiting is not written";
    EXPECT_EQ(heard, std::vector<WriteStatus>(3, WriteStatus::Written));
    EXPECT_EQ(storedDpi(), 3);
    {
        std::lock_guard lock(wakeMutex);
        EXPECT_EQ(wakes, 3);
    }

    // A save that waits for the disk comes after every save handed to the thread.
    heard.clear();
    state.SaveSoon();
    state.Selected()->dpi_x[0] = 5;
    EXPECT_EQ(state.Save(), WriteStatus::Written);
    EXPECT_EQ(heard.size(), 2u);
    EXPECT_EQ(storedDpi(), 5);

    // A failed write on the thread reaches the observer like any other.
    heard.clear();
    writer.Open(/*full=*/true);
    state.SaveSoon();
    state.FlushSaves();
    EXPECT_EQ(heard, std::vector<WriteStatus>{WriteStatus::CannotCreate});
    EXPECT_EQ(storedDpi(), 5);
}

TEST_F(ProfileStoreTest, DefaultProfileNameAvoidsNamesInAnyLetterCase) {
    CreateDefaultProfile(m_list, u"Profile");
    EXPECT_EQ(NameOf(*m_list[0]), u"Profile1");

    CreateProfile(*m_list[0], u"PROFILE2");
    CreateDefaultProfile(m_list, u"Profile");
    EXPECT_EQ(NameOf(*m_list[1]), u"Profile2_1");

    CreateProfile(*m_list[0], u"profile3");
    CreateProfile(*m_list[1], u"PROFILE3_1");
    CreateDefaultProfile(m_list, u"Profile");
    EXPECT_EQ(NameOf(*m_list[2]), u"Profile3_2");
}

TEST_F(ProfileStoreTest, LongDefaultNameStaysUniqueOnceCutToItsField) {
    const std::u16string text(120, u'p');
    CreateDefaultProfile(m_list, text);
    CreateDefaultProfile(m_list, text);
    // Both wanted names cut to the same 99 units; the second needs a suffix that fits the field.
    EXPECT_EQ(NameOf(*m_list[0]), std::u16string(99, u'p'));
    EXPECT_EQ(NameOf(*m_list[1]), std::u16string(49, u'p') + u"_1");
}

}  // namespace
}  // namespace quillon
