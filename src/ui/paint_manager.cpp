#include "ui/paint_manager.h"

#include "platform/folders.h"
#include "platform/module.h"
#include "platform/services.h"
#include "ui/compiled_layouts.h"
#include "ui/fixed_wrap_label.h"
#include "ui/layout_reader.h"
#include "ui/palette_widget.h"
#include "ui/resource_manager.h"
#include "ui/window.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string_view>

namespace quillon {

// ---------------------------------------------------------------------------------------------
// Program-wide state

namespace {

void* g_instance = nullptr;
int g_resourceType = 1;
QString g_resourcePath;
bool g_resourcePathSet = false;

int g_loopDepth = 0;
bool g_quitPosted = false;
int g_quitCode = 0;

std::mutex g_ptrMutex;
std::unordered_map<void*, void (*)(void*)>& ptrRegistry() {
    static std::unordered_map<void*, void (*)(void*)> registry;
    return registry;
}

QWidget* CreateCustomWidget(const QString& className, QWidget* parent, const QString& name) {
    if (className == QLatin1String("ColorPalette")) {
        auto* palette = new ColorPaletteWidget(parent);
        palette->setObjectName(name);
        return palette;
    }
    if (className == QLatin1String("quillon::FixedWrapLabel")) {
        auto* label = new FixedWrapLabel(parent);
        label->setObjectName(name);
        return label;
    }
    return nullptr;
}

// The layout reader module, loaded with the first layout file that is not compiled in: from the
// program's plugin folder, or, for a program that is not installed and has none beside it (the
// tests' programs), where the build made it.
ReadLayoutFunction LayoutReader(QString* error) {
    // Loaded for the rest of the process: Qt keeps data of the loader's library to the end.
    static Module& module = *new Module;
    static ReadLayoutFunction read = nullptr;
    static std::string failure;
    if (read == nullptr && failure.empty()) {
        std::filesystem::path path = ProgramFolder() / kLayoutReaderModule;
        std::error_code ignored;
        if (!std::filesystem::exists(path, ignored) && !InstalledLayout())
            path = QUILLON_LAYOUT_READER_BUILT;
        module = Module::Load(path);
        read = module.Resolve<ReadLayoutFunction>(kReadLayoutExport);
        if (read == nullptr)
            failure = module.Error();  // the loader's words name the file
    }
    if (read == nullptr && error != nullptr)
        *error =
            QStringLiteral("the layout reader could not be loaded (%1)").arg(QString::fromStdString(failure));
    return read;
}

QWidget* LoadLayoutBytes(const QByteArray& bytes, const QString& file, QWidget* parent, LayoutError* error) {
    QString reason;
    QWidget* root = nullptr;
    if (ReadLayoutFunction read = LayoutReader(&reason))
        root = read(bytes, CPaintManagerUI::GetResourcePath(), parent, &CreateCustomWidget, &reason);
    if (!root && error)
        *error = LayoutError{file, reason};
    return root;
}

std::unique_ptr<CControlUI> CreateControlFor(QWidget* widget, bool rowRoot) {
    const QString kind = DynamicProperty(widget, "control").toString().toLower();
    if (kind == QLatin1String("option"))
        return std::make_unique<COptionUI>(widget);
    if (kind == QLatin1String("checkbox"))
        return std::make_unique<CCheckBoxUI>(widget);
    if (kind == QLatin1String("button"))
        return std::make_unique<CButtonUI>(widget);
    if (kind == QLatin1String("richedit"))
        return std::make_unique<CRichEditUI>(widget);
    if (kind == QLatin1String("edit"))
        return std::make_unique<CEditUI>(widget);
    if (kind == QLatin1String("label"))
        return std::make_unique<CLabelUI>(widget);
    if (kind == QLatin1String("ver"))
        return std::make_unique<CVerticalLayoutUI>(widget);
    if (kind == QLatin1String("hor"))
        return std::make_unique<CHorizontalLayoutUI>(widget);
    if (kind == QLatin1String("listrow") || (kind.isEmpty() && rowRoot))
        return std::make_unique<CListContainerElementUI>(widget);
    if (kind == QLatin1String("control"))
        return std::make_unique<CControlUI>(widget);

    if (qobject_cast<ColorPaletteWidget*>(widget))
        return std::make_unique<CColorPaletteUI>(widget);
    if (qobject_cast<QRadioButton*>(widget))
        return std::make_unique<COptionUI>(widget);
    if (qobject_cast<QCheckBox*>(widget))
        return std::make_unique<CCheckBoxUI>(widget);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        if (DynamicProperty(widget, "group").isValid())
            return std::make_unique<COptionUI>(widget);
        if (button->isCheckable())
            return std::make_unique<CCheckBoxUI>(widget);
        return std::make_unique<CButtonUI>(widget);
    }
    if (qobject_cast<QLabel*>(widget))
        return std::make_unique<CLabelUI>(widget);
    if (qobject_cast<QAbstractSlider*>(widget))
        return std::make_unique<CSliderUI>(widget);
    if (qobject_cast<QProgressBar*>(widget))
        return std::make_unique<CProgressUI>(widget);
    if (qobject_cast<QLineEdit*>(widget))
        return std::make_unique<CEditUI>(widget);
    if (qobject_cast<QComboBox*>(widget))
        return std::make_unique<CComboUI>(widget);
    if (qobject_cast<QListWidget*>(widget))
        return std::make_unique<CListUI>(widget);
    if (qobject_cast<QStackedWidget*>(widget) || qobject_cast<QTabWidget*>(widget))
        return std::make_unique<CTabLayoutUI>(widget);
    if (qobject_cast<QScrollArea*>(widget))
        return std::make_unique<CVerticalLayoutUI>(widget);
    if (qobject_cast<QVBoxLayout*>(widget->layout()))
        return std::make_unique<CVerticalLayoutUI>(widget);
    if (qobject_cast<QHBoxLayout*>(widget->layout()))
        return std::make_unique<CHorizontalLayoutUI>(widget);
    if (widget->layout())
        return std::make_unique<CContainerUI>(widget);
    return std::make_unique<CControlUI>(widget);
}

// Controls whose value the mouse wheel would change: they take the wheel only while they have the
// keyboard focus, which a click or Tab gives them. Otherwise the wheel scrolls the page, and a user
// scrolling past a slider or a combo box does not change it by accident.
bool ChangesValueOnWheel(const QWidget* widget) {
    if (qobject_cast<const QScrollBar*>(widget))
        return false;
    return qobject_cast<const QAbstractSlider*>(widget) || qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) || qobject_cast<const QLineEdit*>(widget);
}

