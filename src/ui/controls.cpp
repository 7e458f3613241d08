#include "ui/controls.h"

#include "ui/paint_manager.h"
#include "ui/palette_widget.h"
#include "ui/resource_manager.h"

#include <cmath>
#include <map>
#include <utility>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QVariant>

namespace quillon {

namespace {

const char* const kVirtualWndProperty = "virtualwnd";
const char* const kGroupProperty = "group";

// Re-applies the style sheet so that rules on dynamic properties ([hasimage="true"]) see new values.
void Repolish(QWidget* widget) {
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

QString ArgbToCss(std::uint32_t argb) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg((argb >> 16) & 0xFF)
        .arg((argb >> 8) & 0xFF)
        .arg(argb & 0xFF)
        .arg(QString::number(double((argb >> 24) & 0xFF) / 255.0, 'f', 3));
}

}  // namespace

QVariant DynamicProperty(const QObject* object, const char* name) {
    if (!object->dynamicPropertyNames().contains(QByteArrayView(name)))
        return {};
    return object->property(name);
}

QMetaProperty DeclaredProperty(const QMetaObject* meta, const char* name) {
    static std::map<std::pair<const QMetaObject*, QByteArray>, int> indexes;
    auto [it, added] = indexes.try_emplace({meta, QByteArray(name)}, -1);
    if (added)
        it->second = meta->indexOfProperty(name);
    return it->second >= 0 ? meta->property(it->second) : QMetaProperty();
}

// ---------------------------------------------------------------------------------------------
// CControlUI

CControlUI::CControlUI(QWidget* widget) : m_widget(widget) {
    m_textProperty = DeclaredProperty(m_widget->metaObject(), "text");
    if (m_textProperty.isValid())
        m_rawText = m_textProperty.read(m_widget).toString();
    m_baseStyleSheet = m_widget->styleSheet();
    const QVariant mode = DynamicProperty(m_widget, "textmode");
    if (mode.isValid())
        m_textMode = mode.toString() == QLatin1String("plain") ? TextMode::Plain : TextMode::LanguageKey;
}

CControlUI::~CControlUI() = default;

QString CControlUI::GetName() const {
    return m_widget->objectName();
}
void CControlUI::SetName(const QString& name) {
    m_widget->setObjectName(name);
}

bool CControlUI::IsVisible() const {
    return !m_widget->isHidden();
}
void CControlUI::SetVisible(bool visible) {
    m_widget->setVisible(visible);
}
bool CControlUI::IsEnabled() const {
    return m_widget->isEnabled();
}
void CControlUI::SetEnabled(bool enabled) {
    m_widget->setEnabled(enabled);
}
bool CControlUI::IsFocused() const {
    return m_widget->hasFocus();
}
void CControlUI::SetFocus() {
    m_widget->setFocus(Qt::OtherFocusReason);
}

QString CControlUI::GetText() const {
    return m_textMode == TextMode::LanguageKey ? CResourceManager::GetInstance()->GetText(m_rawText)
                                               : m_rawText;
}

void CControlUI::SetText(const QString& text) {
    m_rawText = text;
    RefreshText();
}

void CControlUI::SetTextMode(TextMode mode) {
    m_textMode = mode;
    RefreshText();
}

void CControlUI::RefreshText() {
    ShowText(GetText());
}

void CControlUI::ShowText(const QString& shown) {
    if (m_textProperty.isValid() && m_textProperty.read(m_widget).toString() != shown)
        m_textProperty.write(m_widget, shown);
}

void CControlUI::SetToolTip(const QString& tip) {
    m_widget->setProperty("quillon_tooltip_key", tip);
    m_widget->setToolTip(CResourceManager::GetInstance()->GetText(tip));
}

QRect CControlUI::GetPos() const {
    const QWidget* top = m_widget->window();
    return QRect(m_widget->mapTo(top, QPoint(0, 0)), m_widget->size());
}

void CControlUI::SetFixedWidth(int width) {
    m_widget->setFixedWidth(width);
}
void CControlUI::SetFixedHeight(int height) {
    m_widget->setFixedHeight(height);
}

void CControlUI::SetBkColor(std::uint32_t argb) {
    m_bkColor = argb;
    UpdateLook();
}

void CControlUI::SetBkImage(const QString& image) {
    m_bkImage = image;
    UpdateLook();
}
void CControlUI::SetNormalImage(const QString& image) {
    m_normalImage = image;
    UpdateLook();
}
void CControlUI::SetHotImage(const QString& image) {
    m_hotImage = image;
    UpdateLook();
}
void CControlUI::SetFocusedImage(const QString& image) {
    m_focusedImage = image;
    UpdateLook();
}
void CControlUI::SetPushedImage(const QString& image) {
    m_pushedImage = image;
    UpdateLook();
}

void CControlUI::Invalidate() {
    m_widget->update();
}

void CControlUI::SetStyleState(const char* state, bool on) {
    if (DynamicProperty(m_widget, state).toBool() == on)
        return;
    m_widget->setProperty(state, on);
    Repolish(m_widget);
}

bool CControlUI::GetStyleState(const char* state) const {
    return DynamicProperty(m_widget, state).toBool();
}

void CControlUI::UpdateLook() {
    // The layout's own style sheet of the widget is kept; the background colour is added as a rule
    // for this widget only, so child widgets keep theirs.
    QString sheet = m_baseStyleSheet;
    if (m_bkColor != 0) {
        if (!sheet.isEmpty() && !sheet.contains(QLatin1Char('{')))
            sheet = QStringLiteral("#%1 { %2 }").arg(GetName(), sheet);
        sheet += QStringLiteral("\n#%1 { background-color: %2; }").arg(GetName(), ArgbToCss(m_bkColor));
    }
    if (m_widget->styleSheet() != sheet)
        m_widget->setStyleSheet(sheet);
    const bool hasImage = !(m_bkImage.isEmpty() && m_normalImage.isEmpty() && m_hotImage.isEmpty() &&
                            m_focusedImage.isEmpty() && m_pushedImage.isEmpty());
    if (DynamicProperty(m_widget, "hasimage").toBool() != hasImage) {
        m_widget->setProperty("hasimage", hasImage);
        Repolish(m_widget);
    }
    m_widget->update();
}

void CControlUI::PaintImages() {
    QString state = m_normalImage;
    if (auto* button = qobject_cast<QAbstractButton*>(m_widget);
        button && button->isDown() && !m_pushedImage.isEmpty())
        state = m_pushedImage;
    else if (m_widget->hasFocus() && !m_focusedImage.isEmpty())
        state = m_focusedImage;
    else if (m_widget->underMouse() && !m_hotImage.isEmpty())
        state = m_hotImage;
    if (m_bkImage.isEmpty() && state.isEmpty())
        return;
    QPainter painter(m_widget);
    for (const QString& description : {m_bkImage, state}) {
        if (description.isEmpty())
            continue;
        const ImageDescription image = ImageDescription::Parse(description);
        const QPixmap pixmap = LoadResourceImage(image.file);
        if (pixmap.isNull())
            continue;
        painter.drawPixmap(image.dest.value_or(m_widget->rect()), pixmap);
    }
}

QString CControlUI::GetVirtualWnd() const {
    for (const QWidget* widget = m_widget; widget; widget = widget->parentWidget()) {
        const QVariant name = DynamicProperty(widget, kVirtualWndProperty);
        if (name.isValid() && !name.toString().isEmpty())
            return name.toString();
    }
    return {};
}

void CControlUI::SetVirtualWnd(const QString& name) {
    m_widget->setProperty(kVirtualWndProperty, name);
}

void CControlUI::SendNotify(const QString& type, std::uintptr_t wParam, std::intptr_t lParam) {
    if (m_manager)
        m_manager->SendNotify(this, type, wParam, lParam);
}

void CControlUI::OnFocusChanged(bool focused) {
    if (!m_focusedImage.isEmpty())
        m_widget->update();
    SendNotify(focused ? QStringLiteral("setfocus") : QStringLiteral("killfocus"));
}

void CControlUI::OnMouseCrossing(bool entered) {
    if (!m_hotImage.isEmpty())
        m_widget->update();
    SendNotify(entered ? QStringLiteral("mouseenter") : QStringLiteral("mouseleave"));
}

// ---------------------------------------------------------------------------------------------
// Labels and buttons

CLabelUI::CLabelUI(QWidget* widget) : CControlUI(widget) {}

CButtonUI::CButtonUI(QWidget* widget) : CControlUI(widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        QObject::connect(button, &QAbstractButton::clicked, button,
                         [this](bool checked) { OnClicked(checked); });
}

void CButtonUI::Activate() {
    if (auto* button = qobject_cast<QAbstractButton*>(m_widget))
        button->click();
    else
        OnClicked(false);
}

void CButtonUI::OnClicked(bool) {
    SendNotify(QStringLiteral("click"));
}

COptionUI::COptionUI(QWidget* widget) : CButtonUI(widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        // Groups are ours; Qt's own exclusivity would keep an option from being deselected by code.
        button->setCheckable(true);
        button->setAutoExclusive(false);
    }
}

