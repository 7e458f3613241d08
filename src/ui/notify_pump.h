#pragma once
// Notification handlers with a table of (type -> handler) entries, and virtual windows.
//
// A window routes the notifications of its controls through its own table. Controls tagged with a
// virtual window's name (the "virtualwnd" property in the layout, or SetVirtualWnd) are routed to
// the handler object registered under that name instead, so a part of a window (the settings page
// of the main window) can be written as an object of its own:
//
//     class CMS_1_Page : public CNotifyPump {
//     public:
//         CMS_1_Page() {
//             BindNotify("click", &CMS_1_Page::OnClick);
//             BindNotify("itemselect", &CMS_1_Page::OnItemSelect);
//         }
//         ...
//     };
//     AddVirtualWnd("MS_1_Page", &m_page);   // in the main window's initialisation step

#include "ui/controls.h"

#include <QString>

#include <functional>
#include <map>
#include <vector>

namespace quillon {

class CNotifyPump {
public:
    using Handler = std::function<void(TNotifyUI&)>;

    CNotifyPump() = default;
    virtual ~CNotifyPump() = default;
    CNotifyPump(const CNotifyPump&) = delete;
    CNotifyPump& operator=(const CNotifyPump&) = delete;

    // Registers `handler` under `name`; false when the name is empty or taken.
    bool AddVirtualWnd(const QString& name, CNotifyPump* handler);
    // False when no virtual window has that name.
    bool RemoveVirtualWnd(const QString& name);
    CNotifyPump* GetVirtualWnd(const QString& name) const;

    // Routes a notification: to the virtual window it is addressed to when one is registered under
    // that name, otherwise through this object's own table. True when a handler ran.
    bool NotifyPump(TNotifyUI& msg);
    // Looks the notification up in this object's own table. Entries bound to a control name win over
    // entries for any control; among equals, the entry bound last wins.
    bool LoopDispatch(TNotifyUI& msg);

protected:
    void BindNotify(const QString& type, Handler handler) {
        m_entries.push_back({type, {}, std::move(handler)});
    }
    void BindNotify(const QString& type, const QString& controlName, Handler handler) {
        m_entries.push_back({type, controlName, std::move(handler)});
    }
    template <class T> void BindNotify(const QString& type, void (T::*method)(TNotifyUI&)) {
        T* self = static_cast<T*>(this);
        BindNotify(type, [self, method](TNotifyUI& msg) { (self->*method)(msg); });
    }
    template <class T>
    void BindNotify(const QString& type, const QString& controlName, void (T::*method)(TNotifyUI&)) {
        T* self = static_cast<T*>(this);
        BindNotify(type, controlName, [self, method](TNotifyUI& msg) { (self->*method)(msg); });
    }

private:
    struct Entry {
        QString type;
        QString control;
        Handler handler;
    };
    std::vector<Entry> m_entries;
    std::map<QString, CNotifyPump*> m_virtualWnds;
};

}  // namespace quillon
