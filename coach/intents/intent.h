#pragma once

#include "records.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QTimeZone>

#include <functional>
#include <memory>

namespace tolvane::coach {

class Store;

struct CoachInput {
    User user;
    QString text;
    QString timeZone;
    QByteArray image;
    QString imageMime;
    QString root; // service root ending in "/", for edit links
    QDateTime now;
};

struct CoachImage {
    QByteArray bytes;
    QString mime;
    QString caption;
    QString group;
};

struct CoachTurn {
    QString reply;
    QList<CoachImage> images;
    QString intent; // machine name of the rule that answered
    QString label;  // what the AI-call log shows
    QJsonArray toolCalls;
};

// Everything the coach can do for a message. The engine decides which one
// answers; each is carried out by its own handler.
enum class Intent {
    Menu,
    Styles,
    Campaigns,
    Carousel,
    Schedule,
    Upcoming,
    Trends,
    Analytics,
    Clear,
    Wipe,
    Link,
    ForgetMe,
    UnknownCommand,
    Draft,
    DraftFromWork,
    DraftRequest,
    DraftAnswer,
    DraftOffer,
    Reshape,
    ProfileReview,
    Ideas,
    Hooks,
    Hashtags,
    PostReview,
    Remember,
    MemoryReport,
    Greeting,
    Advice,
    Image,
    Clarify,
};

// What the engine read out of the message for the handler.
struct IntentArgs {
    QString arg{};     // a command's argument, a time phrase, or the material of a post
    QString command{}; // the slash command as typed, lower-cased
    QString style{};   // a post style key, or empty
    QString lead{};    // the line that opens a draft's reply, or empty for the default
    QList<QPair<QString, QString>> facts{}; // (kind, value) the user stated about themselves
    int count{};                            // how many the user asked for ("give me 5 ideas")
};

struct IntentContext {
    const CoachInput& in;
    const std::function<void(const QString&)>& status;
    Store& store;
    QTimeZone zone;
    QString text;  // trimmed
    QString lower; // trimmed, lower-cased
    qint64 userID;
    // Hands the message on to another intent through the engine's table, so a
    // replaced handler is the one every path reaches.
    std::function<CoachTurn(Intent, const IntentArgs&)> run;

    QString editLine(const QString& token) const;
};

// One intent's handler. Handlers hold no state between turns: what a
// conversation remembers lives in the store.
class IntentHandler {
public:
    virtual ~IntentHandler() = default;
    virtual CoachTurn handle(const IntentContext& c, const IntentArgs& a) = 0;
};

std::unique_ptr<IntentHandler> makeAdviceIntent();
std::unique_ptr<IntentHandler> makeAnalyticsIntent();
std::unique_ptr<IntentHandler> makeCampaignsIntent();
std::unique_ptr<IntentHandler> makeCarouselIntent();
std::unique_ptr<IntentHandler> makeClarifyIntent();
std::unique_ptr<IntentHandler> makeClearIntent();
std::unique_ptr<IntentHandler> makeDraftAnswerIntent();
std::unique_ptr<IntentHandler> makeDraftFromWorkIntent();
std::unique_ptr<IntentHandler> makeDraftIntent();
std::unique_ptr<IntentHandler> makeDraftOfferIntent();
std::unique_ptr<IntentHandler> makeDraftRequestIntent();
std::unique_ptr<IntentHandler> makeForgetMeIntent();
std::unique_ptr<IntentHandler> makeGreetingIntent();
std::unique_ptr<IntentHandler> makeHashtagsIntent();
std::unique_ptr<IntentHandler> makeHooksIntent();
std::unique_ptr<IntentHandler> makeIdeasIntent();
std::unique_ptr<IntentHandler> makeImageIntent();
std::unique_ptr<IntentHandler> makeLinkIntent();
std::unique_ptr<IntentHandler> makeMemoryReportIntent();
std::unique_ptr<IntentHandler> makeMenuIntent();
std::unique_ptr<IntentHandler> makePostReviewIntent();
std::unique_ptr<IntentHandler> makeProfileReviewIntent();
std::unique_ptr<IntentHandler> makeRememberIntent();
std::unique_ptr<IntentHandler> makeReshapeIntent();
std::unique_ptr<IntentHandler> makeScheduleIntent();
std::unique_ptr<IntentHandler> makeStylesIntent();
std::unique_ptr<IntentHandler> makeTrendsIntent();
std::unique_ptr<IntentHandler> makeUnknownCommandIntent();
std::unique_ptr<IntentHandler> makeUpcomingIntent();
std::unique_ptr<IntentHandler> makeWipeIntent();

} // namespace tolvane::coach
