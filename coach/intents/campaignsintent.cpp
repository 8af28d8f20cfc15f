#include "intent.h"
#include "intentsupport.h"
#include "store.h"

#include <QRegularExpression>

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
        {QStringLiteral("launch"), QStringLiteral("Launch"),
         QStringLiteral("It's live: %1.\n\nI built it because I kept seeing the same problem "
                        "and nobody was fixing it.\n\nWhat it does:\n→ saves you the busywork\n→ "
                        "fits how you already work\n→ takes five minutes to try\n\nComment "
                        "“LAUNCH” and I'll send you early access.")},
        {QStringLiteral("audit"), QStringLiteral("Free audit"),
         QStringLiteral("I'm opening 5 free audit slots this month for %1.\n\nYou get a "
                        "30-minute review and three changes you can make the same day. No pitch "
                        "at the end.\n\nComment “AUDIT” or send me a message to grab one.")},
        {QStringLiteral("case-study"), QStringLiteral("Case study"),
         QStringLiteral("How one client got results with %1.\n\nThe situation: stuck, busy, out "
                        "of ideas.\nWhat we changed: one process, one habit.\nThe result: "
                        "measurable progress in weeks, not months.\n\nWant the same? Message me "
                        "“CASE”.")},
        {QStringLiteral("webinar"), QStringLiteral("Webinar invite"),
         QStringLiteral("Free live session next week: %1.\n\n45 minutes, real examples, time "
                        "for your questions.\n\nComment “IN” and I'll send the link.")},
        {QStringLiteral("waitlist"), QStringLiteral("Waitlist"),
         QStringLiteral("I'm building %1, and I want it shaped by the people who'll use "
                        "it.\n\nJoin the waitlist and you'll get the first version free, plus a "
                        "say in what comes next.\n\nComment “WAITLIST” to join.")},
    };
    const QString key = arg.section(QLatin1Char(' '), 0, 0).toLower();
    QString offer = arg.section(QLatin1Char(' '), 1).trimmed();
    for (const Template& tpl : templates) {
        if (tpl.key != key)
            continue;
        if (offer.isEmpty()) {
            offer = c.store.memory(c.userId, QStringLiteral("work"));
            offer.remove(QRegularExpression(
                QStringLiteral(R"(^(working on|building|launching|writing|creating)\s+)")));
        }
        if (offer.isEmpty()) {
            CoachTurn t;
            t.intent = QStringLiteral("campaign.ask");
            t.label = QStringLiteral("Ask what the campaign sells");
            t.reply = QStringLiteral("What are you offering? Say “/campaigns %1 <what you sell>”, "
                                     "for example “/campaigns %1 my bookkeeping service for "
                                     "designers”.")
                          .arg(tpl.key);
            return t;
        }
        c.status(QStringLiteral("Filling the %1 template…").arg(tpl.name.toLower()));
        const QString text = tpl.body.arg(stripStop(offer));
        const Draft d =
            c.store.createDraft(c.userId, text, QStringLiteral("campaign-") + tpl.key, offer);
        CoachTurn t;
        t.intent = QStringLiteral("campaign.draft");
        t.label = QStringLiteral("Draft a %1 campaign post").arg(tpl.name.toLower());
        t.toolCalls.append(
            toolCall(QStringLiteral("create_draft"),
                     {{QStringLiteral("token"), d.token}, {QStringLiteral("template"), tpl.key}}));
        t.reply = QStringLiteral("Here's a **%1** post:\n\n").arg(tpl.name) + text +
                  QStringLiteral("\n\nTip: reply to every comment within the first hour; that's "
                                 "when these posts win or lose.\n\n") +
                  c.editLine(d.token);
        return t;
    }
    QStringList lines;
    for (const Template& tpl : templates)
        lines.append(
            QStringLiteral("- **%1** — `/campaigns %2 <your offer>`").arg(tpl.name, tpl.key));
    CoachTurn t;
    t.intent = QStringLiteral("campaign.list");
    t.label = QStringLiteral("List campaign templates");
    t.reply = QStringLiteral("Lead-gen templates for selling something:\n\n") +
              lines.join(QLatin1Char('\n')) +
              QStringLiteral("\n\nEach one ends with a comment keyword, so you can see who's "
                             "interested and follow up by message.");
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeCampaignsIntent() {
    return std::make_unique<CampaignsIntent>();
}

} // namespace tolvane::coach
