#include "support/ui_driver.h"

#include "support/qt_app.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWheelEvent>

namespace quillon::test {

namespace {

void SendKey(QWidget* widget, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

void sendMouse(QWidget* widget, QEvent::Type type, QPoint point, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(point), QPointF(widget->mapToGlobal(point)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

}  // namespace

UiDriver::UiDriver(WindowImplBase& window) : m_window(window) {
    TestApplication();
}

CControlUI* UiDriver::Find(const QString& name) const {
    CControlUI* control = Manager().FindControl(name);
    if (!control)
        ADD_FAILURE() << "no control named " << name.toStdString() << " in window "
                      << m_window.GetWindowClassName().toStdString();
    return control;
}

bool UiDriver::Exists(const QString& name) const {
    return Manager().FindControl(name) != nullptr;
}

QWidget* UiDriver::UsableWidget(const QString& name, const char* action) const {
    CControlUI* control = Find(name);
    if (!control)
        return nullptr;
    QWidget* widget = control->GetWidget();
    if (!widget->isVisibleTo(widget->window())) {
        ADD_FAILURE() << action << ": " << name.toStdString() << " is hidden";
        return nullptr;
    }
    if (!widget->isEnabled()) {
        ADD_FAILURE() << action << ": " << name.toStdString() << " is disabled";
        return nullptr;
    }
    return widget;
}

void UiDriver::Click(const QString& name) {
    QWidget* widget = UsableWidget(name, "click");
    if (!widget)
        return;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->click();
        return;
    }
    if (auto* button = dynamic_cast<CButtonUI*>(Manager().FindControl(widget))) {
        button->Activate();
        return;
    }
    const QPoint centre = widget->rect().center();
    sendMouse(widget, QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
}

void UiDriver::SetChecked(const QString& name, bool checked) {
    if (IsChecked(name) != checked)
        Click(name);
}

void UiDriver::SelectRow(const QString& list, int row) {
    auto* widget = qobject_cast<QListWidget*>(UsableWidget(list, "select row"));
    if (!widget)
        return;
    if (row < 0 || row >= widget->count()) {
        ADD_FAILURE() << "select row: " << list.toStdString() << " has no row " << row;
        return;
    }
    widget->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

void UiDriver::DoubleClickRow(const QString& list, int row) {
    auto* widget = qobject_cast<QListWidget*>(UsableWidget(list, "double-click row"));
    if (!widget)
        return;
    if (row < 0 || row >= widget->count()) {
        ADD_FAILURE() << "double-click row: " << list.toStdString() << " has no row " << row;
        return;
    }
    widget->scrollToItem(widget->item(row));
    QWidget* viewport = widget->viewport();
    const QPoint point = widget->visualItemRect(widget->item(row)).center();
    sendMouse(viewport, QEvent::MouseButtonPress, point, Qt::LeftButton, Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseButtonRelease, point, Qt::LeftButton, Qt::NoButton);
    sendMouse(viewport, QEvent::MouseButtonDblClick, point, Qt::LeftButton, Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseButtonRelease, point, Qt::LeftButton, Qt::NoButton);
}

void UiDriver::SelectComboItem(const QString& combo, int index) {
    auto* widget = qobject_cast<QComboBox*>(UsableWidget(combo, "select item"));
    if (!widget)
        return;
    if (index < 0 || index >= widget->count()) {
        ADD_FAILURE() << "select item: " << combo.toStdString() << " has no item " << index;
        return;
    }
    widget->setCurrentIndex(index);
}

void UiDriver::MoveSlider(const QString& slider, int value) {
    auto* widget = qobject_cast<QAbstractSlider*>(UsableWidget(slider, "move slider"));
    if (!widget)
        return;
    // A slider with a logarithmic response has a track position of its own for each value.
    auto* control = Find<CSliderUI>(slider);
    widget->setValue(control ? control->PositionOf(value) : value);
}

void UiDriver::Wheel(const QString& name, int notches) {
    QWidget* widget = UsableWidget(name, "turn the wheel over");
    if (!widget)
        return;
    const QPointF inside(widget->width() / 2.0, widget->height() / 2.0);
    // Sent where the window system sends it, to the widget under the pointer; the application
    // passes it on to the containers above when that widget leaves it.
    QWheelEvent event(inside, widget->mapToGlobal(inside), QPoint(), QPoint(0, -120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

void UiDriver::Type(const QString& edit, const QString& text) {
    QWidget* widget = UsableWidget(edit, "type");
    if (!widget)
        return;
    for (QChar ch : text)
        SendKey(widget, ch.toUpper().unicode(), QString(ch));
}

void UiDriver::ReplaceText(const QString& edit, const QString& text) {
    auto* widget = qobject_cast<QLineEdit*>(UsableWidget(edit, "replace text"));
    if (!widget)
        return;
    widget->selectAll();
    if (text.isEmpty())
        SendKey(widget, Qt::Key_Backspace, {});
    else
        Type(edit, text);
}

void UiDriver::ClearText(const QString& edit) {
    ReplaceText(edit, {});
}

void UiDriver::PressReturn(const QString& edit) {
    PressKey(edit, Qt::Key_Return, QStringLiteral("\r"));
}

void UiDriver::PressKey(const QString& name, int qtKey, const QString& text) {
    if (QWidget* widget = UsableWidget(name, "press key"))
        SendKey(widget, qtKey, text);
}

void UiDriver::SendFocus(QWidget* widget, bool in) {
    QFocusEvent event(in ? QEvent::FocusIn : QEvent::FocusOut, Qt::MouseFocusReason);
    QApplication::sendEvent(widget, &event);
}

void UiDriver::Focus(const QString& name) {
    QWidget* widget = UsableWidget(name, "focus");
    if (!widget || widget == m_focused)
        return;
    QPointer<QWidget> previous = m_focused;
    widget->setFocus(Qt::MouseFocusReason);
    if (!widget->hasFocus()) {
        // The window is not active (tests rarely show windows): deliver what the focus change would.
        if (previous)
            SendFocus(previous, false);
        SendFocus(widget, true);
    }
    m_focused = widget;
}

void UiDriver::Unfocus(const QString& name) {
    CControlUI* control = Find(name);
    if (!control)
        return;
    QWidget* widget = control->GetWidget();
    if (widget->hasFocus())
        widget->clearFocus();
    else
        SendFocus(widget, false);
    if (m_focused == widget)
        m_focused = nullptr;
}

void UiDriver::Hover(const QString& name) {
    QWidget* widget = UsableWidget(name, "hover");
    if (!widget)
        return;
    const QPointF centre = widget->rect().center();
    QEnterEvent event(centre, centre, QPointF(widget->mapToGlobal(centre.toPoint())));
    QApplication::sendEvent(widget, &event);
}

void UiDriver::Unhover(const QString& name) {
    CControlUI* control = Find(name);
    if (!control)
        return;
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(control->GetWidget(), &event);
}

void UiDriver::DragPalette(const QString& palette, QPoint from, QPoint to) {
    QWidget* widget = UsableWidget(palette, "drag");
    if (!widget)
        return;
    sendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    constexpr int kSteps = 4;
    for (int i = 1; i <= kSteps; ++i) {
        const QPoint point = from + (to - from) * i / kSteps;
        sendMouse(widget, QEvent::MouseMove, point, Qt::NoButton, Qt::LeftButton);
    }
    sendMouse(widget, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

bool UiDriver::IsShown(const QString& name) const {
    CControlUI* control = Find(name);
    return control && control->GetWidget()->isVisibleTo(control->GetWidget()->window());
}

bool UiDriver::IsEnabled(const QString& name) const {
    CControlUI* control = Find(name);
    return control && control->GetWidget()->isEnabled();
}

QString UiDriver::Text(const QString& name) const {
    CControlUI* control = Find(name);
    if (!control)
        return {};
    QWidget* widget = control->GetWidget();
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return combo->currentText();
    return widget->property("text").toString();
}

bool UiDriver::IsChecked(const QString& name) const {
    CControlUI* control = Find(name);
    auto* button = control ? qobject_cast<QAbstractButton*>(control->GetWidget()) : nullptr;
    if (control && !button)
        ADD_FAILURE() << name.toStdString() << " cannot be checked";
    return button && button->isChecked();
}

int UiDriver::Value(const QString& name) const {
    CControlUI* control = Find(name);
    if (!control)
        return 0;
    if (auto* slider = dynamic_cast<CSliderUI*>(control))
        return slider->GetValue();
    if (auto* bar = qobject_cast<QProgressBar*>(control->GetWidget()))
        return bar->value();
    ADD_FAILURE() << name.toStdString() << " has no value";
    return 0;
}

int UiDriver::CurSel(const QString& name) const {
    CControlUI* control = Find(name);
    if (!control)
        return -1;
    QWidget* widget = control->GetWidget();
    if (auto* list = qobject_cast<QListWidget*>(widget)) {
        const auto selected = list->selectedItems();
        return selected.isEmpty() ? -1 : list->row(selected.first());
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return combo->currentIndex();
    if (auto* stack = qobject_cast<QStackedWidget*>(widget))
        return stack->currentIndex();
    if (auto* tabs = qobject_cast<QTabWidget*>(widget))
        return tabs->currentIndex();
    ADD_FAILURE() << name.toStdString() << " has no selection";
    return -1;
}

QStringList UiDriver::RowTexts(const QString& list) const {
    QStringList texts;
    CControlUI* control = Find(list);
    if (auto* widget = control ? qobject_cast<QListWidget*>(control->GetWidget()) : nullptr) {
        for (int i = 0; i < widget->count(); ++i)
            texts << widget->item(i)->text();
    }
    return texts;
}

int UiDriver::RowCount(const QString& list) const {
    CControlUI* control = Find(list);
    auto* widget = control ? qobject_cast<QListWidget*>(control->GetWidget()) : nullptr;
    return widget ? widget->count() : 0;
}

QString UiDriver::ComboItemText(const QString& combo, int index) const {
    CControlUI* control = Find(combo);
    auto* widget = control ? qobject_cast<QComboBox*>(control->GetWidget()) : nullptr;
    return widget ? widget->itemText(index) : QString();
}

std::uint32_t UiDriver::PaletteColor(const QString& palette) const {
    auto* control = dynamic_cast<CColorPaletteUI*>(Find(palette));
    return control ? control->GetSelectColor() : 0;
}

QColor UiDriver::PixelAt(const QString& name, QPoint point) const {
    CControlUI* control = Find(name);
    if (!control)
        return {};
    QWidget* widget = control->GetWidget();
    // Lay the window out as showing it would, then draw the control.
    if (QWidget* host = m_window.GetHostWidget()) {
        host->ensurePolished();
        if (host->layout())
            host->layout()->activate();
        for (QLayout* layout : host->findChildren<QLayout*>())
            layout->activate();
    }
    const QImage image = widget->grab().toImage();
    if (!image.rect().contains(point)) {
        ADD_FAILURE() << name.toStdString() << " has no point " << point.x() << "," << point.y();
        return {};
    }
    return image.pixelColor(point);
}

QString UiDriver::NormalImage(const QString& name) const {
    CControlUI* control = Find(name);
    return control ? control->GetNormalImage() : QString();
}

NotificationRecorder::NotificationRecorder(CPaintManagerUI& manager) : m_manager(manager) {
    manager.AddNotifier(this);
}
NotificationRecorder::~NotificationRecorder() {
    m_manager.RemoveNotifier(this);
}

void NotificationRecorder::Notify(TNotifyUI& msg) {
    m_entries.push_back(Entry{msg.sType, msg.pSender ? msg.pSender->GetName() : QString(), msg.sVirtualWnd,
                              msg.wParam, msg.lParam});
}

std::vector<QString> NotificationRecorder::Summary() const {
    std::vector<QString> summary;
    for (const Entry& entry : m_entries)
        summary.push_back(entry.type + QLatin1Char(':') + entry.sender);
    return summary;
}

}  // namespace quillon::test

// Fontconfig keeps its caches until the process ends; that is not a leak of ours. Tests that draw
// text link this file, and the leak checker of sanitizer builds asks for these suppressions.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
