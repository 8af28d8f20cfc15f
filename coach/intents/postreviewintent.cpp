#include "intent.h"
#include "intentsupport.h"
#include "store.h"

#include <QRegularExpression>

namespace tolvane::coach {

using namespace intents;

namespace {

class PostReviewIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn PostReviewIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(QStringLiteral("Finding your last post…"));
    CoachTurn t;
    t.intent = QStringLiteral("post.review");
    t.label = QStringLiteral("Review the last post");
    const QList<Draft> published = c.store.drafts(c.userId, QStringLiteral("published"), 1);
    if (published.isEmpty()) {
        t.reply = QStringLiteral("You haven't published anything through me yet. Draft one "
                                 "(“draft a post about …”), then “post it now” or “schedule it”, "
                                 "and ask me again.");
        return t;
    }
    const Draft& d = published.first();
    c.status(QStringLiteral("Checking its hook, length and call to action…"));
    const QString hook = d.text.section(QLatin1Char('\n'), 0, 0).trimmed();
    QStringList notes;
    notes << (hook.size() <= 70
                  ? QStringLiteral("- Hook: %1 characters — short enough to show before "
                                   "“…see more”. Good.")
                        .arg(hook.size())
                  : QStringLiteral("- Hook: %1 characters — it gets cut off in the feed; aim for "
                                   "under 70.")
                        .arg(hook.size()));
    const qsizetype length = d.text.size();
    notes << (length < 400 ? QStringLiteral("- Length: %1 characters — short; fine for a quick "
                                            "thought, thin for advice.")
                                 .arg(length)
              : length > 2200
                  ? QStringLiteral("- Length: %1 characters — long; trim the middle.").arg(length)
                  : QStringLiteral("- Length: %1 characters — in the sweet spot.").arg(length));
    const bool asks = d.text.contains(QLatin1Char('?'));
    notes << (asks ? QStringLiteral("- It asks a question, which invites comments.")
                   : QStringLiteral("- No question at the end: add one to invite comments."));
    const qsizetype tags = d.text.count(QRegularExpression(QStringLiteral(R"(#\w+)")));
    notes << (tags >= 1 && tags <= 5
                  ? QStringLiteral("- %1 hashtag%2 — good.")
                        .arg(tags)
                        .arg(tags == 1 ? QString() : QStringLiteral("s"))
                  : QStringLiteral("- %1 hashtags — use three to five specific ones.").arg(tags));
    t.reply = QStringLiteral("Your last post, %1, went out %2.\n\n")
                  .arg(quoteFirstLine(d.text), when(d.publishedAt, c.zone)) +
              notes.join(QLatin1Char('\n')) +
              QStringLiteral("\n\nI can't see impressions or likes from here (no LinkedIn "
                             "connection), so this is a review of the post itself.");
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makePostReviewIntent() {
    return std::make_unique<PostReviewIntent>();
}

} // namespace tolvane::coach
