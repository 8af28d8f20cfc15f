#include "intent.h"
#include "intentsupport.h"
#include "store.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class PostReviewIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn PostReviewIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(u"Finding your last post…"_s);
    CoachTurn t;
    t.intent = u"post.review"_s;
    t.label = u"Review the last post"_s;
    const QList<Draft> published = c.store.drafts(c.userID, u"published"_s, 1);
    if (published.isEmpty()) {
        t.reply = u"You haven't published anything through me yet. Draft one "
                  "(“draft a post about …”), then “post it now” or “schedule it”, "
                  "and ask me again."_s;
        return t;
    }
    const Draft& d = published.first();
    c.status(u"Checking its hook, length and call to action…"_s);
    const QString hook = d.text.section(QLatin1Char('\n'), 0, 0).trimmed();
    QStringList notes;
    notes << (hook.size() <= 70 ? u"- Hook: %1 characters — short enough to show before "
                                  "“…see more”. Good."_s.arg(hook.size())
                                : u"- Hook: %1 characters — it gets cut off in the feed; aim for "
                                  "under 70."_s.arg(hook.size()));
    const qsizetype length = d.text.size();
    notes << (length < 400 ? u"- Length: %1 characters — short; fine for a quick "
                             "thought, thin for advice."_s.arg(length)
              : length > 2200 ? u"- Length: %1 characters — long; trim the middle."_s.arg(length)
                              : u"- Length: %1 characters — in the sweet spot."_s.arg(length));
    const bool asks = d.text.contains(QLatin1Char('?'));
    notes << (asks ? u"- It asks a question, which invites comments."_s
                   : u"- No question at the end: add one to invite comments."_s);
    const qsizetype tags = d.text.count(QRegularExpression(uR"(#\w+)"_s));
    notes << (tags >= 1 && tags <= 5
                  ? u"- %1 hashtag%2 — good."_s.arg(tags).arg(tags == 1 ? QString() : u"s"_s)
                  : u"- %1 hashtags — use three to five specific ones."_s.arg(tags));
    t.reply = u"Your last post, %1, went out %2.\n\n"_s.arg(quoteFirstLine(d.text),
                                                            when(d.publishedAt, c.zone)) +
              notes.join(QLatin1Char('\n')) +
              u"\n\nI can't see impressions or likes from here (no LinkedIn "
              "connection), so this is a review of the post itself."_s;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makePostReviewIntent() {
    return std::make_unique<PostReviewIntent>();
}

} // namespace tolvane::coach