// The wheel over such a control scrolls the nearest scroll area around it, as it would over the
// area's background.
void PassWheelToScrollArea(QWidget* widget, QWheelEvent* event) {
    for (QWidget* above = widget->parentWidget(); above; above = above->parentWidget()) {
        auto* area = qobject_cast<QAbstractScrollArea*>(above);
        if (area == nullptr)
            continue;
        QWidget* viewport = area->viewport();
        const QPointF position = widget->mapTo(viewport, event->position());
        QWheelEvent passed(position, event->globalPosition(), event->pixelDelta(), event->angleDelta(),
                           event->buttons(), event->modifiers(), event->phase(), event->inverted(),
                           event->source());
        QCoreApplication::sendEvent(viewport, &passed);
        return;
    }
}

bool IsWrappable(const QWidget* widget) {
    const QString name = widget->objectName();
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_"));
}

}  // namespace

// Watches the wrapped widgets for the events that become notifications or need our drawing.
class CPaintManagerUI::Events : public QObject {
public:
    explicit Events(CPaintManagerUI* manager) : m_manager(manager) {}
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* widget = static_cast<QWidget*>(object);
        CControlUI* control = m_manager->FindControl(widget);
        if (!control)
            return false;
        switch (event->type()) {
        case QEvent::Paint:
            control->PaintImages();
            break;
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            // A pop-up (a combo box's list, a menu) borrows the focus for a moment; that is not
            // the user leaving the control.
            if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
                control->OnFocusChanged(event->type() == QEvent::FocusIn);
            break;
        case QEvent::Wheel:
            if (ChangesValueOnWheel(widget) && !widget->hasFocus()) {
                PassWheelToScrollArea(widget, static_cast<QWheelEvent*>(event));
                return true;
            }
            break;
        case QEvent::Enter:
            control->OnMouseCrossing(true);
            break;
        case QEvent::Leave:
            control->OnMouseCrossing(false);
            break;
        case QEvent::KeyPress:
            if (qobject_cast<QListWidget*>(widget))
                return OnListKey(control, static_cast<QKeyEvent*>(event));
            break;
        default:
            break;
        }
        return false;
    }

