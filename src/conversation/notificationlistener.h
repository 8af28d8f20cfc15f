#pragma once

#include "service/apiclient.h"
#include "service/chatrecords.h"

#include <QObject>

#include <chrono>
#include <functional>

namespace tolvane {

// Listens to the service's event stream and fetches the waiting notifications
// whenever it says there are some (and on every connection). A lost stream is
// reconnected after a back-off that doubles up to a maximum, with jitter, and
// is never reset. Main thread only.
class NotificationListener : public QObject {
    Q_OBJECT

public:
    // How the listener waits between connections.
    struct Backoff {
        std::chrono::milliseconds initial{1000};
        std::chrono::milliseconds maximum{30000};
        std::chrono::milliseconds jitter{500};
    };

    // `client` makes the client for each request, so a changed user id is
    // picked up by the next one.
    explicit NotificationListener(std::function<APIClient()> client, QObject* parent = nullptr);
    // Ends the stream; a fetch still running reports nothing.
    ~NotificationListener() override;

    bool isDraining() const { return m_isDraining; }
    bool isListening() const { return m_cancel != nullptr; }
    void setBackoff(Backoff backoff) { m_backoff = backoff; }

    // Replaces a running stream with a new one.
    void start();
    // Starts a stream unless one runs.
    void ensure();
    void stop();
    // Fetches the waiting notifications unless a fetch runs.
    void drain();

Q_SIGNALS:
    // Notifications a fetch brought, in order; `isDraining` is still true.
    void notificationsArrived(const QList<InAppNotification>& notifications);
    void isDrainingChanged();
    void started();
    void waiting(std::chrono::milliseconds wait);

private:
    QCoro::Task<void> run(CancelHandle cancel);
    QCoro::Task<void> runDrain();
    void setDraining(bool value);

    std::function<APIClient()> m_client;
    Backoff m_backoff;
    CancelHandle m_cancel;
    bool m_isDraining = false;
};

} // namespace tolvane
