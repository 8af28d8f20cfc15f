#include "eventhub.h"

#include "httpresponder.h"

namespace tolvane::coach {

namespace {
const QByteArray notifyBlock = "event: notify\ndata: {}\n\n";
} // namespace

EventHub::EventHub(int keepAliveMs, QObject* parent)
    : QObject(parent) {
    // Well inside the app's 60 s idle time-out for this stream.
    m_keepAlive.setInterval(keepAliveMs);
    connect(&m_keepAlive, &QTimer::timeout, this, &EventHub::keepAlive);
    m_keepAlive.start();
}

void EventHub::subscribe(qint64 userID, HttpResponder* responder, bool pending) {
    responder->beginStream(200, "text/event-stream", {{"X-Accel-Buffering", "no"}});
    // A first comment line lets the client see the stream is open.
    responder->write(": connected\n\n");
    if (pending) {
        responder->write(notifyBlock);
    }
    m_streams.insert(userID, QPointer<HttpResponder>(responder));
    connect(responder, &HttpResponder::disconnected, this, [this, userID, responder] {
        for (auto it = m_streams.find(userID); it != m_streams.end() && it.key() == userID;) {
            if (it.value() == responder || it.value().isNull()) {
                it = m_streams.erase(it);
            } else {
                ++it;
            }
        }
    });
}

void EventHub::notify(qint64 userID) {
    for (auto it = m_streams.find(userID); it != m_streams.end() && it.key() == userID;) {
        if (it.value().isNull() || !it.value()->write(notifyBlock)) {
            it = m_streams.erase(it);
        } else {
            ++it;
        }
    }
}

int EventHub::subscribers(qint64 userID) const {
    int n = 0;
    for (auto it = m_streams.find(userID); it != m_streams.end() && it.key() == userID; ++it) {
        n += it.value().isNull() ? 0 : 1;
    }
    return n;
}

void EventHub::keepAlive() {
    for (auto it = m_streams.begin(); it != m_streams.end();) {
        if (it.value().isNull() || !it.value()->write(": keep-alive\n\n")) {
            it = m_streams.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace tolvane::coach
