#include "intent.h"
#include "intentsupport.h"
#include "store.h"
#include "whenparser.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class AdviceIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn AdviceIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(u"Looking for the right advice…"_s);
    CoachTurn t;
    t.intent = u"advice"_s;
    struct Tip {
        QRegularExpression match;
        QString label;
        QString text;
    };
    const QDateTime slot = WhenParser::nextGoodSlot(c.in.now, c.zone);
    const QList<Tip> tips = {
        {ci(uR"(\b(when|what time|best time|which day)\b)"_s), u"When to post"_s,
         u"Weekday mornings work best for most LinkedIn audiences: Tuesday to "
         "Thursday around 8–9 am in their time zone. Your next such slot is %1. "
         "Consistency matters more than the exact minute."_s.arg(when(slot, c.zone))},
        {ci(uR"(\b(how often|frequency|how many (posts|times))\b)"_s), u"How often to post"_s,
         u"Three posts a week is a rhythm you can keep and the algorithm rewards. "
         "Fewer but regular beats a burst and silence."_s},
        {ci(uR"(hashtag)"_s), u"Hashtags"_s,
         u"Use three to five specific hashtags at the end. Broad ones (#business) "
         "drown you; niche ones (#b2bsaas) find your people."_s},
        {ci(uR"(\bhooks?\b|first line|opening)"_s), u"Hooks"_s,
         u"The first line is all people see before “…see more”. Keep it under 70 "
         "characters and make a promise: a number, a tension or a surprise. "
         "“I almost quit in March.” beats “Some thoughts on resilience.”"_s},
        {ci(uR"(\b(long|length|characters|words)\b)"_s), u"Post length"_s,
         u"1,200–2,000 characters is the sweet spot for advice posts; LinkedIn cuts "
         "off at 3,000. Short lines and white space make long posts easy to "
         "read."_s},
        {ci(uR"(engag|comment|reach|grow|follower|algorithm)"_s), u"Engagement"_s,
         u"Reply to every comment in the first hour, comment on five posts in your "
         "niche before you publish, and end with a question people can answer in "
         "one line."_s},
        {ci(uR"(video|reel|short)"_s), u"Video"_s,
         u"Short vertical videos under 60 seconds with captions do well; say the "
         "point in the first three seconds. Record one from the video button next "
         "to the composer."_s},
        {ci(uR"(carousel|slides?|pdf)"_s), u"Carousels"_s,
         u"Carousels get saved and shared. One idea per slide, big type, and a "
         "clear last slide. Run /carousel to turn your last draft into slides."_s},
    };
    for (const Tip& tip : tips) {
        if (tip.match.match(c.text).hasMatch()) {
            t.label = tip.label;
            t.reply = tip.text;
            return t;
        }
    }
    t.label = u"General question"_s;
    t.reply = u"I'm a rule-based coach running on your machine, so I'm best at "
              "concrete asks: “draft a post about …”, “make it a story”, "
              "“schedule it tomorrow at 9”, or questions about hooks, hashtags, "
              "timing, length and engagement. Type /menu for everything."_s;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeAdviceIntent() {
    return std::make_unique<AdviceIntent>();
}

} // namespace tolvane::coach
