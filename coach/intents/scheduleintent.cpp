#include "intent.h"
#include "intentsupport.h"
#include "store.h"
#include "whenparser.h"

#include <QRegularExpression>

namespace tolvane::coach {

using namespace intents;

namespace {

class ScheduleIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn ScheduleIntent::handle(const IntentContext& c, const IntentArgs& a) {
    const QString& phrase = a.arg;
    CoachTurn t;
    t.intent = QStringLiteral("schedule");
    c.status(QStringLiteral("Finding your latest draft…"));
    std::optional<Draft> target;
    for (const Draft& d : c.store.drafts(c.userId, QStringLiteral("draft"), 1))
        target = d;
    if (!target) {
        t.label = QStringLiteral("Nothing to schedule");
        t.reply = QStringLiteral("There's no unscheduled draft to put on the calendar. Tell me "
                                 "what you want to post about and I'll draft it first.");
        return t;
    }
    const QDateTime now = c.in.now;
    WhenParser::Result w = WhenParser::parse(phrase, now, c.zone);
    const bool nowRequested =
        w.now || QRegularExpression(QStringLiteral(R"(^(post|publish)\s+(it|this)[.!]*$)"),
                                    QRegularExpression::CaseInsensitiveOption)
                     .match(phrase.trimmed())
                     .hasMatch();
    if (nowRequested) {
        c.status(QStringLiteral("Publishing…"));
        c.store.publishDraft(target->token, target->text, now);
        t.label = QStringLiteral("Publish the draft now");
        t.toolCalls.append(
            toolCall(QStringLiteral("publish_post"), {{QStringLiteral("token"), target->token}}));
        t.reply = QStringLiteral("Published %1 just now. I'll count it in /analytics.")
                      .arg(quoteFirstLine(target->text));
        return t;
    }
    const QDateTime at = w.found ? w.at : WhenParser::nextGoodSlot(now, c.zone);
    if (at <= now) {
        t.label = QStringLiteral("Reject a time in the past");
        t.reply = QStringLiteral("%1 is already past. Pick a later time, or say “post it now”.")
                      .arg(when(at, c.zone));
        return t;
    }
    c.status(QStringLiteral("Putting it on your calendar…"));
    c.store.scheduleDraft(target->token, target->text, at);
    t.label = QStringLiteral("Schedule the draft");
    t.toolCalls.append(toolCall(QStringLiteral("schedule_post"),
                                {{QStringLiteral("token"), target->token},
                                 {QStringLiteral("at"), at.toString(Qt::ISODate)}}));
    t.reply =
        QStringLiteral("Scheduled %1 for %2 (%3)%4. I'll publish it then and let you know.")
            .arg(quoteFirstLine(target->text), when(at, c.zone), QString::fromUtf8(c.zone.id()),
                 w.found ? QString()
                         : QStringLiteral(" — you didn't give a time, so I picked the "
                                          "next weekday morning slot")) +
        QStringLiteral("\n\n") + c.editLine(target->token);
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeScheduleIntent() {
    return std::make_unique<ScheduleIntent>();
}

} // namespace tolvane::coach
