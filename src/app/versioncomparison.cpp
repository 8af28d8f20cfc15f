#include "versioncomparison.h"

#include <algorithm>

namespace tolvane::version {

namespace {

qint64 componentValue(const QString& text) {
    qsizetype i = 0;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        ++i;
    }
    if (i == text.size()) {
        return 0;
    }
    // Only digits after the sign: QString's own parser would also accept
    // surrounding spaces.
    for (qsizetype j = i; j < text.size(); ++j) {
        if (text[j] < QLatin1Char('0') || text[j] > QLatin1Char('9')) {
            return 0;
        }
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok ? value : 0; // out of range counts like any other non-number
}

} // namespace

QList<qint64> components(const QString& version) {
    QList<qint64> out;
    for (const QString& part : version.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        out.append(componentValue(part));
    }
    return out;
}

bool isNewer(const QString& candidate, const QString& running) {
    const QList<qint64> a = components(candidate);
    const QList<qint64> b = components(running);
    const qsizetype n = std::max(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const qint64 x = i < a.size() ? a[i] : 0;
        const qint64 y = i < b.size() ? b[i] : 0;
        if (x != y) {
            return x > y;
        }
    }
    return false;
}

} // namespace tolvane::version
