#include "app/shortcut_wnd.h"

#include "core/keys/key_tables.h"
#include "core/keys/keysym_vk.h"
#include "ui/controls.h"

namespace quillon {
namespace {

inline constexpr std::uint32_t kVkLeftWin = 0x5B;
inline constexpr std::uint32_t kVkRightWin = 0x5C;

// The modifier box (0 Ctrl, 1 Shift, 2 Alt, 3 Win) of a virtual key, or -1 for any other key.
int ModifierOf(std::uint32_t virtualKey) {
    switch (virtualKey) {
    case vk::Control:
    case vk::LeftControl:
    case vk::RightControl:
        return 0;
    case vk::Shift:
    case vk::LeftShift:
    case vk::RightShift:
        return 1;
    case vk::Menu:
    case vk::LeftMenu:
    case vk::RightMenu:
        return 2;
    case kVkLeftWin:
    case kVkRightWin:
        return 3;
    default:
        return -1;
    }
}

}  // namespace

std::uint8_t ShortcutBlock::Modifiers() const {
    std::uint8_t bits = 0;
    for (std::size_t n = 0; n < flags.size(); ++n)
        if (flags[n] != 0)
            bits = static_cast<std::uint8_t>(bits | (1u << n));
    return bits;
}

ShortcutBlock ShortcutBlockFromSlot(const ButtonSlot& slot) {
    ShortcutBlock block;
    for (std::size_t n = 0; n < block.flags.size(); ++n)
        block.flags[n] = (slot.shortcut_modifiers >> n) & 1u;
    block.key = slot.shortcut_key;
    return block;
}

CShortcutWnd::CShortcutWnd(ShortcutBlock& block, const HookOps* hooks, const KeyCodeTables* keys)
    : m_block(block), m_hooks(hooks), m_keys(keys) {}

void CShortcutWnd::InitWindow() {
    m_ok = m_pm.FindControl<CButtonUI>(QStringLiteral("btn_ok"));
    m_cancel = m_pm.FindControl<CButtonUI>(QStringLiteral("btn_cancel"));
    m_exit = m_pm.FindControl<CButtonUI>(QStringLiteral("btn_exit"));
    for (std::size_t n = 0; n < m_flagBoxes.size(); ++n) {
        m_flagBoxes[n] = m_pm.FindControl<CCheckBoxUI>(QStringLiteral("check_flag_%1").arg(n + 1));
        if (m_flagBoxes[n] != nullptr)
            m_flagBoxes[n]->SetCheck(m_block.flags[n] != 0, SelectNotify::No);
    }
    m_keyEdit = m_pm.FindControl<CEditUI>(QStringLiteral("edit_key"));
    if (m_keyEdit != nullptr) {
        m_keyEdit->SetKeyCapture(true);
        ShowKey();
    }
}

void CShortcutWnd::ShowKey() {
    if (m_keyEdit == nullptr)
        return;
    const std::u16string name =
        m_keys != nullptr && m_block.key != 0 ? m_keys->UsageName(m_block.key) : std::u16string();
    m_keyEdit->SetText(QString::fromStdU16String(name));
}

void CShortcutWnd::Notify(TNotifyUI& msg) {
    if (msg.sType == QLatin1String("click")) {
        OnClick(msg);
        return;
    }
    if (msg.sType == QLatin1String("checkclick")) {
        for (std::size_t n = 0; n < m_flagBoxes.size(); ++n)
            if (msg.pSender != nullptr && msg.pSender == m_flagBoxes[n])
                m_block.flags[n] = m_flagBoxes[n]->GetCheck() ? 1 : 0;
        return;
    }
    if (msg.pSender == nullptr || msg.pSender != m_keyEdit)
        return;
    if (msg.sType == QLatin1String("setfocus"))
        InstallHook();
    else if (msg.sType == QLatin1String("killfocus"))
        RemoveHook();
}

void CShortcutWnd::OnClick(TNotifyUI& msg) {
    if (msg.pSender == nullptr)
        return;
    if (msg.pSender == m_ok)
        Close(1);
    else if (msg.pSender == m_cancel || msg.pSender == m_exit)
        Close(0);
}

void CShortcutWnd::InstallHook() {
    m_held.clear();
    if (m_hooks == nullptr)
        return;
    if (m_hooks->installhook != nullptr)
        m_hooks->installhook(GetHWND());
    if (m_hooks->enablehook != nullptr)
        m_hooks->enablehook(1);
    m_hookInstalled = true;
}

void CShortcutWnd::RemoveHook() {
    m_held.clear();
    if (m_hooks == nullptr || !m_hookInstalled)
        return;
    m_hookInstalled = false;
    if (m_hooks->removehook != nullptr)
        m_hooks->removehook();
    if (m_hooks->enablehook != nullptr)
        m_hooks->enablehook(0);
}

void CShortcutWnd::OnKeyEvent(std::uint32_t virtualKey, bool released) {
    if (released) {
        m_held.erase(virtualKey);
        return;
    }
    const bool startsCombination = m_held.empty();
    m_held.insert(virtualKey);
    const int modifier = ModifierOf(virtualKey);
    if (modifier >= 0) {
        if (startsCombination) {
            // A combination that begins with a modifier is typed whole: the boxes follow the keys
            // held and the key waits for a key that is not a modifier.
            m_block.flags.fill(0);
            m_block.key = 0;
            ShowKey();
        }
        m_block.flags[static_cast<std::size_t>(modifier)] = 1;
        for (std::size_t n = 0; n < m_flagBoxes.size(); ++n)
            if (m_flagBoxes[n] != nullptr)
                m_flagBoxes[n]->SetCheck(m_block.flags[n] != 0, SelectNotify::No);
        return;
    }
    const std::uint32_t usage = m_keys != nullptr ? m_keys->VkToUsage(virtualKey).usage : 0;
    m_block.key = static_cast<std::uint8_t>(usage & 0xFF);
    ShowKey();
}

LRESULT CShortcutWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    bHandled = false;
    if (uMsg == MSG_HOOK_EVENT) {
        // The hook reports while the key field has the focus; an event still queued after it lost
        // the focus belongs to no capture.
        if (m_hookInstalled)
            OnKeyEvent(static_cast<std::uint32_t>(wParam), lParam != 0);
    } else if (uMsg == WM_DESTROY) {
        RemoveHook();
    }
    return 0;
}

}  // namespace quillon
