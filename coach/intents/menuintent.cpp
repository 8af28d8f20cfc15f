#include "intent.h"
#include "intentsupport.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class MenuIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn MenuIntent::handle(const IntentContext& /*c*/, const IntentArgs& a) {
    CoachTurn t;
    t.intent = u"command"_s;
    t.label = a.command;
    t.reply = u"Here's what I can do:\n\n"
              "- **Draft posts** — tell me what you're working on, or say “draft a post about …”\n"
              "- **Reshape** the last draft — “make it a story”, “make it shorter” (/styles)\n"
              "- **Lead-gen templates** for selling something (/campaigns)\n"
              "- **Carousels** — slides from your last draft (/carousel)\n"
              "- **Schedule** — “schedule it tomorrow at 9”, or see the calendar (/schedule)\n"
              "- **Ideas** — angles for your niche (/trends) and “What should I post today?”\n"
              "- **Analytics** from what we've published (/analytics)\n"
              "- **Memory** — I remember what you tell me about yourself; /forgetme erases it\n"
              "- /clear starts the chat fresh and keeps memory; /link pairs another device"_s;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeMenuIntent() {
    return std::make_unique<MenuIntent>();
}

} // namespace tolvane::coach
