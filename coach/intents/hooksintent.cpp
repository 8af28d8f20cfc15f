#include "intent.h"
#include "intentsupport.h"
#include "postwriter.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

// Other opening lines for the latest draft.
class HooksIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn HooksIntent::handle(const IntentContext& c, const IntentArgs&) {
    CoachTurn t;
    t.intent = QStringLiteral("hooks");
    t.label = QStringLiteral("Suggest hooks");
    const std::optional<Draft> last = c.store.latestDraft(c.userId);
    if (!last) {
        t.reply = QStringLiteral("Tell me what the post is about first (“write a post about …”), "
                                 "and I'll suggest openings for it.");
        return t;
    }
    c.status(QStringLiteral("Trying other openings…"));
    const QString material = last->topic.isEmpty() ? last->text : last->topic;
    QString reply = QStringLiteral("Other ways to open it:\n\n");
    for (const QString& hook : PostWriter::hooks(material, 5))
        reply += QStringLiteral("- ") + hook + QLatin1Char('\n');
    reply += QStringLiteral("\nThe first line decides whether people click “see more”: pick the "
                            "one you would stop for, and change it in the editor.\n\n") +
             c.editLine(last->token);
    t.reply = reply;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeHooksIntent() {
    return std::make_unique<HooksIntent>();
}

} // namespace tolvane::coach
