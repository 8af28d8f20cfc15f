#include "intent.h"
#include "intentsupport.h"
#include "store.h"
#include "whenparser.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class UpcomingIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn UpcomingIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(QStringLiteral("Looking up your calendar…"));
    CoachTurn t;
    t.intent = QStringLiteral("schedule.list");
    t.label = QStringLiteral("List scheduled posts");
    t.toolCalls.append(toolCall(QStringLiteral("read_store"),
                                {{QStringLiteral("table"), QStringLiteral("drafts")},
                                 {QStringLiteral("status"), QStringLiteral("scheduled")}}));
    const QList<Draft> list = c.store.drafts(c.userId, QStringLiteral("scheduled"), 20);
    if (list.isEmpty()) {
        const QDateTime slot = WhenParser::nextGoodSlot(c.in.now, c.zone);
        t.reply = QStringLiteral("Nothing is scheduled yet. Your next good slot is %1 (%2). "
                                 "Draft something and say “schedule it”.")
                      .arg(when(slot, c.zone), QString::fromUtf8(c.zone.id()));
        return t;
    }
    QStringList lines;
    for (const Draft& d : list)
        lines.append(QStringLiteral("- **%1** — %2")
                         .arg(when(d.scheduledAt, c.zone), quoteFirstLine(d.text, 60)));
    t.reply = QStringLiteral("Your upcoming posts (%1):\n\n").arg(QString::fromUtf8(c.zone.id())) +
              lines.join(QLatin1Char('\n'));
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeUpcomingIntent() {
    return std::make_unique<UpcomingIntent>();
}

} // namespace tolvane::coach
