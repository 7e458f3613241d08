#pragma once
// The ".pro" exchange file: exactly one `ProfileRecord`, 101,536 bytes, as it lies in memory, with
// nothing before or after it. Each button that carries a macro holds its own copy of it, so the
// file needs no macro store.
//
// Export writes the record in one step (a temporary file renamed over the target), so an export
// that fails leaves no partial file behind and an existing file as it was. Import refuses any file
// that is not exactly one record: a short file would leave part of the profile undefined, a long
// one is something else. A record that passes is made safe before it joins the list
// (`AdmitImportedProfile`).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/records/profile_record.h"
#include "core/store/atomic_file.h"
#include "core/store/profile_store.h"

namespace quillon {

inline constexpr std::size_t kProfileFileSize = sizeof(ProfileRecord);

enum class ProfileFileError {
    None,
    CannotOpen,  // missing, unreadable, or not a regular file
    WrongSize,   // shorter or longer than one record
};

struct ProfileFileRead {
    std::unique_ptr<ProfileRecord> record;  // null unless error is None
    ProfileFileError error = ProfileFileError::None;
};

// The record in `bytes` when they are exactly one record; null otherwise.
std::unique_ptr<ProfileRecord> ParseProfileFile(std::span<const std::byte> bytes);

// Reads a ".pro" file. A file larger than one record is refused without being read whole.
ProfileFileRead ReadProfileFile(const std::filesystem::path& path);

// Writes `record` as the whole content of `path`, replacing it in one step; false when it could not
// be written (an existing file is then left as it was).
bool WriteProfileFile(const std::filesystem::path& path, const ProfileRecord& record,
                      FileWriter& writer = SystemFileWriter());

// The readable profile file (".json", the format of core/records/profile_json.h). A file that is
// not one is refused with the reason, which names the member at fault.
struct ProfileJsonFileRead {
    std::unique_ptr<ProfileRecord> record;  // null when refused
    std::string error;                      // why, when refused
};
inline constexpr std::uintmax_t kProfileJsonFileLimit = 4u * 1024u * 1024u;
ProfileJsonFileRead ReadProfileJsonFile(const std::filesystem::path& path);
bool WriteProfileJsonFile(const std::filesystem::path& path, const ProfileRecord& record,
                          FileWriter& writer = SystemFileWriter());

// Whether a file name asks for the readable form (it ends in ".json", in any letter case).
bool IsProfileJsonName(const std::filesystem::path& path);

// Readies a record read from a ".pro" file for the profile list: names end inside their fields,
// macro copies claim no more actions than they hold, every setting is in its range, and its name is
// one no profile of `list` has (the "_n" rule, cut to fit the name field together with its suffix).
// A record without a name is named `fallbackName` first.
void AdmitImportedProfile(ProfileRecord& record, const ProfileList& list, std::u16string_view fallbackName);

}  // namespace quillon
