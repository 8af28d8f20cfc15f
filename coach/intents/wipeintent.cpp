#include "intent.h"
#include "intentsupport.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class WipeIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn WipeIntent::handle(const IntentContext& c, const IntentArgs& a) {
    CoachTurn t;
    t.intent = u"command"_s;
    t.label = a.command;
    c.store.setState(c.userID, stateOffer, {});
    c.store.setState(c.userID, stateAwaiting, {});
    const int removed = c.store.deleteDrafts(c.userID, u"draft"_s);
    t.toolCalls.append(toolCall(u"read_store"_s, {{u"delete_drafts"_s, removed}}));
    t.reply = u"Wiped the chat and %1 unscheduled draft%2. Scheduled and "
              "published posts and what I know about you stay."_s.arg(removed)
                  .arg(removed == 1 ? QString() : u"s"_s);
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeWipeIntent() {
    return std::make_unique<WipeIntent>();
}

} // namespace tolvane::coach
