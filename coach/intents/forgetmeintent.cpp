#include "intent.h"
#include "intentsupport.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class ForgetMeIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn ForgetMeIntent::handle(const IntentContext& c, const IntentArgs& a) {
    CoachTurn t;
    t.intent = u"command"_s;
    t.label = a.command;
    c.status(u"Erasing your memory, drafts, schedule and AI-call log…"_s);
    c.store.forget(c.userID);
    t.toolCalls.append(toolCall(u"forget_user"_s, {}));
    t.reply = u"Done. I've erased everything I knew about you: memory, drafts, "
              "scheduled posts, notifications, videos and the AI-call log. "
              "We're starting from zero."_s;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeForgetMeIntent() {
    return std::make_unique<ForgetMeIntent>();
}

} // namespace tolvane::coach