private:
    // A list tells its owner about key presses; Delete and the arrows with Ctrl are the owner's
    // commands (acting on the selected row), so the list does not move its cursor for them.
    bool OnListKey(CControlUI* control, QKeyEvent* key) {
        const int code = key->key();
        const auto modifiers = static_cast<int>(key->modifiers());
        m_manager->SendNotify(control, QStringLiteral("keydown"), static_cast<std::uintptr_t>(code),
                              modifiers);
        return code == Qt::Key_Delete ||
               ((modifiers & Qt::ControlModifier) != 0 && (code == Qt::Key_Up || code == Qt::Key_Down));
    }

    CPaintManagerUI* m_manager;
};

void CPaintManagerUI::SetInstance(void* instance) {
    g_instance = instance;
}
void* CPaintManagerUI::GetInstance() {
    return g_instance;
}
void CPaintManagerUI::SetResourceType(int type) {
    g_resourceType = type;
}
int CPaintManagerUI::GetResourceType() {
    return g_resourceType;
}

QString CPaintManagerUI::GetInstancePath() {
    QString path = QCoreApplication::applicationDirPath();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

void CPaintManagerUI::SetResourcePath(const QString& path) {
    g_resourcePath = path;
    g_resourcePath.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!g_resourcePath.isEmpty() && !g_resourcePath.endsWith(QLatin1Char('/')))
        g_resourcePath += QLatin1Char('/');
    g_resourcePathSet = true;
}

QString CPaintManagerUI::GetResourcePath() {
    if (!g_resourcePathSet)
        return GetInstancePath() + QStringLiteral("res/");
    return g_resourcePath;
}

int CPaintManagerUI::MessageLoop() {
    if (g_quitPosted) {
        g_quitPosted = false;
        return g_quitCode;
    }
    // Windows hidden to the tray are not closed; only PostQuitMessage ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    ++g_loopDepth;
    const int code = QApplication::exec();
    --g_loopDepth;
    g_quitPosted = false;
    return code;
}

void PostQuitMessage(int exitCode) {
    g_quitCode = exitCode;
    if (g_loopDepth > 0) {
        QCoreApplication::exit(exitCode);
        return;
    }
    g_quitPosted = true;
}

bool IsQuitPosted() {
    return g_quitPosted;
}
void ResetQuitPosted() {
    g_quitPosted = false;
}

void CPaintManagerUI::Term() {
    std::unordered_map<void*, void (*)(void*)> records;
    {
        const std::lock_guard lock(g_ptrMutex);
        records.swap(ptrRegistry());
    }
    for (auto& [ptr, deleter] : records)
        deleter(ptr);
}

void CPaintManagerUI::RegisterPtr(void* ptr, void (*deleter)(void*)) {
    const std::lock_guard lock(g_ptrMutex);
    ptrRegistry().emplace(ptr, deleter);
}

void CPaintManagerUI::DeletePtr(void* ptr) {
    void (*deleter)(void*) = nullptr;
    {
        const std::lock_guard lock(g_ptrMutex);
        auto it = ptrRegistry().find(ptr);
        if (it == ptrRegistry().end())
            return;
        deleter = it->second;
        ptrRegistry().erase(it);
    }
    deleter(ptr);
}

std::size_t CPaintManagerUI::OutstandingPtrs() {
    const std::lock_guard lock(g_ptrMutex);
    return ptrRegistry().size();
}

// ---------------------------------------------------------------------------------------------
// One window's manager

// Takes the key events meant for one window, whichever of its widgets has the focus, before they
// reach it: an application-wide filter runs ahead of the receiver's own handling.
class CPaintManagerUI::KeyboardBlock : public QObject {
public:
    explicit KeyboardBlock(CPaintManagerUI* manager) : m_manager(manager) { qApp->installEventFilter(this); }
    ~KeyboardBlock() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* object, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride: {
            auto* widget = qobject_cast<QWidget*>(object);
            QWidget* root = m_manager->m_root;
            return widget != nullptr && root != nullptr && widget->window() == root->window();
        }
        default:
            return false;
        }
    }

