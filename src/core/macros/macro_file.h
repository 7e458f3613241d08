#pragma once
// The macro store file "ms_1/macro.data" and the single-macro ".macro" files.
//
// The store file has no header: it is the store's `MacroRecord`s back to back, 3,096 bytes each, in
// list order, so an empty store is an empty file. A ".macro" file is exactly one record.
//
// Both are written in one piece (atomic_file.h): a failed write leaves the previous file intact.
// Everything read is bounded: a store file whose size is not a whole number of records keeps its
// whole records and drops the incomplete rest, names are terminated inside their field and action
// counts clamped to 0..190. A damaged store file is copied to "macro.data.bak" (or, when an earlier
// damaged start took that name, "macro.data.bak.1", ".2", ...) before the program can overwrite
// it. A ".macro" file of any other size than one record is refused as a whole.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>

#include "core/macros/macro_record.h"
#include "core/store/atomic_file.h"

namespace quillon {

// The records of store file contents, and what had to be repaired on the way.
struct ParsedMacroStore {
    MacroList records;
    std::size_t bytesDropped = 0;     // an incomplete last record, not kept
    std::size_t recordsRepaired = 0;  // records whose name or action count had to be fixed
    bool Damaged() const { return bytesDropped != 0 || recordsRepaired != 0; }
};
ParsedMacroStore ParseMacroStore(std::span<const std::byte> bytes);

enum class MacroLoadOutcome {
    Loaded,    // the file was read whole (or there was none: the store is empty)
    Repaired,  // the file was damaged or unreadable; the original is kept at the backup path
};

struct [[nodiscard]] MacroLoadReport {
    MacroLoadOutcome outcome = MacroLoadOutcome::Loaded;
    std::size_t recordsRead = 0;
    std::size_t bytesDropped = 0;
    std::size_t recordsRepaired = 0;
    bool backupKept = false;
    std::filesystem::path backupPath;  // where the damaged original was kept
};

class MacroStoreFile {
public:
    // `dataFolder` is the program's data folder; the file lives in "ms_1" below it, and both folders
    // are created at the first save.
    explicit MacroStoreFile(std::filesystem::path dataFolder, FileWriter& writer = SystemFileWriter());

    const std::filesystem::path& FilePath() const { return m_filePath; }
    // The name of the first backup of a damaged file, and of the later ones (1, 2, ...).
    std::filesystem::path BackupPath(unsigned number = 0) const;

    // Replaces `list` with the records of the file. A missing file gives an empty list.
    MacroLoadReport Load(MacroList& list);
    // Writes every record in list order, replacing the file in one step.
    WriteResult Save(const MacroList& list);

private:
    void KeepBackup(MacroLoadReport& report);

    std::filesystem::path m_filePath;
    FileWriter& m_writer;
};

// Why a ".macro" file was not taken.
enum class MacroFileProblem {
    None,
    CannotRead,  // missing, or not readable
    WrongSize,   // not exactly one record long
};

struct MacroFileContents {
    std::unique_ptr<MacroRecord> record;  // null unless problem is None
    MacroFileProblem problem = MacroFileProblem::None;
    bool repaired = false;  // the name or the action count had to be fixed
};
MacroFileContents ParseMacroFile(std::span<const std::byte> bytes);
MacroFileContents ReadMacroFile(const std::filesystem::path& path);

// Writes one record as a ".macro" file, creating or replacing it.
WriteResult WriteMacroFile(FileWriter& writer, const std::filesystem::path& path, const MacroRecord& record);

}  // namespace quillon
