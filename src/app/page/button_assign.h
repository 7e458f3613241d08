#pragma once
// Assigning functions to the mouse's buttons 1..12: the menu that opens beside a button's label,
// and what choosing one of its items does to the selected profile.
//
// The page routes a click on ms_1_btn_key_(j+1) to OpenAssignMenu(j) and a clicked menu item (its
// name, message 1027) to AssignFromMenu. A plain function is stored at once; "ms_1_shortcut" asks
// for the keys in the shortcut dialog and "ms_1_select_macro" for the macro in the macro selection
// dialog, and the function changes only when the dialog is confirmed with a usable answer. Every
// change of a button is sent to the mouse and relabels the button.
//
// Buttons 1..16 must keep at least one left click between them, or the mouse could not be used to
// undo the change: an item that would take the last one away is refused with a message and changes
// nothing.

#include <QPoint>
#include <QRect>
#include <QString>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "core/records/profile_record.h"
#include "platform/hook_ops.h"

namespace quillon {

class ButtonLabels;
class CMenuWnd;
class KeyCodeTables;
class MacroStore;
class PageContext;
class WindowImplBase;
struct MacroChoice;
struct PageControls;
struct ShortcutBlock;

// The menu layout of the button functions.
inline constexpr const char* kAssignMenuLayout = "MS/MS_1/ms_1_menu.xml";

class ButtonAssign {
public:
    ButtonAssign(WindowImplBase& mainWindow, PageControls& controls, PageContext& page, ButtonLabels& labels,
                 MacroStore& macros, const HookOps* hooks, const KeyCodeTables* keys);
    ~ButtonAssign();

    // Opens the menu of button j + 1 (j = 0..11) beside its label, the button's current function
    // ticked. A menu that would reach past the bottom of the screen holding the main window opens
    // upwards, its bottom at the label's bottom.
    void OpenAssignMenu(std::size_t j);
    // Assigns the function of a clicked menu item to the button whose menu was opened last
    // (nothing before a menu was opened).
    void AssignFromMenu(const QString& itemName);

    // The menu opened last (it stays alive, closed, until the next opening); null before.
    CMenuWnd* Menu() const { return m_menu.get(); }

private:
    bool KeepsLeftClick(const ProfileRecord& record, std::uint8_t code) const;
    // The dialogs; false when cancelled or without a usable answer, and then nothing changed.
    bool AskShortcut(ButtonSlot& slot);
    bool AskMacro(ButtonSlot& slot, std::uint8_t& code);

    WindowImplBase& m_mainWindow;
    PageControls& m_controls;
    PageContext& m_page;
    ButtonLabels& m_labels;
    MacroStore& m_macros;
    const HookOps* m_hooks;
    const KeyCodeTables* m_keys;
    // The button whose menu was opened last; none before the first opening, and a menu item
    // arriving then (from no menu of ours) is ignored.
    std::optional<std::size_t> m_target;
    std::unique_ptr<CMenuWnd> m_menu;
    std::map<QString, bool> m_checks;
};

}  // namespace quillon
