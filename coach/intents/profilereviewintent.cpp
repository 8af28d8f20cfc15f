#include "intent.h"
#include "intentsupport.h"
#include "store.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class ProfileReviewIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs&) override;
};

CoachTurn ProfileReviewIntent::handle(const IntentContext& c, const IntentArgs&) {
    c.status(QStringLiteral("Checking what I remember about you…"));
    CoachTurn t;
    t.intent = QStringLiteral("profile.review");
    t.label = QStringLiteral("Review the profile");
    const QString name = c.store.memory(c.userId, QStringLiteral("name"));
    const QString role = c.store.memory(c.userId, QStringLiteral("role"));
    const QString company = c.store.memory(c.userId, QStringLiteral("company"));
    const QString audience = c.store.memory(c.userId, QStringLiteral("audience"));
    const QString goal = c.store.memory(c.userId, QStringLiteral("goal"));
    const Overview o = c.store.overview(c.userId);
    QStringList have;
    QStringList missing;
    (name.isEmpty() ? missing : have)
        .append(name.isEmpty() ? QStringLiteral("your name") : QStringLiteral("Name: ") + name);
    (role.isEmpty() ? missing : have)
        .append(role.isEmpty()
                    ? QStringLiteral("your role (“I'm a … at …”)")
                    : QStringLiteral("Role: ") + role +
                          (company.isEmpty() ? QString() : QStringLiteral(" at ") + company));
    (audience.isEmpty() ? missing : have)
        .append(audience.isEmpty() ? QStringLiteral("who you help (“I help …”)")
                                   : QStringLiteral("Audience: ") + audience);
    (goal.isEmpty() ? missing : have)
        .append(goal.isEmpty() ? QStringLiteral("your goal (“I want to …”)")
                               : QStringLiteral("Goal: ") + goal);
    QString reply = QStringLiteral("Here's a review of your profile, built from what you've told "
                                   "me about yourself.\n\n");
    if (!have.isEmpty()) {
        reply += QStringLiteral("What I know:\n");
        for (const QString& h : have)
            reply += QStringLiteral("- ") + h + QLatin1Char('\n');
        reply += QLatin1Char('\n');
    }
    if (!role.isEmpty()) {
        QString headline = role.at(0).toUpper() + role.mid(1);
        if (!company.isEmpty())
            headline += QStringLiteral(" at ") + company;
        if (!audience.isEmpty())
            headline += QStringLiteral(" | Helping ") + audience;
        reply += QStringLiteral("Suggested headline: **%1**\n\n").arg(headline);
        reply += QStringLiteral("A headline that names who you help beats a job title alone: "
                                "people decide in one line whether your posts are for them.\n\n");
    }
    reply += QStringLiteral("Posting: %1 published, %2 scheduled, %3 drafts.")
                 .arg(o.published)
                 .arg(o.scheduledPending)
                 .arg(o.drafts);
    if (!missing.isEmpty())
        reply += QStringLiteral("\n\nTo sharpen this, tell me ") +
                 missing.join(QStringLiteral(", ")) + QLatin1Char('.');
    t.reply = reply;
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeProfileReviewIntent() {
    return std::make_unique<ProfileReviewIntent>();
}

} // namespace tolvane::coach
