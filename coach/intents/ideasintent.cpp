#include "intent.h"
#include "intentsupport.h"
#include "postwriter.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class IdeasIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn IdeasIntent::handle(const IntentContext& c, const IntentArgs& a) {
    c.status(u"Looking at your week and your history…"_s);
    CoachTurn t;
    t.intent = u"ideas"_s;
    if (a.count > 0) {
        // Asked for a number of ideas, on a topic or on what the coach knows.
        QString topic = a.arg;
        if (topic.isEmpty()) {
            topic = c.store.memory(c.userID, u"work"_s)
                        .remove(QRegularExpression(uR"(^\w+ing\s+(on\s+)?)"_s));
        }
        const QStringList ideas =
            PostWriter::ideas(topic, a.count, c.in.now.toTimeZone(c.zone).date().dayOfWeek());
        t.label = u"Suggest %1 post ideas"_s.arg(ideas.size());
        QString reply = topic.isEmpty()
                            ? u"%1 post ideas:\n\n"_s.arg(ideas.size())
                            : u"%1 post ideas on %2:\n\n"_s.arg(ideas.size()).arg(topic);
        for (int i = 0; i < ideas.size(); ++i) {
            reply += u"%1. %2\n"_s.arg(i + 1).arg(ideas[i]);
        }
        reply += u"\nPick one and tell me your version in a few sentences; I'll "
                 "draft it."_s;
        t.reply = reply;
        return t;
    }
    t.label = u"Suggest today's post"_s;
    const int day = c.in.now.toTimeZone(c.zone).date().dayOfWeek();
    static const QStringList themes = {
        u"Monday: share what you're focusing on this week and why"_s,
        u"Tuesday: a how-to from your daily work"_s,
        u"Wednesday: a lesson, told as a short story"_s,
        u"Thursday: a hot take on a common belief in your field"_s,
        u"Friday: a win, a number or a behind-the-scenes look"_s,
        u"Saturday: something personal that shaped how you work"_s,
        u"Sunday: a question to your audience for the week ahead"_s,
    };
    QStringList ideas;
    ideas.append(themes[day - 1]);
    const QString work = c.store.memory(c.userID, u"work"_s);
    if (!work.isEmpty()) {
        ideas.append(u"An honest progress update: you're %1 — what's harder than "
                     "you expected?"_s.arg(work));
    }
    const QString audience = c.store.memory(c.userID, u"audience"_s);
    if (!audience.isEmpty()) {
        ideas.append(u"The mistake you see %1 make most, and the fix"_s.arg(audience));
    }
    if (ideas.size() < 3) {
        ideas.append(u"The best advice you got this year, and whether it held up"_s);
    }
    const Overview o = c.store.overview(c.userID);
    QString reply = u"Ideas for today:\n\n"_s;
    for (const QString& i : ideas) {
        reply += u"- "_s + i + QLatin1Char('\n');
    }
    if (o.drafts > 0) {
        reply += u"\nYou also have %1 draft%2 waiting — say “schedule it” to put the "
                 "latest on the calendar."_s.arg(o.drafts)
                     .arg(o.drafts == 1 ? QString() : u"s"_s);
    }
    reply += u"\nPick one and tell me your version in a few sentences; I'll draft "
             "it."_s;
    t.reply = reply;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeIdeasIntent() {
    return std::make_unique<IdeasIntent>();
}

} // namespace tolvane::coach
