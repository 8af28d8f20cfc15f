#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace tolvane::iso8601 {

// Internet date-time with a zone ("Z" or a signed "+hh:mm" offset), with or
// without fractional seconds: 2026-03-01T09:30:00.250Z, 2026-03-01T09:30:00+01:00.
// Anything else (no zone, a space for "T", missing seconds) is rejected; Qt's
// own parser is more lenient than the service's contract.
std::optional<QDateTime> parse(QStringView text, bool withFraction);

// Tries the fractional form first, then the plain form.
std::optional<QDateTime> parseEither(QStringView text);

// UTC with milliseconds: 2026-03-01T09:30:00.500Z.
QString formatWithMilliseconds(const QDateTime& time);

// UTC without fraction: 2026-03-01T08:30:00Z.
QString formatSeconds(const QDateTime& time);

} // namespace tolvane::iso8601
