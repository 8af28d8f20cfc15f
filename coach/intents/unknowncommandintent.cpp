#include "intent.h"
#include "intentsupport.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class UnknownCommandIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn UnknownCommandIntent::handle(const IntentContext& /*c*/, const IntentArgs& a) {
    CoachTurn t;
    t.intent = QStringLiteral("command.unknown");
    t.label = a.command;
    t.reply = QStringLiteral("I don't know the command %1. Type /menu to see what I can do.")
                  .arg(a.command);
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeUnknownCommandIntent() {
    return std::make_unique<UnknownCommandIntent>();
}

} // namespace tolvane::coach
