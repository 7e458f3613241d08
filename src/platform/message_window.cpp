#include "platform/message_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/services.h"
#include "platform/timer_service.h"

namespace quillon {
namespace {

// The waiting side of a SendMessage from another thread.
struct SendReply {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    LRESULT result = 0;

    void Finish(LRESULT value) {
        {
            std::lock_guard lock(mutex);
            if (finished)
                return;
            finished = true;
            result = value;
        }
        done.notify_all();
    }
    LRESULT Wait() {
        std::unique_lock lock(mutex);
        done.wait(lock, [this] { return finished; });
        return result;
    }
};

QEvent::Type MessageEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// One queued message. Whatever happens to it, its destructor frees the payload and releases a
// waiting sender, so a message dropped with its window can neither leak nor hang anybody.
class MessageEvent final : public QEvent {
public:
    MessageEvent(UINT message, WPARAM wParam, LPARAM lParam)
        : QEvent(MessageEventType()), m_message(message), m_wParam(wParam), m_lParam(lParam) {}
    ~MessageEvent() override {
        if (m_reply)
            m_reply->Finish(0);
        if (m_queuedCount != nullptr)
            --*m_queuedCount;
    }

    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
    std::unique_ptr<std::byte[]> m_payload;
    std::shared_ptr<SendReply> m_reply;
    std::atomic<std::size_t>* m_queuedCount = nullptr;  // the receiver's, once queued
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, MessageWindow*> windows;
    std::uintptr_t nextHandle = 0x10000;
};

Registry& TheRegistry() {
    static Registry* instance = new Registry;  // outlives every window, also during exit
    return *instance;
}

std::uintptr_t HandleKey(HWND window) {
    return reinterpret_cast<std::uintptr_t>(window);
}

}  // namespace

// The QObject through which the Qt event loop delivers a window's messages on its thread.
class MessageWindow::Receiver final : public QObject {
public:
    explicit Receiver(MessageWindow* owner) : m_owner(owner) {}

    bool event(QEvent* e) override {
        // Qt hands the event over under a lock of its own; taking the registry lock, which the
        // posting thread held while it queued the event, also orders the event's contents and
        // payload in terms that ThreadSanitizer (which cannot see inside Qt) follows.
        { std::lock_guard lock(TheRegistry().mutex); }
        if (e->type() != MessageEventType())
            return QObject::event(e);
        auto* message = static_cast<MessageEvent*>(e);
        if (m_owner == nullptr)
            return true;
        ++m_depth;
        const LRESULT result = m_owner->Dispatch(message->m_message, message->m_wParam, message->m_lParam);
        --m_depth;
        if (message->m_reply)
            message->m_reply->Finish(result);
        // The payload is freed with the event, right after this returns.
        return true;
    }

    MessageWindow* m_owner;
    int m_depth = 0;
    // Events still queued for this receiver; each decrements it when it is deleted, which always
    // happens before the receiver goes.
    std::atomic<std::size_t> m_queued{0};
};

MessageWindow::MessageWindow(Handler handler) : m_handler(std::move(handler)) {
    m_receiver = new Receiver(this);
    m_thread = QThread::currentThread();
    auto& reg = TheRegistry();
    std::lock_guard lock(reg.mutex);
    const std::uintptr_t key = reg.nextHandle++;
    m_handle = reinterpret_cast<HWND>(key);
    reg.windows.emplace(key, this);
}

MessageWindow::~MessageWindow() {
    {
        auto& reg = TheRegistry();
        std::lock_guard lock(reg.mutex);
        reg.windows.erase(HandleKey(m_handle));
    }
    for (const auto& [id, serviceId] : m_timers)
        services().timers().StopTimer(serviceId);
    m_timers.clear();

    // No thread can queue for this window any more; drop what is queued.
    m_receiver->m_owner = nullptr;
    QCoreApplication::removePostedEvents(m_receiver, MessageEventType());
    if (m_receiver->m_depth > 0)
        m_receiver->deleteLater();  // destroyed from inside one of its own messages
    else
        delete m_receiver;
}

std::size_t MessageWindow::PendingMessages() const {
    return m_receiver->m_queued.load();
}

void MessageWindow::SetHandler(Handler handler) {
    m_handler = std::move(handler);
}

LRESULT MessageWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!m_handler)
        return 0;
    // A handler may destroy its own window; the copy keeps the running function alive.
    const Handler handler = m_handler;
    return handler(message, wParam, lParam);
}

