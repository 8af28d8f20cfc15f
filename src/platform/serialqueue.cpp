#include "platform/serialqueue.h"

namespace tolvane {

SerialQueue::SerialQueue(std::string label)
    : m_label(std::move(label))
    , m_thread([this] { run(); }) {}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void SerialQueue::async(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(work));
    }
    m_changed.notify_all();
}

void SerialQueue::wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

void SerialQueue::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || !m_queue.empty(); });
        if (m_queue.empty()) {
            return;
        }
        std::function<void()> work = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        work();
        work = nullptr;
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}

} // namespace tolvane
