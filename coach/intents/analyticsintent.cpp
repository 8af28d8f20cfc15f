#include "intent.h"
#include "intentsupport.h"
#include "store.h"

#include <QLocale>
#include <QMap>

namespace tolvane::coach {

using namespace intents;

namespace {

class AnalyticsIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn AnalyticsIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(QStringLiteral("Counting your posts…"));
    CoachTurn t;
    t.intent = QStringLiteral("analytics");
    t.label = QStringLiteral("Report analytics");
    t.toolCalls.append(toolCall(QStringLiteral("read_store"),
                                {{QStringLiteral("table"), QStringLiteral("drafts")}}));
    const Overview o = c.store.overview(c.userId);
    const QList<Draft> published = c.store.drafts(c.userId, QStringLiteral("published"), 500);
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
    lines << QStringLiteral("- Published: **%1** (last 7 days: %2, last 30 days: %3)")
                 .arg(o.published)
                 .arg(last7)
                 .arg(last30)
          << QStringLiteral("- Scheduled: **%1**").arg(o.scheduledPending)
          << QStringLiteral("- Drafts waiting: **%1**").arg(o.drafts);
    if (!published.isEmpty()) {
        lines << QStringLiteral("- Average length: %1 characters").arg(chars / published.size());
        QString topStyle;
        int topCount = 0;
        for (auto it = styles.begin(); it != styles.end(); ++it) {
            if (it.value() > topCount) {
                topCount = it.value();
                topStyle = it.key();
            }
        }
        lines << QStringLiteral("- Most used style: %1 (%2 of %3)")
                     .arg(topStyle)
                     .arg(topCount)
                     .arg(published.size());
        int topDay = 0;
        int dayCount = 0;
        for (auto it = weekdays.begin(); it != weekdays.end(); ++it) {
            if (it.value() > dayCount) {
                dayCount = it.value();
                topDay = it.key();
            }
        }
        lines << QStringLiteral("- You publish most on %1s")
                     .arg(QLocale(QLocale::English).dayName(topDay));
    }
    QString advice;
    if (o.published == 0)
        advice = QStringLiteral("Nothing published yet. Aim for three posts a week; the first "
                                "one is the hardest.");
    else if (last7 < 3)
        advice = QStringLiteral("You're at %1 this week; three a week is where reach starts to "
                                "compound.")
                     .arg(last7);
    else
        advice = QStringLiteral("Three or more this week: that's the rhythm that grows an "
                                "audience. Keep it.");
    t.reply = QStringLiteral("Your posting so far:\n\n") + lines.join(QLatin1Char('\n')) +
              QStringLiteral("\n\n") + advice +
              QStringLiteral("\n\nImpressions and likes need a connected LinkedIn account; this "
                             "local coach publishes to its own store, so it counts them as 0.");
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeAnalyticsIntent() {
    return std::make_unique<AnalyticsIntent>();
}

} // namespace tolvane::coach
