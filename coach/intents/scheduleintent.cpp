#include "intent.h"
#include "intentsupport.h"
#include "store.h"
#include "whenparser.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

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
    t.intent = u"schedule"_s;
    c.status(u"Finding your latest draft…"_s);
    std::optional<Draft> target;
    for (const Draft& d : c.store.drafts(c.userID, u"draft"_s, 1)) {
        target = d;
    }
    if (!target) {
        t.label = u"Nothing to schedule"_s;
        t.reply = u"There's no unscheduled draft to put on the calendar. Tell me "
                  "what you want to post about and I'll draft it first."_s;
        return t;
    }
    const QDateTime now = c.in.now;
    WhenParser::Result w = WhenParser::parse(phrase, now, c.zone);
    const bool nowRequested = w.now || QRegularExpression(uR"(^(post|publish)\s+(it|this)[.!]*$)"_s,
                                                          QRegularExpression::CaseInsensitiveOption)
                                           .match(phrase.trimmed())
                                           .hasMatch();
    if (nowRequested) {
        c.status(u"Publishing…"_s);
        c.store.publishDraft(target->token, target->text, now);
        t.label = u"Publish the draft now"_s;
        t.toolCalls.append(toolCall(u"publish_post"_s, {{u"token"_s, target->token}}));
        t.reply = u"Published %1 just now. I'll count it in /analytics."_s.arg(
            quoteFirstLine(target->text));
        return t;
    }
    const QDateTime at = w.found ? w.at : WhenParser::nextGoodSlot(now, c.zone);
    if (at <= now) {
        t.label = u"Reject a time in the past"_s;
        t.reply =
            u"%1 is already past. Pick a later time, or say “post it now”."_s.arg(when(at, c.zone));
        return t;
    }
    c.status(u"Putting it on your calendar…"_s);
    c.store.scheduleDraft(target->token, target->text, at);
    t.label = u"Schedule the draft"_s;
    t.toolCalls.append(toolCall(
        u"schedule_post"_s, {{u"token"_s, target->token}, {u"at"_s, at.toString(Qt::ISODate)}}));
    t.reply = u"Scheduled %1 for %2 (%3)%4. I'll publish it then and let you know."_s.arg(
                  quoteFirstLine(target->text), when(at, c.zone), QString::fromUtf8(c.zone.id()),
                  w.found ? QString()
                          : u" — you didn't give a time, so I picked the "
                            "next weekday morning slot"_s) +
              u"\n\n"_s + c.editLine(target->token);
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeScheduleIntent() {
    return std::make_unique<ScheduleIntent>();
}

} // namespace tolvane::coach
