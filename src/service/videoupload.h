#pragma once

#include "platform/expected.h"

#include <QByteArray>
#include <QString>

namespace tolvane::upload {

// The size of each copy step; memory stays bounded by it.
inline constexpr qint64 chunkSize = 1024 * 1024;

struct Field {
    QString name;
    QString value;
};

// Writes the multipart body (text fields, then the video part with the file's
// bytes, then the closing line) to `bodyPath`. The error is the file system's
// description; the caller removes the body file.
Expected<Done, QString> writeMultipartBody(const QString& bodyPath, const QByteArray& boundary,
                                           const QList<Field>& fields, const QString& videoPath);

// "tolvane-" + an upper-case random UUID.
QByteArray makeBoundary();

// A new "tolvane-upload-<uuid>.tmp" path in the temporary directory.
QString makeBodyPath();

} // namespace tolvane::upload
