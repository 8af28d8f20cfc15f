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

void HttpServer::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_open >= maxConnections) {
            socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
                          "Content-Length: 29\r\nConnection: close\r\n\r\n"
                          "{\"error\":\"too many clients\"}\n");
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        ++m_open;
        auto* connection = new HttpConnection(socket, limits, timeouts, m_handler, this);
        connect(connection, &HttpConnection::closed, this, [this] { --m_open; });
    }
}

} // namespace tolvane::coach
