#include "ui/window.h"

#include "ui/resource_manager.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <vector>

namespace quillon {

namespace {

QHash<HWND, WindowImplBase*>& LiveWindows() {
    static QHash<HWND, WindowImplBase*> windows;
    return windows;
}

ModalScript* g_modalScript = nullptr;
bool g_holdBackBelowFold = false;

// The shared look: "theme.qss" of the resource folder, applied once per resource folder, the
// first time when the first window is built.
//
// Qt polishes the widgets that are polished already again (a scroll area polishes its content
// while its layout is built), and tells every widget that has no style of its own that the style
// changed; a widget hearing that works out the sheet's margins and sizes for itself (about 0.1 M
// instructions each). That is wasted on the widgets not polished yet (the window's, and the parts
// it holds back below the fold): the sheet polishes them when they are first shown or join the
// window, as it does every widget made after it. They are marked as having a style of their own
// while the sheet is applied, so that the change passes them by.
void ApplyTheme() {
    static QString applied;
    const QString path = CPaintManagerUI::GetResourcePath() + QStringLiteral("theme.qss");
    if (applied == path)
        return;
    applied = path;
    // The sheet addresses images as "res:skins/...".
    QDir::setSearchPaths(QStringLiteral("res"), {CPaintManagerUI::GetResourcePath()});
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    std::vector<QWidget*> unpolished;
    for (QWidget* widget : QApplication::allWidgets()) {
        if (!widget->testAttribute(Qt::WA_WState_Polished) && !widget->testAttribute(Qt::WA_SetStyle)) {
            widget->setAttribute(Qt::WA_SetStyle, true);
            unpolished.push_back(widget);
        }
    }
    qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
    for (QWidget* widget : unpolished)
        widget->setAttribute(Qt::WA_SetStyle, false);
}

QRect ParseCaption(const QVariant& value) {
    const auto parts = value.toString().split(QLatin1Char(','));
    if (parts.size() != 4)
        return {};
    int numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return {};
    }
    // left, top, right (distance from the right edge, 0 = full width), bottom (the caption's height).
    return QRect(QPoint(numbers[0], numbers[1]), QPoint(-numbers[2], numbers[3]));
}

}  // namespace

void SetModalScript(ModalScript* script) {
    g_modalScript = script;
}

QSize GetScreenSize() {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize();
}

QPoint GetCursorPos() {
    return QCursor::pos();
}
ModalScript* GetModalScript() {
    return g_modalScript;
}

// The top-level widget of a window: hosts the layout, turns the window manager's close into
// WM_CLOSE, lets the caption area drag the window and gives a modal window its keys.
class HostWidget : public QWidget {
public:
    HostWidget(WindowImplBase* owner, QWidget* parent, Qt::WindowFlags flags)
        : QWidget(parent, flags), m_owner(owner) {}
    void Detach() { m_owner = nullptr; }
    QRect caption;

protected:
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        // Parts held back wait for the window's first paint; its expose is where it paints.
        if (m_owner && m_owner->m_pm.HoldsBackBelowFold() && windowHandle() && !m_watchingExpose) {
            m_watchingExpose = true;
            windowHandle()->installEventFilter(this);
        }
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed()) {
            windowHandle()->removeEventFilter(this);
            // Queued: the window paints what it shows when this expose is handled, and the held
            // parts are added once that frame is out.
            QTimer::singleShot(0, this, [this] { RestoreNextPart(); });
        }
        return QWidget::eventFilter(watched, event);
    }
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        if (m_owner)
            m_owner->PostMessage(WM_CLOSE, 0, 0);
    }
    void keyPressEvent(QKeyEvent* event) override {
        // Keys that no control took: Esc and Enter answer a modal window.
        if (m_owner && m_owner->IsModalRunning() && m_owner->OnDialogKey(event->key()))
            return;
        QWidget::keyPressEvent(event);
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton || !InDragArea(event->position().toPoint()))
            return QWidget::mousePressEvent(event);
        if (windowHandle() && windowHandle()->startSystemMove())
            return;
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
        m_dragging = true;
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (m_dragging)
            move(event->globalPosition().toPoint() - m_dragOffset);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        m_dragging = false;
        QWidget::mouseReleaseEvent(event);
    }

