#include "intent.h"
#include "intentsupport.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class DraftFromWorkIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn DraftFromWorkIntent::handle(const IntentContext& c, const IntentArgs&) {
    QString work;
    for (const Memory& m : c.store.memories(c.userId)) {
        if (m.kind == QLatin1String("work"))
            work = m.value;
    }
    if (!work.isEmpty())
        return c.run(Intent::Draft, {.arg = QStringLiteral("I'm ") + work + QLatin1Char('.')});
    c.store.setState(c.userId, stateAwaiting, QStringLiteral("draft"));
    CoachTurn t;
    t.intent = QStringLiteral("draft.ask");
    t.label = QStringLiteral("Ask what the user is working on");
    t.reply = QStringLiteral("Happy to. What are you working on right now? Give me two or three "
                             "sentences: what it is, who it's for, and one thing you learned or "
                             "noticed along the way. I'll turn it into a post.");
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeDraftFromWorkIntent() {
    return std::make_unique<DraftFromWorkIntent>();
}

} // namespace tolvane::coach
