#include "intent.h"
#include "intentsupport.h"
#include "postwriter.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class StylesIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn StylesIntent::handle(const IntentContext& c, const IntentArgs& a) {
    const QString& arg = a.arg;
    const QString key =
        PostWriter::isStyle(arg.toLower()) ? arg.toLower() : PostWriter::styleFromWords(arg);
    if (!arg.isEmpty() && !key.isEmpty() && c.store.latestDraft(c.userID)) {
        return c.run(Intent::Reshape, {.style = key});
    }
    CoachTurn t;
    t.intent = u"command"_s;
    t.label = a.command;
    QStringList lines;
    for (const auto& s : PostWriter::styles()) {
        lines.append(u"- **%1** (`%2`) — %3"_s.arg(s.name, s.key, s.description));
    }
    t.reply = u"Post styles:\n\n"_s + lines.join(QLatin1Char('\n')) +
              u"\n\nSay “make it a story” or “/styles listicle” and I'll "
              "reshape your last draft."_s;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeStylesIntent() {
    return std::make_unique<StylesIntent>();
}

} // namespace tolvane::coach