QString COptionUI::GetGroup() const {
    return DynamicProperty(m_widget, kGroupProperty).toString();
}
void COptionUI::SetGroup(const QString& group) {
    m_widget->setProperty(kGroupProperty, group);
}

bool COptionUI::IsSelected() const {
    auto* button = qobject_cast<QAbstractButton*>(m_widget);
    return button && button->isChecked();
}

void COptionUI::SetSelectedState(bool selected) {
    if (auto* button = qobject_cast<QAbstractButton*>(m_widget)) {
        const QSignalBlocker block(button);
        button->setChecked(selected);
    }
    if (selected && m_manager && !GetGroup().isEmpty()) {
        for (COptionUI* other : m_manager->GetOptionGroup(GetGroup()))
            if (other != this)
                other->SetSelectedState(false);
    }
}

void COptionUI::Selected(bool selected, SelectNotify notify) {
    if (IsSelected() == selected)
        return;
    SetSelectedState(selected);
    if (notify == SelectNotify::Yes)
        SendNotify(QStringLiteral("selectchanged"));
}

void COptionUI::OnClicked(bool checked) {
    // Qt has already toggled the button. A grouped option stays selected when clicked again.
    const bool grouped = !GetGroup().isEmpty();
    if (grouped && !checked) {
        SetSelectedState(true);
        SendNotify(QStringLiteral("click"));
        return;
    }
    SetSelectedState(checked);
    SendNotify(QStringLiteral("click"));
    SendNotify(QStringLiteral("selectchanged"));
}

