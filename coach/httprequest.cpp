#include "httprequest.h"

namespace tolvane::coach {

QByteArray HttpRequest::header(QByteArrayView lowerName) const {
    for (const auto& [name, value] : headers) {
        if (name == lowerName) {
            return value;
        }
    }
    return {};
}

bool HttpRequest::hasHeader(QByteArrayView lowerName) const {
    for (const auto& h : headers) {
        if (h.first == lowerName) {
            return true;
        }
    }
    return false;
}

bool HttpRequest::keepAlive() const {
    const QByteArray connection = header("connection").toLower();
    if (isHttp10()) {
        return connection.contains("keep-alive");
    }
    return !connection.contains("close");
}

QByteArrayView HttpRequest::body() const {
    if (!bodyFile) {
        return QByteArrayView(memoryBody);
    }
    const qint64 size = bodyFile->size();
    if (size == 0) {
        return {};
    }
    // The mapping lives as long as the file object, which the request shares.
    uchar* mapped = bodyFile->map(0, size);
    if (!mapped) {
        return {};
    }
    return QByteArrayView(reinterpret_cast<const char*>(mapped), size);
}

QString HttpRequest::bearer() const {
    const QByteArray value = header("authorization").trimmed();
    static constexpr QByteArrayView prefix = "bearer ";
    if (value.size() <= prefix.size() || value.left(prefix.size()).toLower() != prefix) {
        return {};
    }
    return QString::fromUtf8(value.mid(prefix.size()).trimmed());
}

QStringList HttpRequest::pathParts() const {
    QStringList parts = path.split(QLatin1Char('/'));
    if (!parts.isEmpty() && parts.first().isEmpty()) {
        parts.removeFirst();
    }
    return parts;
}

} // namespace tolvane::coach
