#pragma once
// The paint manager: one per window. It owns the control wrappers of the window's layout, finds
// them by name, delivers their notifications to the window (and through it to virtual windows)
// and runs control timers. Its static part holds the resource set-up of the whole program.
//
//     CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath() + "res/");
//     auto* slider = m_pm.FindControl<CSliderUI>("ms_1_slider_brightness");
//     m_pm.SetTimer(list, 1000, 50);   // "timer" notification from `list`, wParam 1000, every 50 ms

#include "platform/messages.h"
#include "platform/timer_service.h"
#include "ui/controls.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

class QWidget;

namespace quillon {

class WindowImplBase;

// Receives the notifications of a paint manager's controls.
class INotifyUI {
public:
    virtual ~INotifyUI() = default;
    virtual void Notify(TNotifyUI& msg) = 0;
};

// Why a layout could not be built.
struct LayoutError {
    QString file;
    QString reason;
};

class CPaintManagerUI {
public:
    CPaintManagerUI();
    ~CPaintManagerUI();
    CPaintManagerUI(const CPaintManagerUI&) = delete;
    CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

    // --- Program-wide set-up -----------------------------------------------------------------
    static void SetInstance(void* instance);
    static void* GetInstance();
    // 1 = layouts are read from the resource folder (the only kind this library has).
    static void SetResourceType(int type);
    static int GetResourceType();
    // The folder of the executable, ending in '/'.
    static QString GetInstancePath();
    // The resource folder; a missing trailing '/' is added.
    static void SetResourcePath(const QString& path);
    static QString GetResourcePath();
    // Where a file named by a layout, the sheet or the program lies: an absolute path as it is,
    // anything else below the resource folder.
    static QString ResolveResource(const QString& file);
    // Runs the event loop until PostQuitMessage; returns its exit code.
    static int MessageLoop();
    // Releases what the library still holds (records never given back, open menus).
    static void Term();
    // Records the library hands out with messages (the menu command record of 1027) are released
    // here by their receiver. Unknown or already released pointers are ignored.
    static void DeletePtr(void* ptr);
    template <class T, class... Args> static T* NewPtr(Args&&... args) {
        T* record = new T(std::forward<Args>(args)...);
        RegisterPtr(record, [](void* p) { delete static_cast<T*>(p); });
        return record;
    }
    static std::size_t OutstandingPtrs();

    // --- This window ---------------------------------------------------------------------------
    // Makes `root` (the loaded layout) this manager's tree and wraps its named widgets.
    void Init(QWidget* root, WindowImplBase* window);
    CControlUI* GetRoot() const;
    WindowImplBase* GetWindow() const { return m_window; }
    // The handle that messages and timers of this window go to (null before Init).
    HWND GetPaintWindow() const;

    // The first control with this layout name (breadth first), or null. With a type, null also
    // when the control is of another kind.
    template <class T = CControlUI> T* FindControl(const QString& name) const {
        return dynamic_cast<T*>(FindControlByName(name));
    }
    CControlUI* FindControl(const QWidget* widget) const;
    // Every named control by its name, each name giving the control FindControl would give: for
    // code that looks up many names at once (one walk of the tree instead of one per name).
    QHash<QString, CControlUI*> NameIndex() const;
    CControlUI* FindSubControlByName(const CControlUI* parent, const QString& name) const;
    std::vector<COptionUI*> GetOptionGroup(const QString& group) const;

    void AddNotifier(INotifyUI* notifier);
    void RemoveNotifier(INotifyUI* notifier);
    void SendNotify(CControlUI* control, const QString& type, std::uintptr_t wParam = 0,
                    std::intptr_t lParam = 0);

    // Control timers: "timer" notifications from `control` with wParam = id every `elapseMs`.
    // Setting a running timer again restarts it with the new period.
    bool SetTimer(CControlUI* control, UINT id, UINT elapseMs);
    bool KillTimer(CControlUI* control, UINT id);
    void KillTimer(CControlUI* control);
    void RemoveAllTimers();

