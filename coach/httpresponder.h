#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QPair>

namespace tolvane::coach {

class HttpConnection;

// Answers one request, either at once or as an open-ended stream (chunked on
// HTTP/1.1, close-delimited on HTTP/1.0). Holders of a streaming responder keep
// a QPointer: the object goes away when the client disconnects.
class HttpResponder : public QObject {
    Q_OBJECT
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    HttpResponder(HttpConnection* connection, bool keepAlive, bool http10);

    void respond(int status, const QByteArray& contentType, const QByteArray& body,
                 const Headers& extra = {});
    void respondJson(int status, const QJsonValue& value);
    void respondError(int status, const QString& message);

    void beginStream(int status, const QByteArray& contentType, const Headers& extra = {});
    // Sends one piece of a stream. False when the client is gone or too slow.
    bool write(const QByteArray& data);
    void endStream();

    bool hasResponded() const { return m_state != State::Fresh; }
    bool isStreaming() const { return m_state == State::Streaming; }

    static QByteArray reasonPhrase(int status);

Q_SIGNALS:
    // The client went away before the response finished.
    void disconnected();

private:
    friend class HttpConnection;
    enum class State { Fresh, Streaming, Finished };
    QByteArray statusHead(int status, const QByteArray& contentType, const Headers& extra) const;
    void clientGone();

    HttpConnection* m_connection;
    bool m_keepAlive;
    bool m_http10;
    State m_state = State::Fresh;
};

} // namespace tolvane::coach
