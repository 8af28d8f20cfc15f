#include "intent.h"
#include "intentsupport.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class DraftFromWorkIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn DraftFromWorkIntent::handle(const IntentContext& c, const IntentArgs&) {
    QString work;
    for (const Memory& m : c.store.memories(c.userID)) {
        if (m.kind == "work"_L1) {
            work = m.value;
        }
    }
    if (!work.isEmpty()) {
        return c.run(Intent::Draft, {.arg = u"I'm "_s + work + QLatin1Char('.')});
    }
    c.store.setState(c.userID, stateAwaiting, u"draft"_s);
    CoachTurn t;
    t.intent = u"draft.ask"_s;
    t.label = u"Ask what the user is working on"_s;
    t.reply = u"Happy to. What are you working on right now? Give me two or three "
              "sentences: what it is, who it's for, and one thing you learned or "
              "noticed along the way. I'll turn it into a post."_s;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeDraftFromWorkIntent() {
    return std::make_unique<DraftFromWorkIntent>();
}

} // namespace tolvane::coach