CCheckBoxUI::CCheckBoxUI(QWidget* widget) : CButtonUI(widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setCheckable(true);
}

bool CCheckBoxUI::GetCheck() const {
    auto* button = qobject_cast<QAbstractButton*>(m_widget);
    return button && button->isChecked();
}

void CCheckBoxUI::SetCheck(bool checked, SelectNotify notify) {
    if (GetCheck() == checked)
        return;
    if (auto* button = qobject_cast<QAbstractButton*>(m_widget)) {
        const QSignalBlocker block(button);
        button->setChecked(checked);
    }
    if (notify == SelectNotify::Yes)
        SendNotify(QStringLiteral("checkclick"));
}

void CCheckBoxUI::OnClicked(bool) {
    SendNotify(QStringLiteral("click"));
    SendNotify(QStringLiteral("checkclick"));
}

// ---------------------------------------------------------------------------------------------
// Progress bars and sliders

CProgressUI::CProgressUI(QWidget* widget) : CControlUI(widget) {
    m_textMode = TextMode::Plain;
}

int CProgressUI::GetValue() const {
    if (auto* bar = qobject_cast<QProgressBar*>(m_widget))
        return bar->value();
    if (auto* slider = qobject_cast<QAbstractSlider*>(m_widget))
        return slider->value();
    return 0;
}

void CProgressUI::SetValue(int value) {
    if (auto* bar = qobject_cast<QProgressBar*>(m_widget)) {
        bar->setValue(std::clamp(value, bar->minimum(), bar->maximum()));
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(m_widget)) {
        const QSignalBlocker block(slider);
        slider->setValue(value);
        slider->update();
    }
}

int CProgressUI::GetMinValue() const {
    if (auto* bar = qobject_cast<QProgressBar*>(m_widget))
        return bar->minimum();
    if (auto* slider = qobject_cast<QAbstractSlider*>(m_widget))
        return slider->minimum();
    return 0;
}

void CProgressUI::SetMinValue(int value) {
    if (auto* bar = qobject_cast<QProgressBar*>(m_widget)) {
        bar->setMinimum(value);
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(m_widget)) {
        const QSignalBlocker block(slider);
        slider->setMinimum(value);
    }
}

int CProgressUI::GetMaxValue() const {
    if (auto* bar = qobject_cast<QProgressBar*>(m_widget))
        return bar->maximum();
    if (auto* slider = qobject_cast<QAbstractSlider*>(m_widget))
        return slider->maximum();
    return 0;
}

void CProgressUI::SetMaxValue(int value) {
    if (auto* bar = qobject_cast<QProgressBar*>(m_widget)) {
        bar->setMaximum(value);
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(m_widget)) {
        const QSignalBlocker block(slider);
        slider->setMaximum(value);
    }
}

namespace {

// Positions of a slider with the logarithmic response: enough that every value keeps a position of
// its own across a range of a few thousand values.
constexpr int kLogPositions = 4000;

}  // namespace

