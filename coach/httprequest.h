#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QTemporaryFile>
#include <QUrlQuery>

#include <memory>

namespace tolvane::coach {

// One parsed HTTP/1.1 request. Header names are stored lower-cased. Large
// bodies are spooled to a temporary file instead of memory; body() maps it.
class HttpRequest {
public:
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QString path; // percent-decoded, always starts with "/"
    QUrlQuery query;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray memoryBody;
    std::shared_ptr<QTemporaryFile> bodyFile;
    QHostAddress peer;

    QByteArray header(QByteArrayView lowerName) const;
    bool hasHeader(QByteArrayView lowerName) const;
    bool keepAlive() const;
    bool isHttp10() const { return version == "HTTP/1.0"; }
    // The request body, in memory or mapped from its spool file.
    QByteArrayView body() const;
    // The token of an "Authorization: Bearer ..." header, or empty.
    QString bearer() const;
    // The path split at "/" without the leading empty piece.
    QStringList pathParts() const;
};

} // namespace tolvane::coach
