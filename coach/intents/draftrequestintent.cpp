#include "intent.h"
#include "intentsupport.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class DraftRequestIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn DraftRequestIntent::handle(const IntentContext& c, const IntentArgs& a) {
    for (const auto& fact : a.facts)
        c.store.remember(c.userId, fact.first, fact.second);
    if (wordCount(a.arg) >= 2)
        return c.run(Intent::Draft, {.arg = a.arg, .style = a.style});
    c.store.setState(c.userId, stateAwaiting, QStringLiteral("draft"));
    CoachTurn t;
    t.intent = QStringLiteral("draft.ask");
    t.label = QStringLiteral("Ask for post material");
    t.reply = QStringLiteral("Sure. What should it be about? Tell me the point you want "
                             "to make and an example from your own work.");
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeDraftRequestIntent() {
    return std::make_unique<DraftRequestIntent>();
}

} // namespace tolvane::coach
