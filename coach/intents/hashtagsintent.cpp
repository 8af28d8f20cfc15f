#include "intent.h"
#include "intentsupport.h"
#include "postwriter.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

// Hashtags for the latest draft, from the nouns of what the user wrote.
class HashtagsIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn HashtagsIntent::handle(const IntentContext& c, const IntentArgs&) {
    CoachTurn t;
    t.intent = u"hashtags"_s;
    t.label = u"Suggest hashtags"_s;
    const std::optional<Draft> last = c.store.latestDraft(c.userID);
    if (!last) {
        t.reply = u"Draft a post first (“write a post about …”); I pick hashtags "
                  "from the words of your topic."_s;
        return t;
    }
    const QString material = last->topic.isEmpty() ? last->text : last->topic;
    const QStringList tags = PostWriter::hashtags(material, 5);
    t.reply = u"Hashtags for your latest draft: %1\n\nThree to five specific tags "
              "reach the people who follow them; broad ones like #Business drown "
              "in noise.\n\n"_s.arg(tags.join(QLatin1Char(' '))) +
              c.editLine(last->token);
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeHashtagsIntent() {
    return std::make_unique<HashtagsIntent>();
}

} // namespace tolvane::coach
