#pragma once
// The macro editor: a modal window in which the user manages the macros of the store (add, delete,
// rename, import, export) and edits the actions of one macro at a time.
//
// Every change is committed to the store at once and the store file rewritten, so nothing is
// pending when the window closes. A change that would make the macro larger than the mouse's macro
// memory (191 units) is dropped, the list shows the stored macro again and the status line says
// why. The settings page opens the editor and, when it has closed, brings the macro copies held by
// the buttons back in line with the store:
//
//     CMS_1_Macro editor(store, hooks, keyTables);
//     editor.Create(mainWindow, {}, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, 0, 0, 800, 800);
//     editor.CenterWindow();
//     editor.ShowModal();
//
// Key actions take their key from the input-hook library: while the key box has the focus the
// keyboard hook reports to this window (message 1034), and the key pressed becomes the action's
// key. Without the library the box receives nothing.
//
// Recording takes key presses and mouse-button clicks made anywhere on the desktop into the
// current macro, through the same library. The hook is installed and enabled only from the record
// button's start to its stop (or to the editor's close), so no keystroke is read outside a
// recording; the record button says when it listens, and why it cannot when the library is missing
// or cannot reach an X display.

#include <memory>

#include "platform/hook_ops.h"
#include "ui/window.h"

namespace quillon {

class KeyCodeTables;
class MacroStore;

// The editor's own control timers: the action list is scrolled to the inserted or restored row
// once it has been laid out.
inline constexpr UINT kMacroScrollToInsertTimer = 1000;
inline constexpr UINT kMacroScrollToRestoredTimer = 1001;
inline constexpr UINT kMacroScrollDelayMs = 50;

// What recording remembers from one recording to the next for the program's run: the last hook
// event it took. A recording whose first event repeats it (the release of a key still held when
// the previous recording ended, say) ignores that event. The settings page keeps one for every
// editor it opens.
struct RecordingMemory {
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class CMS_1_Macro : public WindowImplBase {
public:
    // `hooks` may be null, and so may any of its entries; `keys` names keys (null: codes only);
    // `memory` carries the last recorded event across editors (null: this editor keeps its own).
    CMS_1_Macro(MacroStore& store, const HookOps* hooks, const KeyCodeTables* keys,
                RecordingMemory* memory = nullptr);
    ~CMS_1_Macro() override;

    QString GetWindowClassName() const override { return QStringLiteral("MS_1_Macro"); }
    QString GetSkinFile() override { return QStringLiteral("MS/MS_1/ms_1_macropage.xml"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnClick(TNotifyUI& msg) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

    struct Impl;

private:
    std::unique_ptr<Impl> m;
};

}  // namespace quillon
