#include "intent.h"
#include "intentsupport.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class RememberIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn RememberIntent::handle(const IntentContext& c, const IntentArgs& a) {
    const auto& facts = a.facts;
    c.status(QStringLiteral("Saving what you told me…"));
    CoachTurn t;
    t.intent = QStringLiteral("memory.remember");
    t.label = QStringLiteral("Remember %1 fact%2")
                  .arg(facts.size())
                  .arg(facts.size() == 1 ? QString() : QStringLiteral("s"));
    QStringList lines;
    QString work;
    for (const auto& [kind, value] : facts) {
        c.store.remember(c.userId, kind, value);
        t.toolCalls.append(
            toolCall(QStringLiteral("remember"),
                     {{QStringLiteral("kind"), kind}, {QStringLiteral("value"), value}}));
        lines.append(QStringLiteral("- %1: %2").arg(kindLabel(kind), value));
        if (kind == QLatin1String("work"))
            work = c.text;
    }
    t.reply = QStringLiteral("Got it, I'll remember:\n\n") + lines.join(QLatin1Char('\n'));
    if (!work.isEmpty()) {
        c.store.setState(c.userId, stateOffer, work);
        t.reply += QStringLiteral("\n\nThat sounds like a post. Want me to draft it? Say “draft "
                                  "it”.");
    } else {
        t.reply += QStringLiteral("\n\nTell me what you're working on and I'll turn it into a "
                                  "post.");
    }
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeRememberIntent() {
    return std::make_unique<RememberIntent>();
}

} // namespace tolvane::coach
