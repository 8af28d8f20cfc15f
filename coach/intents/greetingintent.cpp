#include "intent.h"
#include "intentsupport.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class GreetingIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn GreetingIntent::handle(const IntentContext& c, const IntentArgs&) {
    CoachTurn t;
    t.intent = u"greeting"_s;
    t.label = u"Greeting"_s;
    const QString name = c.store.memory(c.userID, u"name"_s);
    t.reply = (name.isEmpty() ? u"Hey!"_s : u"Hey %1!"_s.arg(name)) +
              u" Tell me what you do and who you want to reach, or just tell "
              "me what happened at work this week, and I'll turn it into a "
              "post. Type /menu to see everything I can do."_s;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeGreetingIntent() {
    return std::make_unique<GreetingIntent>();
}

} // namespace tolvane::coach
