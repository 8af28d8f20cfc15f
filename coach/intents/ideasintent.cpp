#include "intent.h"
#include "intentsupport.h"
#include "postwriter.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class IdeasIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn IdeasIntent::handle(const IntentContext& c, const IntentArgs& a) {
    c.status(QStringLiteral("Looking at your week and your history…"));
    CoachTurn t;
    t.intent = QStringLiteral("ideas");
    if (a.count > 0) {
        // Asked for a number of ideas, on a topic or on what the coach knows.
        QString topic = a.arg;
        if (topic.isEmpty())
            topic = c.store.memory(c.userId, QStringLiteral("work"))
                        .remove(QRegularExpression(QStringLiteral(R"(^\w+ing\s+(on\s+)?)")));
        const QStringList ideas =
            PostWriter::ideas(topic, a.count, c.in.now.toTimeZone(c.zone).date().dayOfWeek());
        t.label = QStringLiteral("Suggest %1 post ideas").arg(ideas.size());
        QString reply =
            topic.isEmpty()
                ? QStringLiteral("%1 post ideas:\n\n").arg(ideas.size())
                : QStringLiteral("%1 post ideas on %2:\n\n").arg(ideas.size()).arg(topic);
        for (int i = 0; i < ideas.size(); ++i)
            reply += QStringLiteral("%1. %2\n").arg(i + 1).arg(ideas[i]);
        reply += QStringLiteral("\nPick one and tell me your version in a few sentences; I'll "
                                "draft it.");
        t.reply = reply;
        return t;
    }
    t.label = QStringLiteral("Suggest today's post");
    const int day = c.in.now.toTimeZone(c.zone).date().dayOfWeek();
    static const QStringList themes = {
        QStringLiteral("Monday: share what you're focusing on this week and why"),
        QStringLiteral("Tuesday: a how-to from your daily work"),
        QStringLiteral("Wednesday: a lesson, told as a short story"),
        QStringLiteral("Thursday: a hot take on a common belief in your field"),
        QStringLiteral("Friday: a win, a number or a behind-the-scenes look"),
        QStringLiteral("Saturday: something personal that shaped how you work"),
        QStringLiteral("Sunday: a question to your audience for the week ahead"),
    };
    QStringList ideas;
    ideas.append(themes[day - 1]);
    const QString work = c.store.memory(c.userId, QStringLiteral("work"));
    if (!work.isEmpty())
        ideas.append(QStringLiteral("An honest progress update: you're %1 — what's harder than "
                                    "you expected?")
                         .arg(work));
    const QString audience = c.store.memory(c.userId, QStringLiteral("audience"));
    if (!audience.isEmpty())
        ideas.append(QStringLiteral("The mistake you see %1 make most, and the fix").arg(audience));
    if (ideas.size() < 3)
        ideas.append(QStringLiteral("The best advice you got this year, and whether it held up"));
    const Overview o = c.store.overview(c.userId);
    QString reply = QStringLiteral("Ideas for today:\n\n");
    for (const QString& i : ideas)
        reply += QStringLiteral("- ") + i + QLatin1Char('\n');
    if (o.drafts > 0)
        reply += QStringLiteral("\nYou also have %1 draft%2 waiting — say “schedule it” to put the "
                                "latest on the calendar.")
                     .arg(o.drafts)
                     .arg(o.drafts == 1 ? QString() : QStringLiteral("s"));
    reply += QStringLiteral("\nPick one and tell me your version in a few sentences; I'll draft "
                            "it.");
    t.reply = reply;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeIdeasIntent() {
    return std::make_unique<IdeasIntent>();
}

} // namespace tolvane::coach
