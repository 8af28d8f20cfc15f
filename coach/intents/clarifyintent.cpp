#include "intent.h"
#include "intentsupport.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class ClarifyIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn ClarifyIntent::handle(const IntentContext& /*c*/, const IntentArgs&) {
    CoachTurn t;
    t.intent = QStringLiteral("clarify");
    t.label = QStringLiteral("Ask for more detail");
    t.reply = QStringLiteral(
        "Tell me a bit more — a sentence or two about what happened, who it's for, or what "
        "you learned — and I'll draft a post from it. Or type /menu to see what I can do.");
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeClarifyIntent() {
    return std::make_unique<ClarifyIntent>();
}

} // namespace tolvane::coach
