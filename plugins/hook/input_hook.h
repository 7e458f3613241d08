#pragma once
// The input hook behind Hook.so: every key and mouse-button press on the X11 desktop, reported to
// one window of the program as the hook event message.
//
// The hook listens on a thread of its own with a connection of its own to the X server, and takes
// XInput2 raw events from the root window: it sees what the user types and clicks in any program,
// without grabbing anything, so every other program keeps working as before. The X server sends it
// key events only while key reporting is enabled and button events only while button reporting
// is, so nothing the user types is read outside a recording or a key capture. Wheel and pointer
// motion are never asked for.
//
// The forms of the message (MSG_HOOK_EVENT, posted through the program's QuillonPostMessage):
//   key pressed         wParam = the key's Windows virtual-key code under the active layout, lParam 0
//   key released        the same wParam, lParam 1
//                       (a key that has no virtual-key code under the layout is not reported)
//   left button         wParam 513 pressed, 514 released, lParam 0
//   right button        516 / 517
//   middle button       519 / 520
//   side buttons        523 pressed, 524 released; lParam 1 for the back button, 2 for forward
//
// Every call may come from any thread; the program makes them from its UI thread.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "quillon/host_api.h"

namespace quillon::hook {

class InputHook {
public:
    // `post` delivers the events; null drops them (a host that offers no message posting).
    explicit InputHook(QuillonPostMessageFn post);
    // Stops listening, whatever state the hook is in: the library is being unloaded or the
    // program is ending.
    ~InputHook();
    InputHook(const InputHook&) = delete;
    InputHook& operator=(const InputHook&) = delete;

    // Starts listening for `window` (or moves the reports to `window` when already listening).
    // Nothing is reported until EnableKeys or EnableButtons asks for it. False when no X server
    // with the input extension can be reached (no DISPLAY, a Wayland session without XWayland):
    // the hook then reports nothing.
    bool Install(QuillonWindow window);

    // Stops listening and turns key and button reporting off; the thread has ended when it returns.
    void Remove();

    // Turns the reporting of keys / of mouse buttons on or off. When it returns, the X server
    // sends what was asked for, and nothing of what was turned off is posted any more.
    void EnableKeys(bool enable);
    void EnableButtons(bool enable);

private:
    enum class ThreadState { Idle, Starting, Listening, Failed, Ended };

    void Run();
    // Has the thread select what is now being reported, and waits until the server knows.
    void ApplySelectionLocked(std::unique_lock<std::mutex>& lock);
    void Wake();
    // Stops the thread and waits for it; the lock is let go meanwhile.
    void JoinLocked(std::unique_lock<std::mutex>& lock);
    // Posts the event to the window if its kind (key or button) is being reported. Hook thread.
    void Report(bool isKey, uintptr_t wParam, intptr_t lParam);

    const QuillonPostMessageFn m_post;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    QuillonWindow m_window = nullptr;
    bool m_keys = false;
    bool m_buttons = false;
    bool m_stop = false;
    bool m_joining = false;  // a caller is waiting for the thread to end
    ThreadState m_state = ThreadState::Idle;
    // Selection changes asked for and applied by the thread, so that an enable returns only once
    // the X server knows.
    uint64_t m_selectionWanted = 0;
    uint64_t m_selectionApplied = 0;

    std::thread m_thread;
    int m_wakeFd = -1;  // an eventfd that wakes the thread for a new selection or the stop
};

}  // namespace quillon::hook
