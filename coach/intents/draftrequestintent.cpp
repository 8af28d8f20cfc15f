#include "intent.h"
#include "intentsupport.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class DraftRequestIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn DraftRequestIntent::handle(const IntentContext& c, const IntentArgs& a) {
    for (const auto& fact : a.facts) {
        c.store.remember(c.userID, fact.first, fact.second);
    }
    if (wordCount(a.arg) >= 2) {
        return c.run(Intent::Draft, {.arg = a.arg, .style = a.style});
    }
    c.store.setState(c.userID, stateAwaiting, u"draft"_s);
    CoachTurn t;
    t.intent = u"draft.ask"_s;
    t.label = u"Ask for post material"_s;
    t.reply = u"Sure. What should it be about? Tell me the point you want "
              "to make and an example from your own work."_s;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeDraftRequestIntent() {
    return std::make_unique<DraftRequestIntent>();
}

} // namespace tolvane::coach
