#include "app/page/button_labels.h"

#include <algorithm>

#include "core/keys/key_tables.h"
#include "core/records/button_catalogue.h"
#include "ui/controls.h"

namespace quillon {
namespace {

// A macro name as stored: up to its terminator, and never past its field.
QString MacroName(const ButtonSlot& slot) {
    const auto end = std::find(slot.macro_name.begin(), slot.macro_name.end(), u'\0');
    return QString::fromUtf16(slot.macro_name.data(), static_cast<qsizetype>(end - slot.macro_name.begin()));
}

struct Modifier {
    std::uint8_t bit;
    const char* key;
};
constexpr Modifier kModifiers[] = {{1, "keyboard_ctrl_text"},
                                   {2, "keyboard_shift_text"},
                                   {4, "keyboard_alt_text"},
                                   {8, "keyboard_win_text"}};

}  // namespace

ButtonLabels::ButtonLabels(PageControls& controls, std::function<QString(const QString&)> text,
                           const KeyCodeTables* keys)
    : m_controls(controls), m_text(std::move(text)), m_keys(keys) {}

QString ButtonLabels::ComposedLabel(const ButtonSlot& slot) const {
    switch (slot.function) {
    case kFunctionShortcut: {
        QString label;
        for (const Modifier& modifier : kModifiers) {
            if ((slot.shortcut_modifiers & modifier.bit) != 0)
                label += m_text(QString::fromLatin1(modifier.key)) + u'+';
        }
        const QString name =
            m_keys != nullptr ? QString::fromStdU16String(m_keys->UsageName(slot.shortcut_key)) : QString();
        // A shortcut of modifiers only reads "Ctrl+Shift", not "Ctrl+Shift+".
        if (name.isEmpty() && label.endsWith(u'+'))
            label.chop(1);
        return label + name;
    }
    case kFunctionMacro:
        return m_text(QStringLiteral("assign_macro_text")) + MacroName(slot);
    case kFunctionLeftButtonMacro:
        return m_text(QStringLiteral("assign_left_macro_text")) + u'-' + MacroName(slot);
    default:
        return {};
    }
}

void ButtonLabels::RelabelButton(const ProfileRecord& record, std::size_t k) {
    if (k >= kPageButtonCount)
        return;
    CButtonUI* button = m_controls.keyButtons[k];
    const ButtonSlot& slot = record.slots[k];
    switch (slot.function) {
    case kFunctionShortcut:
    case kFunctionMacro:
    case kFunctionLeftButtonMacro:
        button->SetTextMode(TextMode::Plain);
        button->SetText(ComposedLabel(slot));
        break;
    default: {
        const std::string_view key = ButtonLabelKey(slot.function);
        button->SetTextMode(TextMode::LanguageKey);
        // A code with no label of its own (the factory functions of some buttons) reads as the
        // button's default rather than as an empty label.
        button->SetText(key.empty() ? QStringLiteral("assign_default_text")
                                    : QString::fromLatin1(key.data(), static_cast<qsizetype>(key.size())));
        break;
    }
    }
}

void ButtonLabels::RelabelAll(const ProfileRecord& record) {
    for (std::size_t k = 0; k < kPageButtonCount; ++k)
        RelabelButton(record, k);
}

}  // namespace quillon
