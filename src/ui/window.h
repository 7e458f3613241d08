#pragma once
// The window base: a frameless top-level window whose content is a layout file, whose controls
// notify it, and which receives numbered window messages and timers like a desktop window.
//
// A window class supplies its class name, its layout file and an initialisation step that runs once
// the layout is built; it handles notifications in Notify (clicks also reach OnClick), its own
// window messages in HandleCustomMessage, and its end in OnDestroy and OnFinalMessage:
//
//     class CMsgWnd : public WindowImplBase {
//         QString GetWindowClassName() const override { return "MsgWnd"; }
//         QString GetSkinFile() override { return "msg.xml"; }
//         void InitWindow() override { m_ok = m_pm.FindControl<CButtonUI>("btn_ok"); }
//         void OnClick(TNotifyUI& msg) override { if (msg.pSender == m_ok) Close(1); }
//     };
//     CMsgWnd box;
//     box.Create(owner.GetHWND(), {}, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, 0, 0, 800, 800);
//     box.CenterWindow();
//     if (box.ShowModal() == 1) ...
//
// The layout's root widget may carry the property "caption" ("left,top,right,bottom", as in
// "0,0,0,36"): pressing the mouse there (outside buttons and edits) drags the window; a window
// without a caption is dragged by its background. Messages posted to a window while a modal window
// runs are handled by the modal run's loop.
//
// A modal window always opens inside the available area of the screen that holds its owner. Esc
// clicks the button that the layout's root names in its property "cancelbutton" (without one, the
// window closes with 0); Enter clicks the one named in "okbutton".

#include "platform/message_window.h"
#include "platform/messages.h"
#include "ui/notify_pump.h"
#include "ui/paint_manager.h"

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>

class QEventLoop;
class QWidget;

namespace quillon {

// Window styles understood by Create; the others are accepted and have no effect here.
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_MINIMIZE = 0x20000000;
inline constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
inline constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_THICKFRAME = 0x00040000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
inline constexpr DWORD WS_EX_TOPMOST = 0x00000008;
inline constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
inline constexpr UINT CS_DBLCLKS = 0x0008;

class HostWidget;

class WindowImplBase : public CNotifyPump, public INotifyUI {
public:
    WindowImplBase();
    ~WindowImplBase() override;

    // --- What a window class supplies --------------------------------------------------------
    virtual QString GetWindowClassName() const = 0;
    // The layout file, relative to the resource folder ("main.xml", "MS/MS_1/ms_1_macropage.xml").
    virtual QString GetSkinFile() = 0;
    virtual UINT GetClassStyle() const { return 0; }
    // Runs once the layout is built and its controls can be found.
    virtual void InitWindow() {}
    // Every notification of the window's controls arrives here. The default routes notifications
    // addressed to a virtual window there and the others through this window's table, in which
    // "click" is bound to OnClick.
    void Notify(TNotifyUI& msg) override;
    virtual void OnClick(TNotifyUI& msg);
    // Messages the base does not consume; set `bHandled` to stop default processing.
    virtual LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    // WM_DESTROY, before HandleCustomMessage sees it.
    virtual LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    // The window is gone; the last call the window object receives (it may delete itself here).
    virtual void OnFinalMessage(HWND hWnd);

    // --- Operations ----------------------------------------------------------------------------
    // Builds the window and its layout and runs InitWindow. `parent` owns the new window (it stays
    // above it); WS_VISIBLE shows it, WS_EX_TOOLWINDOW keeps it out of the task bar. The layout's
    // size wins over cx, cy. Returns null when the layout cannot be built.
    HWND Create(HWND parent, const QString& name, DWORD style, DWORD exStyle, int x = 0, int y = 0,
                int cx = 0, int cy = 0);
    HWND GetHWND() const;
    operator HWND() const { return GetHWND(); }

