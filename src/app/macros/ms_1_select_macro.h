#pragma once
// Choosing the macro of a mouse button: the macro of the store, how it repeats (the count box is
// shown for "repeat n times" only) and whether it is assigned as a left-button macro.
//
//     MacroChoice choice = MacroChoiceFromSlot(slot);
//     CMS_1_SelectMacro dialog(choice, store);
//     dialog.Create(mainWindow, {}, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, 0, 0, 800, 800);
//     dialog.CenterWindow();
//     if (dialog.ShowModal() == 1) ... choice holds what the user picked ...
//
// The dialog only edits the choice; the caller checks the macro index against the store and copies
// the macro into the button's slot.

#include <array>
#include <cstdint>

#include "core/records/profile_record.h"
#include "ui/window.h"

namespace quillon {

class CButtonUI;
class CCheckBoxUI;
class CContainerUI;
class CControlUI;
class CEditUI;
class CListUI;
class COptionUI;
class MacroStore;

struct MacroChoice {
    int repeatMode = 0;   // 0..3, the options "repeat_1" ... "repeat_4"
    int macroIndex = -1;  // store index of the chosen macro, -1 for none
    int repeatCount = 1;  // 1..255
    bool leftMacro = false;
    ColorBytes color{0xFF, 0xFF, 0xFF, 0};  // carried through unchanged
};
// What the dialog opens with for a slot: its macro settings when it carries a macro (17 or 25),
// else repeat mode 0, no macro, count 1, no left-macro, white.
MacroChoice MacroChoiceFromSlot(const ButtonSlot& slot);

// The dialog keeps no reference to the object that created it; it is deleted only when created
// with `deleteOnFinal` (the page's dialog lives on its stack).
class CMS_1_SelectMacro : public WindowImplBase {
public:
    CMS_1_SelectMacro(MacroChoice& choice, const MacroStore& store, bool deleteOnFinal = false);

    QString GetWindowClassName() const override { return QStringLiteral("MS_1_SelectMacro"); }
    QString GetSkinFile() override { return QStringLiteral("MS/MS_1/selectmacro.xml"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnClick(TNotifyUI& msg) override;
    void OnFinalMessage(HWND hWnd) override;

private:
    void TakeRepeatCount();

    MacroChoice& m_choice;
    const MacroStore& m_store;
    bool m_deleteOnFinal;
    CButtonUI* m_ok = nullptr;
    CButtonUI* m_cancel = nullptr;
    CButtonUI* m_exit = nullptr;
    CListUI* m_list = nullptr;
    std::array<COptionUI*, 4> m_repeat{};
    CControlUI* m_loopPanel = nullptr;
    CEditUI* m_loopEdit = nullptr;
    CCheckBoxUI* m_leftMacro = nullptr;
    CButtonUI* m_color = nullptr;
};

}  // namespace quillon
