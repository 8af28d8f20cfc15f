#include "intent.h"
#include "intentsupport.h"
#include "store.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class TrendsIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn TrendsIntent::handle(const IntentContext& c, const IntentArgs& a) {
    const QString& keyword = a.arg;
    c.status(u"Matching angles to your niche…"_s);
    QString niche = keyword.trimmed();
    if (niche.isEmpty()) {
        for (const char* kind : {"role", "audience", "work"}) {
            niche = c.store.memory(c.userID, QString::fromLatin1(kind));
            if (!niche.isEmpty()) {
                break;
            }
        }
    }
    struct Angle {
        QRegularExpression match;
        QStringList ideas;
    };
    static const QList<Angle> angles = {
        {ci(uR"(\b(ai|ml|machine learning|llm|data)\b)"_s),
         {u"Where AI saved you real hours this month, with numbers"_s,
          u"A task you tried to automate and why it failed"_s,
          u"How you check AI output before it reaches a customer"_s}},
        {ci(uR"(market|brand|growth|content|seo)"_s),
         {u"One campaign that flopped and what the data said"_s,
          u"Organic vs. paid: what actually moved your pipeline"_s,
          u"The smallest experiment that changed your strategy"_s}},
        {ci(uR"(design|ux|ui\b|product)"_s),
         {u"A before/after of one screen, and the user insight behind it"_s,
          u"The feature you removed and why users were happier"_s,
          u"How you run a five-user test in one afternoon"_s}},
        {ci(uR"(engineer|developer|software|code|devops|tech)"_s),
         {u"A bug that taught you something about your system"_s,
          u"The boring tool choice you'd make again"_s,
          u"What code review looks like on your team, honestly"_s}},
        {ci(uR"(sales|selling|b2b|revenue|customers?)"_s),
         {u"The objection you hear most and how you answer it"_s,
          u"A deal you lost and the lesson in it"_s,
          u"The first message that gets replies, word for word"_s}},
        {ci(uR"(founder|startup|ceo|business|freelanc|consult)"_s),
         {u"A number from this month you're proud of, and one you're not"_s,
          u"The decision you keep putting off, in public"_s,
          u"What your first ten customers had in common"_s}},
        {ci(uR"(lead|manag|team|hr|recruit|hiring)"_s),
         {u"A hiring mistake and the question you now always ask"_s,
          u"How you run one-on-ones that people look forward to"_s,
          u"The meeting you cancelled and what replaced it"_s}},
    };
    QStringList ideas = {u"A lesson from this week, told as a short story"_s,
                         u"A common belief in your field you disagree with"_s,
                         u"A checklist people can save and reuse"_s};
    for (const Angle& angle : angles) {
        if (!niche.isEmpty() && angle.match.match(niche).hasMatch()) {
            ideas = angle.ideas;
            break;
        }
    }
    CoachTurn t;
    t.intent = u"trends"_s;
    t.label = u"Suggest angles for %1"_s.arg(niche.isEmpty() ? u"a general niche"_s : niche);
    QStringList lines;
    for (const QString& idea : ideas) {
        lines.append(u"- "_s + idea);
    }
    t.reply = u"Angles that work%1:\n\n"_s.arg(niche.isEmpty() ? QString()
                                                               : u" for **%1**"_s.arg(niche)) +
              lines.join(QLatin1Char('\n')) +
              u"\n\nI run offline, so these are proven angles rather than live "
              "trending data. Pick one and tell me your version: “draft a post "
              "about …”."_s;
    if (niche.isEmpty()) {
        t.reply += u" Add a keyword (“/trends marketing”) or tell me your role for "
                   "sharper ideas."_s;
    }
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeTrendsIntent() {
    return std::make_unique<TrendsIntent>();
}

} // namespace tolvane::coach
