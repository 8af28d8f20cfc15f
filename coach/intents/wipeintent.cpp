#include "intent.h"
#include "intentsupport.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class WipeIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn WipeIntent::handle(const IntentContext& c, const IntentArgs& a) {
    CoachTurn t;
    t.intent = QStringLiteral("command");
    t.label = a.command;
    c.store.setState(c.userId, stateOffer, {});
    c.store.setState(c.userId, stateAwaiting, {});
    const int removed = c.store.deleteDrafts(c.userId, QStringLiteral("draft"));
    t.toolCalls.append(
        toolCall(QStringLiteral("read_store"), {{QStringLiteral("delete_drafts"), removed}}));
    t.reply = QStringLiteral("Wiped the chat and %1 unscheduled draft%2. Scheduled and "
                             "published posts and what I know about you stay.")
                  .arg(removed)
                  .arg(removed == 1 ? QString() : QStringLiteral("s"));
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeWipeIntent() {
    return std::make_unique<WipeIntent>();
}

} // namespace tolvane::coach
