#pragma once

#include "httprequestparser.h"

#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

namespace tolvane::coach {

class HttpResponder;

// One client connection: reads requests one after the other (keep-alive),
// hands each to the handler and waits for its response before reading the
// next. Everything is non-blocking, so a slow client only delays itself.
class HttpConnection : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(HttpRequest&, HttpResponder*)>;
    struct Timeouts {
        int idleMs = 60'000;
        int headMs = 30'000;
        int bodyIdleMs = 60'000;
    };

    HttpConnection(QTcpSocket* socket, HttpRequestParser::Limits limits, Timeouts timeouts,
                   Handler handler, QObject* parent);

    // Used by HttpResponder.
    bool send(const QByteArray& data);
    void sendAndFinish(HttpResponder* responder, const QByteArray& data, bool keepAlive);

    // Between requests with nothing received: a kept-alive connection that
    // can be closed without losing anything.
    bool isIdle() const;
    // When it last became idle (monotonic milliseconds); meaningful while idle.
    qint64 idleSince() const { return m_idleSince; }
    // Closes an idle connection to make room for another client.
    void closeIdle();

    // Bytes a client may leave unread before it counts as gone.
    static constexpr qint64 maxPendingWrite = 8 * 1024 * 1024;

Q_SIGNALS:
    void closed();

private:
    void process();
    void onTimeout();
    void onDisconnected();
    void armTimer();
    void failRequest(int status, const QString& message);

    QTcpSocket* m_socket;
    HttpRequestParser m_parser;
    Timeouts m_timeouts;
    Handler m_handler;
    QByteArray m_buffer;
    QPointer<HttpResponder> m_current;
    QTimer m_timer;
    bool m_processing = false;
    bool m_closing = false;
    bool m_headStarted = false;
    qint64 m_idleSince = 0;
};

} // namespace tolvane::coach