private:
    CPaintManagerUI* m_manager;
};

void CPaintManagerUI::SetKeyboardIgnored(bool ignored) {
    if (!ignored)
        m_keyboardBlock.reset();
    else if (!m_keyboardBlock)
        m_keyboardBlock = std::make_unique<KeyboardBlock>(this);
}

CPaintManagerUI::CPaintManagerUI() : m_events(std::make_unique<Events>(this)) {
    m_languageListener = CResourceManager::GetInstance()->AddLanguageListener([this] { RefreshTexts(); });
}

CPaintManagerUI::~CPaintManagerUI() {
    m_keyboardBlock.reset();
    CResourceManager::GetInstance()->RemoveLanguageListener(m_languageListener);
    RemoveAllTimers();
    m_notifiers.clear();
    for (auto& widget : m_detached)
        if (widget && !widget->parent())
            delete widget.data();
    delete m_graveyard.data();
    delete m_holder.data();
    // Disconnects the destroyed() watches before the wrappers go.
    m_events.reset();
    m_controls.clear();
}

void CPaintManagerUI::Init(QWidget* root, WindowImplBase* window) {
    m_root = root;
    m_window = window;
    Wrap(root);
    for (QWidget* child : root->findChildren<QWidget*>())
        if (IsWrappable(child))
            Wrap(child);
    RefreshTexts();
}

CControlUI* CPaintManagerUI::GetRoot() const {
    return m_root ? FindControl(m_root.data()) : nullptr;
}

HWND CPaintManagerUI::GetPaintWindow() const {
    return m_window ? m_window->GetHWND() : nullptr;
}

CControlUI* CPaintManagerUI::Wrap(QWidget* widget) {
    if (auto it = m_controls.find(widget); it != m_controls.end())
        return it->second.get();
    const bool rowRoot = DynamicProperty(widget, "quillon_row_root").toBool();
    auto control = CreateControlFor(widget, rowRoot);
    CControlUI* raw = control.get();
    raw->AttachTo(this);
    m_controls.emplace(widget, std::move(control));
    Watch(widget);
    return raw;
}

