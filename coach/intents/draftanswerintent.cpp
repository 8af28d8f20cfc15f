#include "intent.h"
#include "intentsupport.h"
#include "postwriter.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class DraftAnswerIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn DraftAnswerIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.store.setState(c.userID, stateAwaiting, {});
    for (const auto& fact : factsIn(c.text)) {
        c.store.remember(c.userID, fact.first, fact.second);
    }
    return c.run(Intent::Draft, {.arg = c.text, .style = PostWriter::styleFromWords(c.text)});
}

} // namespace

std::unique_ptr<IntentHandler> makeDraftAnswerIntent() {
    return std::make_unique<DraftAnswerIntent>();
}

} // namespace tolvane::coach
