#include "intent.h"
#include "intentsupport.h"
#include "store.h"

#include <QLocale>
#include <QMap>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class AnalyticsIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn AnalyticsIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(u"Counting your posts…"_s);
    CoachTurn t;
    t.intent = u"analytics"_s;
    t.label = u"Report analytics"_s;
    t.toolCalls.append(toolCall(u"read_store"_s, {{u"table"_s, u"drafts"_s}}));
    const Overview o = c.store.overview(c.userID);
    const QList<Draft> published = c.store.drafts(c.userID, u"published"_s, 500);
    int last7 = 0;
    int last30 = 0;
    qint64 chars = 0;
    QMap<QString, int> styles;
    QMap<int, int> weekdays;
    for (const Draft& d : published) {
        const qint64 age = d.publishedAt.secsTo(c.in.now);
        last7 += age <= 7 * 86400 ? 1 : 0;
        last30 += age <= 30 * 86400 ? 1 : 0;
        chars += d.text.size();
        styles[d.style] += 1;
        weekdays[d.publishedAt.toTimeZone(c.zone).date().dayOfWeek()] += 1;
    }
    QStringList lines;
    lines << u"- Published: **%1** (last 7 days: %2, last 30 days: %3)"_s.arg(o.published)
                 .arg(last7)
                 .arg(last30)
          << u"- Scheduled: **%1**"_s.arg(o.scheduledPending)
          << u"- Drafts waiting: **%1**"_s.arg(o.drafts);
    if (!published.isEmpty()) {
        lines << u"- Average length: %1 characters"_s.arg(chars / published.size());
        QString topStyle;
        int topCount = 0;
        for (auto it = styles.begin(); it != styles.end(); ++it) {
            if (it.value() > topCount) {
                topCount = it.value();
                topStyle = it.key();
            }
        }
        lines << u"- Most used style: %1 (%2 of %3)"_s.arg(topStyle).arg(topCount).arg(
            published.size());
        int topDay = 0;
        int dayCount = 0;
        for (auto it = weekdays.begin(); it != weekdays.end(); ++it) {
            if (it.value() > dayCount) {
                dayCount = it.value();
                topDay = it.key();
            }
        }
        lines << u"- You publish most on %1s"_s.arg(QLocale(QLocale::English).dayName(topDay));
    }
    QString advice;
    if (o.published == 0) {
        advice = u"Nothing published yet. Aim for three posts a week; the first "
                 "one is the hardest."_s;
    } else if (last7 < 3) {
        advice = u"You're at %1 this week; three a week is where reach starts to "
                 "compound."_s.arg(last7);
    } else {
        advice = u"Three or more this week: that's the rhythm that grows an "
                 "audience. Keep it."_s;
    }
    t.reply = u"Your posting so far:\n\n"_s + lines.join(QLatin1Char('\n')) + u"\n\n"_s + advice +
              u"\n\nImpressions and likes need a connected LinkedIn account; this "
              "local coach publishes to its own store, so it counts them as 0."_s;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeAnalyticsIntent() {
    return std::make_unique<AnalyticsIntent>();
}

} // namespace tolvane::coach
