#include "iso8601.h"

#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace tolvane::iso8601 {

namespace {

// Reads exactly `count` ASCII digits at `pos`; advances `pos`.
std::optional<int> digits(QStringView text, qsizetype& pos, int count) {
    if (pos + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text[pos + i];
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - u'0');
    }
    pos += count;
    return value;
}

bool expect(QStringView text, qsizetype& pos, char16_t c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

} // namespace

std::optional<QDateTime> parse(QStringView text, bool withFraction) {
    qsizetype pos = 0;
    const auto year = digits(text, pos, 4);
    if (!year || !expect(text, pos, u'-')) {
        return std::nullopt;
    }
    const auto month = digits(text, pos, 2);
    if (!month || !expect(text, pos, u'-')) {
        return std::nullopt;
    }
    const auto day = digits(text, pos, 2);
    if (!day || !expect(text, pos, u'T')) {
        return std::nullopt;
    }
    const auto hour = digits(text, pos, 2);
    if (!hour || !expect(text, pos, u':')) {
        return std::nullopt;
    }
    const auto minute = digits(text, pos, 2);
    if (!minute || !expect(text, pos, u':')) {
        return std::nullopt;
    }
    const auto second = digits(text, pos, 2);
    if (!second) {
        return std::nullopt;
    }

    int msec = 0;
    if (withFraction) {
        if (!expect(text, pos, u'.')) {
            return std::nullopt;
        }
        // Any number of digits; kept to millisecond precision, rounded.
        qsizetype start = pos;
        double fraction = 0;
        double scale = 0.1;
        while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9') {
            fraction += (text[pos].unicode() - u'0') * scale;
            scale /= 10;
            ++pos;
        }
        if (pos == start) {
            return std::nullopt;
        }
        msec = qMin(999, static_cast<int>(fraction * 1000 + 0.5));
    }

    int offsetSeconds = 0;
    if (expect(text, pos, u'Z')) {
        offsetSeconds = 0;
    } else if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
        const int sign = text[pos] == u'-' ? -1 : 1;
        ++pos;
        const auto offHour = digits(text, pos, 2);
        if (!offHour || !expect(text, pos, u':')) {
            return std::nullopt;
        }
        const auto offMinute = digits(text, pos, 2);
        if (!offMinute || *offHour > 23 || *offMinute > 59) {
            return std::nullopt;
        }
        offsetSeconds = sign * (*offHour * 3600 + *offMinute * 60);
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) {
        return std::nullopt;
    }

    const QDate date(*year, *month, *day);
    if (!date.isValid() || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    const QDateTime local(date, QTime(*hour, *minute, *second, msec), QTimeZone(offsetSeconds));
    if (!local.isValid()) {
        return std::nullopt;
    }
    return local.toUTC();
}

std::optional<QDateTime> parseEither(QStringView text) {
    if (auto withFraction = parse(text, true)) {
        return withFraction;
    }
    return parse(text, false);
}

QString formatWithMilliseconds(const QDateTime& time) {
    return time.toUTC().toString(u"yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"_s);
}

QString formatSeconds(const QDateTime& time) {
    return time.toUTC().toString(u"yyyy-MM-dd'T'HH:mm:ss'Z'"_s);
}

} // namespace tolvane::iso8601