private:
    // One part at a time, each in a turn of the event loop of its own, so that the window
    // answers the user between them.
    void RestoreNextPart() {
        if (m_owner && m_owner->m_pm.RestoreBelowFold(1))
            QTimer::singleShot(0, this, [this] { RestoreNextPart(); });
    }
    // The caption drags the window. A window whose layout names no caption is dragged by its
    // background: a press that no control of it took reaches this widget.
    bool InDragArea(QPoint point) const {
        if (caption.isNull() && caption.bottom() <= 0)
            return true;
        const int right = width() + caption.right();  // caption.right() holds minus the right inset
        return point.x() >= caption.left() && point.x() < right && point.y() >= caption.top() &&
               point.y() < caption.bottom();
    }

    WindowImplBase* m_owner;
    bool m_watchingExpose = false;
    bool m_dragging = false;
    QPoint m_dragOffset;
};

WindowImplBase::WindowImplBase() {
    BindNotify(QStringLiteral("click"), &WindowImplBase::OnClick);
}

WindowImplBase::~WindowImplBase() {
    // The derived window is already gone: nothing may reach its handlers any more.
    m_pm.RemoveNotifier(this);
    if (m_host)
        m_host->hide();
    if (m_handle)
        LiveWindows().remove(m_handle);
    m_messages.reset();
    if (m_host) {
        m_host->Detach();
        delete m_host.data();
    }
}

void WindowImplBase::Notify(TNotifyUI& msg) {
    NotifyPump(msg);
}
void WindowImplBase::OnClick(TNotifyUI&) {}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

void WindowImplBase::OnFinalMessage(HWND) {}

HWND WindowImplBase::Create(HWND parent, const QString& name, DWORD style, DWORD exStyle, int x, int y,
                            int cx, int cy) {
    if (m_handle)
        return m_handle;
    WindowImplBase* owner = FromHandle(parent);
    Qt::WindowFlags flags = Qt::FramelessWindowHint;
    flags |= (exStyle & WS_EX_TOOLWINDOW) ? Qt::Tool : (owner ? Qt::Dialog : Qt::Window);
    if (exStyle & WS_EX_TOPMOST)
        flags |= Qt::WindowStaysOnTopHint;
    auto* host = new HostWidget(this, owner ? owner->GetHostWidget() : nullptr, flags);
    host->setObjectName(GetWindowClassName());

    LayoutError error;
    QWidget* root = LoadLayout(GetSkinFile(), host, &error);
    if (!root) {
        qWarning("quillon: window %s: layout %s not built: %s", qUtf8Printable(GetWindowClassName()),
                 qUtf8Printable(error.file), qUtf8Printable(error.reason));
        host->Detach();
        delete host;
        return nullptr;
    }
    m_host = host;
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(root);
    // The layout's own size decides the window's size; a resizable layout says so.
    QSize size = root->size().isValid() && !root->size().isEmpty() ? root->size() : QSize(cx, cy);
    if (root->property("resizable").toBool()) {
        host->resize(size);
    } else {
        host->setFixedSize(size);
    }
    host->move(x, y);
    host->caption = ParseCaption(root->property("caption"));
    host->setWindowTitle(name);
    // Keep the keyboard off the first edit when the window appears: a control gets the focus only
    // when the user (or the program) gives it.
    host->setFocusPolicy(Qt::ClickFocus);
    host->setFocus();

    m_messages = std::make_unique<MessageWindow>([this](UINT message, WPARAM wParam, LPARAM lParam) {
        return HandleMessage(message, wParam, lParam);
    });
    m_handle = m_messages->handle();
    LiveWindows().insert(m_handle, this);
    m_closeRequested = false;
    m_closeCode = 0;
    m_destroying = false;

    m_pm.Init(root, this);
    m_pm.AddNotifier(this);
    InitWindow();
    if (g_holdBackBelowFold)
        m_pm.HoldBackBelowFold();
    // The theme is applied once the first tree is built and filled: style sheet rules are then
    // matched once per widget, not again at every step of building the tree and setting its texts
    // and values.
    ApplyTheme();

    if ((style & WS_VISIBLE) && m_host) {
        const bool scripted = g_modalScript && g_modalScript->Intercepts(GetWindowClassName());
        if (!scripted)
            m_host->show();
    }
    return m_handle;
}

HWND WindowImplBase::GetHWND() const {
    return m_handle;
}
QWidget* WindowImplBase::GetHostWidget() const {
    return m_host.data();
}

WindowImplBase* WindowImplBase::FromHandle(HWND handle) {
    if (!handle)
        return nullptr;
    return LiveWindows().value(handle, nullptr);
}

void WindowImplBase::SetHoldBackBelowFold(bool on) {
    g_holdBackBelowFold = on;
}

