#include "intent.h"
#include "intentsupport.h"
#include "store.h"

#include <QRegularExpression>

namespace tolvane::coach {

using namespace intents;

namespace {

class TrendsIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn TrendsIntent::handle(const IntentContext& c, const IntentArgs& a) {
    const QString& keyword = a.arg;
    c.status(QStringLiteral("Matching angles to your niche…"));
    QString niche = keyword.trimmed();
    if (niche.isEmpty()) {
        for (const char* kind : {"role", "audience", "work"}) {
            niche = c.store.memory(c.userId, QString::fromLatin1(kind));
            if (!niche.isEmpty())
                break;
        }
    }
    struct Angle {
        QRegularExpression match;
        QStringList ideas;
    };
    static const QList<Angle> angles = {
        {ci(QStringLiteral(R"(\b(ai|ml|machine learning|llm|data)\b)")),
         {QStringLiteral("Where AI saved you real hours this month, with numbers"),
          QStringLiteral("A task you tried to automate and why it failed"),
          QStringLiteral("How you check AI output before it reaches a customer")}},
        {ci(QStringLiteral(R"(market|brand|growth|content|seo)")),
         {QStringLiteral("One campaign that flopped and what the data said"),
          QStringLiteral("Organic vs. paid: what actually moved your pipeline"),
          QStringLiteral("The smallest experiment that changed your strategy")}},
        {ci(QStringLiteral(R"(design|ux|ui\b|product)")),
         {QStringLiteral("A before/after of one screen, and the user insight behind it"),
          QStringLiteral("The feature you removed and why users were happier"),
          QStringLiteral("How you run a five-user test in one afternoon")}},
        {ci(QStringLiteral(R"(engineer|developer|software|code|devops|tech)")),
         {QStringLiteral("A bug that taught you something about your system"),
          QStringLiteral("The boring tool choice you'd make again"),
          QStringLiteral("What code review looks like on your team, honestly")}},
        {ci(QStringLiteral(R"(sales|selling|b2b|revenue|customers?)")),
         {QStringLiteral("The objection you hear most and how you answer it"),
          QStringLiteral("A deal you lost and the lesson in it"),
          QStringLiteral("The first message that gets replies, word for word")}},
        {ci(QStringLiteral(R"(founder|startup|ceo|business|freelanc|consult)")),
         {QStringLiteral("A number from this month you're proud of, and one you're not"),
          QStringLiteral("The decision you keep putting off, in public"),
          QStringLiteral("What your first ten customers had in common")}},
        {ci(QStringLiteral(R"(lead|manag|team|hr|recruit|hiring)")),
         {QStringLiteral("A hiring mistake and the question you now always ask"),
          QStringLiteral("How you run one-on-ones that people look forward to"),
          QStringLiteral("The meeting you cancelled and what replaced it")}},
    };
    QStringList ideas = {QStringLiteral("A lesson from this week, told as a short story"),
                         QStringLiteral("A common belief in your field you disagree with"),
                         QStringLiteral("A checklist people can save and reuse")};
    for (const Angle& angle : angles) {
        if (!niche.isEmpty() && angle.match.match(niche).hasMatch()) {
            ideas = angle.ideas;
            break;
        }
    }
    CoachTurn t;
    t.intent = QStringLiteral("trends");
    t.label = QStringLiteral("Suggest angles for %1")
                  .arg(niche.isEmpty() ? QStringLiteral("a general niche") : niche);
    QStringList lines;
    for (const QString& idea : ideas)
        lines.append(QStringLiteral("- ") + idea);
    t.reply = QStringLiteral("Angles that work%1:\n\n")
                  .arg(niche.isEmpty() ? QString() : QStringLiteral(" for **%1**").arg(niche)) +
              lines.join(QLatin1Char('\n')) +
              QStringLiteral("\n\nI run offline, so these are proven angles rather than live "
                             "trending data. Pick one and tell me your version: “draft a post "
                             "about …”.");
    if (niche.isEmpty())
        t.reply += QStringLiteral(" Add a keyword (“/trends marketing”) or tell me your role for "
                                  "sharper ideas.");
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeTrendsIntent() {
    return std::make_unique<TrendsIntent>();
}

} // namespace tolvane::coach
