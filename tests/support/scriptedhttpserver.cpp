#include "scriptedhttpserver.h"

#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

using namespace Qt::StringLiterals;

namespace tolvane::test {

Script Script::respond(int status, const QByteArray& body, const QByteArray& contentType) {
    Script script;
    script.write("HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Type: " +
                 contentType + "\r\nContent-Length: " + QByteArray::number(body.size()) +
                 "\r\nConnection: close\r\n\r\n" + body);
    return script;
}

Script Script::streamHead(int status, const QByteArray& contentType) {
    Script script;
    script.write("HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Type: " +
                 contentType + "\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n");
    return script;
}

Script Script::respondWhenReleased(int status, const QByteArray& body,
                                   const QByteArray& contentType) {
    Script script;
    script.hold();
    script.m_steps.append(respond(status, body, contentType).m_steps);
    return script;
}

Script& Script::write(const QByteArray& bytes) {
    m_steps.append({Step::Kind::write, bytes, 0});
    return *this;
}

Script& Script::delay(int milliseconds) {
    m_steps.append({Step::Kind::delay, {}, milliseconds});
    return *this;
}

Script& Script::stall() {
    m_steps.append({Step::Kind::stall, {}, 0});
    return *this;
}

Script& Script::abort() {
    m_steps.append({Step::Kind::abort, {}, 0});
    return *this;
}

Script& Script::hold() {
    m_steps.append({Step::Kind::hold, {}, 0});
    return *this;
}

struct ScriptedHttpServer::Connection {
    QTcpSocket* socket = nullptr;
    QByteArray buffer;
    bool headComplete = false;
    bool responding = false;
    qint64 expectedBody = 0;
    qint64 receivedBody = 0;
    RecordedRequest request;
    QList<Script::Step> steps;
};

ScriptedHttpServer::ScriptedHttpServer(QObject* parent)
    : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedHttpServer::onNewConnection);
    m_server.listen(QHostAddress::LocalHost, 0);
}

ScriptedHttpServer::~ScriptedHttpServer() {
    for (const auto& connection : std::as_const(m_connections)) {
        connection->socket->disconnect(this);
        connection->socket->abort();
        connection->socket->deleteLater();
        connection->socket = nullptr;
    }
}

quint16 ScriptedHttpServer::port() const {
    return m_server.serverPort();
}

QString ScriptedHttpServer::root() const {
    return u"http://127.0.0.1:%1/"_s.arg(port());
}

QUrl ScriptedHttpServer::url(const QString& path) const {
    return QUrl(root() + path);
}

void ScriptedHttpServer::on(const QByteArray& path, Script script) {
    m_scripts.insert(path, std::move(script));
}

void ScriptedHttpServer::setHandler(std::function<Script(const RecordedRequest&)> handler) {
    m_handler = std::move(handler);
}

int ScriptedHttpServer::openConnections() const {
    return static_cast<int>(m_connections.size());
}

void ScriptedHttpServer::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        auto connection = std::make_shared<Connection>();
        connection->socket = socket;
        m_connections.append(connection);
        std::weak_ptr<Connection> weak = connection;
        connect(socket, &QTcpSocket::readyRead, this, [this, weak] {
            if (auto c = weak.lock()) {
                onReadyRead(c);
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, weak] {
            auto c = weak.lock();
            if (!c || !c->socket) {
                return;
            }
            m_connections.removeOne(c);
            c->socket->deleteLater();
            c->socket = nullptr;
            c->steps.clear();
            Q_EMIT connectionClosed();
        });
    }
}

void ScriptedHttpServer::onReadyRead(const std::shared_ptr<Connection>& connection) {
    if (!connection->socket || connection->responding) {
        if (connection->socket) {
            connection->socket->readAll();
        }
        return;
    }
    QByteArray incoming = connection->socket->readAll();
    if (!connection->headComplete) {
        connection->buffer += incoming;
        const qsizetype end = connection->buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            return;
        }
        const QByteArray head = connection->buffer.left(end);
        incoming = connection->buffer.mid(end + 4);
        connection->buffer.clear();
        connection->headComplete = true;

        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        RecordedRequest& request = connection->request;
        request.method = requestLine.value(0);
        const QByteArray target = requestLine.value(1);
        const qsizetype question = target.indexOf('?');
        request.path = question < 0 ? target : target.left(question);
        request.query = question < 0 ? QByteArray() : target.mid(question + 1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0) {
                request.headers.insert(line.left(colon).trimmed().toLower(),
                                       line.mid(colon + 1).trimmed());
            }
        }
        connection->expectedBody = request.header("content-length").toLongLong();
    }
    connection->receivedBody += incoming.size();
    if (connection->request.body.size() + incoming.size() <= m_bodyLimit) {
        connection->request.body += incoming;
    }
    if (connection->receivedBody < connection->expectedBody) {
        return;
    }

    m_lastBodySize = connection->receivedBody;
    m_requests.append(connection->request);
    connection->responding = true;
    Script script;
    const auto found = m_scripts.constFind(connection->request.path);
    if (found != m_scripts.constEnd()) {
        script = *found;
    } else if (m_handler) {
        script = m_handler(connection->request);
    } else {
        script = Script::respond(404, R"({"error":"not found"})");
    }
    Q_EMIT requestReceived();
    connection->steps = script.steps();
    runStep(connection);
}

void ScriptedHttpServer::runStep(const std::shared_ptr<Connection>& connection) {
    while (connection->socket) {
        if (connection->steps.isEmpty()) {
            connection->socket->disconnectFromHost();
            return;
        }
        const Script::Step step = connection->steps.takeFirst();
        switch (step.kind) {
        case Script::Step::Kind::write:
            connection->socket->write(step.bytes);
            connection->socket->flush();
            break;
        case Script::Step::Kind::delay: {
            std::weak_ptr<Connection> weak = connection;
            QTimer::singleShot(step.milliseconds, this, [this, weak] {
                if (auto c = weak.lock(); c && c->socket) {
                    runStep(c);
                }
            });
            return;
        }
        case Script::Step::Kind::stall:
            return;
        case Script::Step::Kind::abort: {
            // A zero linger time makes the close a reset, as a crashed peer's.
            const linger reset{1, 0};
            ::setsockopt(static_cast<int>(connection->socket->socketDescriptor()), SOL_SOCKET,
                         SO_LINGER, &reset, sizeof reset);
            connection->socket->abort();
            return;
        }
        case Script::Step::Kind::hold:
            m_held.append(connection);
            Q_EMIT connectionHeld();
            return;
        }
    }
}

int ScriptedHttpServer::heldCount() const {
    return static_cast<int>(m_held.size());
}

void ScriptedHttpServer::release(int index) {
    if (index < 0 || index >= m_held.size()) {
        return;
    }
    if (auto connection = m_held.takeAt(index).lock(); connection && connection->socket) {
        runStep(connection);
    }
}

} // namespace tolvane::test
