#include "platform/thread_queue.h"

namespace quillon {

void ThreadMessageQueue::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(MSG{nullptr, message, wParam, lParam});
    }
    m_posted.notify_one();
}

bool ThreadMessageQueue::GetMessage(MSG& msg) {
    std::unique_lock lock(m_mutex);
    m_posted.wait(lock, [this] { return !m_messages.empty(); });
    msg = m_messages.front();
    m_messages.pop_front();
    return msg.message != WM_QUIT;
}

bool ThreadMessageQueue::PeekMessage(MSG& msg) {
    std::lock_guard lock(m_mutex);
    if (m_messages.empty())
        return false;
    msg = m_messages.front();
    m_messages.pop_front();
    return true;
}

std::size_t ThreadMessageQueue::size() const {
    std::lock_guard lock(m_mutex);
    return m_messages.size();
}

}  // namespace quillon
