#include "intent.h"
#include "intentsupport.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class ClearIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn ClearIntent::handle(const IntentContext& c, const IntentArgs& a) {
    CoachTurn t;
    t.intent = u"command"_s;
    t.label = a.command;
    c.store.setState(c.userID, stateOffer, {});
    c.store.setState(c.userID, stateAwaiting, {});
    const qsizetype facts = c.store.memories(c.userID).size();
    t.reply =
        u"Fresh start. "_s + (facts > 0 ? u"I still remember the %1 thing%2 you told me about "
                                          "yourself; /forgetme erases them."_s.arg(facts)
                                              .arg(facts == 1 ? QString() : u"s"_s)
                                        : u"Tell me what you do and who you want to reach."_s);
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeClearIntent() {
    return std::make_unique<ClearIntent>();
}

} // namespace tolvane::coach
