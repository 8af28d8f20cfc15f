#include "intent.h"
#include "intentsupport.h"
#include "postwriter.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class ReshapeIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn ReshapeIntent::handle(const IntentContext& c, const IntentArgs& a) {
    const QString& style = a.style;
    c.status(u"Loading your last draft…"_s);
    const std::optional<Draft> last = c.store.latestDraft(c.userID);
    if (!last) {
        return c.run(Intent::Draft, {.arg = c.text, .style = style});
    }
    const QString material = last->topic.isEmpty() ? last->text : last->topic;
    PostWriter::Author author;
    author.audience = c.store.memory(c.userID, u"audience"_s);
    author.role = c.store.memory(c.userID, u"role"_s);
    author.company = c.store.memory(c.userID, u"company"_s);
    c.status(u"Rewriting it as %1…"_s.arg(style));
    const QString text = PostWriter::write(material, style, author);
    CoachTurn t;
    t.label = u"Reshape the last draft as %1"_s.arg(style);
    if (last->status == "draft"_L1) {
        c.store.updateDraft(last->token, text, style);
        t.intent = u"draft.reshape"_s;
        t.toolCalls.append(
            toolCall(u"reshape_draft"_s, {{u"token"_s, last->token}, {u"style"_s, style}}));
        t.reply =
            u"Reshaped as **%1**:\n\n"_s.arg(style) + text + u"\n\n"_s + c.editLine(last->token);
        return t;
    }
    // A scheduled or published post stays as it is; the new shape is a new draft.
    const Draft d = c.store.createDraft(c.userID, text, style, material);
    t.intent = u"draft.reshape"_s;
    t.toolCalls.append(toolCall(u"create_draft"_s, {{u"token"_s, d.token}, {u"style"_s, style}}));
    t.reply = u"Your last post is already %1, so I made a new **%2** draft from "
              "it:\n\n"_s.arg(last->status, style) +
              text + u"\n\n"_s + c.editLine(d.token);
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeReshapeIntent() {
    return std::make_unique<ReshapeIntent>();
}

} // namespace tolvane::coach
