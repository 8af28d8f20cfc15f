#include "intent.h"
#include "intentsupport.h"
#include "postwriter.h"
#include "store.h"

using namespace Qt::StringLiterals;

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
    c.status(u"Checking what I remember about you…"_s);
    PostWriter::Author author;
    author.audience = c.store.memory(c.userID, u"audience"_s);
    author.role = c.store.memory(c.userID, u"role"_s);
    author.company = c.store.memory(c.userID, u"company"_s);
    // Each new draft takes the next templates, so a second draft on one topic differs.
    const Overview o = c.store.overview(c.userID);
    const int variant = int(o.drafts + o.scheduledPending + o.published);
    if (style.isEmpty()) {
        style = u"insight"_s;
    }
    const auto styleName = [&] {
        for (const auto& s : PostWriter::styles()) {
            if (s.key == style) {
                return s.name.toLower();
            }
        }
        return style;
    }();
    c.status(u"Writing the draft in the %1 style…"_s.arg(styleName));
    const QString text = PostWriter::write(material, style, author, variant);
    c.status(u"Saving the draft…"_s);
    const Draft d = c.store.createDraft(c.userID, text, style, material);
    c.store.setState(c.userID, stateOffer, {});

    CoachTurn t;
    t.intent = u"draft.create"_s;
    t.label = u"Draft a %1 post"_s.arg(styleName);
    t.toolCalls.append(
        toolCall(u"create_draft"_s,
                 {{u"token"_s, d.token}, {u"style"_s, style}, {u"material"_s, material}}));
    const QString tooLong = text.size() > 3000
                                ? u"\n\nHeads-up: this is %1 characters and LinkedIn allows 3,000. "
                                  "Trim it in the editor before you schedule it."_s.arg(text.size())
                                : QString();
    t.reply = (lead.isEmpty() ? u"Here's a draft in the **%1** style:"_s.arg(styleName) : lead) +
              u"\n\n"_s + text + tooLong +
              u"\n\nWant another angle? Say “make it a story”, “make it shorter”, "
              "or /styles. When you're happy, say “schedule it tomorrow at 9”.\n\n"_s +
              c.editLine(d.token);
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeDraftIntent() {
    return std::make_unique<DraftIntent>();
}

} // namespace tolvane::coach
