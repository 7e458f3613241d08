#pragma once
// The macro store: every macro of the program, in one ordered list that mirrors "ms_1/macro.data".
//
// The settings page owns the store, loads it once at start-up and hands it to the macro editor,
// which changes it; every change is saved at once, so the file always holds what the list holds.
// Each record is a heap block of its own: the editor keeps a reference to the macro it edits
// while others are added or removed. Names are unique without regard to letter case and fit the
// 23 units of the name field, also when a "_n" suffix makes them unique.
//
// The store knows nothing of windows: the text that new macros are named after comes from the
// caller, and the file dialogs and message boxes of import and export are the editor's.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "core/macros/macro_file.h"
#include "core/macros/macro_record.h"
#include "core/macros/macro_slots.h"

namespace quillon {

class MacroStore {
public:
    explicit MacroStore(std::filesystem::path dataFolder, FileWriter& writer = SystemFileWriter());

    // Reads the store file into the list (once, at start-up). A missing file leaves the store empty.
    MacroLoadReport LoadMacroStore();
    // Writes the whole list to the store file, replacing it in one step. Every save, this one and
    // those the store makes on its own (add, remove, import), is also handed to the save observer,
    // so that a failed one is heard.
    WriteResult SaveMacroStore();
    using SaveObserver = std::function<void(const WriteResult&)>;
    void SetSaveObserver(SaveObserver observer) { m_saveObserver = std::move(observer); }

    const MacroList& List() const { return m_list; }
    std::size_t Count() const { return m_list.size(); }
    MacroRecord* At(std::size_t index) { return index < m_list.size() ? m_list[index].get() : nullptr; }
    // The store index of a record, or -1.
    int IndexOf(const MacroRecord* record) const;

    // Appends an empty macro named `addMacroText` followed by the new count ("Macro 4" with three
    // macros), made unique; saves the store and returns the record.
    MacroRecord& AddMacro(std::u16string_view addMacroText);
    // Appends `record` as it is (its name must already be unique) without saving, for callers that
    // add several macros and save once; returns its store index.
    std::size_t AppendMacro(std::unique_ptr<MacroRecord> record);
    // Removes the macro at `index` and saves; false when there is none.
    bool RemoveMacro(std::size_t index);

    // Whether a macro carries `name` (any letter case).
    bool NameExists(std::u16string_view name) const;
    // `wanted` cut to fit the name field, and when a macro already has that name the first free
    // "wanted_1", "wanted_2", ... (the base shortened so the suffix fits).
    std::u16string UniqueName(std::u16string_view wanted) const;

    MacroMatch FindMacroForSlot(const ButtonSlot& slot) const {
        return quillon::FindMacroForSlot(m_list, slot);
    }

    struct ImportResult {
        MacroRecord* record = nullptr;  // the appended macro; null when the file was refused
        MacroFileProblem problem = MacroFileProblem::None;
    };
    // Reads a ".macro" file and appends its macro under a unique name (a nameless macro is named as
    // AddMacro names one), then saves. A file that is not exactly one record changes nothing.
    ImportResult ImportMacroFile(const std::filesystem::path& path, std::u16string_view addMacroText);
    // Writes the record, as stored, to a ".macro" file, creating or replacing it.
    WriteResult ExportMacroFile(const MacroRecord& record, const std::filesystem::path& path);

    MacroStoreFile& File() { return m_file; }

private:
    std::u16string NumberedName(std::u16string_view addMacroText) const;

    MacroStoreFile m_file;
    FileWriter& m_writer;
    MacroList m_list;
    SaveObserver m_saveObserver;
};

}  // namespace quillon
