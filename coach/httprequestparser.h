#pragma once

#include "httprequest.h"

#include <QString>

namespace tolvane::coach {

// Incremental parser of HTTP/1.1 requests with Content-Length or chunked
// bodies.
// Bounds every size so that a client cannot make the service hold more than
// the limits allow; bodies above the spool threshold go to a temporary file.
class HttpRequestParser {
public:
    struct Limits {
        qsizetype maxHeaderBytes = 32 * 1024;
        qint64 maxBodyBytes = 16 * 1024 * 1024;
        qint64 maxUploadBytes = qint64(2) * 1024 * 1024 * 1024;
        qint64 spoolThreshold = 4 * 1024 * 1024;
        QString uploadPath = QStringLiteral("/inapp/video");
        QString spoolDir;
    };

    enum class Status { NeedMore, HeadersDone, Done, Error };

    explicit HttpRequestParser(Limits limits);

    // Consumes bytes from the front of buffer. HeadersDone is reported once per
    // request, when the head has been read and a body is still expected.
    Status feed(QByteArray& buffer);
    bool inBody() const { return m_state == State::Body; }
    bool expectsContinue() const;

    HttpRequest takeRequest();
    int errorStatus() const { return m_errorStatus; }
    QString errorMessage() const { return m_errorMessage; }

private:
    enum class State { Head, Body, Complete, Failed };
    // Where a chunked body is: a size line, its data, the line end after the
    // data, or the trailer lines after the last chunk.
    enum class Chunk { Size, Data, DataEnd, Trailers };
    Status fail(int status, const QString& message);
    Status parseHead(const QByteArray& head);
    Status feedChunked(QByteArray& buffer);
    Status finishBody();
    bool spool();
    bool appendBody(QByteArray& buffer, qint64 count);

    Limits m_limits;
    State m_state = State::Head;
    HttpRequest m_request;
    qint64 m_remaining = 0;
    bool m_chunked = false;
    Chunk m_chunk = Chunk::Size;
    qint64 m_bodySize = 0;  // bytes of a chunked body so far
    qint64 m_bodyLimit = 0; // its limit, by path
    qsizetype m_trailerBytes = 0;
    int m_errorStatus = 0;
    QString m_errorMessage;
};

} // namespace tolvane::coach
