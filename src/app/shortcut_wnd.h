#pragma once
// The keyboard shortcut of a mouse button: four modifier boxes (Ctrl, Shift, Alt, Win) and a key
// field that is never typed into. While the key field has the focus the keyboard hook reports every
// key to this window (message 1034) and the field shows the physical key pressed.
//
//     ShortcutBlock block = ShortcutBlockFromSlot(slot);
//     CShortcutWnd dialog(block, hooks, keyTables);
//     dialog.Create(mainWindow, QStringLiteral("ShortcutWnd"), WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW,
//                   0, 0, 800, 800);
//     dialog.CenterWindow();
//     if (dialog.ShowModal() == 1) ... block holds the chosen modifiers and key ...
//
// The field takes whole combinations: a press that starts with a modifier (all keys released
// before) replaces the ticked modifiers with the ones held and clears the key, so Ctrl+Shift alone
// is a shortcut of modifiers only and Ctrl+Shift+S sets all three; a press that starts with any other
// key sets the key and keeps the boxes as they are ticked. Releases change nothing. Tab, Enter, Esc
// and the function keys are keys like any other while the field has the focus: they neither move
// the focus nor answer the dialog.

#include <array>
#include <cstdint>
#include <set>

#include "core/records/profile_record.h"
#include "platform/hook_ops.h"
#include "ui/window.h"

namespace quillon {

class CButtonUI;
class CCheckBoxUI;
class CEditUI;
class KeyCodeTables;

// The dialog's values: four modifier flags (0 or 1: Ctrl, Shift, Alt, Win) and the key (a HID
// keyboard usage, 0 = none).
struct ShortcutBlock {
    std::array<std::uint8_t, 4> flags{};
    std::uint8_t key = 0;

    // `shortcut_modifiers` bits 1, 2, 4, 8 from the flags.
    std::uint8_t Modifiers() const;
    bool Empty() const { return key == 0 && Modifiers() == 0; }
};
ShortcutBlock ShortcutBlockFromSlot(const ButtonSlot& slot);

class CShortcutWnd : public WindowImplBase {
public:
    // `hooks` and any of its entries may be null: the key field then keeps the key it opened with.
    // `keys` names keys and converts them (null: no key can be captured, none is named).
    CShortcutWnd(ShortcutBlock& block, const HookOps* hooks, const KeyCodeTables* keys);

    QString GetWindowClassName() const override { return QStringLiteral("ShortcutWnd"); }
    QString GetSkinFile() override { return QStringLiteral("shortcut.xml"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnClick(TNotifyUI& msg) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

private:
    void OnKeyEvent(std::uint32_t virtualKey, bool released);
    void ShowKey();
    void InstallHook();
    void RemoveHook();

    ShortcutBlock& m_block;
    const HookOps* m_hooks;
    const KeyCodeTables* m_keys;
    CButtonUI* m_ok = nullptr;
    CButtonUI* m_cancel = nullptr;
    CButtonUI* m_exit = nullptr;
    std::array<CCheckBoxUI*, 4> m_flagBoxes{};
    CEditUI* m_keyEdit = nullptr;
    bool m_hookInstalled = false;
    // The keys held down now, as the hook reported them; a press with none held starts a new
    // combination.
    std::set<std::uint32_t> m_held;
};

}  // namespace quillon
