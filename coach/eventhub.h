#pragma once

#include <QMultiHash>
#include <QObject>
#include <QPointer>
#include <QTimer>

namespace tolvane::coach {

class HttpResponder;

// The open "inapp/events" streams, per user: tells them when notifications
// wait, and keeps idle connections alive with comment lines.
class EventHub : public QObject {
    Q_OBJECT
public:
    explicit EventHub(int keepAliveMs, QObject* parent = nullptr);

    // Starts the stream on responder; sends a notify at once when pending.
    void subscribe(qint64 userID, HttpResponder* responder, bool pending);
    void notify(qint64 userID);
    int subscribers(qint64 userID) const;

private:
    void keepAlive();

    QMultiHash<qint64, QPointer<HttpResponder>> m_streams;
    QTimer m_keepAlive;
};

} // namespace tolvane::coach
