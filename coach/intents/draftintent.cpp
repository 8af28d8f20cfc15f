#include "intent.h"
#include "intentsupport.h"
#include "postwriter.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class DraftIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn DraftIntent::handle(const IntentContext& c, const IntentArgs& a) {
    const QString& material = a.arg;
    QString style = a.style;
    const QString& lead = a.lead;
    c.status(QStringLiteral("Checking what I remember about you…"));
    PostWriter::Author author;
    author.audience = c.store.memory(c.userId, QStringLiteral("audience"));
    author.role = c.store.memory(c.userId, QStringLiteral("role"));
    author.company = c.store.memory(c.userId, QStringLiteral("company"));
    // Each new draft takes the next templates, so a second draft on one topic differs.
    const Overview o = c.store.overview(c.userId);
    const int variant = int(o.drafts + o.scheduledPending + o.published);
    if (style.isEmpty())
        style = QStringLiteral("insight");
    const auto styleName = [&] {
        for (const auto& s : PostWriter::styles()) {
            if (s.key == style)
                return s.name.toLower();
        }
        return style;
    }();
    c.status(QStringLiteral("Writing the draft in the %1 style…").arg(styleName));
    const QString text = PostWriter::write(material, style, author, variant);
    c.status(QStringLiteral("Saving the draft…"));
    const Draft d = c.store.createDraft(c.userId, text, style, material);
    c.store.setState(c.userId, stateOffer, {});

    CoachTurn t;
    t.intent = QStringLiteral("draft.create");
    t.label = QStringLiteral("Draft a %1 post").arg(styleName);
    t.toolCalls.append(
        toolCall(QStringLiteral("create_draft"), {{QStringLiteral("token"), d.token},
                                                  {QStringLiteral("style"), style},
                                                  {QStringLiteral("material"), material}}));
    const QString tooLong =
        text.size() > 3000
            ? QStringLiteral("\n\nHeads-up: this is %1 characters and LinkedIn allows 3,000. "
                             "Trim it in the editor before you schedule it.")
                  .arg(text.size())
            : QString();
    t.reply =
        (lead.isEmpty() ? QStringLiteral("Here's a draft in the **%1** style:").arg(styleName)
                        : lead) +
        QStringLiteral("\n\n") + text + tooLong +
        QStringLiteral("\n\nWant another angle? Say “make it a story”, “make it shorter”, "
                       "or /styles. When you're happy, say “schedule it tomorrow at 9”.\n\n") +
        c.editLine(d.token);
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeDraftIntent() {
    return std::make_unique<DraftIntent>();
}

} // namespace tolvane::coach
