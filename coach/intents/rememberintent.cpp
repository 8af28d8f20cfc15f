#include "intent.h"
#include "intentsupport.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class RememberIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn RememberIntent::handle(const IntentContext& c, const IntentArgs& a) {
    const auto& facts = a.facts;
    c.status(u"Saving what you told me…"_s);
    CoachTurn t;
    t.intent = u"memory.remember"_s;
    t.label = u"Remember %1 fact%2"_s.arg(facts.size()).arg(facts.size() == 1 ? QString() : u"s"_s);
    QStringList lines;
    QString work;
    for (const auto& [kind, value] : facts) {
        c.store.remember(c.userID, kind, value);
        t.toolCalls.append(toolCall(u"remember"_s, {{u"kind"_s, kind}, {u"value"_s, value}}));
        lines.append(u"- %1: %2"_s.arg(kindLabel(kind), value));
        if (kind == "work"_L1) {
            work = c.text;
        }
    }
    t.reply = u"Got it, I'll remember:\n\n"_s + lines.join(QLatin1Char('\n'));
    if (!work.isEmpty()) {
        c.store.setState(c.userID, stateOffer, work);
        t.reply += u"\n\nThat sounds like a post. Want me to draft it? Say “draft "
                   "it”."_s;
    } else {
        t.reply += u"\n\nTell me what you're working on and I'll turn it into a "
                   "post."_s;
    }
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeRememberIntent() {
    return std::make_unique<RememberIntent>();
}

} // namespace tolvane::coach
