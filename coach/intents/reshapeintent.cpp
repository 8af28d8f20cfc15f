#include "intent.h"
#include "intentsupport.h"
#include "postwriter.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class ReshapeIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn ReshapeIntent::handle(const IntentContext& c, const IntentArgs& a) {
    const QString& style = a.style;
    c.status(QStringLiteral("Loading your last draft…"));
    const std::optional<Draft> last = c.store.latestDraft(c.userId);
    if (!last)
        return c.run(Intent::Draft, {.arg = c.text, .style = style});
    const QString material = last->topic.isEmpty() ? last->text : last->topic;
    PostWriter::Author author;
    author.audience = c.store.memory(c.userId, QStringLiteral("audience"));
    author.role = c.store.memory(c.userId, QStringLiteral("role"));
    author.company = c.store.memory(c.userId, QStringLiteral("company"));
    c.status(QStringLiteral("Rewriting it as %1…").arg(style));
    const QString text = PostWriter::write(material, style, author);
    CoachTurn t;
    t.label = QStringLiteral("Reshape the last draft as %1").arg(style);
    if (last->status == QLatin1String("draft")) {
        c.store.updateDraft(last->token, text, style);
        t.intent = QStringLiteral("draft.reshape");
        t.toolCalls.append(
            toolCall(QStringLiteral("reshape_draft"),
                     {{QStringLiteral("token"), last->token}, {QStringLiteral("style"), style}}));
        t.reply = QStringLiteral("Reshaped as **%1**:\n\n").arg(style) + text +
                  QStringLiteral("\n\n") + c.editLine(last->token);
        return t;
    }
    // A scheduled or published post stays as it is; the new shape is a new draft.
    const Draft d = c.store.createDraft(c.userId, text, style, material);
    t.intent = QStringLiteral("draft.reshape");
    t.toolCalls.append(
        toolCall(QStringLiteral("create_draft"),
                 {{QStringLiteral("token"), d.token}, {QStringLiteral("style"), style}}));
    t.reply = QStringLiteral("Your last post is already %1, so I made a new **%2** draft from "
                             "it:\n\n")
                  .arg(last->status, style) +
              text + QStringLiteral("\n\n") + c.editLine(d.token);
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeReshapeIntent() {
    return std::make_unique<ReshapeIntent>();
}

} // namespace tolvane::coach
