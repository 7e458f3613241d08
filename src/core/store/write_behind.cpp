#include "core/store/write_behind.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <span>
#include <utility>

namespace quillon {

WriteBehind::~WriteBehind() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void WriteBehind::Write(FileWriter& writer, std::filesystem::path target, std::vector<std::byte> content,
                        Finished finished) {
    {
        std::lock_guard lock(m_mutex);
        // The newest content of a file supersedes one that is still waiting: it replaces the whole
        // file, and it keeps its place in the order, after every save of other files made before it.
        const auto waiting = std::find_if(m_queue.begin(), m_queue.end(),
                                          [&](const Job& job) { return job.target == target; });
        std::vector<Finished> callers;
        if (waiting != m_queue.end()) {
            callers = std::move(waiting->finished);
            m_queue.erase(waiting);
        }
        if (finished)
            callers.push_back(std::move(finished));
        m_queue.push_back(Job{&writer, std::move(target), std::move(content), std::move(callers)});
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Run(); });
    }
    m_changed.notify_all();
}

void WriteBehind::Flush() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.empty() && !m_writing; });
}

void WriteBehind::Run() {
    // The writer gives way to the thread that saves (the window's): on a busy machine the copy and
    // the flush wait a moment rather than the event loop. Linux gives each thread its own niceness.
    static_cast<void>(setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10));
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
        if (m_queue.empty())
            return;  // stopping, and everything is written
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        m_writing = true;
        lock.unlock();
        const std::span<const std::byte> whole(job.content);
        const WriteResult result = WriteFileAtomically(*job.writer, job.target, {whole});
        job.content = {};  // the copy is freed before the callers hear of it
        for (const Finished& finished : job.finished)
            finished(result);
        lock.lock();
        m_writing = false;
        m_changed.notify_all();
    }
}

}  // namespace quillon
