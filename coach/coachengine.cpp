#include "coachengine.h"

#include "intents/intentsupport.h"
#include "postwriter.h"
#include "store.h"

#include <QMap>
#include <QRegularExpression>

#include <algorithm>

namespace tolvane::coach {

using namespace intents;

const QString CoachEngine::modelName = QStringLiteral("tolvane-rules-1 (local rule engine)");
const QString CoachEngine::provider = QStringLiteral("local");

QString CoachEngine::systemDescription() {
    return QStringLiteral(
        "Tolvane's local coach: a deterministic rule engine, no language model. It matches "
        "slash commands, the starter prompts and patterns in the user's words, remembers what "
        "the user states about themselves, writes posts from templates filled with the user's "
        "own sentences, and schedules them in its store.");
}

QStringList CoachEngine::toolNames() {
    return {QStringLiteral("remember"),      QStringLiteral("create_draft"),
            QStringLiteral("reshape_draft"), QStringLiteral("schedule_post"),
            QStringLiteral("publish_post"),  QStringLiteral("render_carousel"),
            QStringLiteral("read_store"),    QStringLiteral("forget_user")};
}

QString IntentContext::editLine(const QString& token) const {
    return QStringLiteral("Go here to edit the post: ") + in.root + QStringLiteral("edit/") + token;
}

CoachEngine::CoachEngine(Store& store)
    : m_store(store) {
    const std::pair<Intent, std::unique_ptr<IntentHandler> (*)()> handlers[] = {
        {Intent::Menu, makeMenuIntent},
        {Intent::Styles, makeStylesIntent},
        {Intent::Campaigns, makeCampaignsIntent},
        {Intent::Carousel, makeCarouselIntent},
        {Intent::Schedule, makeScheduleIntent},
        {Intent::Upcoming, makeUpcomingIntent},
        {Intent::Trends, makeTrendsIntent},
        {Intent::Analytics, makeAnalyticsIntent},
        {Intent::Clear, makeClearIntent},
        {Intent::Wipe, makeWipeIntent},
        {Intent::Link, makeLinkIntent},
        {Intent::ForgetMe, makeForgetMeIntent},
        {Intent::UnknownCommand, makeUnknownCommandIntent},
        {Intent::Draft, makeDraftIntent},
        {Intent::DraftFromWork, makeDraftFromWorkIntent},
        {Intent::DraftRequest, makeDraftRequestIntent},
        {Intent::DraftAnswer, makeDraftAnswerIntent},
        {Intent::DraftOffer, makeDraftOfferIntent},
        {Intent::Reshape, makeReshapeIntent},
        {Intent::ProfileReview, makeProfileReviewIntent},
        {Intent::Ideas, makeIdeasIntent},
        {Intent::Hooks, makeHooksIntent},
        {Intent::Hashtags, makeHashtagsIntent},
        {Intent::PostReview, makePostReviewIntent},
        {Intent::Remember, makeRememberIntent},
        {Intent::MemoryReport, makeMemoryReportIntent},
        {Intent::Greeting, makeGreetingIntent},
        {Intent::Advice, makeAdviceIntent},
        {Intent::Image, makeImageIntent},
        {Intent::Clarify, makeClarifyIntent},
    };
    for (const auto& [intent, make] : handlers)
        m_handlers[intent] = make();
}

CoachEngine::~CoachEngine() = default;

void CoachEngine::setHandler(Intent intent, std::unique_ptr<IntentHandler> handler) {
    m_handlers[intent] = std::move(handler);
}

CoachEngine::Turn CoachEngine::respond(const Input& input, const StatusFn& status) {
    IntentContext c{input,
                    status,
                    m_store,
                    QTimeZone(input.timeZone.toUtf8()),
                    input.text.trimmed(),
                    {},
                    input.user.id,
                    [this, &c](Intent intent, const IntentArgs& args) {
                        return m_handlers.at(intent)->handle(c, args);
                    }};
    if (!c.zone.isValid())
        c.zone = QTimeZone::utc();
    c.lower = c.text.toLower();
    const auto [intent, args] = route(c);
    return c.run(intent, args);
}

std::pair<Intent, IntentArgs> CoachEngine::route(const IntentContext& c) const {
    if (!c.in.image.isEmpty() && c.text.isEmpty())
        return {Intent::Image, {}};

    if (c.text.startsWith(QLatin1Char('/'))) {
        // (command, intent without an argument, intent with one)
        struct Command {
            QLatin1String name;
            Intent bare;
            Intent withArg;
        };
        static const Command commands[] = {
            {QLatin1String("/menu"), Intent::Menu, Intent::Menu},
            {QLatin1String("/help"), Intent::Menu, Intent::Menu},
            {QLatin1String("/styles"), Intent::Styles, Intent::Styles},
            {QLatin1String("/campaigns"), Intent::Campaigns, Intent::Campaigns},
            {QLatin1String("/carousel"), Intent::Carousel, Intent::Carousel},
            {QLatin1String("/schedule"), Intent::Upcoming, Intent::Schedule},
            {QLatin1String("/trends"), Intent::Trends, Intent::Trends},
            {QLatin1String("/analytics"), Intent::Analytics, Intent::Analytics},
            {QLatin1String("/clear"), Intent::Clear, Intent::Clear},
            {QLatin1String("/new"), Intent::Clear, Intent::Clear},
            {QLatin1String("/wipe"), Intent::Wipe, Intent::Wipe},
            {QLatin1String("/link"), Intent::Link, Intent::Link},
            {QLatin1String("/forgetme"), Intent::ForgetMe, Intent::ForgetMe},
        };
        const qsizetype space = c.text.indexOf(QRegularExpression(QStringLiteral(R"(\s)")));
        const QString name = (space < 0 ? c.text : c.text.left(space)).toLower();
        const QString arg = space < 0 ? QString() : c.text.mid(space).trimmed();
        c.status(QStringLiteral("Running %1…").arg(name));
        Intent intent = Intent::UnknownCommand;
        for (const Command& command : commands) {
            if (command.name == name)
                intent = arg.isEmpty() ? command.bare : command.withArg;
        }
        return {intent, {.arg = arg, .command = name}};
    }

    c.status(QStringLiteral("Reading your message…"));
    static const QMap<QString, Intent> starters = {
        {QStringLiteral("analyze my linkedin profile"), Intent::ProfileReview},
        {QStringLiteral("draft a post about what i'm working on"), Intent::DraftFromWork},
        {QStringLiteral("what should i post today?"), Intent::Ideas},
        {QStringLiteral("how did my last post do?"), Intent::PostReview},
    };
    const QString normalised = QString(c.lower).replace(QStringLiteral("’"), QStringLiteral("'"));
    if (const auto it = starters.find(normalised); it != starters.end())
        return {it.value(), {}};

    // An answer to "what are you working on?".
    if (m_store.state(c.userId, stateAwaiting) == QLatin1String("draft"))
        return {Intent::DraftAnswer, {}};

    // Accepting an offer to turn what the user said into a post.
    static const QRegularExpression yes = ci(QStringLiteral(
        R"(^(yes|yes please|yep|sure|ok|okay|go ahead|do it|draft it|write it|please do)[.!]*$)"));
    if (yes.match(c.text).hasMatch()) {
        if (const QString offer = m_store.state(c.userId, stateOffer); !offer.isEmpty())
            return {Intent::DraftOffer, {.arg = offer}};
    }

    // "Give me 3 post ideas for this week", "ideas about hiring".
    static const QRegularExpression ideasRe = ci(QStringLiteral(
        R"(^(?:please\s+)?(?:(?:can|could) you\s+)?(?:give me|suggest|share|list|send me|i need|any|some|brainstorm)?\s*)"
        R"((\d+|a few|some|three|five|ten|more)?\s*(?:more\s+|new\s+|fresh\s+)?(?:linkedin\s+)?(?:post|content)?\s*ideas?\b(.*)$)"));
    if (const auto m = ideasRe.match(c.text); m.hasMatch() && !c.text.contains(QLatin1Char('?'))) {
        static const QMap<QString, int> numbers = {
            {QStringLiteral("three"), 3}, {QStringLiteral("five"), 5}, {QStringLiteral("ten"), 10}};
        const QString n = m.captured(1).toLower();
        const int count = std::clamp(numbers.value(n, n.toInt() > 0 ? n.toInt() : 3), 1, 10);
        QString topic = m.captured(2).trimmed();
        static const QRegularExpression when = ci(QStringLiteral(
            R"(\s*\b(?:for\s+)?(?:this|next|the)\s+(?:week|month|weekend)\b|\s*\bfor\s+today\b|\s*\btoday\b)"));
        topic.remove(when);
        static const QRegularExpression lead = ci(QStringLiteral(R"(^(?:about|on|for|around)\s+)"));
        topic.remove(lead);
        return {Intent::Ideas, {.arg = stripStop(topic), .count = count}};
    }

    static const QRegularExpression hooksRe = ci(QStringLiteral(
        R"(^(?:please\s+)?(?:give me|suggest|write|try|show me|any|some|more|other|better|alternative|new|\d+)\b.*\b(?:hooks?|opening lines?|openers?|first lines?)\b)"));
    if (hooksRe.match(c.text).hasMatch())
        return {Intent::Hooks, {}};
    static const QRegularExpression hashtagsRe = ci(QStringLiteral(
        R"(^(?:please\s+)?(?:(?:give me|suggest|add|generate|write|find|get me|i need|need|some|more|better)\b.*\bhashtags?\b|hashtags?(?:\s+(?:for|please)\b.*)?[.!]*$))"));
    if (hashtagsRe.match(c.text).hasMatch() && !c.text.contains(QLatin1Char('?')))
        return {Intent::Hashtags, {}};

    static const QRegularExpression scheduleRe =
        ci(QStringLiteral(R"(^(please\s+)?(schedule|post|publish|queue)\b(?!.*\babout\b).*$)"));
    if (scheduleRe.match(c.text).hasMatch() && wordCount(c.text) <= 12)
        return {Intent::Schedule, {.arg = c.text}};

    static const QRegularExpression reshapeRe = ci(QStringLiteral(
        R"(^(make it|rewrite|reshape|redo|turn it into|try|change it to|more|less|as an?)\b)"));
    const QString styleWord = PostWriter::styleFromWords(c.text);
    if (!styleWord.isEmpty() && reshapeRe.match(c.text).hasMatch() && m_store.latestDraft(c.userId))
        return {Intent::Reshape, {.style = styleWord}};

    // A request to draft may follow other sentences ("My name is Dana. Draft a
    // post about ..."): what comes before it is remembered, the rest is material.
    static const QRegularExpression draftRe = ci(QStringLiteral(
        R"((^|[.!?\n]\s*)(please\s+)?(can you\s+|could you\s+)?(draft|write|create|make)\s+(me\s+)?(a\s+|an\s+)?((linkedin|short|quick|new)\s+)*(post|update)\b)"));
    // "A post on X", "share X", "post about X": a request without "write".
    static const QRegularExpression shortDraftRe = ci(QStringLiteral(
        R"(^(?:(?:a|an)\s+(?:linkedin\s+|short\s+|quick\s+)*(?:post|update)\s+(?:about|on)|(?:share|post|write|talk)\s+about|share)\s+(.+)$)"));
    if (const auto m = shortDraftRe.match(c.text); m.hasMatch() && wordCount(m.captured(1)) >= 2)
        return {Intent::DraftRequest,
                {.arg = PostWriter::materialFrom(c.text),
                 .style = styleWord,
                 .facts = factsIn(c.text)}};
    if (const auto m = draftRe.match(c.text); m.hasMatch()) {
        const QString before = c.text.left(m.capturedStart(0) + m.capturedLength(1));
        const QString material = PostWriter::materialFrom(c.text.mid(m.capturedEnd(1)));
        return {
            Intent::DraftRequest,
            {.arg = material, .style = styleWord, .facts = factsIn(before) + factsIn(material)}};
    }

    static const QRegularExpression aboutMe =
        ci(QStringLiteral(R"(\bwhat do you (know|remember) about me\b|\bwho am i\b|^/?memory$)"));
    if (aboutMe.match(c.text).hasMatch())
        return {Intent::MemoryReport, {}};

    if (auto facts = factsIn(c.text); !facts.isEmpty() && !c.text.endsWith(QLatin1Char('?')))
        return {Intent::Remember, {.facts = std::move(facts)}};

    static const QRegularExpression greeting = ci(QStringLiteral(
        R"(^(hi|hello|hey|good (morning|afternoon|evening)|hiya|yo)\b[\s!.,]*(there|tolvane)?[\s!.]*$)"));
    if (greeting.match(c.text).hasMatch())
        return {Intent::Greeting, {}};

    if (c.text.contains(QLatin1Char('?')) || !c.in.image.isEmpty())
        return {c.in.image.isEmpty() ? Intent::Advice : Intent::Image, {}};

    if (wordCount(c.text) >= 8)
        return {Intent::Draft,
                {.arg = c.text,
                 .style = styleWord,
                 .lead = QStringLiteral("That's good material for a post. Here's a first draft:")}};

    return {Intent::Clarify, {}};
}

} // namespace tolvane::coach
