#pragma once

#include "httpconnection.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

namespace tolvane::coach {

// A small HTTP/1.1 server on the event loop: keep-alive, Content-Length
// request bodies, chunked streaming responses, size and time limits.
class HttpServer : public QObject {
    Q_OBJECT
public:
    explicit HttpServer(HttpConnection::Handler handler, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QHostAddress address() const { return m_server.serverAddress(); }
    QString errorString() const { return m_server.errorString(); }

    HttpRequestParser::Limits limits;
    HttpConnection::Timeouts timeouts;
    // At this many open connections a new client first takes the place of
    // the connection idle longest; only when none is idle is it refused.
    int maxConnections = 256;

private:
    void onNewConnection();
    bool closeOldestIdle();

    QTcpServer m_server;
    HttpConnection::Handler m_handler;
    int m_open = 0;
    QList<QPointer<HttpConnection>> m_connections;
};

} // namespace tolvane::coach
