#pragma once
// The labels of the 18 button controls of the settings page, built from the buttons' functions.
//
// A function with a label key shows the language text of that key (the control keeps the key, so
// the text follows a language change); a keyboard shortcut shows its modifiers and key ("Ctrl+Alt+A"),
// a macro the macro text and the macro's name; every other code shows nothing.

#include <QString>

#include <functional>

#include "app/page/page_controls.h"
#include "core/records/profile_record.h"

namespace quillon {

class KeyCodeTables;

class ButtonLabels {
public:
    // `text` resolves a language key; `keys` names the shortcut key (may be null: no key name).
    ButtonLabels(PageControls& controls, std::function<QString(const QString&)> text,
                 const KeyCodeTables* keys);

    // Rebuilds the label of button k + 1 from slot k of `record`, k = 0..17.
    void RelabelButton(const ProfileRecord& record, std::size_t k);
    void RelabelAll(const ProfileRecord& record);

    // The plain text of a shortcut, a macro or a left-button macro slot; empty for other functions.
    QString ComposedLabel(const ButtonSlot& slot) const;

private:
    PageControls& m_controls;
    std::function<QString(const QString&)> m_text;
    const KeyCodeTables* m_keys;
};

}  // namespace quillon
