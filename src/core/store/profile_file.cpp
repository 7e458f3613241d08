#include "core/store/profile_file.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/records/profile_json.h"
#include "core/store/record_names.h"
#include "core/store/record_ranges.h"
#include "core/text16.h"

namespace quillon {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

std::unique_ptr<ProfileRecord> ParseProfileFile(std::span<const std::byte> bytes) {
    if (bytes.size() != kProfileFileSize)
        return nullptr;
    auto record = std::make_unique_for_overwrite<ProfileRecord>();
    std::memcpy(static_cast<void*>(record.get()), bytes.data(), kProfileFileSize);
    return record;
}

ProfileFileRead ReadProfileFile(const std::filesystem::path& path) {
    ProfileFileRead result;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        result.error = ProfileFileError::CannotOpen;
        return result;
    }
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        result.error = ProfileFileError::CannotOpen;
        return result;
    }
    // One byte more than a record tells a long file from an exact one without reading it all.
    std::vector<std::byte> bytes(kProfileFileSize + 1);
    const std::size_t read = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (std::ferror(file.get())) {
        result.error = ProfileFileError::CannotOpen;
        return result;
    }
    result.record = ParseProfileFile(std::span(bytes).first(read));
    if (!result.record)
        result.error = ProfileFileError::WrongSize;
    return result;
}

bool WriteProfileFile(const std::filesystem::path& path, const ProfileRecord& record, FileWriter& writer) {
    return WriteFileAtomically(writer, path, {RecordBytes(record)}) == WriteStatus::Written;
}

ProfileJsonFileRead ReadProfileJsonFile(const std::filesystem::path& path) {
    ProfileJsonFileRead result;
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || !std::filesystem::is_regular_file(path, error)) {
        result.error = "the file cannot be read";
        return result;
    }
    if (size > kProfileJsonFileLimit) {
        result.error = "larger than a profile file can be";
        return result;
    }
    FileHandle file(std::fopen(path.c_str(), "rb"));
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!file || std::fread(text.data(), 1, text.size(), file.get()) != text.size()) {
        result.error = "the file cannot be read";
        return result;
    }
    auto record = std::make_unique<ProfileRecord>();
    // A file that names no profile keeps an empty name; the caller names it after the file.
    CreateProfile(*record, u"");
    const ProfileJsonResult read = ProfileFromJson(text, *record);
    if (!read.ok) {
        result.error = read.error;
        return result;
    }
    result.record = std::move(record);
    return result;
}

bool WriteProfileJsonFile(const std::filesystem::path& path, const ProfileRecord& record,
                          FileWriter& writer) {
    const std::string text = ProfileToJson(record);
    return WriteFileAtomically(writer, path, {std::as_bytes(std::span(text))}) == WriteStatus::Written;
}

bool IsProfileJsonName(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension == ".json";
}

void AdmitImportedProfile(ProfileRecord& record, const ProfileList& list, std::u16string_view fallbackName) {
    ProfileStore::Sanitise(record);
    KeepFieldsInRange(record);
    std::u16string name(LeadingName(record));
    if (name.empty())
        name = fallbackName;
    // The name is tested in the form it is stored in, so a long name that only collides once cut
    // is caught as well.
    SetFieldText(record.profile_name.data(), record.profile_name.size(), name);
    name = std::u16string(LeadingName(record));
    if (NameExists(list, name))
        name = MakeUniqueName(name, list, kProfileNameMaxLength);
    SetFieldText(record.profile_name.data(), record.profile_name.size(), name);
}

}  // namespace quillon
