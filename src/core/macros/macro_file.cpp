#include "core/macros/macro_file.h"

#include <cstdio>
#include <cstring>
#include <system_error>
#include <vector>

namespace quillon {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Reads at most `limit` bytes of a file; false when it cannot be opened or read.
bool ReadBytes(const std::filesystem::path& path, std::size_t limit, std::vector<std::byte>& bytes) {
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    bytes.clear();
    std::byte chunk[1 << 14];
    while (bytes.size() < limit) {
        const std::size_t want = std::min(sizeof chunk, limit - bytes.size());
        const std::size_t got = std::fread(chunk, 1, want, file.get());
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < want)
            return std::ferror(file.get()) == 0;
    }
    return true;
}

}  // namespace

ParsedMacroStore ParseMacroStore(std::span<const std::byte> bytes) {
    ParsedMacroStore parsed;
    const std::size_t whole = bytes.size() / sizeof(MacroRecord);
    parsed.records.reserve(whole);
    for (std::size_t i = 0; i < whole; ++i) {
        auto record = std::make_unique_for_overwrite<MacroRecord>();
        std::memcpy(record.get(), bytes.data() + i * sizeof(MacroRecord), sizeof(MacroRecord));
        if (SanitiseMacro(*record))
            ++parsed.recordsRepaired;
        parsed.records.push_back(std::move(record));
    }
    parsed.bytesDropped = bytes.size() % sizeof(MacroRecord);
    return parsed;
}

MacroStoreFile::MacroStoreFile(std::filesystem::path dataFolder, FileWriter& writer)
    : m_filePath(std::move(dataFolder) / "ms_1" / "macro.data"), m_writer(writer) {}

std::filesystem::path MacroStoreFile::BackupPath(unsigned number) const {
    return BackupPathFor(m_filePath, number);
}

void MacroStoreFile::KeepBackup(MacroLoadReport& report) {
    report.backupPath = KeepNumberedBackup(m_filePath);
    report.backupKept = !report.backupPath.empty();
}

MacroLoadReport MacroStoreFile::Load(MacroList& list) {
    MacroLoadReport report;
    list.clear();
    std::error_code error;
    if (!std::filesystem::exists(m_filePath, error))
        return report;
    std::vector<std::byte> bytes;
    if (!ReadBytes(m_filePath, static_cast<std::size_t>(-1), bytes)) {
        // The store starts empty; the file the next save would replace is kept first.
        report.outcome = MacroLoadOutcome::Repaired;
        KeepBackup(report);
        return report;
    }
    ParsedMacroStore parsed = ParseMacroStore(bytes);
    list = std::move(parsed.records);
    report.recordsRead = list.size();
    report.bytesDropped = parsed.bytesDropped;
    report.recordsRepaired = parsed.recordsRepaired;
    if (parsed.Damaged()) {
        report.outcome = MacroLoadOutcome::Repaired;
        KeepBackup(report);
    }
    return report;
}

WriteResult MacroStoreFile::Save(const MacroList& list) {
    std::vector<std::span<const std::byte>> pieces;
    pieces.reserve(list.size());
    for (const auto& record : list)
        pieces.push_back(MacroBytes(*record));
    return WriteFileAtomically(m_writer, m_filePath, pieces);
}

MacroFileContents ParseMacroFile(std::span<const std::byte> bytes) {
    MacroFileContents contents;
    if (bytes.size() != sizeof(MacroRecord)) {
        contents.problem = MacroFileProblem::WrongSize;
        return contents;
    }
    contents.record = std::make_unique_for_overwrite<MacroRecord>();
    std::memcpy(contents.record.get(), bytes.data(), sizeof(MacroRecord));
    contents.repaired = SanitiseMacro(*contents.record);
    return contents;
}

MacroFileContents ReadMacroFile(const std::filesystem::path& path) {
    std::vector<std::byte> bytes;
    // One byte more than a record tells a longer file from a whole one.
    if (!ReadBytes(path, sizeof(MacroRecord) + 1, bytes)) {
        MacroFileContents contents;
        contents.problem = MacroFileProblem::CannotRead;
        return contents;
    }
    return ParseMacroFile(bytes);
}

WriteResult WriteMacroFile(FileWriter& writer, const std::filesystem::path& path, const MacroRecord& record) {
    return WriteFileAtomically(writer, path, {MacroBytes(record)});
}

}  // namespace quillon