bool WindowImplBase::AnyModalRunning() {
    for (WindowImplBase* window : LiveWindows())
        if (window->IsModalRunning())
            return true;
    return QApplication::activeModalWidget() != nullptr;
}

WindowImplBase* WindowImplBase::FindWindowByClass(const QString& className) {
    for (WindowImplBase* window : LiveWindows())
        if (window->GetWindowClassName() == className)
            return window;
    return nullptr;
}

void WindowImplBase::CenterWindow() {
    if (!m_host)
        return;
    QRect area;
    if (QWidget* owner = m_host->parentWidget(); owner && owner->isVisible())
        area = owner->window()->frameGeometry();
    else if (QScreen* screen = m_host->screen() ? m_host->screen() : QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isEmpty())
        return;
    QRect frame = m_host->frameGeometry();
    frame.moveCenter(area.center());
    m_host->move(frame.topLeft());
}

void WindowImplBase::KeepInsideScreen() {
    if (!m_host)
        return;
    // The screen that holds the owner (the main window), so that a dialog opened from a window low
    // on the screen still shows its buttons; without an owner the screen under the window.
    QScreen* screen = nullptr;
    if (QWidget* owner = m_host->parentWidget())
        screen = owner->window()->screen();
    if (screen == nullptr)
        screen = QGuiApplication::screenAt(m_host->frameGeometry().center());
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    QRect frame = m_host->frameGeometry();
    if (frame.right() > area.right())
        frame.moveRight(area.right());
    if (frame.bottom() > area.bottom())
        frame.moveBottom(area.bottom());
    // A window larger than the screen keeps its top-left corner (its title and first controls) on it.
    if (frame.left() < area.left())
        frame.moveLeft(area.left());
    if (frame.top() < area.top())
        frame.moveTop(area.top());
    if (frame.topLeft() != m_host->frameGeometry().topLeft())
        m_host->move(m_host->pos() + (frame.topLeft() - m_host->frameGeometry().topLeft()));
}

bool WindowImplBase::OnDialogKey(int key) {
    const QWidget* root = m_pm.GetRoot() ? m_pm.GetRoot()->GetWidget() : nullptr;
    auto clickNamed = [&](const char* property) {
        const QString name = root ? root->property(property).toString() : QString();
        auto* button = name.isEmpty() ? nullptr : m_pm.FindControl<CButtonUI>(name);
        if (button == nullptr || !button->IsEnabled())
            return false;
        button->Activate();
        return true;
    };
    switch (key) {
    case Qt::Key_Escape:
        // The cancel button runs the window's own cancel; a window without one just closes.
        if (!clickNamed("cancelbutton"))
            Close(0);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return clickNamed("okbutton");
    default:
        return false;
    }
}

int WindowImplBase::ShowModal() {
    if (!m_host || !m_handle)
        return -1;
    const HWND handle = m_handle;
    KeepInsideScreen();
    if (g_modalScript) {
        // Tests answer modal windows without a nested loop.
        m_modalScripted = true;
        const bool answered = g_modalScript->Answer(*this);
        if (m_closeRequested && !m_destroying)
            HandleMessage(WM_CLOSE, WPARAM(m_closeCode), 0);
        if (!m_destroying)
            DestroyWindow();
        m_modalScripted = false;
        const int code = answered && m_closeRequested ? m_closeCode : -1;
        FinishModal();
        (void)handle;
        return code;
    }
    if (m_host->isVisible())
        m_host->hide();
    m_host->setWindowModality(Qt::ApplicationModal);
    m_host->show();
    m_host->activateWindow();
    QEventLoop loop;
    m_modalLoop = &loop;
    loop.exec(QEventLoop::DialogExec);
    m_modalLoop = nullptr;
    const int code = m_closeCode;
    FinishModal();
    return code;
}

void WindowImplBase::FinishModal() {
    if (!m_finalPending)
        return;
    m_finalPending = false;
    // The last touch of the object: OnFinalMessage may delete it.
    OnFinalMessage(m_handle);
}

void WindowImplBase::Close(int code) {
    if (!m_handle || m_destroying)
        return;
    m_closeCode = code;
    m_closeRequested = true;
    PostMessage(WM_CLOSE, WPARAM(code), 0);
}

