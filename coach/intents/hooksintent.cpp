#include "intent.h"
#include "intentsupport.h"
#include "postwriter.h"
#include "store.h"

using namespace Qt::StringLiterals;

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
    t.intent = u"hooks"_s;
    t.label = u"Suggest hooks"_s;
    const std::optional<Draft> last = c.store.latestDraft(c.userID);
    if (!last) {
        t.reply = u"Tell me what the post is about first (“write a post about …”), "
                  "and I'll suggest openings for it."_s;
        return t;
    }
    c.status(u"Trying other openings…"_s);
    const QString material = last->topic.isEmpty() ? last->text : last->topic;
    QString reply = u"Other ways to open it:\n\n"_s;
    for (const QString& hook : PostWriter::hooks(material, 5)) {
        reply += u"- "_s + hook + QLatin1Char('\n');
    }
    reply += u"\nThe first line decides whether people click “see more”: pick the "
             "one you would stop for, and change it in the editor.\n\n"_s +
             c.editLine(last->token);
    t.reply = reply;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeHooksIntent() {
    return std::make_unique<HooksIntent>();
}

} // namespace tolvane::coach
