#pragma once
// Windows as message receivers: posting, sending and window timers.
//
// Every window of the UI library owns one MessageWindow. It has a handle (HWND) that any thread,
// and any plugin through the exported C functions of host_api.h, may post to. Messages are handled
// one at a time on the UI thread (the thread that created the window) by the window's handler,
// from the Qt event loop, in the order they were posted:
//
//     MessageWindow window([&](UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT { ... });
//     PostMessage(window.handle(), MSG_DEVICE_CHANGED, 0, 0);   // from any thread
//     window.SetTimer(513, 500);                                // WM_TIMER, wParam 513, every 500 ms
//
// Handles are looked up in a registry of live windows, so posting or sending to a window that is
// gone does nothing and returns 0. Destroying a window drops the messages still queued for it
// (freeing their payloads and releasing their senders with 0) and stops its timers.
//
// Timers run on `services().timers()`, so tests drive them with virtual time.

#include <cstddef>
#include <functional>
#include <map>
#include <memory>

#include "platform/messages.h"

class QThread;

namespace quillon {

class MessageWindow {
public:
    using Handler = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

    // Creates the window on the calling thread, which becomes the thread that handles its
    // messages. A window without a handler answers every message with 0.
    explicit MessageWindow(Handler handler = {});
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    void SetHandler(Handler handler);
    HWND handle() const { return m_handle; }

    // Queues a message; returns true when queued.
    bool PostMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Handles a message now (on the window's thread) or waits until the window's thread has
    // handled it, and returns the handler's result.
    LRESULT SendMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Starts (or restarts, with a fresh period) the timer `id`: WM_TIMER with wParam `id` every
    // `elapseMs` (at least USER_TIMER_MINIMUM) milliseconds. Returns `id`, or 0 for id 0.
    // Window thread only.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs);
    // Stops the timer `id`; false when no such timer runs. Window thread only.
    bool KillTimer(UINT_PTR id);
    bool HasTimer(UINT_PTR id) const { return m_timers.count(id) != 0; }

    // Messages queued for this window (posted, or sent from another thread) whose handling has
    // not finished; a message counts until its handler has returned.
    std::size_t PendingMessages() const;

    // The live window behind a handle, or null. Only meaningful on the UI thread, where windows
    // are created and destroyed.
    static MessageWindow* FromHandle(HWND window);

private:
    class Receiver;
    friend struct MessageWindowAccess;

    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_handle = nullptr;
    Handler m_handler;
    QThread* m_thread = nullptr;     // the thread that handles the messages
    Receiver* m_receiver = nullptr;  // owned; deleted later when destroyed during its own dispatch
    std::map<UINT_PTR, std::uint64_t> m_timers;  // window timer id -> service timer id
    int m_dispatchDepth = 0;
};

// Queues (message, wParam, lParam) for the window; false when the window is gone. Any thread.
bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Queues `message` with a copy of `size` bytes: the handler gets a pointer to the copy as wParam,
// valid until it returns; the copy is freed afterwards, and also when the message is dropped.
// False when the window is gone or the payload is larger than kMaxMessagePayload. Any thread.
bool PostDataMessage(HWND window, UINT message, const void* data, std::size_t size, LPARAM lParam);
inline constexpr std::size_t kMaxMessagePayload = 16u * 1024u * 1024u;

// Calls the window's handler and returns its result; 0 when the window is gone. From the window's
// own thread the handler runs at once; from another thread the caller blocks until the window's
// thread has handled the message (or destroyed the window). A thread that the UI thread is
// waiting for must therefore never send.
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// True while the handle belongs to a live window. Any thread.
bool IsWindow(HWND window);

}  // namespace quillon
