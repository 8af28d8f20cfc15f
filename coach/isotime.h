#pragma once

#include <QDateTime>
#include <QString>

namespace tolvane::coach::isotime {

// UTC with milliseconds and "Z", e.g. 2026-03-01T09:30:00.250Z: the form the
// app's decoder tries first.
QString format(const QDateTime& t);

// Accepts date "T" time with seconds, optional fraction, and a zone that is
// "Z" or a signed offset with a colon. Anything else (no zone, a space instead
// of "T") gives an invalid date-time.
QDateTime parse(const QString& text);

} // namespace tolvane::coach::isotime
