#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

namespace tolvane::coach {

// Reads when the user wants a post to go out ("tomorrow at 9", "friday 14:30",
// "in 2 hours", "now", "2026-03-02 08:30") in the user's own time zone.
class WhenParser {
public:
    struct Result {
        bool found = false;
        bool now = false;
        QDateTime at; // UTC, valid when found and not now
    };

    static Result parse(const QString& text, const QDateTime& nowUtc, const QTimeZone& zone);
    // The next good slot when the user gives no time: 08:30 on the next
    // Tuesday, Wednesday or Thursday, when LinkedIn audiences read most.
    static QDateTime nextGoodSlot(const QDateTime& nowUtc, const QTimeZone& zone);
};

} // namespace tolvane::coach
