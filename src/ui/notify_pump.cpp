#include "ui/notify_pump.h"

namespace quillon {

bool CNotifyPump::AddVirtualWnd(const QString& name, CNotifyPump* handler) {
    if (name.isEmpty() || !handler || m_virtualWnds.count(name))
        return false;
    m_virtualWnds.emplace(name, handler);
    return true;
}

bool CNotifyPump::RemoveVirtualWnd(const QString& name) {
    return m_virtualWnds.erase(name) != 0;
}

CNotifyPump* CNotifyPump::GetVirtualWnd(const QString& name) const {
    auto it = m_virtualWnds.find(name);
    return it == m_virtualWnds.end() ? nullptr : it->second;
}

bool CNotifyPump::NotifyPump(TNotifyUI& msg) {
    if (!msg.sVirtualWnd.isEmpty()) {
        if (CNotifyPump* target = GetVirtualWnd(msg.sVirtualWnd))
            return target->LoopDispatch(msg);
    }
    return LoopDispatch(msg);
}

bool CNotifyPump::LoopDispatch(TNotifyUI& msg) {
    const QString sender = msg.pSender ? msg.pSender->GetName() : QString();
    const Entry* best = nullptr;
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->type != msg.sType)
            continue;
        if (!it->control.isEmpty()) {
            if (it->control == sender) {
                best = &*it;
                break;
            }
        } else if (!best) {
            best = &*it;
        }
    }
    if (!best)
        return false;
    // Copy: the handler may bind further entries.
    const Handler handler = best->handler;
    handler(msg);
    return true;
}

}  // namespace quillon
