#include "httpserver.h"

namespace tolvane::coach {

HttpServer::HttpServer(HttpConnection::Handler handler, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler)) {
    connect(&m_server, &QTcpServer::newConnection, this, &HttpServer::onNewConnection);
}

bool HttpServer::listen(const QHostAddress& address, quint16 port) {
    return m_server.listen(address, port);
}

bool HttpServer::closeOldestIdle() {
    HttpConnection* oldest = nullptr;
    for (const auto& connection : std::as_const(m_connections)) {
        if (connection && connection->isIdle() &&
            (!oldest || connection->idleSince() < oldest->idleSince())) {
            oldest = connection;
        }
    }
    if (!oldest) {
        return false;
    }
    // Its place is taken now, though it counts until its socket has closed.
    m_connections.removeOne(oldest);
    --m_open;
    disconnect(oldest, nullptr, this, nullptr);
    oldest->closeIdle();
    return true;
}

void HttpServer::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        // Idle keep-alive connections must not lock out a client with a request.
        if (m_open >= maxConnections && !closeOldestIdle()) {
            socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
                          "Content-Length: 29\r\nConnection: close\r\n\r\n"
                          "{\"error\":\"too many clients\"}\n");
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        ++m_open;
        auto* connection = new HttpConnection(socket, limits, timeouts, m_handler, this);
        m_connections.append(connection);
        connect(connection, &HttpConnection::closed, this, [this, connection] {
            --m_open;
            m_connections.removeOne(connection);
        });
    }
}

} // namespace tolvane::coach
