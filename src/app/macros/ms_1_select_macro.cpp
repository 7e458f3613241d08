#include "app/macros/ms_1_select_macro.h"

#include <algorithm>

#include "app/edit_adapter.h"
#include "app/macros/macro_store.h"
#include "core/keys/key_tables.h"
#include "ui/controls.h"

namespace quillon {
namespace {

inline constexpr int kMacroRowHeight = 22;
inline constexpr int kMinRepeatCount = 1;
inline constexpr int kMaxRepeatCount = 255;

}  // namespace

MacroChoice MacroChoiceFromSlot(const ButtonSlot& slot) {
    MacroChoice choice;
    if (slot.function != kFunctionMacro && slot.function != kFunctionLeftButtonMacro)
        return choice;
    choice.repeatMode = slot.repeat_mode;
    choice.macroIndex = slot.macro_index;
    choice.repeatCount = slot.repeat_count;
    choice.leftMacro = slot.function == kFunctionLeftButtonMacro;
    if (choice.leftMacro)
        choice.color = slot.macro_color;
    return choice;
}

CMS_1_SelectMacro::CMS_1_SelectMacro(MacroChoice& choice, const MacroStore& store, bool deleteOnFinal)
    : m_choice(choice), m_store(store), m_deleteOnFinal(deleteOnFinal) {}

void CMS_1_SelectMacro::InitWindow() {
    m_ok = m_pm.FindControl<CButtonUI>(QStringLiteral("btn_ok"));
    m_cancel = m_pm.FindControl<CButtonUI>(QStringLiteral("btn_cancel"));
    m_exit = m_pm.FindControl<CButtonUI>(QStringLiteral("btn_exit"));
    m_list = m_pm.FindControl<CListUI>(QStringLiteral("list_macro"));
    for (std::size_t n = 0; n < m_repeat.size(); ++n)
        m_repeat[n] = m_pm.FindControl<COptionUI>(QStringLiteral("repeat_%1").arg(n + 1));
    m_loopPanel = m_pm.FindControl(QStringLiteral("hor_loop_time"));
    m_loopEdit = m_pm.FindControl<CEditUI>(QStringLiteral("edit_loop_time"));
    m_leftMacro = m_pm.FindControl<CCheckBoxUI>(QStringLiteral("check_left_macro"));
    m_color = m_pm.FindControl<CButtonUI>(QStringLiteral("btn_color"));

    // With no macro yet the dialog says where macros are made.
    if (CControlUI* empty = m_pm.FindControl(QStringLiteral("label_no_macros")))
        empty->SetVisible(m_store.Count() == 0);
    if (m_list != nullptr) {
        for (const auto& macro : m_store.List()) {
            const std::u16string_view name = LeadingName(*macro);
            m_list->AddTextRow(QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size())),
                               kMacroRowHeight);
        }
    }
    // The option raises its own notification, which shows the count box for mode 0 only. A mode
    // outside 0..3 (from a file) selects no option and leaves the box as the layout has it.
    if (m_choice.repeatMode >= 0 && m_choice.repeatMode < int(m_repeat.size()) &&
        m_repeat[static_cast<std::size_t>(m_choice.repeatMode)] != nullptr)
        m_repeat[static_cast<std::size_t>(m_choice.repeatMode)]->Selected(true, SelectNotify::Yes);
    // The slot's index preselects a row even when macros ahead of its own were deleted since: the
    // copy in the slot is found by name, the index is only where the list starts.
    if (m_list != nullptr && m_choice.macroIndex >= 0 && m_choice.macroIndex < m_list->GetCount())
        m_list->SelectItem(m_choice.macroIndex, SelectNotify::No);
    if (m_loopEdit != nullptr)
        m_loopEdit->SetText(QString::number(m_choice.repeatCount));
    if (m_leftMacro != nullptr)
        m_leftMacro->SetCheck(m_choice.leftMacro, SelectNotify::No);
    if (m_color != nullptr) {
        m_color->SetVisible(false);
        m_color->SetBkColor(0xFF000000u | (std::uint32_t{m_choice.color[0]} << 16) |
                            (std::uint32_t{m_choice.color[1]} << 8) | m_choice.color[2]);
    }
}

void CMS_1_SelectMacro::TakeRepeatCount() {
    if (m_loopEdit == nullptr)
        return;
    bool number = false;
    const qlonglong typed = m_loopEdit->GetText().toLongLong(&number);
    const int count = !number || typed < kMinRepeatCount ? kMinRepeatCount
                      : typed > kMaxRepeatCount          ? kMaxRepeatCount
                                                         : static_cast<int>(typed);
    if (m_loopEdit->GetText() != QString::number(count))
        m_loopEdit->SetText(QString::number(count));
    m_choice.repeatCount = count;
}

void CMS_1_SelectMacro::Notify(TNotifyUI& msg) {
    if (msg.sType == QLatin1String("click")) {
        OnClick(msg);
        return;
    }
    CControlUI* sender = msg.pSender;
    if (sender == nullptr)
        return;
    if (msg.sType == QLatin1String("itemselect") && sender == m_list) {
        m_choice.macroIndex = static_cast<int>(msg.wParam);
    } else if (msg.sType == QLatin1String("selectchanged")) {
        for (std::size_t n = 0; n < m_repeat.size(); ++n) {
            if (sender == m_repeat[n]) {
                m_choice.repeatMode = static_cast<int>(n);
                if (m_loopPanel != nullptr)
                    m_loopPanel->SetVisible(n == 0);
            }
        }
    } else if (msg.sType == QLatin1String("textchanged") && sender == m_loopEdit) {
        EditAdapter adapter(*m_loopEdit);
        DigitFilter(adapter, m_loopEdit->GetText().toStdU16String());
    } else if (msg.sType == QLatin1String("killfocus") && sender == m_loopEdit) {
        TakeRepeatCount();
    } else if (msg.sType == QLatin1String("checkclick") && sender == m_leftMacro) {
        m_choice.leftMacro = m_leftMacro->GetCheck();
        if (m_color != nullptr)
            m_color->SetVisible(false);
    }
}

void CMS_1_SelectMacro::OnClick(TNotifyUI& msg) {
    if (msg.pSender == nullptr)
        return;
    if (msg.pSender == m_ok) {
        // OK by the keyboard leaves the count box without a focus change: take its value as
        // leaving it would.
        TakeRepeatCount();
        Close(1);
    } else if (msg.pSender == m_cancel || msg.pSender == m_exit) {
        Close(0);
    }
}

void CMS_1_SelectMacro::OnFinalMessage(HWND hWnd) {
    WindowImplBase::OnFinalMessage(hWnd);
    if (m_deleteOnFinal)
        delete this;
}

}  // namespace quillon