CSliderUI::CSliderUI(QWidget* widget) : CProgressUI(widget) {
    auto* slider = qobject_cast<QAbstractSlider*>(widget);
    if (slider == nullptr)
        return;
    if (DynamicProperty(widget, "response").toString() == QLatin1String("logarithmic")) {
        m_logarithmic = true;
        m_min = slider->minimum();
        m_max = std::max(slider->maximum(), m_min + 1);
        m_pageUnits = std::max(1, slider->pageStep());
        const QSignalBlocker block(slider);
        const int value = slider->value();
        slider->setRange(0, kLogPositions);
        slider->setSingleStep(1);
        slider->setPageStep(1);
        slider->setValue(PositionOf(value));
        m_value = ValueAt(slider->value());
        // Keys (and the wheel, while the slider has the focus) step by whole units, which the
        // positions of the track do not match.
        QObject::connect(slider, &QAbstractSlider::actionTriggered, slider, [this, slider](int action) {
            int units = 0;
            switch (action) {
            case QAbstractSlider::SliderSingleStepAdd:
                units = 1;
                break;
            case QAbstractSlider::SliderSingleStepSub:
                units = -1;
                break;
            case QAbstractSlider::SliderPageStepAdd:
                units = m_pageUnits;
                break;
            case QAbstractSlider::SliderPageStepSub:
                units = -m_pageUnits;
                break;
            case QAbstractSlider::SliderMove:
                if (slider->isSliderDown())
                    return;
                units = slider->sliderPosition() > PositionOf(m_value) ? 1 : -1;
                break;
            default:
                return;
            }
            slider->setSliderPosition(PositionOf(std::clamp(m_value + units, m_min, m_max)));
        });
    }
    QObject::connect(slider, &QAbstractSlider::valueChanged, slider, [this](int position) {
        const int value = m_logarithmic ? ValueAt(position) : position;
        if (m_logarithmic && value == m_value)
            return;
        m_value = value;
        SendNotify(QStringLiteral("valuechanged"), std::uintptr_t(value));
    });
}

// The logarithmic response spreads the values over the track by the logarithm of their distance
// from the minimum plus a sixty-fourth of the range: the low end gets more of the track than with a
// straight line, without one value taking a large piece of it.
double CSliderUI::LogOffset() const {
    return std::max(1.0, (m_max - m_min) / 64.0);
}

int CSliderUI::PositionOf(int value) const {
    if (!m_logarithmic)
        return value;
    const double offset = LogOffset();
    const double span = std::log((m_max - m_min + offset) / offset);
    const double at = std::log((std::clamp(value, m_min, m_max) - m_min + offset) / offset);
    return static_cast<int>(std::lround(at / span * kLogPositions));
}

int CSliderUI::ValueAt(int position) const {
    if (!m_logarithmic)
        return position;
    const double offset = LogOffset();
    const double span = std::log((m_max - m_min + offset) / offset);
    const double value = m_min + offset * std::exp(span * position / kLogPositions) - offset;
    return std::clamp(static_cast<int>(std::lround(value)), m_min, m_max);
}

int CSliderUI::GetValue() const {
    if (!m_logarithmic)
        return CProgressUI::GetValue();
    return m_value;
}

void CSliderUI::SetValue(int value) {
    if (!m_logarithmic)
        return CProgressUI::SetValue(value);
    m_value = std::clamp(value, m_min, m_max);
    CProgressUI::SetValue(PositionOf(m_value));
}

int CSliderUI::GetMinValue() const {
    return m_logarithmic ? m_min : CProgressUI::GetMinValue();
}

int CSliderUI::GetMaxValue() const {
    return m_logarithmic ? m_max : CProgressUI::GetMaxValue();
}

// ---------------------------------------------------------------------------------------------
// Edits

CEditUI::CEditUI(QWidget* widget) : CControlUI(widget) {
    if (!DynamicProperty(widget, "textmode").isValid())
        m_textMode = TextMode::Plain;
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        QObject::connect(edit, &QLineEdit::textEdited, edit, [this](const QString& text) {
            m_rawText = text;
            SendNotify(QStringLiteral("textchanged"));
        });
        QObject::connect(edit, &QLineEdit::returnPressed, edit,
                         [this] { SendNotify(QStringLiteral("return")); });
    }
}

QString CEditUI::GetText() const {
    if (m_textMode == TextMode::LanguageKey)
        return CControlUI::GetText();
    auto* edit = qobject_cast<QLineEdit*>(m_widget);
    return edit ? edit->text() : m_rawText;
}

