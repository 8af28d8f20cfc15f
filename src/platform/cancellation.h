#pragma once

#include <QObject>

#include <atomic>
#include <chrono>
#include <coroutine>
#include <memory>

namespace tolvane {

// The one cancel handle of the code base, for network requests, waits and media
// jobs alike. The owner keeps a handle and calls cancel() on the main thread;
// requests started with it are aborted through the cancelled() signal, and work
// on worker threads polls isCancelled() between frames or buffers. Copies of the
// handle share one token.
class CancelToken : public QObject {
    Q_OBJECT
public:
    static std::shared_ptr<CancelToken> create() { return std::make_shared<CancelToken>(); }

    // Idempotent; the signal fires once.
    void cancel();
    // Safe from any thread.
    bool isCancelled() const { return m_cancelled.load(std::memory_order_acquire); }

Q_SIGNALS:
    void cancelled();

private:
    std::atomic_bool m_cancelled{false};
};

using CancelHandle = std::shared_ptr<CancelToken>;

// An absent handle is never cancelled: work started without one runs to its end.
inline bool isCancelled(const CancelHandle& cancel) {
    return cancel && cancel->isCancelled();
}

// Awaitable: waits for `duration`, or less when `cancel` fires; resumes with
// whether it was cancelled.
class CancellableSleep {
public:
    CancellableSleep(std::chrono::milliseconds duration, CancelHandle cancel);
    ~CancellableSleep();
    bool await_ready() const;
    void await_suspend(std::coroutine_handle<> handle);
    bool await_resume() const;

private:
    std::chrono::milliseconds m_duration;
    CancelHandle m_cancel;
    std::shared_ptr<QObject> m_context;
};

} // namespace tolvane
