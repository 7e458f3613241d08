#include "app/macros/macro_store.h"

#include <string>

#include "core/store/record_names.h"
#include "core/text16.h"

namespace quillon {

MacroStore::MacroStore(std::filesystem::path dataFolder, FileWriter& writer)
    : m_file(std::move(dataFolder), writer), m_writer(writer) {}

MacroLoadReport MacroStore::LoadMacroStore() {
    return m_file.Load(m_list);
}

WriteResult MacroStore::SaveMacroStore() {
    const WriteResult result = m_file.Save(m_list);
    if (m_saveObserver)
        m_saveObserver(result);
    return result;
}

int MacroStore::IndexOf(const MacroRecord* record) const {
    for (std::size_t i = 0; i < m_list.size(); ++i)
        if (m_list[i].get() == record)
            return static_cast<int>(i);
    return -1;
}

bool MacroStore::NameExists(std::u16string_view name) const {
    return quillon::NameExists(m_list, name);
}

std::u16string MacroStore::UniqueName(std::u16string_view wanted) const {
    // A name is tested in the form it will be stored in.
    char16_t field[kMacroNameCapacity];
    SetFieldText(field, kMacroNameCapacity, wanted);
    const std::u16string_view stored = FieldText(field, kMacroNameCapacity);
    if (!NameExists(stored))
        return std::u16string(stored);
    return MakeUniqueName(stored, m_list, kMacroNameMaxLength);
}

std::u16string MacroStore::NumberedName(std::u16string_view addMacroText) const {
    std::u16string name(addMacroText);
    const std::string digits = std::to_string(m_list.size() + 1);
    name.append(digits.begin(), digits.end());
    return UniqueName(name);
}

MacroRecord& MacroStore::AddMacro(std::u16string_view addMacroText) {
    m_list.push_back(NewMacroRecord(NumberedName(addMacroText)));
    static_cast<void>(SaveMacroStore());  // the observer hears how it went
    return *m_list.back();
}

std::size_t MacroStore::AppendMacro(std::unique_ptr<MacroRecord> record) {
    m_list.push_back(std::move(record));
    return m_list.size() - 1;
}

bool MacroStore::RemoveMacro(std::size_t index) {
    if (index >= m_list.size())
        return false;
    m_list.erase(m_list.begin() + static_cast<std::ptrdiff_t>(index));
    static_cast<void>(SaveMacroStore());  // the observer hears how it went
    return true;
}

MacroStore::ImportResult MacroStore::ImportMacroFile(const std::filesystem::path& path,
                                                     std::u16string_view addMacroText) {
    ImportResult result;
    MacroFileContents contents = ReadMacroFile(path);
    result.problem = contents.problem;
    if (!contents.record)
        return result;
    MacroRecord& record = *contents.record;
    const std::u16string wanted(LeadingName(record));
    const std::u16string name = wanted.empty() ? NumberedName(addMacroText) : UniqueName(wanted);
    SetFieldText(record.name.data(), record.name.size(), name);
    m_list.push_back(std::move(contents.record));
    static_cast<void>(SaveMacroStore());  // the observer hears how it went
    result.record = m_list.back().get();
    return result;
}

WriteResult MacroStore::ExportMacroFile(const MacroRecord& record, const std::filesystem::path& path) {
    return WriteMacroFile(m_writer, path, record);
}

}  // namespace quillon