void CEditUI::RefreshText() {
    // A plain edit's text is the user's; only a programmatic SetText or a language key rewrites it.
    auto* edit = qobject_cast<QLineEdit*>(m_widget);
    const QString shown = m_textMode == TextMode::LanguageKey ? CControlUI::GetText() : m_rawText;
    if (edit && edit->text() != shown)
        edit->setText(shown);
}

void CEditUI::SetSel(int start, int end) {
    auto* edit = qobject_cast<QLineEdit*>(m_widget);
    if (!edit)
        return;
    const int length = int(edit->text().size());
    start = std::clamp(start < 0 ? length : start, 0, length);
    end = std::clamp(end < 0 ? length : end, 0, length);
    if (start == end)
        edit->setCursorPosition(end);
    else
        edit->setSelection(start, end - start);
}

std::pair<int, int> CEditUI::GetSel() const {
    auto* edit = qobject_cast<QLineEdit*>(m_widget);
    if (!edit)
        return {0, 0};
    if (!edit->hasSelectedText())
        return {edit->cursorPosition(), edit->cursorPosition()};
    return {edit->selectionStart(), edit->selectionEnd()};
}

void CEditUI::SetMaxChar(int count) {
    if (auto* edit = qobject_cast<QLineEdit*>(m_widget))
        edit->setMaxLength(count);
}

int CEditUI::GetMaxChar() const {
    auto* edit = qobject_cast<QLineEdit*>(m_widget);
    return edit ? edit->maxLength() : 0;
}

void CEditUI::SetReadOnly(bool readOnly) {
    if (auto* edit = qobject_cast<QLineEdit*>(m_widget))
        edit->setReadOnly(readOnly);
}

bool CEditUI::IsReadOnly() const {
    auto* edit = qobject_cast<QLineEdit*>(m_widget);
    return edit && edit->isReadOnly();
}

namespace {

// Swallows every key event of the edit it is installed on, before the edit, the focus chain or the
// window's shortcuts see it.
class KeySwallower : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Accepting the override keeps shortcuts from taking the key; the press then comes
            // here and ends below.
            event->accept();
            return true;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return true;
        default:
            return QObject::eventFilter(watched, event);
        }
    }
};

constexpr const char* kKeySwallowerName = "quillon_key_capture";

}  // namespace

void CEditUI::SetKeyCapture(bool capture) {
    auto* edit = qobject_cast<QLineEdit*>(m_widget);
    if (!edit || capture == IsKeyCapture())
        return;
    if (capture) {
        auto* swallower = new KeySwallower(edit);
        swallower->setObjectName(QString::fromLatin1(kKeySwallowerName));
        edit->installEventFilter(swallower);
        edit->setReadOnly(true);
    } else {
        delete edit->findChild<QObject*>(QString::fromLatin1(kKeySwallowerName), Qt::FindDirectChildrenOnly);
        edit->setReadOnly(false);
    }
}

bool CEditUI::IsKeyCapture() const {
    auto* edit = qobject_cast<QLineEdit*>(m_widget);
    return edit && edit->findChild<QObject*>(QString::fromLatin1(kKeySwallowerName),
                                             Qt::FindDirectChildrenOnly) != nullptr;
}

CRichEditUI::CRichEditUI(QWidget* widget) : CEditUI(widget) {}

// ---------------------------------------------------------------------------------------------
// Colour palette

CColorPaletteUI::CColorPaletteUI(QWidget* widget) : CControlUI(widget) {
    if (auto* palette = qobject_cast<ColorPaletteWidget*>(widget)) {
        QObject::connect(palette, &ColorPaletteWidget::ColorDragged, palette,
                         [this](std::uint32_t) { SendNotify(QStringLiteral("colorchanged")); });
        QObject::connect(palette, &ColorPaletteWidget::ButtonReleased, palette,
                         [this](std::uint32_t) { SendNotify(QStringLiteral("colorchangedbuttonup")); });
    }
}

std::uint32_t CColorPaletteUI::GetSelectColor() const {
    auto* palette = qobject_cast<ColorPaletteWidget*>(m_widget);
    return palette ? palette->SelectColor() : 0xFF000000u;
}

void CColorPaletteUI::SetSelectColor(std::uint32_t argb) {
    if (auto* palette = qobject_cast<ColorPaletteWidget*>(m_widget))
        palette->SetSelectColor(argb);
}

// ---------------------------------------------------------------------------------------------
// Containers

CContainerUI::CContainerUI(QWidget* widget) : CControlUI(widget) {}

QWidget* CContainerUI::Content() const {
    if (auto* scroll = qobject_cast<QScrollArea*>(m_widget); scroll && scroll->widget())
        return scroll->widget();
    return m_widget;
}

