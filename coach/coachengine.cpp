#include "coachengine.h"

#include "intents/intentsupport.h"
#include "postwriter.h"
#include "store.h"

#include <QMap>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

using namespace intents;

const QString CoachEngine::modelName = u"tolvane-rules-1 (local rule engine)"_s;
const QString CoachEngine::provider = u"local"_s;

QString CoachEngine::systemDescription() {
    return u"Tolvane's local coach: a deterministic rule engine, no language model. It matches "
           "slash commands, the starter prompts and patterns in the user's words, remembers what "
           "the user states about themselves, writes posts from templates filled with the user's "
           "own sentences, and schedules them in its store."_s;
}

QStringList CoachEngine::toolNames() {
    return {u"remember"_s,     u"create_draft"_s,    u"reshape_draft"_s, u"schedule_post"_s,
            u"publish_post"_s, u"render_carousel"_s, u"read_store"_s,    u"forget_user"_s};
}

QString IntentContext::editLine(const QString& token) const {
    return u"Go here to edit the post: "_s + in.root + u"edit/"_s + token;
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
    for (const auto& [intent, make] : handlers) {
        m_handlers[intent] = make();
    }
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
    if (!c.zone.isValid()) {
        c.zone = QTimeZone::utc();
    }
    c.lower = c.text.toLower();
    const auto [intent, args] = route(c);
    return c.run(intent, args);
}

