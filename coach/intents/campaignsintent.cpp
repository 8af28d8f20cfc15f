#include "intent.h"
#include "intentsupport.h"
#include "store.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class CampaignsIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn CampaignsIntent::handle(const IntentContext& c, const IntentArgs& a) {
    const QString& arg = a.arg;
    struct Template {
        QString key;
        QString name;
        QString body; // %1 is the offer
    };
    static const QList<Template> templates = {
        {u"launch"_s, u"Launch"_s,
         u"It's live: %1.\n\nI built it because I kept seeing the same problem "
         "and nobody was fixing it.\n\nWhat it does:\n→ saves you the busywork\n→ "
         "fits how you already work\n→ takes five minutes to try\n\nComment "
         "“LAUNCH” and I'll send you early access."_s},
        {u"audit"_s, u"Free audit"_s,
         u"I'm opening 5 free audit slots this month for %1.\n\nYou get a "
         "30-minute review and three changes you can make the same day. No pitch "
         "at the end.\n\nComment “AUDIT” or send me a message to grab one."_s},
        {u"case-study"_s, u"Case study"_s,
         u"How one client got results with %1.\n\nThe situation: stuck, busy, out "
         "of ideas.\nWhat we changed: one process, one habit.\nThe result: "
         "measurable progress in weeks, not months.\n\nWant the same? Message me "
         "“CASE”."_s},
        {u"webinar"_s, u"Webinar invite"_s,
         u"Free live session next week: %1.\n\n45 minutes, real examples, time "
         "for your questions.\n\nComment “IN” and I'll send the link."_s},
        {u"waitlist"_s, u"Waitlist"_s,
         u"I'm building %1, and I want it shaped by the people who'll use "
         "it.\n\nJoin the waitlist and you'll get the first version free, plus a "
         "say in what comes next.\n\nComment “WAITLIST” to join."_s},
    };
    const QString key = arg.section(QLatin1Char(' '), 0, 0).toLower();
    QString offer = arg.section(QLatin1Char(' '), 1).trimmed();
    for (const Template& tpl : templates) {
        if (tpl.key != key) {
            continue;
        }
        if (offer.isEmpty()) {
            offer = c.store.memory(c.userID, u"work"_s);
            offer.remove(
                QRegularExpression(uR"(^(working on|building|launching|writing|creating)\s+)"_s));
        }
        if (offer.isEmpty()) {
            CoachTurn t;
            t.intent = u"campaign.ask"_s;
            t.label = u"Ask what the campaign sells"_s;
            t.reply = u"What are you offering? Say “/campaigns %1 <what you sell>”, "
                      "for example “/campaigns %1 my bookkeeping service for "
                      "designers”."_s.arg(tpl.key);
            return t;
        }
        c.status(u"Filling the %1 template…"_s.arg(tpl.name.toLower()));
        const QString text = tpl.body.arg(stripStop(offer));
        const Draft d = c.store.createDraft(c.userID, text, u"campaign-"_s + tpl.key, offer);
        CoachTurn t;
        t.intent = u"campaign.draft"_s;
        t.label = u"Draft a %1 campaign post"_s.arg(tpl.name.toLower());
        t.toolCalls.append(
            toolCall(u"create_draft"_s, {{u"token"_s, d.token}, {u"template"_s, tpl.key}}));
        t.reply = u"Here's a **%1** post:\n\n"_s.arg(tpl.name) + text +
                  u"\n\nTip: reply to every comment within the first hour; that's "
                  "when these posts win or lose.\n\n"_s +
                  c.editLine(d.token);
        return t;
    }
    QStringList lines;
    for (const Template& tpl : templates) {
        lines.append(u"- **%1** — `/campaigns %2 <your offer>`"_s.arg(tpl.name, tpl.key));
    }
    CoachTurn t;
    t.intent = u"campaign.list"_s;
    t.label = u"List campaign templates"_s;
    t.reply = u"Lead-gen templates for selling something:\n\n"_s + lines.join(QLatin1Char('\n')) +
              u"\n\nEach one ends with a comment keyword, so you can see who's "
              "interested and follow up by message."_s;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeCampaignsIntent() {
    return std::make_unique<CampaignsIntent>();
}

} // namespace tolvane::coach