void CPaintManagerUI::Watch(QWidget* widget) {
    widget->installEventFilter(m_events.get());
    QObject::connect(widget, &QObject::destroyed, m_events.get(), [this, widget] { Forget(widget); });
    // The wheel must not hand the focus over either (combo boxes take it from the wheel by default).
    if (ChangesValueOnWheel(widget) && (widget->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus)
        widget->setFocusPolicy(Qt::StrongFocus);
    // A control marked "keepplace" in the layout keeps its room when hidden, so that its
    // neighbours do not jump.
    if (DynamicProperty(widget, "keepplace").toBool()) {
        QSizePolicy policy = widget->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widget->setSizePolicy(policy);
    }
}

void CPaintManagerUI::Forget(QWidget* widget) {
    auto it = m_controls.find(widget);
    if (it == m_controls.end())
        return;
    KillTimer(it->second.get());
    // Hand ownership out of the map first: the wrapper's destructor must not find itself there.
    std::unique_ptr<CControlUI> control = std::move(it->second);
    m_controls.erase(it);
}

CControlUI* CPaintManagerUI::AdoptTree(QWidget* root) {
    CControlUI* control = Wrap(root);
    control->RefreshText();
    for (QWidget* child : root->findChildren<QWidget*>())
        if (IsWrappable(child))
            Wrap(child)->RefreshText();
    if (!root->parent()) {
        // Trees built for lists are parented (or deleted) soon; keep only those still loose.
        if (m_detached.size() >= 64)
            m_detached.erase(
                std::remove_if(m_detached.begin(), m_detached.end(),
                               [](const QPointer<QWidget>& tree) { return !tree || tree->parent(); }),
                m_detached.end());
        m_detached.emplace_back(root);
    }
    return control;
}

void CPaintManagerUI::Adopt(CControlUI* control) {
    QWidget* widget = control->GetWidget();
    if (auto it = m_controls.find(widget); it != m_controls.end()) {
        if (it->second.get() != control) {
            // A control created with new for a widget that is already wrapped: the new one wins.
            it->second.reset(control);
            control->AttachTo(this);
            control->RefreshText();
        }
        return;
    }
    control->AttachTo(this);
    m_controls.emplace(widget, std::unique_ptr<CControlUI>(control));
    Watch(widget);
    for (QWidget* child : widget->findChildren<QWidget*>())
        if (IsWrappable(child))
            Wrap(child);
    control->RefreshText();
}

void CPaintManagerUI::Discard(CControlUI* control) {
    QWidget* widget = control->GetWidget();
    if (!m_timers.empty()) {
        KillTimer(control);
        for (QWidget* child : widget->findChildren<QWidget*>())
            if (CControlUI* wrapper = FindControl(child))
                KillTimer(wrapper);
    }
    if (!m_graveyard)
        m_graveyard = new QWidget;
    widget->hide();
    widget->setParent(m_graveyard);
    // Deleted from the event loop, so a control that is sending a notification outlives it.
    widget->deleteLater();
}

void CPaintManagerUI::RefreshTexts() {
    for (auto& [widget, control] : m_controls) {
        control->RefreshText();
        // A tooltip written in the layout is a language key too; the key is kept so that the
        // tooltip follows a language file loaded later.
        QWidget* target = control->GetWidget();
        QVariant key = DynamicProperty(target, "quillon_tooltip_key");
        if (!key.isValid() && !target->toolTip().isEmpty()) {
            key = target->toolTip();
            target->setProperty("quillon_tooltip_key", key);
        }
        if (key.isValid())
            target->setToolTip(CResourceManager::GetInstance()->GetText(key.toString()));
        // So is the hint an empty edit shows.
        const QMetaProperty hint = DeclaredProperty(target->metaObject(), "placeholderText");
        if (!hint.isValid())
            continue;
        QVariant hintKey = DynamicProperty(target, "quillon_placeholder_key");
        if (!hintKey.isValid()) {
            const QString written = hint.read(target).toString();
            if (!written.isEmpty()) {
                hintKey = written;
                target->setProperty("quillon_placeholder_key", hintKey);
            }
        }
        if (hintKey.isValid())
            hint.write(target, CResourceManager::GetInstance()->GetText(hintKey.toString()));
    }
}

CControlUI* CPaintManagerUI::FindControl(const QWidget* widget) const {
    auto it = m_controls.find(widget);
    return it == m_controls.end() ? nullptr : it->second.get();
}

namespace {
// Visits the tree breadth first (below `root`, or from it) until `stop` holds for a widget, which
// is returned; null when it never does.
template <class Stop> QWidget* VisitBreadthFirst(QWidget* root, bool includeRoot, Stop stop) {
    std::deque<QWidget*> queue;
    if (includeRoot)
        queue.push_back(root);
    else
        for (QObject* child : root->children())
            if (child->isWidgetType())
                queue.push_back(static_cast<QWidget*>(child));
    while (!queue.empty()) {
        QWidget* widget = queue.front();
        queue.pop_front();
        if (stop(widget))
            return widget;
        for (QObject* child : widget->children())
            if (child->isWidgetType())
                queue.push_back(static_cast<QWidget*>(child));
    }
    return nullptr;
}

QWidget* FindBreadthFirst(QWidget* root, const QString& name, bool includeRoot) {
    return VisitBreadthFirst(root, includeRoot,
                             [&name](const QWidget* widget) { return widget->objectName() == name; });
}
}  // namespace

QHash<QString, CControlUI*> CPaintManagerUI::NameIndex() const {
    QHash<QString, CControlUI*> index;
    if (!m_root)
        return index;
    // In FindControlByName's order: the window's tree breadth first, then what is held back.
    const auto add = [this, &index](const QWidget* widget) {
        if (const QString name = widget->objectName(); !name.isEmpty() && !index.contains(name))
            if (CControlUI* control = FindControl(widget))
                index.insert(name, control);
        return false;
    };
    VisitBreadthFirst(m_root.data(), true, add);
    if (m_holder)
        VisitBreadthFirst(m_holder.data(), false, add);
    return index;
}

CControlUI* CPaintManagerUI::FindControlByName(const QString& name) const {
    if (!m_root || name.isEmpty())
        return nullptr;
    QWidget* widget = FindBreadthFirst(m_root.data(), name, true);
    if (!widget && m_holder)
        widget = FindBreadthFirst(m_holder.data(), name, false);
    return widget ? FindControl(widget) : nullptr;
}

CControlUI* CPaintManagerUI::FindSubControlByName(const CControlUI* parent, const QString& name) const {
    if (!parent || name.isEmpty())
        return nullptr;
    QWidget* below = parent->GetWidget();
    QWidget* widget = FindBreadthFirst(below, name, false);
    // A held-back part still counts as inside the widget it was taken from.
    for (const HeldBack& held : m_heldBack) {
        if (widget)
            break;
        if (held.widget && held.parent && (held.parent == below || below->isAncestorOf(held.parent)))
            widget = FindBreadthFirst(held.widget.data(), name, true);
    }
    return widget ? FindControl(widget) : nullptr;
}

void CPaintManagerUI::HoldBackBelowFold() {
    if (!m_root || !m_heldBack.empty())
        return;
    const auto marked = [](const QWidget* widget) { return DynamicProperty(widget, "belowfold").toBool(); };
    for (QWidget* widget : m_root->findChildren<QWidget*>()) {
        if (!marked(widget))
            continue;
        bool inside = false;  // a part inside a held-back part goes with it
        for (QWidget* up = widget->parentWidget(); up && up != m_root && !inside; up = up->parentWidget())
            inside = marked(up);
        QWidget* parent = widget->parentWidget();
        auto* layout = parent ? qobject_cast<QBoxLayout*>(parent->layout()) : nullptr;
        const int index = layout ? layout->indexOf(widget) : -1;
        if (inside || index < 0)
            continue;
        m_heldBack.push_back(
            {widget, parent, index, layout->stretch(index), layout->itemAt(index)->alignment(), {}});
    }
    if (m_heldBack.empty())
        return;
    std::stable_sort(m_heldBack.begin(), m_heldBack.end(),
                     [](const HeldBack& a, const HeldBack& b) { return a.index < b.index; });
    m_holder = new QWidget;
    for (HeldBack& held : m_heldBack) {
        // Its layout lets go of a widget given another parent.
        held.widget->setParent(m_holder);
        // A scroll area sizes its content while the layout is built, which polishes it with the
        // style of that moment. A style (sheet) applied to the program polishes every polished
        // widget again: not these, which the window's style reaches when they are put back.
        QList<QWidget*> tree = held.widget->findChildren<QWidget*>();
        tree.prepend(held.widget);
        for (QWidget* widget : tree) {
            if (widget->testAttribute(Qt::WA_WState_Polished)) {
                widget->setAttribute(Qt::WA_WState_Polished, false);
                held.polished.emplace_back(widget);
            }
        }
    }
}

bool CPaintManagerUI::RestoreBelowFold(std::size_t parts) {
    // Back in the order they stood (HoldBackBelowFold keeps them so), so that each index counts
    // the ones before it.
    while (parts-- > 0 && !m_heldBack.empty()) {
        const HeldBack part = std::move(m_heldBack.front());
        m_heldBack.erase(m_heldBack.begin());
        for (const QPointer<QWidget>& widget : part.polished)
            if (widget)
                widget->setAttribute(Qt::WA_WState_Polished, true);
        auto* layout = part.parent ? qobject_cast<QBoxLayout*>(part.parent->layout()) : nullptr;
        if (!part.widget || !layout)
            continue;
        const bool hidden =
            part.widget->isHidden() && part.widget->testAttribute(Qt::WA_WState_ExplicitShowHide);
        // Taking the window's parent, the tree takes its style too and is polished with it.
        layout->insertWidget(std::min(part.index, layout->count()), part.widget, part.stretch,
                             part.alignment);
        if (!hidden && part.parent->isVisible())
            part.widget->show();
    }
    if (!m_heldBack.empty())
        return true;
    // Anything left (its place is gone) goes with the holder.
    delete m_holder.data();
    return false;
}

std::vector<COptionUI*> CPaintManagerUI::GetOptionGroup(const QString& group) const {
    std::vector<COptionUI*> options;
    for (auto& [widget, control] : m_controls)
        if (auto* option = dynamic_cast<COptionUI*>(control.get()); option && option->GetGroup() == group)
            options.push_back(option);
    return options;
}

void CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
    if (std::find(m_notifiers.begin(), m_notifiers.end(), notifier) == m_notifiers.end())
        m_notifiers.push_back(notifier);
}

void CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
    m_notifiers.erase(std::remove(m_notifiers.begin(), m_notifiers.end(), notifier), m_notifiers.end());
}

void CPaintManagerUI::SendNotify(CControlUI* control, const QString& type, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
    TNotifyUI msg;
    msg.sType = type;
    msg.pSender = control;
    msg.sVirtualWnd = control ? control->GetVirtualWnd() : QString();
    msg.wParam = wParam;
    msg.lParam = lParam;
    // A handler may add or remove notifiers; those removed meanwhile are skipped.
    const auto notifiers = m_notifiers;
    for (INotifyUI* notifier : notifiers)
        if (std::find(m_notifiers.begin(), m_notifiers.end(), notifier) != m_notifiers.end())
            notifier->Notify(msg);
}

bool CPaintManagerUI::SetTimer(CControlUI* control, UINT id, UINT elapseMs) {
    if (!control)
        return false;
    KillTimer(control, id);
    const TimerId serviceId =
        services().timers().StartTimer(std::max(elapseMs, USER_TIMER_MINIMUM), [this, control, id] {
            SendNotify(control, QStringLiteral("timer"), id);
        });
    m_timers.push_back(Timer{control, id, serviceId});
    return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* control, UINT id) {
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->control == control && it->id == id) {
            services().timers().StopTimer(it->serviceId);
            m_timers.erase(it);
            return true;
        }
    }
    return false;
}

