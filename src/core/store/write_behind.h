#pragma once
// Whole-file saves written by a thread of their own, so that the thread that saves never waits for
// the disk.
//
// A save hands over the complete new content of its file; the writer thread replaces the file with
// it through `WriteFileAtomically`, in the order the saves were made. A save that is still waiting
// when a newer one of the same file arrives is not written at all: the newer content replaces the
// whole file at once, so writing the older one first would only cost a flush. Every caller is still
// told, once, the result of the write that carried its content.
//
//     WriteBehind writes;
//     writes.Write(writer, path, std::move(bytes), [](const WriteResult& r) { /* writer thread */ });
//     writes.Flush();  // everything queued so far is on the disk
//
// The thread starts with the first write. The destructor writes what is still queued, then ends it.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "core/store/atomic_file.h"

namespace quillon {

class WriteBehind {
public:
    // Called on the writer thread once the write that carried a save's content has ended.
    using Finished = std::function<void(const WriteResult&)>;

    WriteBehind() = default;
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Queues `content` as the next content of `target`, written through `writer` (which must outlive
    // the write). Never waits for the disk. Any thread.
    void Write(FileWriter& writer, std::filesystem::path target, std::vector<std::byte> content,
               Finished finished);

    // Waits until every save queued so far is written and its `Finished` has returned.
    void Flush();

private:
    struct Job {
        FileWriter* writer;
        std::filesystem::path target;
        std::vector<std::byte> content;
        std::vector<Finished> finished;
    };
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_queue;
    bool m_writing = false;  // the thread holds a job taken off the queue
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace quillon
