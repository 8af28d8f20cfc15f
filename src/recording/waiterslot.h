#pragma once

#include <QCoreApplication>
#include <QMetaObject>

#include <coroutine>
#include <memory>
#include <optional>

namespace tolvane {

// One caller suspended until a value arrives, completed at most once. Lives on
// the main thread; the waiter resumes from the event loop, never inside the
// code that completes it, so a completion may safely come from a timer, a
// callback or a discard in the middle of other work.
template <typename T>
class PendingWaiter : public std::enable_shared_from_this<PendingWaiter<T>> {
public:
    // The awaitable; it shares the waiter, so the copies coroutine machinery
    // makes of it all complete the same one.
    struct Awaiter {
        std::shared_ptr<PendingWaiter> waiter;
        bool await_ready() const { return waiter->m_value.has_value(); }
        void await_suspend(std::coroutine_handle<> handle) { waiter->m_handle = handle; }
        T await_resume() { return std::move(*waiter->m_value); }
    };
    Awaiter wait() { return Awaiter{this->shared_from_this()}; }

    // False when a value was already given.
    bool complete(T value) {
        if (m_value) {
            return false;
        }
        m_value.emplace(std::move(value));
        if (const std::coroutine_handle<> handle = std::exchange(m_handle, {})) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [handle] { handle.resume(); }, Qt::QueuedConnection);
        }
        return true;
    }

private:
    std::optional<T> m_value;
    std::coroutine_handle<> m_handle;
};

// A slot that holds the current waiter of one operation, if any.
template <typename T>
using WaiterSlot = std::shared_ptr<PendingWaiter<T>>;

// Resolving a slot: a held waiter is taken out of the slot first and then
// completed; an empty slot ignores the value, so late and duplicate
// completions are harmless.
template <typename T>
void resolve(WaiterSlot<T>& slot, T value) {
    if (WaiterSlot<T> waiter = std::exchange(slot, nullptr)) {
        waiter->complete(std::move(value));
    }
}

// Resolves the slot only while it still holds `waiter`: a time-out of an
// earlier operation never completes a later one.
template <typename T>
void resolveIfCurrent(WaiterSlot<T>& slot, const std::weak_ptr<PendingWaiter<T>>& waiter, T value) {
    if (slot && slot == waiter.lock()) {
        resolve(slot, std::move(value));
    }
}

} // namespace tolvane