int CContainerUI::GetCount() const {
    int count = 0;
    if (QLayout* layout = Content()->layout()) {
        for (int i = 0; i < layout->count(); ++i)
            if (layout->itemAt(i)->widget())
                ++count;
    }
    return count;
}

CControlUI* CContainerUI::GetItemAt(int index) const {
    QLayout* layout = Content()->layout();
    if (!layout || !m_manager || index < 0)
        return nullptr;
    for (int i = 0; i < layout->count(); ++i) {
        if (QWidget* child = layout->itemAt(i)->widget()) {
            if (index-- == 0)
                return m_manager->FindControl(child);
        }
    }
    return nullptr;
}

int CContainerUI::GetItemIndex(CControlUI* control) const {
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (GetItemAt(i) == control)
            return i;
    return -1;
}

bool CContainerUI::Add(CControlUI* control) {
    return AddAt(control, GetCount());
}

bool CContainerUI::AddAt(CControlUI* control, int index) {
    auto* layout = qobject_cast<QBoxLayout*>(Content()->layout());
    if (!control || !layout || !m_manager)
        return false;
    m_manager->Adopt(control);
    // Translate the index among widgets into an index among layout items (spacers included).
    int position = layout->count();
    for (int i = 0, seen = 0; i < layout->count(); ++i) {
        if (layout->itemAt(i)->widget()) {
            if (seen++ == index) {
                position = i;
                break;
            }
        }
    }
    layout->insertWidget(position, control->GetWidget());
    control->GetWidget()->show();
    return true;
}

bool CContainerUI::Remove(CControlUI* control) {
    return RemoveAt(GetItemIndex(control));
}

bool CContainerUI::RemoveAt(int index) {
    CControlUI* control = GetItemAt(index);
    if (!control || !m_manager)
        return false;
    m_manager->Discard(control);
    return true;
}

void CContainerUI::RemoveAll() {
    while (GetCount() > 0)
        if (!RemoveAt(GetCount() - 1))
            break;
}

CControlUI* CContainerUI::FindSubControl(const QString& name) const {
    if (!m_manager)
        return nullptr;
    return m_manager->FindSubControlByName(this, name);
}

void CContainerUI::ScrollToEnd() {
    for (QWidget* widget = m_widget; widget; widget = widget->parentWidget()) {
        if (auto* scroll = qobject_cast<QAbstractScrollArea*>(widget)) {
            scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
            return;
        }
    }
}

void CContainerUI::EnsureVisible(CControlUI* control) {
    if (control == nullptr)
        return;
    for (QWidget* widget = m_widget; widget; widget = widget->parentWidget()) {
        auto* scroll = qobject_cast<QScrollArea*>(widget);
        if (scroll == nullptr || scroll->widget() == nullptr)
            continue;
        QWidget* target = control->GetWidget();
        if (!scroll->widget()->isAncestorOf(target))
            return;
        // A section just opened may not be laid out yet.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if (QLayout* layout = scroll->widget()->layout())
            layout->activate();
        // Scrolled as little as needed; a control taller than the view shows its top.
        const QRect rect(target->mapTo(scroll->widget(), QPoint(0, 0)), target->size());
        QScrollBar* bar = scroll->verticalScrollBar();
        const int height = scroll->viewport()->height();
        int top = bar->value();
        if (rect.bottom() + 1 > top + height)
            top = rect.bottom() + 1 - height;
        if (rect.top() < top)
            top = rect.top();
        bar->setValue(top);
        return;
    }
}

CTabLayoutUI::CTabLayoutUI(QWidget* widget) : CContainerUI(widget) {}

int CTabLayoutUI::GetCount() const {
    if (auto* stack = qobject_cast<QStackedWidget*>(m_widget))
        return stack->count();
    if (auto* tabs = qobject_cast<QTabWidget*>(m_widget))
        return tabs->count();
    return 0;
}

CControlUI* CTabLayoutUI::GetItemAt(int index) const {
    QWidget* page = nullptr;
    if (auto* stack = qobject_cast<QStackedWidget*>(m_widget))
        page = stack->widget(index);
    else if (auto* tabs = qobject_cast<QTabWidget*>(m_widget))
        page = tabs->widget(index);
    return page && m_manager ? m_manager->FindControl(page) : nullptr;
}

int CTabLayoutUI::GetCurSel() const {
    if (auto* stack = qobject_cast<QStackedWidget*>(m_widget))
        return stack->currentIndex();
    if (auto* tabs = qobject_cast<QTabWidget*>(m_widget))
        return tabs->currentIndex();
    return -1;
}