std::pair<Intent, IntentArgs> CoachEngine::route(const IntentContext& c) const {
    if (!c.in.image.isEmpty() && c.text.isEmpty()) {
        return {Intent::Image, {}};
    }

    if (c.text.startsWith(QLatin1Char('/'))) {
        // (command, intent without an argument, intent with one)
        struct Command {
            QLatin1String name;
            Intent bare;
            Intent withArg;
        };
        static const Command commands[] = {
            {"/menu"_L1, Intent::Menu, Intent::Menu},
            {"/help"_L1, Intent::Menu, Intent::Menu},
            {"/styles"_L1, Intent::Styles, Intent::Styles},
            {"/campaigns"_L1, Intent::Campaigns, Intent::Campaigns},
            {"/carousel"_L1, Intent::Carousel, Intent::Carousel},
            {"/schedule"_L1, Intent::Upcoming, Intent::Schedule},
            {"/trends"_L1, Intent::Trends, Intent::Trends},
            {"/analytics"_L1, Intent::Analytics, Intent::Analytics},
            {"/clear"_L1, Intent::Clear, Intent::Clear},
            {"/new"_L1, Intent::Clear, Intent::Clear},
            {"/wipe"_L1, Intent::Wipe, Intent::Wipe},
            {"/link"_L1, Intent::Link, Intent::Link},
            {"/forgetme"_L1, Intent::ForgetMe, Intent::ForgetMe},
        };
        const qsizetype space = c.text.indexOf(QRegularExpression(uR"(\s)"_s));
        const QString name = (space < 0 ? c.text : c.text.left(space)).toLower();
        const QString arg = space < 0 ? QString() : c.text.mid(space).trimmed();
        c.status(u"Running %1…"_s.arg(name));
        Intent intent = Intent::UnknownCommand;
        for (const Command& command : commands) {
            if (command.name == name) {
                intent = arg.isEmpty() ? command.bare : command.withArg;
            }
        }
        return {intent, {.arg = arg, .command = name}};
    }

    c.status(u"Reading your message…"_s);
    static const QMap<QString, Intent> starters = {
        {u"analyze my linkedin profile"_s, Intent::ProfileReview},
        {u"draft a post about what i'm working on"_s, Intent::DraftFromWork},
        {u"what should i post today?"_s, Intent::Ideas},
        {u"how did my last post do?"_s, Intent::PostReview},
    };
    const QString normalised = QString(c.lower).replace(u"’"_s, u"'"_s);
    if (const auto it = starters.find(normalised); it != starters.end()) {
        return {it.value(), {}};
    }

    // An answer to "what are you working on?".
    if (m_store.state(c.userID, stateAwaiting) == "draft"_L1) {
        return {Intent::DraftAnswer, {}};
    }

    // Accepting an offer to turn what the user said into a post.
    static const QRegularExpression yes = ci(
        uR"(^(yes|yes please|yep|sure|ok|okay|go ahead|do it|draft it|write it|please do)[.!]*$)"_s);
    if (yes.match(c.text).hasMatch()) {
        if (const QString offer = m_store.state(c.userID, stateOffer); !offer.isEmpty()) {
            return {Intent::DraftOffer, {.arg = offer}};
        }
    }

    // "Give me 3 post ideas for this week", "ideas about hiring".
    static const QRegularExpression ideasRe = ci(
        uR"(^(?:please\s+)?(?:(?:can|could) you\s+)?(?:give me|suggest|share|list|send me|i need|any|some|brainstorm)?\s*)"
        R"((\d+|a few|some|three|five|ten|more)?\s*(?:more\s+|new\s+|fresh\s+)?(?:linkedin\s+)?(?:post|content)?\s*ideas?\b(.*)$)"_s);
    if (const auto m = ideasRe.match(c.text); m.hasMatch() && !c.text.contains(QLatin1Char('?'))) {
        static const QMap<QString, int> numbers = {{u"three"_s, 3}, {u"five"_s, 5}, {u"ten"_s, 10}};
        const QString n = m.captured(1).toLower();
        const int count = std::clamp(numbers.value(n, n.toInt() > 0 ? n.toInt() : 3), 1, 10);
        QString topic = m.captured(2).trimmed();
        static const QRegularExpression when = ci(
            uR"(\s*\b(?:for\s+)?(?:this|next|the)\s+(?:week|month|weekend)\b|\s*\bfor\s+today\b|\s*\btoday\b)"_s);
        topic.remove(when);
        static const QRegularExpression lead = ci(uR"(^(?:about|on|for|around)\s+)"_s);
        topic.remove(lead);
        return {Intent::Ideas, {.arg = stripStop(topic), .count = count}};
    }

    static const QRegularExpression hooksRe = ci(
        uR"(^(?:please\s+)?(?:give me|suggest|write|try|show me|any|some|more|other|better|alternative|new|\d+)\b.*\b(?:hooks?|opening lines?|openers?|first lines?)\b)"_s);
    if (hooksRe.match(c.text).hasMatch()) {
        return {Intent::Hooks, {}};
    }
    static const QRegularExpression hashtagsRe = ci(
        uR"(^(?:please\s+)?(?:(?:give me|suggest|add|generate|write|find|get me|i need|need|some|more|better)\b.*\bhashtags?\b|hashtags?(?:\s+(?:for|please)\b.*)?[.!]*$))"_s);
    if (hashtagsRe.match(c.text).hasMatch() && !c.text.contains(QLatin1Char('?'))) {
        return {Intent::Hashtags, {}};
    }

    static const QRegularExpression scheduleRe =
        ci(uR"(^(please\s+)?(schedule|post|publish|queue)\b(?!.*\babout\b).*$)"_s);
    if (scheduleRe.match(c.text).hasMatch() && wordCount(c.text) <= 12) {
        return {Intent::Schedule, {.arg = c.text}};
    }

    static const QRegularExpression reshapeRe = ci(
        uR"(^(make it|rewrite|reshape|redo|turn it into|try|change it to|more|less|as an?)\b)"_s);
    const QString styleWord = PostWriter::styleFromWords(c.text);
    if (!styleWord.isEmpty() && reshapeRe.match(c.text).hasMatch() &&
        m_store.latestDraft(c.userID)) {
        return {Intent::Reshape, {.style = styleWord}};
    }

    // A request to draft may follow other sentences ("My name is Dana. Draft a
    // post about ..."): what comes before it is remembered, the rest is material.
    static const QRegularExpression draftRe = ci(
        uR"((^|[.!?\n]\s*)(please\s+)?(can you\s+|could you\s+)?(draft|write|create|make)\s+(me\s+)?(a\s+|an\s+)?((linkedin|short|quick|new)\s+)*(post|update)\b)"_s);
    // "A post on X", "share X", "post about X": a request without "write".
    static const QRegularExpression shortDraftRe = ci(
        uR"(^(?:(?:a|an)\s+(?:linkedin\s+|short\s+|quick\s+)*(?:post|update)\s+(?:about|on)|(?:share|post|write|talk)\s+about|share)\s+(.+)$)"_s);
    if (const auto m = shortDraftRe.match(c.text); m.hasMatch() && wordCount(m.captured(1)) >= 2) {
        return {Intent::DraftRequest,
                {.arg = PostWriter::materialFrom(c.text),
                 .style = styleWord,
                 .facts = factsIn(c.text)}};
    }
    if (const auto m = draftRe.match(c.text); m.hasMatch()) {
        const QString before = c.text.left(m.capturedStart(0) + m.capturedLength(1));
        const QString material = PostWriter::materialFrom(c.text.mid(m.capturedEnd(1)));
        return {
            Intent::DraftRequest,
            {.arg = material, .style = styleWord, .facts = factsIn(before) + factsIn(material)}};
    }

    static const QRegularExpression aboutMe =
        ci(uR"(\bwhat do you (know|remember) about me\b|\bwho am i\b|^/?memory$)"_s);
    if (aboutMe.match(c.text).hasMatch()) {
        return {Intent::MemoryReport, {}};
    }

    if (auto facts = factsIn(c.text); !facts.isEmpty() && !c.text.endsWith(QLatin1Char('?'))) {
        return {Intent::Remember, {.facts = std::move(facts)}};
    }

    static const QRegularExpression greeting = ci(
        uR"(^(hi|hello|hey|good (morning|afternoon|evening)|hiya|yo)\b[\s!.,]*(there|tolvane)?[\s!.]*$)"_s);
    if (greeting.match(c.text).hasMatch()) {
        return {Intent::Greeting, {}};
    }

    if (c.text.contains(QLatin1Char('?')) || !c.in.image.isEmpty()) {
        return {c.in.image.isEmpty() ? Intent::Advice : Intent::Image, {}};
    }

    if (wordCount(c.text) >= 8) {
        return {Intent::Draft,
                {.arg = c.text,
                 .style = styleWord,
                 .lead = u"That's good material for a post. Here's a first draft:"_s}};
    }

    return {Intent::Clarify, {}};
}

} // namespace tolvane::coach
