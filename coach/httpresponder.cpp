#include "httpresponder.h"

#include "httpconnection.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

HttpResponder::HttpResponder(HttpConnection* connection, bool keepAlive, bool http10)
    : QObject(connection)
    , m_connection(connection)
    , m_keepAlive(keepAlive)
    , m_http10(http10) {}

QByteArray HttpResponder::reasonPhrase(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 413:
        return "Content Too Large";
    case 415:
        return "Unsupported Media Type";
    case 422:
        return "Unprocessable Content";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    case 507:
        return "Insufficient Storage";
    default:
        return "Status";
    }
}

QByteArray HttpResponder::statusHead(int status, const QByteArray& contentType,
                                     const Headers& extra) const {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
                      "\r\nServer: tolvane-coach\r\n";
    if (!contentType.isEmpty()) {
        head += "Content-Type: " + contentType + "\r\n";
    }
    for (const auto& [name, value] : extra) {
        head += name + ": " + value + "\r\n";
    }
    return head;
}

void HttpResponder::respond(int status, const QByteArray& contentType, const QByteArray& body,
                            const Headers& extra) {
    if (m_state != State::Fresh) {
        return;
    }
    m_state = State::Finished;
    QByteArray data = statusHead(status, contentType, extra);
    data += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    data += m_keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    data += body;
    m_connection->sendAndFinish(this, data, m_keepAlive);
}

void HttpResponder::respondJson(int status, const QJsonValue& value) {
    QByteArray body;
    if (value.isArray()) {
        body = QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    } else {
        body = QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    }
    respond(status, "application/json", body);
}

void HttpResponder::respondError(int status, const QString& message) {
    respondJson(status, QJsonObject{{u"error"_s, message}});
}

void HttpResponder::beginStream(int status, const QByteArray& contentType, const Headers& extra) {
    if (m_state != State::Fresh) {
        return;
    }
    m_state = State::Streaming;
    QByteArray head = statusHead(status, contentType, extra);
    head += "Cache-Control: no-cache\r\n";
    if (m_http10) {
        // HTTP/1.0 has no chunked coding: the end of the stream is the close.
        m_keepAlive = false;
        head += "Connection: close\r\n\r\n";
    } else {
        head += "Transfer-Encoding: chunked\r\n";
        head += m_keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    }
    m_connection->send(head);
}

bool HttpResponder::write(const QByteArray& data) {
    if (m_state != State::Streaming) {
        return false;
    }
    if (data.isEmpty()) {
        return true;
    }
    if (m_http10) {
        return m_connection->send(data);
    }
    return m_connection->send(QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n");
}

void HttpResponder::endStream() {
    if (m_state != State::Streaming) {
        return;
    }
    m_state = State::Finished;
    m_connection->sendAndFinish(this, m_http10 ? QByteArray() : QByteArray("0\r\n\r\n"),
                                m_keepAlive);
}

void HttpResponder::clientGone() {
    if (m_state == State::Finished) {
        return;
    }
    m_state = State::Finished;
    Q_EMIT disconnected();
}

} // namespace tolvane::coach
