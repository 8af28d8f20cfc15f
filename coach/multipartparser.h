#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace tolvane::coach {

// Splits a multipart/form-data body into its parts. Part data are views into
// the body, so a large upload is never copied here.
class MultipartParser {
public:
    struct Part {
        QString name;
        QString filename;
        QByteArray contentType;
        QByteArrayView data;
    };

    // The boundary parameter of a Content-Type header, or empty.
    static QByteArray boundaryOf(const QByteArray& contentType);
    // nullopt when the body is not well-formed for this boundary.
    static std::optional<QList<Part>> parse(QByteArrayView body, const QByteArray& boundary);
};

} // namespace tolvane::coach
