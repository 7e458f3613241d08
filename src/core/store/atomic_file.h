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

namespace quillon {

// One file open for writing.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Appends all of `bytes`; false when the disk refused some of them.
    virtual bool Write(std::span<const std::byte> bytes) = 0;
    // Flushes the content to the disk and closes the file; false when that failed.
    virtual bool Finish() = 0;
};

class FileWriter {
public:
    virtual ~FileWriter() = default;
    // Creates or truncates a file; null when it cannot be opened.
    virtual std::unique_ptr<OutputFile> Create(const std::filesystem::path& path) = 0;
    // Renames `from` over `to` in one step.
    virtual bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
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

// Writes `pieces` one after the other as the new content of `target`, creating its folder when
// missing. On any failure the old content of `target` is untouched and no temporary file is left.
WriteStatus WriteFileAtomically(FileWriter& writer, const std::filesystem::path& target,
                                std::initializer_list<std::span<const std::byte>> pieces);
WriteStatus WriteFileAtomically(FileWriter& writer, const std::filesystem::path& target,
                                std::span<const std::span<const std::byte>> pieces);

// The temporary file used while `target` is replaced.
std::filesystem::path TemporaryPathFor(const std::filesystem::path& target);

}  // namespace quillon
