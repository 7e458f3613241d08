#pragma once
// Drives a window of the UI library by control name, the way a user would, and reads it back.
//
//     VirtualTime time;
//     ModalAnswers answers;                       // modal windows are answered, never shown
//     CMainWnd window; window.Create(nullptr, {}, 0, 0);
//     UiDriver ui(window);
//     answers.ClickOnNext("MsgWnd", "btn_cancel");
//     ui.Click("ms_1_profile_delete_btn");
//     EXPECT_EQ(ui.RowCount("ms_1_list_profile"), 2);
//
// Every action goes through the widget (a real click, key presses, a slider move), so the control
// sends the notifications a user's action sends. An action on a control that does not exist, is
// hidden or disabled fails the test (a user could not do it) and does nothing.

#include "support/qt_printers.h"
#include "ui/controls.h"
#include "ui/paint_manager.h"
#include "ui/window.h"

#include <QColor>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QWidget;

namespace quillon::test {

class UiDriver {
public:
    explicit UiDriver(WindowImplBase& window);

    CPaintManagerUI& Manager() const { return m_window.GetPaintManager(); }
    // The control, or null after failing the test.
    CControlUI* Find(const QString& name) const;
    template <class T> T* Find(const QString& name) const;

    // --- Actions -------------------------------------------------------------------------------
    void Click(const QString& name);
    // Clicks the check box when its state differs from `checked`.
    void SetChecked(const QString& name, bool checked);
    void SelectOption(const QString& name) { Click(name); }
    void SelectRow(const QString& list, int row);
    // Double-clicks a row with the mouse (scrolling it into view first): the first click selects it.
    void DoubleClickRow(const QString& list, int row);
    void SelectComboItem(const QString& combo, int index);
    void MoveSlider(const QString& slider, int value);
    // Turns the mouse wheel over the control by `notches` towards the user (positive scrolls down).
    void Wheel(const QString& name, int notches);
    // Types at the caret, one key press per character (each change sends "textchanged").
    void Type(const QString& edit, const QString& text);
    // Selects the edit's whole text and types `text` over it.
    void ReplaceText(const QString& edit, const QString& text);
    // Deletes the whole text with the keyboard.
    void ClearText(const QString& edit);
    void PressReturn(const QString& edit);
    void PressKey(const QString& name, int qtKey, const QString& text = {});
    // Gives the keyboard focus to the control (the control that had it loses it), or takes it away.
    void Focus(const QString& name);
    void Unfocus(const QString& name);
    void Hover(const QString& name);
    void Unhover(const QString& name);
    // Presses the mouse at `from` inside the palette, drags through `to` and releases it there.
    void DragPalette(const QString& palette, QPoint from, QPoint to);

    // --- Reading back ------------------------------------------------------------------------
    bool Exists(const QString& name) const;
    // Whether the control and every container above it (up to the window) are shown.
    bool IsShown(const QString& name) const;
    bool IsEnabled(const QString& name) const;
    // The text the widget shows (after language lookup).
    QString Text(const QString& name) const;
    bool IsChecked(const QString& name) const;
    int Value(const QString& name) const;
    int CurSel(const QString& name) const;
    int RowCount(const QString& list) const;
    // The texts of a list's rows, in order.
    QStringList RowTexts(const QString& list) const;
    QString ComboItemText(const QString& combo, int index) const;
    std::uint32_t PaletteColor(const QString& palette) const;
    // The colour the control shows at `point` (inside the control), drawn the way the screen would.
    QColor PixelAt(const QString& name, QPoint point) const;
    QString NormalImage(const QString& name) const;

private:
    QWidget* UsableWidget(const QString& name, const char* action) const;
    void SendFocus(QWidget* widget, bool in);

    WindowImplBase& m_window;
    QWidget* m_focused = nullptr;
};

template <class T> T* UiDriver::Find(const QString& name) const {
    return dynamic_cast<T*>(Find(name));
}

// Records every notification a window's controls send, in order.
class NotificationRecorder : public INotifyUI {
public:
    struct Entry {
        QString type;
        QString sender;
        QString virtualWnd;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };
    explicit NotificationRecorder(CPaintManagerUI& manager);
    ~NotificationRecorder() override;
    void Notify(TNotifyUI& msg) override;

    const std::vector<Entry>& Entries() const { return m_entries; }
    // "type:sender" of each notification, the shape most tests compare.
    std::vector<QString> Summary() const;
    void Clear() { m_entries.clear(); }

private:
    CPaintManagerUI& m_manager;
    std::vector<Entry> m_entries;
};

}  // namespace quillon::test
