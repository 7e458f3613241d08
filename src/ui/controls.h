#pragma once
// Control wrappers: what application code holds instead of Qt widgets.
//
// A window's layout is a Qt Designer file; when it is loaded, the paint manager wraps every named
// widget in the control class that fits it (a QPushButton becomes a CButtonUI, a QSlider a
// CSliderUI, ...). Application code finds controls by their layout names and talks only to these
// wrappers, so a handler reads like the description of the window it belongs to. A user's action on
// a widget becomes a notification (TNotifyUI) with one of the type strings below, sent to the
// window and, for controls tagged with a virtual window's name, to that virtual window.
//
// Programmatic changes never notify, except where an operation takes SelectNotify::Yes.

#include <QMetaProperty>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class QObject;
class QVariant;
class QWidget;

namespace quillon {

// A property the layout file or the program set on a widget by name (not one the widget's class
// declares); invalid when it is not set. QObject::property compares the name with every property the
// class and its bases declare before it looks at these (about 1.5 K instructions for a push
// button), which adds up over a window's widgets when most of them do not have it.
QVariant DynamicProperty(const QObject* object, const char* name);
// The property `name` that `meta`'s class declares (invalid when it declares none), looked up once
// per class and name. UI thread only.
QMetaProperty DeclaredProperty(const QMetaObject* meta, const char* name);

class CControlUI;
class CPaintManagerUI;

// Whether a programmatic selection or check sends the notification a user's action would send.
enum class SelectNotify { No, Yes };

// How a control's text is shown: as the language text of a key (the default of labels, buttons,
// options and check boxes) or exactly as given (the default of edits and list rows).
enum class TextMode { LanguageKey, Plain };

// The notification types a control sends.
//   "click"                 a button, option or check box was clicked (the user, or Activate)
//   "checkclick"            a check box changed its state after a click, or SetCheck(.., Yes)
//   "selectchanged"         an option became selected by a click, or Selected(.., Yes) changed it
//   "itemselect"            a list or combo box selected another row (wParam = new, lParam = old)
//   "itemactivate"          a list row was double-clicked (wParam = row)
//   "valuechanged"          a slider was moved by the user
//   "textchanged"           the user changed an edit's text
//   "return"                Return was pressed in an edit
//   "setfocus", "killfocus" a control gained or lost the keyboard focus
//   "keydown"               a key was pressed in a list (wParam = Qt key, lParam = modifiers); Delete
//                           and Ctrl with an arrow are left to the handler, the list ignores them
//   "mouseenter", "mouseleave"
//   "timer"                 a control timer fired (wParam = timer id)
//   "colorchanged"          the palette's colour changed while the mouse button is down
//   "colorchangedbuttonup"  the mouse button was released over the palette
struct TNotifyUI {
    QString sType;
    QString sVirtualWnd;
    CControlUI* pSender = nullptr;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

class CControlUI {
public:
    explicit CControlUI(QWidget* widget);
    virtual ~CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    // The wrapped widget, for the library itself and the test harness; application code does not use it.
    QWidget* GetWidget() const { return m_widget; }
    CPaintManagerUI* GetManager() const { return m_manager; }
    virtual QString GetClass() const { return QStringLiteral("ControlUI"); }

    QString GetName() const;
    void SetName(const QString& name);

    // The control's own visibility flag (a visible control inside a hidden container stays "visible").
    bool IsVisible() const;
    void SetVisible(bool visible = true);
    bool IsEnabled() const;
    void SetEnabled(bool enabled = true);
    bool IsFocused() const;
    void SetFocus();

    // The text as shown: in language-key mode the language text of the key.
    virtual QString GetText() const;
    // The text as given to SetText or by the layout (the key in language-key mode).
    QString GetRawText() const { return m_rawText; }
    virtual void SetText(const QString& text);
    TextMode GetTextMode() const { return m_textMode; }
    void SetTextMode(TextMode mode);
    void SetToolTip(const QString& tip);

    // Position inside the window (the top-level widget), and fixed sizes.
    QRect GetPos() const;
    void SetFixedWidth(int width);
    void SetFixedHeight(int height);

    // Background colour as ARGB (0xAARRGGBB); 0 = none.
    void SetBkColor(std::uint32_t argb);
    std::uint32_t GetBkColor() const { return m_bkColor; }
    // Image descriptions (see ImageDescription); drawn under the widget's own drawing.
    void SetBkImage(const QString& image);
    QString GetBkImage() const { return m_bkImage; }
    void SetNormalImage(const QString& image);
    QString GetNormalImage() const { return m_normalImage; }
    void SetHotImage(const QString& image);
    QString GetHotImage() const { return m_hotImage; }
    void SetFocusedImage(const QString& image);
    QString GetFocusedImage() const { return m_focusedImage; }
    void SetPushedImage(const QString& image);
    QString GetPushedImage() const { return m_pushedImage; }
    void Invalidate();
    // A named state of the control's look ("unsent", "flash", "inactive", ...), which the theme's
    // style sheet draws through the widget property of that name (one the widget's class does not
    // declare).
    void SetStyleState(const char* state, bool on);
    bool GetStyleState(const char* state) const;