    // Wraps a widget tree built outside Init (a row from CDialogBuilder) or takes over a control
    // created with new (a CListLabelElementUI); the manager owns the wrappers from then on.
    CControlUI* AdoptTree(QWidget* root);
    void Adopt(CControlUI* control);
    // Takes a control out of its container and disposes of it (and its children) safely, also
    // while one of them is sending a notification.
    void Discard(CControlUI* control);
    // Shows every language-key text again (after a language file was loaded).
    void RefreshTexts();

    // Widgets the layout marks "belowfold" (out of sight when the window first shows) leave the
    // window until RestoreBelowFold, so that the first paint styles, lays out and draws only what
    // is seen. Meanwhile their controls are found by name and can be changed as usual; back in
    // place they keep the visibility they were given. RestoreBelowFold puts back up to `parts`
    // of them, in their order, and tells whether some are still out.
    void HoldBackBelowFold();
    bool RestoreBelowFold(std::size_t parts = SIZE_MAX);
    bool HoldsBackBelowFold() const { return !m_heldBack.empty(); }

    // While on, the keys typed are taken from every control of this window before any of them
    // acts on a key (no Tab to the next control, no Space on the focused button, no text into a
    // box): for a window that records what the user types anywhere on the desktop.
    void SetKeyboardIgnored(bool ignored);
    bool IsKeyboardIgnored() const { return m_keyboardBlock != nullptr; }

private:
    class Events;
    class KeyboardBlock;
    struct Timer {
        CControlUI* control;
        UINT id;
        TimerId serviceId;
    };

    static void RegisterPtr(void* ptr, void (*deleter)(void*));
    CControlUI* FindControlByName(const QString& name) const;
    CControlUI* Wrap(QWidget* widget);
    void Forget(QWidget* widget);
    void Watch(QWidget* widget);

    QPointer<QWidget> m_root;
    WindowImplBase* m_window = nullptr;
    std::unique_ptr<Events> m_events;
    std::unique_ptr<KeyboardBlock> m_keyboardBlock;
    std::unordered_map<const QWidget*, std::unique_ptr<CControlUI>> m_controls;
    std::vector<INotifyUI*> m_notifiers;
    std::vector<Timer> m_timers;
    std::vector<QPointer<QWidget>> m_detached;
    QPointer<QWidget> m_graveyard;
    struct HeldBack {
        QPointer<QWidget> widget;
        QPointer<QWidget> parent;  // whose box layout it came from
        int index;
        int stretch;
        Qt::Alignment alignment;
        std::vector<QPointer<QWidget>> polished;  // marked unpolished while held
    };
    std::vector<HeldBack> m_heldBack;
    QPointer<QWidget> m_holder;  // never shown: what it holds is neither polished nor laid out
    int m_languageListener = 0;
};

// Builds controls from a layout file of the resource folder, e.g. a list row from "keylistitem.xml".
class CDialogBuilder {
public:
    // The layout's root as a control of `manager`; null when the file cannot be loaded.
    CControlUI* Create(const QString& xml, const QString& type, void* callback, CPaintManagerUI* manager,
                       CControlUI* parent = nullptr);
    CControlUI* Create(const QString& xml, CPaintManagerUI* manager) {
        return Create(xml, {}, nullptr, manager);
    }
};

// Loads a layout file (relative to the resource folder, or absolute) into a new widget tree.
// Our own widget classes ("ColorPalette") are known to the loader.
[[nodiscard]] QWidget* LoadLayout(const QString& file, QWidget* parent, LayoutError* error = nullptr);

// Ends MessageLoop with `exitCode`; when no loop runs yet, the next MessageLoop returns at once.
void PostQuitMessage(int exitCode);
// Whether a quit was posted and not yet consumed by MessageLoop (tests look at this).
bool IsQuitPosted();
void ResetQuitPosted();

}  // namespace quillon
