#pragma once
// Whole-file replacement that never leaves a half-written file behind.
//
// The stores rewrite their files in one piece. Writing straight over the old file would leave a
// truncated or partly written file when the disk fills up or the program is stopped mid-write, and
// the next start would read garbage. Instead the new content goes to a temporary file in the same
// folder, is flushed to the disk, and is then renamed over the old file, which the file system does
// in one step: a reader sees either the old file or the new one, never a mixture.
//
// `FileWriter` is the seam under this: the real one uses POSIX calls, and tests wrap it to make a
// write fail part way through.

#include <cstddef>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>

namespace quillon {

// One file open for writing.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Appends all of `bytes`; false when the disk refused some of them, with errno telling why.
    [[nodiscard]] virtual bool Write(std::span<const std::byte> bytes) = 0;
    // Flushes the content to the disk and closes the file; false (and errno set) when that failed.
    [[nodiscard]] virtual bool Finish() = 0;
};

class FileWriter {
public:
    virtual ~FileWriter() = default;
    // Creates or truncates a file; null (and errno set) when it cannot be opened.
    [[nodiscard]] virtual std::unique_ptr<OutputFile> Create(const std::filesystem::path& path) = 0;
    // Renames `from` over `to` in one step; false (and errno set) when that failed.
    [[nodiscard]] virtual bool Replace(const std::filesystem::path& from,
                                       const std::filesystem::path& to) = 0;
};

// The writer over the real file system.
FileWriter& SystemFileWriter();

enum class WriteStatus {
    Written,
    CannotCreateFolder,  // the folder of the target is missing and could not be made
    CannotCreate,        // the temporary file could not be opened
    WriteFailed,         // the disk refused part of the content, or the flush failed
    ReplaceFailed,       // the temporary file could not be renamed over the target
};

// How a write ended, with the system's reason when it failed.
struct [[nodiscard]] WriteResult {
    WriteStatus status = WriteStatus::Written;
    int systemError = 0;  // the errno of the call that failed; 0 when written or not known

    bool Ok() const { return status == WriteStatus::Written; }
    friend bool operator==(const WriteResult& result, WriteStatus status) { return result.status == status; }
};

// A sentence for the log and the user: what failed and why, for example "the temporary file could
// not be created: Is a directory". Empty for a write that succeeded.
std::string WriteFailureReason(const WriteResult& result);

// Writes `pieces` one after the other as the new content of `target`, creating its folder when
// missing. On any failure the old content of `target` is untouched and no temporary file is left.
WriteResult WriteFileAtomically(FileWriter& writer, const std::filesystem::path& target,
                                std::initializer_list<std::span<const std::byte>> pieces);
WriteResult WriteFileAtomically(FileWriter& writer, const std::filesystem::path& target,
                                std::span<const std::span<const std::byte>> pieces);

// The temporary file used while `target` is replaced.
std::filesystem::path TemporaryPathFor(const std::filesystem::path& target);

// Backups of a damaged store file: "<file>.bak" first, then "<file>.bak.1", ".2" and so on.
std::filesystem::path BackupPathFor(const std::filesystem::path& file, unsigned number = 0);
// Keeps `file` under the first backup name not taken yet, by copying it, or by moving it aside
// when it cannot be read. A backup is never overwritten: it may hold the only copy of something
// the repair had to drop. Returns where the file went, or an empty path when it could not be kept.
std::filesystem::path KeepNumberedBackup(const std::filesystem::path& file);

}  // namespace quillon
