#include "intent.h"
#include "intentsupport.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class ForgetMeIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn ForgetMeIntent::handle(const IntentContext& c, const IntentArgs& a) {
    CoachTurn t;
    t.intent = QStringLiteral("command");
    t.label = a.command;
    c.status(QStringLiteral("Erasing your memory, drafts, schedule and AI-call log…"));
    c.store.forget(c.userId);
    t.toolCalls.append(toolCall(QStringLiteral("forget_user"), {}));
    t.reply = QStringLiteral("Done. I've erased everything I knew about you: memory, drafts, "
                             "scheduled posts, notifications, videos and the AI-call log. "
                             "We're starting from zero.");
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeForgetMeIntent() {
    return std::make_unique<ForgetMeIntent>();
}

} // namespace tolvane::coach
