#include "intent.h"
#include "intentsupport.h"
#include "store.h"
#include "whenparser.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class UpcomingIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn UpcomingIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(u"Looking up your calendar…"_s);
    CoachTurn t;
    t.intent = u"schedule.list"_s;
    t.label = u"List scheduled posts"_s;
    t.toolCalls.append(
        toolCall(u"read_store"_s, {{u"table"_s, u"drafts"_s}, {u"status"_s, u"scheduled"_s}}));
    const QList<Draft> list = c.store.drafts(c.userID, u"scheduled"_s, 20);
    if (list.isEmpty()) {
        const QDateTime slot = WhenParser::nextGoodSlot(c.in.now, c.zone);
        t.reply = u"Nothing is scheduled yet. Your next good slot is %1 (%2). "
                  "Draft something and say “schedule it”."_s.arg(when(slot, c.zone),
                                                                 QString::fromUtf8(c.zone.id()));
        return t;
    }
    QStringList lines;
    for (const Draft& d : list) {
        lines.append(
            u"- **%1** — %2"_s.arg(when(d.scheduledAt, c.zone), quoteFirstLine(d.text, 60)));
    }
    t.reply = u"Your upcoming posts (%1):\n\n"_s.arg(QString::fromUtf8(c.zone.id())) +
              lines.join(QLatin1Char('\n'));
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeUpcomingIntent() {
    return std::make_unique<UpcomingIntent>();
}

} // namespace tolvane::coach
