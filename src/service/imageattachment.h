#pragma once

#include "platform/expected.h"

#include <QByteArray>
#include <QString>

namespace tolvane {

// Pictures the user attaches to a chat message. Each is checked before it is
// read in full or kept: a refused picture is never sent nor saved with the
// conversation.
namespace imageattachment {

// The largest picture a message carries: as base64 (a third larger) inside the
// chat request's JSON it stays below the coach's 16 MiB request limit, with
// room for the text.
inline constexpr qint64 maxBytes = 10 * 1024 * 1024;

// Reads the file at `path` for attaching. Refused, with the text the user sees:
// anything but a regular file (a FIFO or device would never end), a file
// larger than `maxBytes` (without reading it), and bytes that do not decode as
// a picture. The accepted bytes are the file's, unchanged.
Expected<QByteArray, QString> readFile(const QString& path);

// The same checks for bytes already in memory (a pasted picture); `name` is
// how the message calls them. Empty when they are fine.
QString check(const QByteArray& bytes, const QString& name);

// "10.0 MB" style sizes, as the messages show them.
QString formatSize(qint64 bytes);

} // namespace imageattachment

} // namespace tolvane
