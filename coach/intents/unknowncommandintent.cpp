#include "intent.h"
#include "intentsupport.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class UnknownCommandIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn UnknownCommandIntent::handle(const IntentContext& /*c*/, const IntentArgs& a) {
    CoachTurn t;
    t.intent = u"command.unknown"_s;
    t.label = a.command;
    t.reply = u"I don't know the command %1. Type /menu to see what I can do."_s.arg(a.command);
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeUnknownCommandIntent() {
    return std::make_unique<UnknownCommandIntent>();
}

} // namespace tolvane::coach
