#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <functional>
#include <memory>

class QTcpSocket;

namespace tolvane::test {

// A request as the server received it.
struct RecordedRequest {
    QByteArray method;
    QByteArray path;                       // without the query, still percent-encoded
    QByteArray query;                      // raw, without "?"
    QHash<QByteArray, QByteArray> headers; // names lower-cased
    QByteArray body;

    QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
};

// What the server does with one connection's response, step by step.
class Script {
public:
    // A complete response with Content-Length and "Connection: close".
    static Script respond(int status, const QByteArray& body,
                          const QByteArray& contentType = "application/json");
    // Head of a streaming response (no length; the body ends when the
    // connection closes).
    static Script streamHead(int status = 200, const QByteArray& contentType = "text/event-stream");
    // A complete response that waits until the test releases it, so tests can
    // decide in which order replies arrive without timing.
    static Script respondWhenReleased(int status, const QByteArray& body,
                                      const QByteArray& contentType = "application/json");

    Script& write(const QByteArray& bytes);
    Script& delay(int milliseconds);
    // Keeps the connection open and silent until the client goes away.
    Script& stall();
    // Resets the connection instead of closing it cleanly.
    Script& abort();
    // Waits here until ScriptedHttpServer::release().
    Script& hold();

    struct Step {
        enum class Kind { write, delay, stall, abort, hold };
        Kind kind;
        QByteArray bytes;
        int milliseconds = 0;
    };
    const QList<Step>& steps() const { return m_steps; }

private:
    QList<Step> m_steps;
};

// A loopback HTTP/1.1 server for tests that answers with exact bytes: each
// request is matched to a script by path (or by the handler), and every
// request is recorded. Listens on 127.0.0.1 with an ephemeral port.
class ScriptedHttpServer : public QObject {
    Q_OBJECT
public:
    explicit ScriptedHttpServer(QObject* parent = nullptr);
    ~ScriptedHttpServer() override;

    quint16 port() const;
    // "http://127.0.0.1:<port>/"
    QString root() const;
    QUrl url(const QString& path) const;

    // Answers requests for `path` (without query) with `script`, every time.
    void on(const QByteArray& path, Script script);
    // Decides for requests no path script matches; the default is a 404.
    void setHandler(std::function<Script(const RecordedRequest&)> handler);

    const QList<RecordedRequest>& requests() const { return m_requests; }
    // Bodies larger than this are counted but not kept (for big uploads).
    void setBodyRecordLimit(qint64 bytes) { m_bodyLimit = bytes; }
    qint64 lastBodySize() const { return m_lastBodySize; }
    // Connections currently open.
    int openConnections() const;
    // Connections waiting at a hold step, in the order they reached it.
    int heldCount() const;
    // Lets the held connection at `index` go on with its script.
    void release(int index = 0);

Q_SIGNALS:
    void requestReceived();
    void connectionClosed();
    // A connection reached a hold step.
    void connectionHeld();

private:
    struct Connection;
    void onNewConnection();
    void onReadyRead(const std::shared_ptr<Connection>& connection);
    void runStep(const std::shared_ptr<Connection>& connection);

    QTcpServer m_server;
    QHash<QByteArray, Script> m_scripts;
    std::function<Script(const RecordedRequest&)> m_handler;
    QList<RecordedRequest> m_requests;
    QList<std::shared_ptr<Connection>> m_connections;
    QList<std::weak_ptr<Connection>> m_held;
    qint64 m_bodyLimit = 64 * 1024 * 1024;
    qint64 m_lastBodySize = 0;
};

} // namespace tolvane::test
