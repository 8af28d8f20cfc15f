#include "whenparser.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

namespace {

const QStringList weekdays = {u"monday"_s, u"tuesday"_s,  u"wednesday"_s, u"thursday"_s,
                              u"friday"_s, u"saturday"_s, u"sunday"_s};

} // namespace

WhenParser::Result WhenParser::parse(const QString& input, const QDateTime& nowUtc,
                                     const QTimeZone& zone) {
    const QString t = input.toLower();
    Result r;
    static const QRegularExpression nowRe(uR"(\b(now|right away|immediately|straight away)\b)"_s);
    if (nowRe.match(t).hasMatch()) {
        r.found = r.now = true;
        return r;
    }
    static const QRegularExpression inRe(
        uR"(\bin\s+(\d{1,4})\s*(minutes?|mins?|hours?|hrs?|days?)\b)"_s);
    if (auto m = inRe.match(t); m.hasMatch()) {
        const qint64 n = m.captured(1).toLongLong();
        const QString unit = m.captured(2);
        qint64 secs = n * 60;
        if (unit.startsWith(QLatin1Char('h'))) {
            secs = n * 3600;
        } else if (unit.startsWith(QLatin1Char('d'))) {
            secs = n * 86400;
        }
        r.found = true;
        r.at = nowUtc.addSecs(secs);
        return r;
    }

    const QDateTime local = nowUtc.toTimeZone(zone);
    QDate day;
    static const QRegularExpression dateRe(uR"(\b(\d{4})-(\d{2})-(\d{2})\b)"_s);
    if (auto m = dateRe.match(t); m.hasMatch()) {
        day = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    } else if (t.contains("tomorrow"_L1)) {
        day = local.date().addDays(1);
    } else if (t.contains("today"_L1) || t.contains("tonight"_L1)) {
        day = local.date();
    } else {
        for (int i = 0; i < weekdays.size(); ++i) {
            const QRegularExpression dayRe(
                uR"(\b(%1|%2)\b)"_s.arg(weekdays[i], weekdays[i].left(3)));
            if (dayRe.match(t).hasMatch()) {
                int ahead = (i + 1) - local.date().dayOfWeek();
                if (ahead <= 0) {
                    ahead += 7;
                }
                day = local.date().addDays(ahead);
                break;
            }
        }
    }

    QTime time;
    static const QRegularExpression clockRe(
        uR"((?:\bat\s+)?\b(\d{1,2})(?::(\d{2}))?\s*(am|pm)\b|\b(\d{1,2}):(\d{2})\b)"
        R"(|\bat\s+(\d{1,2})\b(?!:))"_s);
    if (auto m = clockRe.match(t); m.hasMatch()) {
        int hour = 0;
        int minute = 0;
        if (!m.captured(1).isEmpty()) {
            hour = m.captured(1).toInt();
            minute = m.captured(2).toInt();
            if (hour < 1 || hour > 12) {
                return r;
            }
            hour %= 12;
            if (m.captured(3) == "pm"_L1) {
                hour += 12;
            }
        } else if (!m.captured(4).isEmpty()) {
            hour = m.captured(4).toInt();
            minute = m.captured(5).toInt();
        } else {
            hour = m.captured(6).toInt();
        }
        time = QTime(hour, minute);
        if (!time.isValid()) {
            return r;
        }
    } else if (t.contains("noon"_L1)) {
        time = QTime(12, 0);
    } else if (t.contains("morning"_L1)) {
        time = QTime(9, 0);
    } else if (t.contains("afternoon"_L1)) {
        time = QTime(14, 0);
    } else if (t.contains("evening"_L1) || t.contains("tonight"_L1)) {
        time = QTime(18, 0);
    }

    if (!day.isValid() && !time.isValid()) {
        return r;
    }
    if (!time.isValid()) {
        time = QTime(9, 0);
    }
    bool dayGiven = day.isValid();
    if (!dayGiven) {
        day = local.date();
    }
    QDateTime at(day, time, zone);
    if (!dayGiven && at <= nowUtc) {
        at = at.addDays(1);
    }
    r.found = at.isValid();
    r.at = at.toUTC();
    return r;
}

QDateTime WhenParser::nextGoodSlot(const QDateTime& nowUtc, const QTimeZone& zone) {
    const QDateTime local = nowUtc.toTimeZone(zone);
    for (int ahead = 0; ahead < 8; ++ahead) {
        const QDate d = local.date().addDays(ahead);
        if (d.dayOfWeek() < 2 || d.dayOfWeek() > 4) {
            continue;
        }
        const QDateTime slot(d, QTime(8, 30), zone);
        if (slot > nowUtc.addSecs(15 * 60)) {
            return slot.toUTC();
        }
    }
    return nowUtc.addDays(1);
}

} // namespace tolvane::coach
