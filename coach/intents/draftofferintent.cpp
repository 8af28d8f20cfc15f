#include "intent.h"
#include "intentsupport.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class DraftOfferIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn DraftOfferIntent::handle(const IntentContext& c, const IntentArgs& a) {
    c.store.setState(c.userID, stateOffer, {});
    return c.run(Intent::Draft, {.arg = a.arg});
}

} // namespace

std::unique_ptr<IntentHandler> makeDraftOfferIntent() {
    return std::make_unique<DraftOfferIntent>();
}

} // namespace tolvane::coach
