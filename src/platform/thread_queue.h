#pragma once
// A thread's own message queue: how the UI thread hands work to the worker.
//
//     ThreadMessageQueue queue;                        // owned by whoever owns the worker
//     std::thread worker([&] {
//         MSG msg;
//         while (queue.GetMessage(msg)) { ... }         // ends when WM_QUIT is taken
//     });
//     queue.PostThreadMessage(THREAD_MSG_APPLY, 0, 0);
//     queue.PostThreadMessage(WM_QUIT, 0, 0);
//     worker.join();
//
// Messages are taken in the order they were posted; posting never blocks and works from any
// thread.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "platform/messages.h"

namespace quillon {

class ThreadMessageQueue {
public:
    void PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Waits for the next message. Returns false, with `msg` holding it, when it is WM_QUIT.
    bool GetMessage(MSG& msg);

    // Takes the next message when there is one, without waiting.
    bool PeekMessage(MSG& msg);

    std::size_t size() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<MSG> m_messages;
};

}  // namespace quillon
