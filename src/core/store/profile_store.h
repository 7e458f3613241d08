#pragma once
// The profile store: every profile of the mouse in one binary file, "ms_1/pro.data" below the data
// folder.
//
// The file is a 507,684-byte `StoreHeader` (the selected profile's index, then a reserved area kept
// byte for byte as it was read) followed by the profile records back to back, 101,536 bytes each, in
// list order. There is no signature, count or checksum: the number of records follows from the
// file's size. The whole list is read once at start-up and written back whole at every save point.
//
// Owner and threads: the settings page owns the list and the header and is the only one that
// changes them, on the UI thread; it is also the only caller of `Save`, so every save writes one
// consistent list and header (the apply hands its final save back to the UI thread). `Save` still
// serialises its own writers, so two saves never share the temporary file.
//
// Damaged files: a file that ends inside a record, holds a header but no record, is empty or
// cannot be opened although it exists is first kept as a backup, then repaired: the whole records
// are kept, a default profile is added when none is left, and the repaired file is saved. The
// backup is "pro.data.bak", or when that is taken by an earlier damaged start "pro.data.bak.1",
// ".2" and so on: a backup is never overwritten, since it may hold the only copy of profiles the
// user still wants. A stored selected index outside the list is brought into range.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "core/records/profile_record.h"
#include "core/store/atomic_file.h"
#include "core/store/write_behind.h"

namespace quillon {

inline constexpr std::size_t kStoreReservedSize = 507680;  // room for five records

struct StoreHeader {
    std::int32_t selected;  // 0-based position of the selected profile in the list
    std::array<std::uint8_t, kStoreReservedSize> reserved;
};
static_assert(std::is_trivially_copyable_v<StoreHeader> && std::is_standard_layout_v<StoreHeader>);
static_assert(sizeof(StoreHeader) == 507684);
static_assert(offsetof(StoreHeader, selected) == 0);
static_assert(offsetof(StoreHeader, reserved) == 4);

// The profile list: one heap block per record, in list order.
using ProfileList = std::vector<std::unique_ptr<ProfileRecord>>;

// Longest profile name, in UTF-16 units, that fits the record's name field with its terminator.
inline constexpr std::size_t kProfileNameMaxLength = kProfileNameCapacity - 1;

// Appends a profile with default settings named by `addProfileText` and the list's new count
// ("Profile" + "4" for a list of three), made unique with "_n" when a profile of that name exists.
ProfileRecord& CreateDefaultProfile(ProfileList& list, std::u16string_view addProfileText);

enum class LoadOutcome {
    Loaded,          // the file was read whole
    CreatedDefault,  // there was no file: one default profile was created and saved
    Repaired,        // the file was damaged: a backup was kept and the repaired list saved
};

struct [[nodiscard]] LoadReport {
    LoadOutcome outcome = LoadOutcome::Loaded;
    std::size_t recordsRead = 0;       // whole records taken from the file
    std::size_t bytesDropped = 0;      // bytes of an incomplete last record that were not kept
    bool selectedCorrected = false;    // the stored selected index lay outside the list
    bool backupKept = false;           // the damaged original is now at `backupPath`
    std::filesystem::path backupPath;  // where the damaged original was kept
    WriteResult saveResult;            // of the save that followed a create or repair
};

class ProfileStore {
public:
    // `dataFolder` is the program's data folder; the store keeps its file in "ms_1" below it and
    // creates both folders when it first writes.
    explicit ProfileStore(std::filesystem::path dataFolder, FileWriter& writer = SystemFileWriter());

    const std::filesystem::path& FilePath() const { return m_filePath; }
    // The name of the first backup of a damaged file, and of the later ones (1, 2, ...).
    std::filesystem::path BackupPath(unsigned number = 0) const;

    // Fills `list` (expected empty) and `header` from the file. On return the list holds at least
    // one record and `header.selected` is a valid index into it. `addProfileText` names the
    // default profile created when none can be read.
    LoadReport Load(ProfileList& list, StoreHeader& header, std::u16string_view addProfileText);

    // Writes the header and every record, replacing the file in one step; a failed write leaves
    // the previous file as it was.
    WriteResult Save(const ProfileList& list, const StoreHeader& header);
    // The same save handed to `writes`: the file's new content is copied now, so the list and
    // header may change as soon as this returns, and written on the writer thread, which calls
    // `finished`. The caller never mixes the two kinds of save in flight: it flushes `writes`
    // before a `Save`.
    void SaveLater(WriteBehind& writes, const ProfileList& list, const StoreHeader& header,
                   WriteBehind::Finished finished);

    // Makes a record read from outside safe to use: names end inside their fields, the macro
    // copies claim no more actions than they hold, and the settings are in the ranges the frames
    // can carry (RepairSettingRanges). Shared with profile import.
    static void Sanitise(ProfileRecord& record);

private:
    // Moves or copies the damaged file to the first free backup name; empty when that failed.
    std::filesystem::path KeepBackup();

    std::filesystem::path m_filePath;
    FileWriter& m_writer;
    std::mutex m_saveMutex;
};

}  // namespace quillon
