#include "core/store/profile_store.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <string>
#include <system_error>

#include "core/store/record_names.h"
#include "core/text16.h"

namespace quillon {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::u16string DecimalText(std::size_t number) {
    const std::string digits = std::to_string(number);
    return {digits.begin(), digits.end()};
}

}  // namespace

ProfileRecord& CreateDefaultProfile(ProfileList& list, std::u16string_view addProfileText) {
    std::u16string name(addProfileText);
    name += DecimalText(list.size() + 1);
    // A name that only fits once cut must be tested in the form it will be stored in.
    char16_t field[kProfileNameCapacity];
    SetFieldText(field, kProfileNameCapacity, name);
    name = FieldText(field, kProfileNameCapacity);
    if (NameExists(list, name))
        name = MakeUniqueName(name, list, kProfileNameMaxLength);
    auto record = std::make_unique<ProfileRecord>();
    CreateProfile(*record, name);
    list.push_back(std::move(record));
    return *list.back();
}

ProfileStore::ProfileStore(std::filesystem::path dataFolder, FileWriter& writer)
    : m_filePath(std::move(dataFolder) / "ms_1" / "pro.data"), m_writer(writer) {}

std::filesystem::path ProfileStore::BackupPath(unsigned number) const {
    return BackupPathFor(m_filePath, number);
}

void ProfileStore::Sanitise(ProfileRecord& record) {
    TerminateField(record.profile_name.data(), record.profile_name.size());
    for (ButtonSlot& slot : record.slots) {
        TerminateField(slot.macro_name.data(), slot.macro_name.size());
        if (slot.action_count > kMacroActionCapacity)
            slot.action_count = static_cast<std::uint16_t>(kMacroActionCapacity);
    }
    RepairSettingRanges(record);
}

std::filesystem::path ProfileStore::KeepBackup() {
    return KeepNumberedBackup(m_filePath);
}

LoadReport ProfileStore::Load(ProfileList& list, StoreHeader& header, std::u16string_view addProfileText) {
    LoadReport report;
    list.clear();

    std::error_code error;
    const bool exists = std::filesystem::exists(m_filePath, error);
    FileHandle file(std::fopen(m_filePath.c_str(), "rb"));
    if (!file) {
        // A first start, or a file we may not read; the latter is moved aside rather than lost.
        if (exists) {
            report.outcome = LoadOutcome::Repaired;
            report.backupPath = KeepBackup();
            report.backupKept = !report.backupPath.empty();
        } else {
            report.outcome = LoadOutcome::CreatedDefault;
        }
        header.selected = 0;
        header.reserved.fill(0);
        CreateDefaultProfile(list, addProfileText);
        report.saveResult = Save(list, header);
        return report;
    }

    header.selected = 0;
    header.reserved.fill(0);
    const std::size_t headerBytes = std::fread(&header, 1, sizeof(StoreHeader), file.get());
    bool damaged = headerBytes < sizeof(StoreHeader);
    if (headerBytes < sizeof(header.selected))
        header.selected = 0;
    while (!damaged) {
        auto record = std::make_unique_for_overwrite<ProfileRecord>();
        const std::size_t recordBytes = std::fread(record.get(), 1, sizeof(ProfileRecord), file.get());
        if (recordBytes == 0)
            break;
        if (recordBytes < sizeof(ProfileRecord)) {
            // The rest of this record was never written; half a profile is not a profile.
            report.bytesDropped = recordBytes;
            damaged = true;
            break;
        }
        Sanitise(*record);
        list.push_back(std::move(record));
    }
    file.reset();
    report.recordsRead = list.size();

    if (list.empty()) {
        damaged = true;
        CreateDefaultProfile(list, addProfileText);
    }
    const auto count = static_cast<std::int32_t>(list.size());
    if (header.selected < 0 || header.selected >= count) {
        header.selected = std::clamp(header.selected, 0, count - 1);
        report.selectedCorrected = true;
    }
    if (damaged) {
        report.outcome = LoadOutcome::Repaired;
        report.backupPath = KeepBackup();
        report.backupKept = !report.backupPath.empty();
        report.saveResult = Save(list, header);
    }
    return report;
}

void ProfileStore::SaveLater(WriteBehind& writes, const ProfileList& list, const StoreHeader& header,
                             WriteBehind::Finished finished) {
    std::vector<std::byte> content;
    content.reserve(sizeof(StoreHeader) + list.size() * sizeof(ProfileRecord));
    const auto append = [&content](std::span<const std::byte> bytes) {
        content.insert(content.end(), bytes.begin(), bytes.end());
    };
    append(std::as_bytes(std::span<const StoreHeader, 1>(&header, 1)));
    for (const auto& record : list)
        append(RecordBytes(*record));
    writes.Write(m_writer, m_filePath, std::move(content), std::move(finished));
}

WriteResult ProfileStore::Save(const ProfileList& list, const StoreHeader& header) {
    std::lock_guard lock(m_saveMutex);
    std::vector<std::span<const std::byte>> pieces;
    pieces.reserve(list.size() + 1);
    pieces.push_back(std::as_bytes(std::span<const StoreHeader, 1>(&header, 1)));
    for (const auto& record : list)
        pieces.push_back(RecordBytes(*record));
    return WriteFileAtomically(m_writer, m_filePath, pieces);
}

}  // namespace quillon
