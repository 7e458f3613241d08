#include "app/page/button_assign.h"

#include <algorithm>

#include "app/macros/macro_store.h"
#include "app/macros/ms_1_select_macro.h"
#include "app/msg_wnd.h"
#include "app/page/button_labels.h"
#include "app/page/page_context.h"
#include "app/page/page_controls.h"
#include "app/shortcut_wnd.h"
#include "core/macros/macro_slots.h"
#include "core/records/button_catalogue.h"
#include "ui/controls.h"
#include "ui/menu.h"
#include "ui/window.h"

namespace quillon {
namespace {

// Buttons 1..12 have a menu; buttons 1..16 count for the left click.
inline constexpr std::size_t kMenuButtons = 12;
inline constexpr std::size_t kLeftClickButtons = 16;

QString MenuItemOf(std::uint8_t code) {
    // Both macro forms are assigned through the one macro item.
    if (code == kFunctionLeftButtonMacro)
        code = kFunctionMacro;
    const ButtonFunction* function = FindButtonFunction(code);
    if (function == nullptr || function->menuItem.empty())
        return {};
    return QString::fromLatin1(function->menuItem.data(), static_cast<qsizetype>(function->menuItem.size()));
}

}  // namespace

ButtonAssign::ButtonAssign(WindowImplBase& mainWindow, PageControls& controls, PageContext& page,
                           ButtonLabels& labels, MacroStore& macros, const HookOps* hooks,
                           const KeyCodeTables* keys)
    : m_mainWindow(mainWindow), m_controls(controls), m_page(page), m_labels(labels), m_macros(macros),
      m_hooks(hooks), m_keys(keys) {}

ButtonAssign::~ButtonAssign() = default;

void ButtonAssign::OpenAssignMenu(std::size_t j) {
    const ProfileRecord* record = m_page.Selected();
    if (j >= kMenuButtons || record == nullptr || m_controls.keyButtons[j] == nullptr)
        return;
    m_target = j;
    m_menu.reset();

    const QRect window = m_mainWindow.GetWindowRect();
    const QRect button = m_controls.keyButtons[j]->GetPos();
    const int x = window.left() + button.left() + button.width();
    const int y = window.top() + button.top();

    m_checks.clear();
    const QString current = MenuItemOf(record->slots[j].function);
    if (!current.isEmpty())
        m_checks[current] = true;

    m_menu = std::make_unique<CMenuWnd>();
    if (!m_menu->Init(nullptr, QString::fromLatin1(kAssignMenuLayout), QPoint(x, y),
                      &m_mainWindow.GetPaintManager(), &m_checks, eMenuAlignment_Left | eMenuAlignment_Top)) {
        m_menu.reset();
        return;
    }
    // Near the bottom of the screen that holds the window the menu opens upwards, its bottom at the
    // bottom of the label. Its real height counts, not an estimate per item: groups and separators
    // make it taller than its items alone.
    const int height = m_menu->GetWindowRect().height();
    const QRect screen = m_mainWindow.GetScreenRect();
    if (y + height >= screen.top() + screen.height()) {
        const int up = std::max(screen.top(), window.top() + button.top() + button.height() - height);
        m_menu->MoveWindow(x, up);
        m_menu->ResizeMenu();
    }
}

bool ButtonAssign::KeepsLeftClick(const ProfileRecord& record, std::uint8_t code) const {
    for (std::size_t k = 0; k < kLeftClickButtons; ++k) {
        const std::uint8_t function = k == *m_target ? code : record.slots[k].function;
        if (function == kFunctionLeftClick)
            return true;
    }
    return false;
}

void ButtonAssign::AssignFromMenu(const QString& itemName) {
    ProfileRecord* record = m_page.Selected();
    if (record == nullptr || !m_target)
        return;
    std::uint8_t code = ButtonCodeOfMenuItem(itemName.toStdString());
    if (!KeepsLeftClick(*record, code)) {
        CMsgWnd::MessageBox(m_mainWindow.GetHWND(), QStringLiteral("warning_title_text"),
                            QStringLiteral("one_click_text"));
        return;
    }
    ButtonSlot& slot = record->slots[*m_target];
    if (code == kFunctionShortcut && !AskShortcut(slot))
        return;
    if (code == kFunctionMacro && !AskMacro(slot, code))
        return;
    slot.function = code;
    m_page.RequestApply();
    m_labels.RelabelButton(*record, *m_target);
}

bool ButtonAssign::AskShortcut(ButtonSlot& slot) {
    // A button that had another function starts without a key; its modifiers byte is shown as it is.
    ShortcutBlock block = ShortcutBlockFromSlot(slot);
    if (slot.function != kFunctionShortcut)
        block.key = 0;
    {
        CShortcutWnd dialog(block, m_hooks, m_keys);
        // The layout gives the dialog its real size; 800 x 800 only stands until it is built.
        if (dialog.Create(m_mainWindow.GetHWND(), QStringLiteral("ShortcutWnd"), WS_POPUP | WS_VISIBLE,
                          WS_EX_TOOLWINDOW, 0, 0, 800, 800) == nullptr)
            return false;
        dialog.CenterWindow();
        if (dialog.ShowModal() != 1)
            return false;
    }
    // A shortcut confirmed empty would leave the button sending nothing at all: it changes nothing.
    if (block.Empty())
        return false;
    if (slot.function != kFunctionShortcut)
        slot.reserved4.fill(0);
    slot.shortcut_key = block.key;
    slot.shortcut_modifiers = block.Modifiers();
    return true;
}

bool ButtonAssign::AskMacro(ButtonSlot& slot, std::uint8_t& code) {
    MacroChoice choice = MacroChoiceFromSlot(slot);
    {
        CMS_1_SelectMacro dialog(choice, m_macros);
        if (dialog.Create(m_mainWindow.GetHWND(), {}, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, 0, 0, 800,
                          800) == nullptr)
            return false;
        dialog.CenterWindow();
        if (dialog.ShowModal() != 1)
            return false;
    }
    if (choice.macroIndex < 0)
        return false;
    const MacroRecord* macro = m_macros.At(static_cast<std::size_t>(choice.macroIndex));
    if (macro == nullptr)
        return false;
    slot.repeat_mode = choice.repeatMode;
    slot.repeat_count = choice.repeatCount;
    slot.macro_color = choice.color;
    slot.macro_index = choice.macroIndex;
    CopyMacroIntoSlot(slot, *macro);
    code = choice.leftMacro ? kFunctionLeftButtonMacro : kFunctionMacro;
    return true;
}

}  // namespace quillon
