#include "intent.h"
#include "intentsupport.h"
#include "store.h"
#include "whenparser.h"

#include <QRegularExpression>

namespace tolvane::coach {

using namespace intents;

namespace {

class AdviceIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn AdviceIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(QStringLiteral("Looking for the right advice…"));
    CoachTurn t;
    t.intent = QStringLiteral("advice");
    struct Tip {
        QRegularExpression match;
        QString label;
        QString text;
    };
    const QDateTime slot = WhenParser::nextGoodSlot(c.in.now, c.zone);
    const QList<Tip> tips = {
        {ci(QStringLiteral(R"(\b(when|what time|best time|which day)\b)")),
         QStringLiteral("When to post"),
         QStringLiteral("Weekday mornings work best for most LinkedIn audiences: Tuesday to "
                        "Thursday around 8–9 am in their time zone. Your next such slot is %1. "
                        "Consistency matters more than the exact minute.")
             .arg(when(slot, c.zone))},
        {ci(QStringLiteral(R"(\b(how often|frequency|how many (posts|times))\b)")),
         QStringLiteral("How often to post"),
         QStringLiteral("Three posts a week is a rhythm you can keep and the algorithm rewards. "
                        "Fewer but regular beats a burst and silence.")},
        {ci(QStringLiteral(R"(hashtag)")), QStringLiteral("Hashtags"),
         QStringLiteral("Use three to five specific hashtags at the end. Broad ones (#business) "
                        "drown you; niche ones (#b2bsaas) find your people.")},
        {ci(QStringLiteral(R"(\bhooks?\b|first line|opening)")), QStringLiteral("Hooks"),
         QStringLiteral("The first line is all people see before “…see more”. Keep it under 70 "
                        "characters and make a promise: a number, a tension or a surprise. "
                        "“I almost quit in March.” beats “Some thoughts on resilience.”")},
        {ci(QStringLiteral(R"(\b(long|length|characters|words)\b)")), QStringLiteral("Post length"),
         QStringLiteral("1,200–2,000 characters is the sweet spot for advice posts; LinkedIn cuts "
                        "off at 3,000. Short lines and white space make long posts easy to "
                        "read.")},
        {ci(QStringLiteral(R"(engag|comment|reach|grow|follower|algorithm)")),
         QStringLiteral("Engagement"),
         QStringLiteral("Reply to every comment in the first hour, comment on five posts in your "
                        "niche before you publish, and end with a question people can answer in "
                        "one line.")},
        {ci(QStringLiteral(R"(video|reel|short)")), QStringLiteral("Video"),
         QStringLiteral("Short vertical videos under 60 seconds with captions do well; say the "
                        "point in the first three seconds. Record one from the video button next "
                        "to the composer.")},
        {ci(QStringLiteral(R"(carousel|slides?|pdf)")), QStringLiteral("Carousels"),
         QStringLiteral("Carousels get saved and shared. One idea per slide, big type, and a "
                        "clear last slide. Run /carousel to turn your last draft into slides.")},
    };
    for (const Tip& tip : tips) {
        if (tip.match.match(c.text).hasMatch()) {
            t.label = tip.label;
            t.reply = tip.text;
            return t;
        }
    }
    t.label = QStringLiteral("General question");
    t.reply = QStringLiteral("I'm a rule-based coach running on your machine, so I'm best at "
                             "concrete asks: “draft a post about …”, “make it a story”, "
                             "“schedule it tomorrow at 9”, or questions about hooks, hashtags, "
                             "timing, length and engagement. Type /menu for everything.");
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeAdviceIntent() {
    return std::make_unique<AdviceIntent>();
}

} // namespace tolvane::coach
