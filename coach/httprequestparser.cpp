#include "httprequestparser.h"

#include <QDir>
#include <QUrl>

#include <cctype>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

namespace {

bool isToken(QByteArrayView text) {
    if (text.isEmpty()) {
        return false;
    }
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 32 || u >= 127 || c == '(' || c == ')' || c == ',' || c == '/' || c == ':' ||
            c == ';' || c == '<' || c == '=' || c == '>' || c == '?' || c == '@' || c == '[' ||
            c == '\\' || c == ']' || c == '{' || c == '}' || c == '"') {
            return false;
        }
    }
    return true;
}

} // namespace

HttpRequestParser::HttpRequestParser(Limits limits)
    : m_limits(std::move(limits)) {}

HttpRequestParser::Status HttpRequestParser::fail(int status, const QString& message) {
    m_state = State::Failed;
    m_errorStatus = status;
    m_errorMessage = message;
    return Status::Error;
}

bool HttpRequestParser::expectsContinue() const {
    return m_request.header("expect").toLower() == "100-continue";
}

HttpRequestParser::Status HttpRequestParser::feed(QByteArray& buffer) {
    if (m_state == State::Failed) {
        return Status::Error;
    }
    if (m_state == State::Complete) {
        return Status::Done;
    }
    if (m_state == State::Head) {
        // Tolerate stray line ends between keep-alive requests.
        qsizetype skip = 0;
        while (skip < buffer.size() && (buffer[skip] == '\r' || buffer[skip] == '\n')) {
            ++skip;
        }
        buffer.remove(0, skip);
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (buffer.size() > m_limits.maxHeaderBytes) {
                return fail(431, u"request header too large"_s);
            }
            return Status::NeedMore;
        }
        if (end + 4 > m_limits.maxHeaderBytes) {
            return fail(431, u"request header too large"_s);
        }
        const QByteArray head = buffer.left(end);
        buffer.remove(0, end + 4);
        if (const Status s = parseHead(head); s == Status::Error) {
            return s;
        }
        if (m_remaining == 0 && !m_chunked) {
            m_state = State::Complete;
            return Status::Done;
        }
        m_state = State::Body;
        return Status::HeadersDone;
    }
    if (m_chunked) {
        return feedChunked(buffer);
    }
    // Body.
    const qint64 take = std::min<qint64>(m_remaining, buffer.size());
    if (take > 0) {
        if (!appendBody(buffer, take)) {
            return fail(500, u"could not store the request body"_s);
        }
        m_remaining -= take;
    }
    if (m_remaining > 0) {
        return Status::NeedMore;
    }
    return finishBody();
}

HttpRequestParser::Status HttpRequestParser::finishBody() {
    if (m_request.bodyFile) {
        m_request.bodyFile->flush();
    }
    m_state = State::Complete;
    return Status::Done;
}

HttpRequestParser::Status HttpRequestParser::feedChunked(QByteArray& buffer) {
    // A size line holds at most 16 hex digits and extensions; more is abuse.
    constexpr qsizetype maxSizeLine = 1024;
    for (;;) {
        if (m_chunk == Chunk::Data) {
            const qint64 take = std::min<qint64>(m_remaining, buffer.size());
            if (take > 0) {
                if (!appendBody(buffer, take)) {
                    return fail(500, u"could not store the request body"_s);
                }
                m_remaining -= take;
            }
            if (m_remaining > 0) {
                return Status::NeedMore;
            }
            m_chunk = Chunk::DataEnd;
            continue;
        }
        const qsizetype lf = buffer.indexOf('\n');
        if (lf < 0) {
            if (m_chunk == Chunk::Trailers &&
                m_trailerBytes + buffer.size() > m_limits.maxHeaderBytes) {
                return fail(431, u"request trailer too large"_s);
            }
            if (m_chunk != Chunk::Trailers && buffer.size() > maxSizeLine) {
                return fail(400, u"malformed chunk size"_s);
            }
            return Status::NeedMore;
        }
        QByteArray line = buffer.left(lf);
        buffer.remove(0, lf + 1);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (m_chunk == Chunk::DataEnd) {
            if (!line.isEmpty()) {
                return fail(400, u"chunk data longer than its size"_s);
            }
            m_chunk = Chunk::Size;
            continue;
        }
        if (m_chunk == Chunk::Trailers) {
            // Trailer fields are read and dropped; the empty line ends the body.
            m_trailerBytes += lf + 1;
            if (m_trailerBytes > m_limits.maxHeaderBytes) {
                return fail(431, u"request trailer too large"_s);
            }
            if (line.isEmpty()) {
                return finishBody();
            }
            continue;
        }
        if (line.size() > maxSizeLine) {
            return fail(400, u"malformed chunk size"_s);
        }
        const qsizetype semicolon = line.indexOf(';');
        const QByteArray digits = (semicolon < 0 ? line : line.left(semicolon)).trimmed();
        bool ok = !digits.isEmpty() && digits.size() <= 15;
        for (char ch : digits) {
            ok = ok && std::isxdigit(static_cast<unsigned char>(ch));
        }
        const qint64 size = ok ? digits.toLongLong(&ok, 16) : -1;
        if (!ok) {
            return fail(400, u"malformed chunk size"_s);
        }
        if (size == 0) {
            m_chunk = Chunk::Trailers;
            continue;
        }
        m_bodySize += size;
        if (m_bodySize > m_bodyLimit) {
            return fail(413, u"request body too large"_s);
        }
        if (!m_request.bodyFile && m_bodySize > m_limits.spoolThreshold && !spool()) {
            return fail(507, u"no room to store the request body"_s);
        }
        m_remaining = size;
        m_chunk = Chunk::Data;
    }
}