void WindowImplBase::DestroyWindow() {
    if (!m_handle || m_destroying)
        return;
    m_destroying = true;
    const HWND handle = m_handle;
    if (m_host)
        m_host->hide();
    HandleMessage(WM_DESTROY, 0, 0);
    m_pm.RemoveAllTimers();
    LiveWindows().remove(handle);
    m_messages.reset();  // stops the window's timers and drops what is still queued for it
    if (m_host) {
        m_host->Detach();
        // Deleted from the event loop: a control of this window may be in the middle of sending.
        m_host->deleteLater();
        m_host = nullptr;
    }
    if (m_modalLoop) {
        m_modalLoop->exit(0);
        m_finalPending = true;
        return;
    }
    if (m_modalScripted) {
        m_finalPending = true;
        return;
    }
    OnFinalMessage(handle);
}

void WindowImplBase::ShowWindow(bool show, bool takeFocus) {
    if (!m_host)
        return;
    if (!show) {
        m_host->hide();
        return;
    }
    m_host->show();
    if (takeFocus)
        m_host->activateWindow();
}

void WindowImplBase::ShowWindow(int command) {
    if (!m_host)
        return;
    switch (command) {
    case SW_HIDE:
        m_host->hide();
        break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
        m_host->showMinimized();
        break;
    case SW_SHOWMAXIMIZED:
        m_host->showMaximized();
        break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
        m_host->showNormal();
        break;
    case SW_SHOWNOACTIVATE:
        m_host->setAttribute(Qt::WA_ShowWithoutActivating);
        m_host->show();
        m_host->setAttribute(Qt::WA_ShowWithoutActivating, false);
        break;
    default:
        m_host->show();
        break;
    }
}

bool WindowImplBase::IsWindowVisible() const {
    return m_host && m_host->isVisible();
}
bool WindowImplBase::IsIconic() const {
    return m_host && m_host->isMinimized();
}

void WindowImplBase::BringToForeground() {
    if (!m_host)
        return;
    m_host->raise();
    m_host->activateWindow();
}

void WindowImplBase::SetWindowText(const QString& title) {
    if (m_host)
        m_host->setWindowTitle(title);
}

void WindowImplBase::SetIcon(int iconId) {
    if (m_host)
        m_host->setWindowIcon(LoadIconResource(iconId));
}

QRect WindowImplBase::GetScreenRect() const {
    QScreen* screen = m_host ? QGuiApplication::screenAt(m_host->frameGeometry().center()) : nullptr;
    if (screen == nullptr && m_host)
        screen = m_host->screen();
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

QRect WindowImplBase::GetWindowRect() const {
    return m_host ? m_host->frameGeometry() : QRect();
}

void WindowImplBase::MoveWindow(int x, int y, int width, int height) {
    if (!m_host)
        return;
    m_host->move(x, y);
    if (m_host->minimumSize() == m_host->maximumSize())
        m_host->setFixedSize(width, height);
    else
        m_host->resize(width, height);
}

void WindowImplBase::MoveWindow(int x, int y) {
    if (m_host)
        m_host->move(x, y);
}

LRESULT WindowImplBase::SendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return m_messages ? m_messages->SendMessage(uMsg, wParam, lParam) : 0;
}

bool WindowImplBase::PostMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return m_messages && m_messages->PostMessage(uMsg, wParam, lParam);
}

UINT_PTR WindowImplBase::SetTimer(UINT_PTR id, UINT elapseMs) {
    return m_messages ? m_messages->SetTimer(id, elapseMs) : 0;
}

bool WindowImplBase::KillTimer(UINT_PTR id) {
    return m_messages && m_messages->KillTimer(id);
}

LRESULT WindowImplBase::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    bool handled = false;
    LRESULT result = 0;
    if (uMsg == WM_DESTROY) {
        result = OnDestroy(uMsg, wParam, lParam, handled);
        if (handled)
            return result;
    }
    handled = false;
    result = HandleCustomMessage(uMsg, wParam, lParam, handled);
    if (handled)
        return result;
    return DefaultMessage(uMsg, wParam, lParam);
}

LRESULT WindowImplBase::DefaultMessage(UINT uMsg, WPARAM wParam, LPARAM) {
    switch (uMsg) {
    case WM_CLOSE:
        DestroyWindow();
        return 0;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
            ShowWindow(SW_MINIMIZE);
            break;
        case SC_MAXIMIZE:
            ShowWindow(SW_SHOWMAXIMIZED);
            break;
        case SC_RESTORE:
            ShowWindow(SW_RESTORE);
            break;
        case SC_CLOSE:
            PostMessage(WM_CLOSE, 0, 0);
            break;
        default:
            break;
        }
        return 0;
    default:
        return 0;
    }
}

}  // namespace quillon