void CPaintManagerUI::KillTimer(CControlUI* control) {
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->control == control) {
            services().timers().StopTimer(it->serviceId);
            it = m_timers.erase(it);
        } else {
            ++it;
        }
    }
}

void CPaintManagerUI::RemoveAllTimers() {
    for (const Timer& timer : m_timers)
        services().timers().StopTimer(timer.serviceId);
    m_timers.clear();
}

QString CPaintManagerUI::ResolveResource(const QString& file) {
    return QFileInfo(file).isAbsolute() ? file : GetResourcePath() + file;
}

// ---------------------------------------------------------------------------------------------
// Layout files

QWidget* LoadLayout(const QString& file, QWidget* parent, LayoutError* error) {
    QFile in(CPaintManagerUI::ResolveResource(file));
    if (!in.open(QIODevice::ReadOnly)) {
        if (error)
            *error = LayoutError{in.fileName(), QStringLiteral("cannot open it: %1").arg(in.errorString())};
        return nullptr;
    }
    const QByteArray bytes = in.readAll();
    // Built from C++ while the file reads as it did when the program was built.
    if (const CompiledLayout* compiled = FindCompiledLayout(file);
        compiled &&
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())) == compiled->source)
        return compiled->build(parent);
    // The error names the file as it was looked for, so that the log says where.
    return LoadLayoutBytes(bytes, in.fileName(), parent, error);
}

CControlUI* CDialogBuilder::Create(const QString& xml, const QString& /*type*/, void* /*callback*/,
                                   CPaintManagerUI* manager, CControlUI* parent) {
    if (!manager)
        return nullptr;
    // Row layouts are built many times in a row (one per list row); read each file once.
    static QHash<QString, QByteArray> cache;
    const QString path = CPaintManagerUI::ResolveResource(xml);
    auto it = cache.find(path);
    if (it == cache.end()) {
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            return nullptr;
        it = cache.insert(path, in.readAll());
    }
    QWidget* root = LoadLayoutBytes(*it, xml, nullptr, nullptr);
    if (!root)
        return nullptr;
    root->setProperty("quillon_row_root", true);
    CControlUI* control = manager->AdoptTree(root);
    if (auto* container = dynamic_cast<CContainerUI*>(parent))
        container->Add(control);
    return control;
}

}  // namespace quillon
