#pragma once

#include <atomic>
#include <memory>

namespace tolvane {

// The handle of a cancellable piece of background work. The owner keeps one copy
// and cancels it when the work is replaced or no longer wanted; the worker keeps
// another and checks it between steps. Copies share one flag.
class TaskHandle {
public:
    TaskHandle()
        : m_cancelled(std::make_shared<std::atomic_bool>(false)) {}

    void cancel() const { m_cancelled->store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return m_cancelled->load(std::memory_order_relaxed); }

    friend bool operator==(const TaskHandle& a, const TaskHandle& b) {
        return a.m_cancelled == b.m_cancelled;
    }

private:
    std::shared_ptr<std::atomic_bool> m_cancelled;
};

} // namespace tolvane
