#include "intent.h"
#include "intentsupport.h"
#include "store.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

namespace {

class ProfileReviewIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn ProfileReviewIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(u"Checking what I remember about you…"_s);
    CoachTurn t;
    t.intent = u"profile.review"_s;
    t.label = u"Review the profile"_s;
    const QString name = c.store.memory(c.userID, u"name"_s);
    const QString role = c.store.memory(c.userID, u"role"_s);
    const QString company = c.store.memory(c.userID, u"company"_s);
    const QString audience = c.store.memory(c.userID, u"audience"_s);
    const QString goal = c.store.memory(c.userID, u"goal"_s);
    const Overview o = c.store.overview(c.userID);
    QStringList have;
    QStringList missing;
    (name.isEmpty() ? missing : have).append(name.isEmpty() ? u"your name"_s : u"Name: "_s + name);
    (role.isEmpty() ? missing : have)
        .append(role.isEmpty()
                    ? u"your role (“I'm a … at …”)"_s
                    : u"Role: "_s + role + (company.isEmpty() ? QString() : u" at "_s + company));
    (audience.isEmpty() ? missing : have)
        .append(audience.isEmpty() ? u"who you help (“I help …”)"_s : u"Audience: "_s + audience);
    (goal.isEmpty() ? missing : have)
        .append(goal.isEmpty() ? u"your goal (“I want to …”)"_s : u"Goal: "_s + goal);
    QString reply = u"Here's a review of your profile, built from what you've told "
                    "me about yourself.\n\n"_s;
    if (!have.isEmpty()) {
        reply += u"What I know:\n"_s;
        for (const QString& h : have) {
            reply += u"- "_s + h + QLatin1Char('\n');
        }
        reply += QLatin1Char('\n');
    }
    if (!role.isEmpty()) {
        QString headline = role.at(0).toUpper() + role.mid(1);
        if (!company.isEmpty()) {
            headline += u" at "_s + company;
        }
        if (!audience.isEmpty()) {
            headline += u" | Helping "_s + audience;
        }
        reply += u"Suggested headline: **%1**\n\n"_s.arg(headline);
        reply += u"A headline that names who you help beats a job title alone: "
                 "people decide in one line whether your posts are for them.\n\n"_s;
    }
    reply += u"Posting: %1 published, %2 scheduled, %3 drafts."_s.arg(o.published)
                 .arg(o.scheduledPending)
                 .arg(o.drafts);
    if (!missing.isEmpty()) {
        reply += u"\n\nTo sharpen this, tell me "_s + missing.join(u", "_s) + QLatin1Char('.');
    }
    t.reply = reply;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeProfileReviewIntent() {
    return std::make_unique<ProfileReviewIntent>();
}

} // namespace tolvane::coach