    QString GetUserData() const { return m_userData; }
    void SetUserData(const QString& data) { m_userData = data; }
    std::uintptr_t GetTag() const { return m_tag; }
    void SetTag(std::uintptr_t tag) { m_tag = tag; }

    // The virtual window whose handler receives this control's notifications: the name set on the
    // control or on the nearest container above it; empty for the window's own handler.
    QString GetVirtualWnd() const;
    void SetVirtualWnd(const QString& name);

    // Library use: attach to a paint manager, refresh a language-key text, paint images, events.
    void AttachTo(CPaintManagerUI* manager) { m_manager = manager; }
    virtual void RefreshText();
    void PaintImages();
    virtual void OnFocusChanged(bool focused);
    void OnMouseCrossing(bool entered);

protected:
    void SendNotify(const QString& type, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
    // Writes the shown text into the widget; the default uses the widget's "text" property.
    virtual void ShowText(const QString& shown);
    void UpdateLook();

    QWidget* m_widget;
    CPaintManagerUI* m_manager = nullptr;
    QString m_rawText;
    TextMode m_textMode = TextMode::LanguageKey;
    // The widget class's "text" property, when it has one.
    QMetaProperty m_textProperty;

private:
    QString m_userData;
    std::uintptr_t m_tag = 0;
    std::uint32_t m_bkColor = 0;
    QString m_baseStyleSheet;
    QString m_bkImage, m_normalImage, m_hotImage, m_focusedImage, m_pushedImage;
};

class CLabelUI : public CControlUI {
public:
    explicit CLabelUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("LabelUI"); }
};

class CButtonUI : public CControlUI {
public:
    explicit CButtonUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("ButtonUI"); }
    // Acts as a user's click does.
    virtual void Activate();

protected:
    virtual void OnClicked(bool checked);
};

// A two-state button in a group (dynamic property "group" in the layout): selecting one option
// deselects the others of its group, and only the newly selected option notifies.
class COptionUI : public CButtonUI {
public:
    explicit COptionUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("OptionUI"); }
    QString GetGroup() const;
    void SetGroup(const QString& group);
    bool IsSelected() const;
    void Selected(bool selected, SelectNotify notify = SelectNotify::Yes);

protected:
    void OnClicked(bool checked) override;
    void SetSelectedState(bool selected);
};

class CCheckBoxUI : public CButtonUI {
public:
    explicit CCheckBoxUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("CheckBoxUI"); }
    bool GetCheck() const;
    void SetCheck(bool checked, SelectNotify notify = SelectNotify::Yes);

protected:
    void OnClicked(bool checked) override;
};

class CProgressUI : public CControlUI {
public:
    explicit CProgressUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("ProgressUI"); }
    virtual int GetValue() const;
    virtual void SetValue(int value);
    virtual int GetMinValue() const;
    void SetMinValue(int value);
    virtual int GetMaxValue() const;
    void SetMaxValue(int value);
};

// A slider; a user's move sends "valuechanged" for every new value, SetValue sends nothing.
//
// A slider whose layout sets the property "response" to "logarithmic" spreads its range over the
// track by a logarithmic scale, so that a wide range (such as 50 to 26,000 DPI) stays finely
// adjustable at its low, common end; its arrow keys step by one value and Page Up/Down by the
// layout's page step. Its values are the layout's minimum to maximum as for any slider.
class CSliderUI : public CProgressUI {
public:
    explicit CSliderUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("SliderUI"); }
    int GetValue() const override;
    void SetValue(int value) override;
    int GetMinValue() const override;
    int GetMaxValue() const override;
    // The position on the widget's track that shows `value`, and the value at a position (the two
    // are the same for a slider with the straight response).
    int PositionOf(int value) const;
    int ValueAt(int position) const;

private:
    double LogOffset() const;

    bool m_logarithmic = false;
    int m_min = 0;
    int m_max = 0;
    int m_pageUnits = 1;
    int m_value = 0;
};

class CEditUI : public CControlUI {
public:
    explicit CEditUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("EditUI"); }
    // The text as the edit holds it (a length limit may have cut what was set).
    QString GetText() const override;
    void RefreshText() override;
    // Selection and caret: characters start..end are selected and the caret is at end; an end of
    // -1 means the end of the text. SetSel(n, n) puts the caret at n.
    void SetSel(int start, int end);
    std::pair<int, int> GetSel() const;
    void SetMaxChar(int count);
    int GetMaxChar() const;
    void SetReadOnly(bool readOnly);
    bool IsReadOnly() const;
    // A key field: while it has the focus it takes every key for itself and does nothing with it,
    // so that keys reported by other means (the input hook) can be shown there. Tab does not move
    // the focus, Esc and Enter do not answer the window and no shortcut fires; the text is set
    // only by the program. The mouse still moves the focus.
    void SetKeyCapture(bool capture);
    bool IsKeyCapture() const;
};