bool MessageWindow::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return quillon::PostMessage(m_handle, message, wParam, lParam);
}

LRESULT MessageWindow::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return quillon::SendMessage(m_handle, message, wParam, lParam);
}

UINT_PTR MessageWindow::SetTimer(UINT_PTR id, UINT elapseMs) {
    if (id == 0)
        return 0;
    KillTimer(id);
    const UINT period =
        std::clamp<UINT>(elapseMs, USER_TIMER_MINIMUM, static_cast<UINT>(std::numeric_limits<int>::max()));
    m_timers[id] = services().timers().StartTimer(period, [this, id] { Dispatch(WM_TIMER, id, 0); });
    return id;
}

bool MessageWindow::KillTimer(UINT_PTR id) {
    const auto found = m_timers.find(id);
    if (found == m_timers.end())
        return false;
    services().timers().StopTimer(found->second);
    m_timers.erase(found);
    return true;
}

MessageWindow* MessageWindow::FromHandle(HWND window) {
    auto& reg = TheRegistry();
    std::lock_guard lock(reg.mutex);
    const auto found = reg.windows.find(HandleKey(window));
    return found == reg.windows.end() ? nullptr : found->second;
}

bool IsWindow(HWND window) {
    return MessageWindow::FromHandle(window) != nullptr;
}

// The registry-level operations, which reach into the windows they find.
struct MessageWindowAccess {
    static bool Queue(HWND window, std::unique_ptr<MessageEvent> event);
    static LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// Queues `event` for the window; takes ownership either way.
bool MessageWindowAccess::Queue(HWND window, std::unique_ptr<MessageEvent> event) {
    auto& reg = TheRegistry();
    std::lock_guard lock(reg.mutex);
    const auto found = reg.windows.find(HandleKey(window));
    if (found == reg.windows.end())
        return false;  // the event, its payload and its sender are released here
    // Held under the registry lock: the window cannot go away before its event is queued, and
    // its destructor removes whatever was queued.
    MessageWindow::Receiver* receiver = found->second->m_receiver;
    ++receiver->m_queued;
    event->m_queuedCount = &receiver->m_queued;
    QCoreApplication::postEvent(receiver, event.release());
    return true;
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return MessageWindowAccess::Queue(window, std::make_unique<MessageEvent>(message, wParam, lParam));
}

bool PostDataMessage(HWND window, UINT message, const void* data, std::size_t size, LPARAM lParam) {
    if (size > kMaxMessagePayload || (data == nullptr && size != 0) || !IsWindow(window))
        return false;
    // At least one byte, so that the handler never sees a null pointer for an empty payload.
    std::unique_ptr<std::byte[]> copy(new (std::nothrow) std::byte[std::max<std::size_t>(size, 1)]);
    if (!copy)
        return false;
    if (size != 0)
        std::memcpy(copy.get(), data, size);
    auto event = std::make_unique<MessageEvent>(message, reinterpret_cast<WPARAM>(copy.get()), lParam);
    event->m_payload = std::move(copy);
    return MessageWindowAccess::Queue(window, std::move(event));
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return MessageWindowAccess::Send(window, message, wParam, lParam);
}

LRESULT MessageWindowAccess::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MessageWindow* target = nullptr;
    auto reply = std::make_shared<SendReply>();
    {
        auto& reg = TheRegistry();
        std::lock_guard lock(reg.mutex);
        const auto found = reg.windows.find(HandleKey(window));
        if (found == reg.windows.end())
            return 0;
        if (found->second->m_thread == QThread::currentThread()) {
            // Only this thread destroys the window, so it stays alive once the lock is released.
            target = found->second;
        } else {
            auto event = std::make_unique<MessageEvent>(message, wParam, lParam);
            event->m_reply = reply;
            MessageWindow::Receiver* receiver = found->second->m_receiver;
            ++receiver->m_queued;
            event->m_queuedCount = &receiver->m_queued;
            QCoreApplication::postEvent(receiver, event.release());
        }
    }
    if (target != nullptr)
        return target->Dispatch(message, wParam, lParam);
    return reply->Wait();
}

}  // namespace quillon
