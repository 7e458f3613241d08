#pragma once
// The core's edit filters (DigitFilter, SignedDigitFilter) write through `EditText`; this lets them
// write to an edit control of the UI library.

#include <QString>

#include <string_view>

#include "core/keys/key_tables.h"
#include "ui/controls.h"

namespace quillon {

class EditAdapter final : public EditText {
public:
    explicit EditAdapter(CEditUI& edit) : m_edit(edit) {}
    void SetText(std::u16string_view text) override {
        m_edit.SetText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
    }
    void SetSel(long start, long end) override {
        m_edit.SetSel(static_cast<int>(start), static_cast<int>(end));
    }

private:
    CEditUI& m_edit;
};

}  // namespace quillon