class CRichEditUI : public CEditUI {
public:
    explicit CRichEditUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("RichEditUI"); }
};

// A colour field; dragging in it sends "colorchanged" for every new colour and "colorchangedbuttonup"
// when the mouse button is released.
class CColorPaletteUI : public CControlUI {
public:
    explicit CColorPaletteUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("ColorPaletteUI"); }
    std::uint32_t GetSelectColor() const;
    void SetSelectColor(std::uint32_t argb);
};

// A container of controls: "ver" (stacked top to bottom), "hor" (side by side) or a scroll area.
class CContainerUI : public CControlUI {
public:
    explicit CContainerUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("ContainerUI"); }

    virtual int GetCount() const;
    virtual CControlUI* GetItemAt(int index) const;
    virtual int GetItemIndex(CControlUI* control) const;
    virtual bool Add(CControlUI* control);
    virtual bool AddAt(CControlUI* control, int index);
    virtual bool Remove(CControlUI* control);
    virtual bool RemoveAt(int index);
    virtual void RemoveAll();

    // The first control named `name` inside this container (rows of lists included).
    CControlUI* FindSubControl(const QString& name) const;
    template <class T> T* FindSubControl(const QString& name) const {
        return dynamic_cast<T*>(FindSubControl(name));
    }
    // Scrolls a scrolling container to its end (so a section opened at the bottom comes into view).
    virtual void ScrollToEnd();
    // Scrolls the scroll area that this container is (or lies in) as little as needed for
    // `control` inside it to be seen; a control taller than the view shows its top.
    void EnsureVisible(CControlUI* control);

protected:
    QWidget* Content() const;
};

class CVerticalLayoutUI : public CContainerUI {
public:
    using CContainerUI::CContainerUI;
    QString GetClass() const override { return QStringLiteral("VerticalLayoutUI"); }
};

class CHorizontalLayoutUI : public CContainerUI {
public:
    using CContainerUI::CContainerUI;
    QString GetClass() const override { return QStringLiteral("HorizontalLayoutUI"); }
};

// Pages of which one is shown (a QStackedWidget or QTabWidget in the layout).
class CTabLayoutUI : public CContainerUI {
public:
    explicit CTabLayoutUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("TabLayoutUI"); }
    int GetCount() const override;
    CControlUI* GetItemAt(int index) const override;
    int GetCurSel() const;
    bool SelectItem(int index);
};

// A plain text row of a list.
class CListLabelElementUI : public CLabelUI {
public:
    CListLabelElementUI();
    explicit CListLabelElementUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("ListLabelElementUI"); }
};

// A row built from a row layout (CDialogBuilder::Create); its labels are found with FindSubControl.
class CListContainerElementUI : public CContainerUI {
public:
    explicit CListContainerElementUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("ListContainerElementUI"); }
};

// A list of rows with at most one selected. A user's selection sends "itemselect" with the new row
// in wParam and the previous one in lParam (-1 for none); a double click on a row sends
// "itemactivate" with the row in wParam (after the "itemselect" of its first click).
class CListUI : public CContainerUI {
public:
    explicit CListUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("ListUI"); }

    int GetCount() const override;
    CControlUI* GetItemAt(int index) const override;
    int GetItemIndex(CControlUI* control) const override;
    // The list takes the row over (and, with it, its ownership).
    bool Add(CControlUI* control) override;
    bool AddAt(CControlUI* control, int index) override;
    bool Remove(CControlUI* control) override;
    bool RemoveAt(int index) override;
    void RemoveAll() override;
    // A plain text row drawn by the list itself: no widget and no control, so a long list costs
    // little to build. GetItemAt returns null for such a row.
    void AddTextRow(const QString& text, int height);
    // The text of a plain text row; empty for a row that is not one, or no row.
    QString GetRowText(int index) const;
    void SetRowText(int index, const QString& text);

    int GetCurSel() const { return m_curSel; }
    bool SelectItem(int index, SelectNotify notify = SelectNotify::Yes);
    void EnsureVisible(int index);
    void ScrollToEnd() override;

private:
    void OnSelectionChanged();
    void ShowSelection(int index);
    int m_curSel = -1;
};

// A drop-down list. Items given in the layout are language keys.
class CComboUI : public CControlUI {
public:
    explicit CComboUI(QWidget* widget);
    QString GetClass() const override { return QStringLiteral("ComboUI"); }
    int GetCount() const;
    void AddItem(const QString& text);
    void RemoveAll();
    QString GetItemText(int index) const;
    int GetCurSel() const;
    bool SelectItem(int index, SelectNotify notify = SelectNotify::Yes);
    void SetItemTextMode(TextMode mode);
    void RefreshText() override;

private:
    QStringList m_rawItems;
    TextMode m_itemMode = TextMode::LanguageKey;
    int m_curSel = -1;
};

}  // namespace quillon
