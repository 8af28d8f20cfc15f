#include "intent.h"
#include "intentsupport.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class ClearIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn ClearIntent::handle(const IntentContext& c, const IntentArgs& a) {
    CoachTurn t;
    t.intent = QStringLiteral("command");
    t.label = a.command;
    c.store.setState(c.userId, stateOffer, {});
    c.store.setState(c.userId, stateAwaiting, {});
    const qsizetype facts = c.store.memories(c.userId).size();
    t.reply = QStringLiteral("Fresh start. ") +
              (facts > 0 ? QStringLiteral("I still remember the %1 thing%2 you told me about "
                                          "yourself; /forgetme erases them.")
                               .arg(facts)
                               .arg(facts == 1 ? QString() : QStringLiteral("s"))
                         : QStringLiteral("Tell me what you do and who you want to reach."));
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeClearIntent() {
    return std::make_unique<ClearIntent>();
}

} // namespace tolvane::coach