bool CTabLayoutUI::SelectItem(int index) {
    if (index < 0 || index >= GetCount())
        return false;
    if (auto* stack = qobject_cast<QStackedWidget*>(m_widget))
        stack->setCurrentIndex(index);
    else if (auto* tabs = qobject_cast<QTabWidget*>(m_widget))
        tabs->setCurrentIndex(index);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Lists and combo boxes

CListLabelElementUI::CListLabelElementUI() : CListLabelElementUI(new QLabel) {}

CListLabelElementUI::CListLabelElementUI(QWidget* widget) : CLabelUI(widget) {
    if (!DynamicProperty(widget, "textmode").isValid())
        m_textMode = TextMode::Plain;
    // Rows let clicks through to the list, which selects them.
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
}

CListContainerElementUI::CListContainerElementUI(QWidget* widget) : CContainerUI(widget) {
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
}

CListUI::CListUI(QWidget* widget) : CContainerUI(widget) {
    if (auto* list = qobject_cast<QListWidget*>(widget)) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        QObject::connect(list, &QListWidget::itemSelectionChanged, list, [this] { OnSelectionChanged(); });
        QObject::connect(list, &QListWidget::itemDoubleClicked, list, [this, list](QListWidgetItem* item) {
            const int row = list->row(item);
            if (row >= 0)
                SendNotify(QStringLiteral("itemactivate"), std::uintptr_t(row));
        });
    }
}

int CListUI::GetCount() const {
    auto* list = qobject_cast<QListWidget*>(m_widget);
    return list ? list->count() : 0;
}

CControlUI* CListUI::GetItemAt(int index) const {
    auto* list = qobject_cast<QListWidget*>(m_widget);
    if (!list || !m_manager || index < 0 || index >= list->count())
        return nullptr;
    return m_manager->FindControl(list->itemWidget(list->item(index)));
}

int CListUI::GetItemIndex(CControlUI* control) const {
    auto* list = qobject_cast<QListWidget*>(m_widget);
    if (!list || !control)
        return -1;
    for (int i = 0; i < list->count(); ++i)
        if (list->itemWidget(list->item(i)) == control->GetWidget())
            return i;
    return -1;
}

bool CListUI::Add(CControlUI* control) {
    return AddAt(control, GetCount());
}

bool CListUI::AddAt(CControlUI* control, int index) {
    auto* list = qobject_cast<QListWidget*>(m_widget);
    if (!list || !control || !m_manager)
        return false;
    index = std::clamp(index, 0, list->count());
    m_manager->Adopt(control);
    QWidget* row = control->GetWidget();
    // A row is placed in the list before it is measured: the style sheet then polishes it once,
    // in the list's context, instead of once loose and again when the list takes it over.
    if (row->parentWidget() != list->viewport())
        row->setParent(list->viewport());
    const QSignalBlocker block(list);
    auto* item = new QListWidgetItem;
    const int height =
        row->minimumHeight() == row->maximumHeight() ? row->minimumHeight() : row->sizeHint().height();
    item->setSizeHint(QSize(row->sizeHint().width(), height));
    list->insertItem(index, item);
    list->setItemWidget(item, row);
    if (m_curSel >= index)
        ++m_curSel;
    return true;
}

void CListUI::AddTextRow(const QString& text, int height) {
    auto* list = qobject_cast<QListWidget*>(m_widget);
    if (!list)
        return;
    const QSignalBlocker block(list);
    auto* item = new QListWidgetItem(text);
    // Rows span the list's width; only their height is the row's own.
    item->setSizeHint(QSize(0, height));
    list->addItem(item);
}

QString CListUI::GetRowText(int index) const {
    auto* list = qobject_cast<QListWidget*>(m_widget);
    if (!list || index < 0 || index >= list->count() || list->itemWidget(list->item(index)))
        return {};
    return list->item(index)->text();
}

void CListUI::SetRowText(int index, const QString& text) {
    auto* list = qobject_cast<QListWidget*>(m_widget);
    if (!list || index < 0 || index >= list->count() || list->itemWidget(list->item(index)))
        return;
    const QSignalBlocker block(list);
    list->item(index)->setText(text);
}

bool CListUI::Remove(CControlUI* control) {
    return RemoveAt(GetItemIndex(control));
}

bool CListUI::RemoveAt(int index) {
    auto* list = qobject_cast<QListWidget*>(m_widget);
    if (!list || index < 0 || index >= list->count() || !m_manager)
        return false;
    const QSignalBlocker block(list);
    QListWidgetItem* item = list->item(index);
    if (QWidget* row = list->itemWidget(item)) {
        if (CControlUI* control = m_manager->FindControl(row))
            m_manager->Discard(control);
    }
    delete list->takeItem(index);
    // Removing the selected row leaves no selection; rows below it move up by one.
    if (m_curSel == index)
        m_curSel = -1;
    else if (m_curSel > index)
        --m_curSel;
    ShowSelection(m_curSel);
    return true;
}