bool HttpRequestParser::spool() {
    const QString dir = m_limits.spoolDir.isEmpty() ? QDir::tempPath() : m_limits.spoolDir;
    auto file = std::make_shared<QTemporaryFile>(dir + u"/tolvane-coach-body-XXXXXX"_s);
    if (!file->open()) {
        return false;
    }
    // A chunked body learns its size as it goes: what is in memory moves over.
    if (file->write(m_request.memoryBody) != m_request.memoryBody.size()) {
        return false;
    }
    m_request.memoryBody = QByteArray();
    m_request.bodyFile = std::move(file);
    return true;
}

bool HttpRequestParser::appendBody(QByteArray& buffer, qint64 count) {
    if (m_request.bodyFile) {
        const qint64 written = m_request.bodyFile->write(buffer.constData(), count);
        buffer.remove(0, count);
        return written == count;
    }
    m_request.memoryBody.append(buffer.constData(), count);
    buffer.remove(0, count);
    return true;
}

HttpRequestParser::Status HttpRequestParser::parseHead(const QByteArray& head) {
    const QList<QByteArray> lines = head.split('\n');
    QByteArray requestLine = lines.first();
    if (requestLine.endsWith('\r')) {
        requestLine.chop(1);
    }
    const QList<QByteArray> parts = requestLine.split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || parts[1].isEmpty()) {
        return fail(400, u"malformed request line"_s);
    }
    m_request.method = parts[0];
    m_request.target = parts[1];
    m_request.version = parts[2];
    if (m_request.version != "HTTP/1.1" && m_request.version != "HTTP/1.0") {
        return fail(505, u"only HTTP/1.1 and HTTP/1.0 are supported"_s);
    }

    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.isEmpty()) {
            continue;
        }
        if (line.front() == ' ' || line.front() == '\t') {
            return fail(400, u"folded header lines are not accepted"_s);
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.left(colon))) {
            return fail(400, u"malformed header line"_s);
        }
        if (m_request.headers.size() >= 100) {
            return fail(431, u"too many header lines"_s);
        }
        m_request.headers.append({line.left(colon).toLower(), line.mid(colon + 1).trimmed()});
    }

    if (!m_request.target.startsWith('/')) {
        return fail(400, u"request target must be a path"_s);
    }
    const QUrl url = QUrl::fromEncoded(QByteArray("http://localhost") + m_request.target);
    if (!url.isValid()) {
        return fail(400, u"malformed request target"_s);
    }
    m_request.path = url.path(QUrl::FullyDecoded);
    if (m_request.path.isEmpty()) {
        m_request.path = u"/"_s;
    }
    m_request.query = QUrlQuery(url);

    const bool upload = m_request.path == m_limits.uploadPath;
    const qint64 limit = upload ? m_limits.maxUploadBytes : m_limits.maxBodyBytes;
    if (m_request.hasHeader("transfer-encoding")) {
        int count = 0;
        for (const auto& h : m_request.headers) {
            count += h.first == "transfer-encoding" ? 1 : 0;
        }
        // A length beside the coding is how requests are smuggled past proxies.
        if (count > 1 || m_request.hasHeader("content-length")) {
            return fail(400, u"conflicting body framing"_s);
        }
        if (m_request.header("transfer-encoding").toLower() != "chunked") {
            return fail(501, u"only the chunked transfer coding is supported"_s);
        }
        if (m_request.version == "HTTP/1.0") {
            return fail(400, u"chunked bodies need HTTP/1.1"_s);
        }
        m_chunked = true;
        m_bodyLimit = limit;
        return Status::NeedMore;
    }
    qint64 length = 0;
    if (m_request.hasHeader("content-length")) {
        // Several values or anything but digits is a smuggling attempt or a bug.
        const QByteArray raw = m_request.header("content-length");
        bool ok = !raw.isEmpty();
        for (char c : raw) {
            ok = ok && c >= '0' && c <= '9';
        }
        length = ok && raw.size() <= 18 ? raw.toLongLong(&ok) : -1;
        if (!ok || length < 0) {
            return fail(400, u"invalid Content-Length"_s);
        }
        int count = 0;
        for (const auto& h : m_request.headers) {
            count += h.first == "content-length" ? 1 : 0;
        }
        if (count > 1) {
            return fail(400, u"duplicate Content-Length"_s);
        }
    }
    if (length > limit) {
        return fail(413, u"request body too large"_s);
    }
    m_remaining = length;
    if (length > m_limits.spoolThreshold) {
        if (!spool()) {
            return fail(507, u"no room to store the request body"_s);
        }
    } else {
        m_request.memoryBody.reserve(length);
    }
    return Status::NeedMore;
}

HttpRequest HttpRequestParser::takeRequest() {
    HttpRequest request = std::move(m_request);
    m_request = HttpRequest();
    m_state = State::Head;
    m_remaining = 0;
    m_chunked = false;
    m_chunk = Chunk::Size;
    m_bodySize = 0;
    m_trailerBytes = 0;
    return request;
}

} // namespace tolvane::coach
