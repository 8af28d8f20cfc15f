#include "intent.h"
#include "intentsupport.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class GreetingIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn GreetingIntent::handle(const IntentContext& c, const IntentArgs&) {
    CoachTurn t;
    t.intent = QStringLiteral("greeting");
    t.label = QStringLiteral("Greeting");
    const QString name = c.store.memory(c.userId, QStringLiteral("name"));
    t.reply = (name.isEmpty() ? QStringLiteral("Hey!") : QStringLiteral("Hey %1!").arg(name)) +
              QStringLiteral(" Tell me what you do and who you want to reach, or just tell "
                             "me what happened at work this week, and I'll turn it into a "
                             "post. Type /menu to see everything I can do.");
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeGreetingIntent() {
    return std::make_unique<GreetingIntent>();
}

} // namespace tolvane::coach
