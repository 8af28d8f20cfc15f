#include "platform/cancellation.h"

#include <QCoreApplication>
#include <QTimer>

namespace tolvane {

void CancelToken::cancel() {
    if (m_cancelled.exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    Q_EMIT cancelled();
}

CancellableSleep::CancellableSleep(std::chrono::milliseconds duration, CancelHandle cancel)
    : m_duration(duration)
    , m_cancel(std::move(cancel)) {}

CancellableSleep::~CancellableSleep() = default;

bool CancellableSleep::await_ready() const {
    return isCancelled(m_cancel);
}

void CancellableSleep::await_suspend(std::coroutine_handle<> handle) {
    // Whichever of the timer and the cancellation comes first resumes; the
    // context ends both connections when the awaiter goes.
    m_context = std::make_shared<QObject>();
    QObject* context = m_context.get();
    auto fired = std::make_shared<bool>(false);
    auto resume = [fired, handle] {
        if (*fired) {
            return;
        }
        *fired = true;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [handle] { handle.resume(); }, Qt::QueuedConnection);
    };
    if (m_cancel) {
        QObject::connect(m_cancel.get(), &CancelToken::cancelled, context, resume);
    }
    QTimer::singleShot(m_duration, context, resume);
}

bool CancellableSleep::await_resume() const {
    return isCancelled(m_cancel);
}

} // namespace tolvane