void CListUI::RemoveAll() {
    while (GetCount() > 0)
        RemoveAt(GetCount() - 1);
}

void CListUI::ShowSelection(int index) {
    auto* list = qobject_cast<QListWidget*>(m_widget);
    if (!list)
        return;
    const QSignalBlocker block(list);
    if (index < 0) {
        list->clearSelection();
        list->setCurrentRow(-1, QItemSelectionModel::Clear);
    } else {
        list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    }
}

bool CListUI::SelectItem(int index, SelectNotify notify) {
    if (index < 0 || index >= GetCount())
        return false;
    if (index == m_curSel)
        return true;
    const int previous = m_curSel;
    m_curSel = index;
    ShowSelection(index);
    if (notify == SelectNotify::Yes)
        SendNotify(QStringLiteral("itemselect"), std::uintptr_t(index), previous);
    return true;
}

void CListUI::OnSelectionChanged() {
    auto* list = qobject_cast<QListWidget*>(m_widget);
    const auto selected = list->selectedItems();
    if (selected.isEmpty()) {
        // A list keeps its selection; a user cannot clear it.
        ShowSelection(m_curSel);
        return;
    }
    const int index = list->row(selected.first());
    if (index == m_curSel)
        return;
    const int previous = m_curSel;
    m_curSel = index;
    SendNotify(QStringLiteral("itemselect"), std::uintptr_t(index), previous);
}

void CListUI::EnsureVisible(int index) {
    auto* list = qobject_cast<QListWidget*>(m_widget);
    if (list && index >= 0 && index < list->count())
        list->scrollToItem(list->item(index));
}

void CListUI::ScrollToEnd() {
    if (auto* list = qobject_cast<QListWidget*>(m_widget))
        list->scrollToBottom();
}

CComboUI::CComboUI(QWidget* widget) : CControlUI(widget) {
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        for (int i = 0; i < combo->count(); ++i)
            m_rawItems.append(combo->itemText(i));
        m_curSel = combo->currentIndex();
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo, [this](int index) {
            if (index < 0 || index == m_curSel)
                return;
            const int previous = m_curSel;
            m_curSel = index;
            SendNotify(QStringLiteral("itemselect"), std::uintptr_t(index), previous);
        });
    }
    RefreshText();
}

int CComboUI::GetCount() const {
    return int(m_rawItems.size());
}

void CComboUI::AddItem(const QString& text) {
    m_rawItems.append(text);
    if (auto* combo = qobject_cast<QComboBox*>(m_widget)) {
        const QSignalBlocker block(combo);
        combo->addItem(m_itemMode == TextMode::LanguageKey ? CResourceManager::GetInstance()->GetText(text)
                                                           : text);
        // Qt selects the first item added to an empty box; the selection stays the caller's.
        combo->setCurrentIndex(m_curSel);
    }
}

void CComboUI::RemoveAll() {
    m_rawItems.clear();
    m_curSel = -1;
    if (auto* combo = qobject_cast<QComboBox*>(m_widget)) {
        const QSignalBlocker block(combo);
        combo->clear();
    }
}

QString CComboUI::GetItemText(int index) const {
    if (index < 0 || index >= m_rawItems.size())
        return {};
    return m_itemMode == TextMode::LanguageKey ? CResourceManager::GetInstance()->GetText(m_rawItems[index])
                                               : m_rawItems[index];
}

int CComboUI::GetCurSel() const {
    return m_curSel;
}

bool CComboUI::SelectItem(int index, SelectNotify notify) {
    if (index < 0 || index >= GetCount())
        return false;
    if (index == m_curSel)
        return true;
    const int previous = m_curSel;
    m_curSel = index;
    if (auto* combo = qobject_cast<QComboBox*>(m_widget)) {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(index);
    }
    if (notify == SelectNotify::Yes)
        SendNotify(QStringLiteral("itemselect"), std::uintptr_t(index), previous);
    return true;
}

void CComboUI::SetItemTextMode(TextMode mode) {
    m_itemMode = mode;
    RefreshText();
}

void CComboUI::RefreshText() {
    auto* combo = qobject_cast<QComboBox*>(m_widget);
    if (!combo)
        return;
    for (int i = 0; i < m_rawItems.size() && i < combo->count(); ++i)
        combo->setItemText(i, GetItemText(i));
}

}  // namespace quillon
