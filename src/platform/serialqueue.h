#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tolvane {

// Work run one item at a time, in order, on a thread of its own: the capture
// session's control queue and the camera recorder's session queue.
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    // Runs what is already queued, then ends the thread. Never destroy a
    // queue from its own thread.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(std::function<void()> work);
    // Blocks until everything queued before the call has run. Never call it
    // from the queue's own thread.
    void wait();
    bool isCurrent() const { return std::this_thread::get_id() == m_thread.get_id(); }
    const std::string& label() const { return m_label; }

private:
    void run();

    std::string m_label;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_queue;
    bool m_busy = false;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace tolvane
