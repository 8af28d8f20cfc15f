#include "intent.h"
#include "intentsupport.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class ClarifyIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn ClarifyIntent::handle(const IntentContext& /*c*/, const IntentArgs&) {
    CoachTurn t;
    t.intent = u"clarify"_s;
    t.label = u"Ask for more detail"_s;
    t.reply = u"Tell me a bit more — a sentence or two about what happened, who it's for, or what "
              "you learned — and I'll draft a post from it. Or type /menu to see what I can do."_s;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeClarifyIntent() {
    return std::make_unique<ClarifyIntent>();
}

} // namespace tolvane::coach
