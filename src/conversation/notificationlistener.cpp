#include "notificationlistener.h"

#include <QPointer>
#include <QRandomGenerator>

namespace tolvane {

NotificationListener::NotificationListener(std::function<APIClient()> client, QObject* parent)
    : QObject(parent)
    , m_client(std::move(client)) {}

NotificationListener::~NotificationListener() {
    stop();
}

void NotificationListener::start() {
    stop();
    m_cancel = CancelToken::create();
    Q_EMIT started();
    run(m_cancel);
}

void NotificationListener::ensure() {
    if (!m_cancel || m_cancel->isCancelled()) {
        start();
    }
}

void NotificationListener::stop() {
    if (m_cancel) {
        m_cancel->cancel();
    }
}

QCoro::Task<void> NotificationListener::run(CancelHandle cancel) {
    QPointer<NotificationListener> self(this);
    std::chrono::milliseconds backoff = m_backoff.initial;
    for (;;) {
        if (cancel->isCancelled() || !self) {
            co_return;
        }
        drain();
        const APIClient api = m_client();
        const auto onNotify = [self]() -> QCoro::Task<void> {
            if (self) {
                self->drain();
            }
            co_return;
        };
        // How the stream ended does not matter: the loop reconnects.
        co_await api.events(onNotify, cancel);
        if (cancel->isCancelled() || !self) {
            co_return;
        }
        const Backoff policy = m_backoff;
        const auto jitter = std::chrono::milliseconds(
            QRandomGenerator::global()->bounded(static_cast<qint64>(policy.jitter.count()) + 1));
        Q_EMIT waiting(backoff + jitter);
        CancellableSleep wait(backoff + jitter, cancel);
        const bool interrupted = co_await wait;
        if (interrupted || !self) {
            co_return;
        }
        backoff = std::min(backoff * 2, policy.maximum);
    }
}

void NotificationListener::drain() {
    if (m_isDraining) {
        return;
    }
    setDraining(true);
    runDrain();
}

QCoro::Task<void> NotificationListener::runDrain() {
    QPointer<NotificationListener> self(this);
    const APIClient api = m_client();
    const auto result = co_await api.notifications();
    if (!self) {
        co_return;
    }
    if (result && !result->isEmpty()) {
        Q_EMIT notificationsArrived(*result);
    }
    if (self) {
        setDraining(false);
    }
}

void NotificationListener::setDraining(bool value) {
    if (m_isDraining != value) {
        m_isDraining = value;
        Q_EMIT isDrainingChanged();
    }
}

} // namespace tolvane