    // Centres the window over its owner, or on the screen without one.
    void CenterWindow();
    // Shows the window (moved inside the screen when it would reach past an edge) and blocks until
    // it is closed; returns the code given to Close (0 when it was closed some other way, -1 when
    // it could not run).
    int ShowModal();
    // Closes the window (after the current handler returns).
    void Close(int code = 1);
    // Destroys the window now: OnDestroy, HandleCustomMessage(WM_DESTROY), then OnFinalMessage.
    void DestroyWindow();
    void ShowWindow(bool show = true, bool takeFocus = true);
    // SW_HIDE, SW_SHOW, SW_SHOWNORMAL, SW_SHOWNOACTIVATE, SW_MINIMIZE, SW_SHOWMINIMIZED, SW_RESTORE, ...
    void ShowWindow(int command);
    bool IsWindowVisible() const;
    bool IsIconic() const;
    // Raises the window above the others and gives it the keyboard.
    void BringToForeground();
    void SetWindowText(const QString& title);
    // Sets the window's icon from the resource folder's icons (see CTrayIcon for the naming).
    void SetIcon(int iconId);
    // The window's rectangle on the screen.
    QRect GetWindowRect() const;
    // The whole rectangle of the screen that holds the window (the primary screen's when no
    // screen holds it), in the coordinates of the desktop.
    QRect GetScreenRect() const;
    void MoveWindow(int x, int y, int width, int height);
    void MoveWindow(int x, int y);

    LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
    bool PostMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs);
    bool KillTimer(UINT_PTR id);

    CPaintManagerUI& GetPaintManager() { return m_pm; }
    // The top-level widget, for the library and the test harness.
    QWidget* GetHostWidget() const;
    bool IsModalRunning() const { return m_modalLoop != nullptr || m_modalScripted; }

    // The live window with this handle, or null.
    static WindowImplBase* FromHandle(HWND handle);
    // The first live window of a class, or null.
    static WindowImplBase* FindWindowByClass(const QString& className);
    // Whether a modal window runs: one of ours, or one Qt shows (a file dialog).
    static bool AnyModalRunning();
    // While on, windows created from then on hold back the parts of their layout marked
    // "belowfold" until they are first on the screen (see CPaintManagerUI::HoldBackBelowFold):
    // the program's start-up turns it on for its main window.
    static void SetHoldBackBelowFold(bool on);

protected:
    // Dispatches one message: the base's own messages, then HandleCustomMessage, then the defaults.
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);

    CPaintManagerUI m_pm;

private:
    friend class HostWidget;
    LRESULT DefaultMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
    void FinishModal();
    // Moves the window inside the available area of its owner's screen.
    void KeepInsideScreen();
    // Esc or Enter that no control took while the window runs modally; true when it was used.
    bool OnDialogKey(int key);

    std::unique_ptr<MessageWindow> m_messages;
    QPointer<HostWidget> m_host;
    HWND m_handle = nullptr;
    QEventLoop* m_modalLoop = nullptr;
    bool m_modalScripted = false;
    bool m_finalPending = false;
    bool m_destroying = false;
    bool m_closeRequested = false;
    int m_closeCode = 0;
};

// A test's answers to modal windows. While one is installed, ShowModal never runs a nested loop:
// it hands the built window to Answer and returns the code the answer closed it with.
class ModalScript {
public:
    virtual ~ModalScript() = default;
    // Whether an answer waits for a window of this class; such a window is not shown when created.
    virtual bool Intercepts(const QString& className) = 0;
    // Acts on the window (clicks a button, ...). False when nothing was scripted for it; the
    // window is then closed and ShowModal returns -1.
    virtual bool Answer(WindowImplBase& window) = 0;
};
void SetModalScript(ModalScript* script);

// The size of the primary screen (what SM_CXSCREEN and SM_CYSCREEN give) and the mouse position
// on the screen.
QSize GetScreenSize();
QPoint GetCursorPos();
ModalScript* GetModalScript();

}  // namespace quillon
