#include "coachengine.h"

#include "postwriter.h"
#include "previewrenderer.h"
#include "store.h"
#include "whenparser.h"

#include <QBuffer>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace tolvane::coach {

const QString CoachEngine::modelName = QStringLiteral("tolvane-rules-1 (local rule engine)");
const QString CoachEngine::provider = QStringLiteral("local");

namespace {

const QString stateOffer = QStringLiteral("offer");          // material offered as a post
const QString stateAwaiting = QStringLiteral("awaiting");    // waiting for post material
const QString stateTheme = QStringLiteral("carousel_theme"); // chosen carousel theme
const QString stateLinkCode = QStringLiteral("link_code");   // "CODE|expiry ms"

QRegularExpression ci(const QString& pattern) {
    return QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption);
}

QString stripStop(QString s) {
    s = s.trimmed();
    while (!s.isEmpty() && QStringLiteral(".!?…:;,").contains(s.back()))
        s.chop(1);
    return s.trimmed();
}

QString quoteFirstLine(const QString& text, int max = 70) {
    QString line = text.trimmed().section(QLatin1Char('\n'), 0, 0).trimmed();
    if (line.size() > max)
        line = line.left(max - 1).trimmed() + QStringLiteral("…");
    return QStringLiteral("“") + line + QStringLiteral("”");
}

QString when(const QDateTime& t, const QTimeZone& zone) {
    return QLocale(QLocale::English)
        .toString(t.toTimeZone(zone), QStringLiteral("ddd MMM d, h:mm AP"));
}

} // namespace

struct CoachEngine::Context {
    const Input& in;
    const StatusFn& status;
    QTimeZone zone;
    QString text;  // trimmed
    QString lower; // trimmed, lower-cased
    qint64 userId;
};

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

CoachEngine::CoachEngine(Store& store)
    : m_store(store) {}

QString CoachEngine::editLine(const Context& c, const QString& token) const {
    return QStringLiteral("Go here to edit the post: ") + c.in.root + QStringLiteral("edit/") +
           token;
}

namespace {

QJsonObject toolCall(const QString& name, const QJsonObject& args) {
    static int counter = 0;
    return QJsonObject{{QStringLiteral("id"), QStringLiteral("call_%1").arg(++counter)},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("arguments"),
                        QString::fromUtf8(QJsonDocument(args).toJson(QJsonDocument::Compact))}};
}

// What the user states about themselves, as (kind, value) pairs.
QList<QPair<QString, QString>> factsIn(const QString& text) {
    QList<QPair<QString, QString>> facts;
    static const QRegularExpression name = ci(QStringLiteral(
        R"(\b(?:my name is|call me)\s+([A-Za-zÀ-ÿ'’-]+(?:\s+[A-Z][A-Za-zÀ-ÿ'’-]+){0,3}))"));
    if (auto m = name.match(text); m.hasMatch())
        facts.append({QStringLiteral("name"), stripStop(m.captured(1))});
    static const QRegularExpression role = ci(QStringLiteral(
        R"(\bi(?:'m|’m| am| work as)\s+(?:a|an)\s+([^.,;!?\n]{3,60}?)(?:\s+at\s+([^.,;!?\n]{2,60}?))?(?=$|[.,;!?\n]|\s+and\s|\s+where\s))"));
    if (auto m = role.match(text); m.hasMatch()) {
        const QString r = stripStop(m.captured(1));
        static const QRegularExpression notRole =
            ci(QStringLiteral(R"(^(bit|little|lot|big fan|huge fan|fan)\b)"));
        if (!notRole.match(r).hasMatch() && r.split(QLatin1Char(' ')).size() <= 6) {
            facts.append({QStringLiteral("role"), r});
            if (!m.captured(2).isEmpty())
                facts.append({QStringLiteral("company"), stripStop(m.captured(2))});
        }
    }
    static const QRegularExpression company =
        ci(QStringLiteral(R"(\bi work (?:at|for)\s+([^.,;!?\n]{2,60}))"));
    if (auto m = company.match(text); m.hasMatch())
        facts.append({QStringLiteral("company"), stripStop(m.captured(1))});
    static const QRegularExpression audience = ci(QStringLiteral(
        R"(\b(?:i help|we help|my audience is|my audience are|i write for)\s+([^.;!?\n]{3,80}))"));
    if (auto m = audience.match(text); m.hasMatch()) {
        // "I help founders ship faster": the audience ends where the verb starts.
        static const QRegularExpression verb = ci(QStringLiteral(
            R"(\s+(to|with|by|who|that|so|ship|get|grow|build|find|make|land|win|turn|reach|)"
            R"(scale|hire|sell|save|learn|create|write|launch|do|become|stop|start)\b.*$)"));
        QString who = stripStop(m.captured(1));
        who.remove(verb);
        if (!who.isEmpty())
            facts.append({QStringLiteral("audience"), who});
    }
    static const QRegularExpression goal = ci(QStringLiteral(
        R"(\b(?:my goal is(?: to)?|i want to|i'd like to|i would like to)\s+([^.;!?\n]{3,100}))"));
    if (auto m = goal.match(text); m.hasMatch())
        facts.append({QStringLiteral("goal"), stripStop(m.captured(1))});
    static const QRegularExpression work = ci(QStringLiteral(
        R"(\b(?:i(?:'m|’m| am)|we(?:'re|’re| are))\s+(?:currently\s+)?(working on|building|launching|writing|creating)\s+([^.;!?\n]{3,120}))"));
    if (auto m = work.match(text); m.hasMatch())
        facts.append({QStringLiteral("work"),
                      m.captured(1).toLower() + QLatin1Char(' ') + stripStop(m.captured(2))});
    static const QRegularExpression remember =
        ci(QStringLiteral(R"(^(?:please\s+)?remember(?: that)?\s+(.{3,200})$)"));
    if (auto m = remember.match(text.trimmed()); m.hasMatch())
        facts.append({QStringLiteral("fact"), stripStop(m.captured(1))});
    return facts;
}

QString kindLabel(const QString& kind) {
    static const QMap<QString, QString> labels = {
        {QStringLiteral("name"), QStringLiteral("Name")},
        {QStringLiteral("role"), QStringLiteral("Role")},
        {QStringLiteral("company"), QStringLiteral("Company")},
        {QStringLiteral("audience"), QStringLiteral("Audience")},
        {QStringLiteral("goal"), QStringLiteral("Goal")},
        {QStringLiteral("work"), QStringLiteral("Working on")},
        {QStringLiteral("fact"), QStringLiteral("Noted")},
    };
    return labels.value(kind, kind);
}

int wordCount(const QString& s) {
    return int(s.split(QRegularExpression(QStringLiteral(R"(\s+)")), Qt::SkipEmptyParts).size());
}

} // namespace

CoachEngine::Turn CoachEngine::respond(const Input& input, const StatusFn& status) {
    Context c{input, status,       QTimeZone(input.timeZone.toUtf8()), input.text.trimmed(),
              {},    input.user.id};
    if (!c.zone.isValid())
        c.zone = QTimeZone::utc();
    c.lower = c.text.toLower();

    if (!input.image.isEmpty() && c.text.isEmpty())
        return image(c);

    if (c.text.startsWith(QLatin1Char('/'))) {
        const qsizetype space = c.text.indexOf(QRegularExpression(QStringLiteral(R"(\s)")));
        const QString name = (space < 0 ? c.text : c.text.left(space)).toLower();
        const QString arg = space < 0 ? QString() : c.text.mid(space).trimmed();
        return command(c, name, arg);
    }

    status(QStringLiteral("Reading your message…"));
    static const QMap<QString, int> starters = {
        {QStringLiteral("analyze my linkedin profile"), 0},
        {QStringLiteral("draft a post about what i'm working on"), 1},
        {QStringLiteral("what should i post today?"), 2},
        {QStringLiteral("how did my last post do?"), 3},
    };
    const QString normalised = QString(c.lower).replace(QStringLiteral("’"), QStringLiteral("'"));
    if (const auto it = starters.find(normalised); it != starters.end()) {
        switch (it.value()) {
        case 0:
            return profileReview(c);
        case 1: {
            const QList<Memory> all = m_store.memories(c.userId);
            QString work;
            for (const Memory& m : all) {
                if (m.kind == QLatin1String("work"))
                    work = m.value;
            }
            if (work.isEmpty()) {
                m_store.setState(c.userId, stateAwaiting, QStringLiteral("draft"));
                Turn t;
                t.intent = QStringLiteral("draft.ask");
                t.label = QStringLiteral("Ask what the user is working on");
                t.reply = QStringLiteral(
                    "Happy to. What are you working on right now? Give me two or three "
                    "sentences: what it is, who it's for, and one thing you learned or "
                    "noticed along the way. I'll turn it into a post.");
                return t;
            }
            return draftPost(c, QStringLiteral("I'm ") + work + QLatin1Char('.'), QString());
        }
        case 2:
            return postIdeas(c);
        default:
            return lastPostReview(c);
        }
    }

    // An answer to "what are you working on?".
    if (m_store.state(c.userId, stateAwaiting) == QLatin1String("draft")) {
        m_store.setState(c.userId, stateAwaiting, {});
        for (const auto& fact : factsIn(c.text))
            m_store.remember(c.userId, fact.first, fact.second);
        return draftPost(c, c.text, PostWriter::styleFromWords(c.text));
    }

    // Accepting an offer to turn what the user said into a post.
    static const QRegularExpression yes = ci(QStringLiteral(
        R"(^(yes|yes please|yep|sure|ok|okay|go ahead|do it|draft it|write it|please do)[.!]*$)"));
    if (yes.match(c.text).hasMatch()) {
        const QString offer = m_store.state(c.userId, stateOffer);
        if (!offer.isEmpty()) {
            m_store.setState(c.userId, stateOffer, {});
            return draftPost(c, offer, QString());
        }
    }

    const std::optional<Draft> last = m_store.latestDraft(c.userId);
    static const QRegularExpression scheduleRe =
        ci(QStringLiteral(R"(^(please\s+)?(schedule|post|publish|queue)\b(?!.*\babout\b).*$)"));
    if (scheduleRe.match(c.text).hasMatch() && wordCount(c.text) <= 12)
        return schedule(c, c.text);

    static const QRegularExpression reshapeRe = ci(QStringLiteral(
        R"(^(make it|rewrite|reshape|redo|turn it into|try|change it to|more|less|as an?)\b)"));
    const QString styleWord = PostWriter::styleFromWords(c.text);
    if (last && !styleWord.isEmpty() && reshapeRe.match(c.text).hasMatch())
        return reshape(c, styleWord);

    // A request to draft may follow other sentences ("My name is Dana. Draft a
    // post about ..."): what comes before it is remembered, the rest is material.
    static const QRegularExpression draftRe = ci(QStringLiteral(
        R"((^|[.!?\n]\s*)(please\s+)?(can you\s+|could you\s+)?(draft|write|create|make)\s+(me\s+)?(a\s+|an\s+)?((linkedin|short|quick|new)\s+)*(post|update)\b)"));
    if (const auto m = draftRe.match(c.text); m.hasMatch()) {
        const QString before = c.text.left(m.capturedStart(0) + m.capturedLength(1));
        const QString material = PostWriter::materialFrom(c.text.mid(m.capturedEnd(1)));
        for (const auto& fact : factsIn(before) + factsIn(material))
            m_store.remember(c.userId, fact.first, fact.second);
        if (wordCount(material) < 2) {
            m_store.setState(c.userId, stateAwaiting, QStringLiteral("draft"));
            Turn t;
            t.intent = QStringLiteral("draft.ask");
            t.label = QStringLiteral("Ask for post material");
            t.reply = QStringLiteral("Sure. What should it be about? Tell me the point you want "
                                     "to make and an example from your own work.");
            return t;
        }
        return draftPost(c, material, styleWord);
    }

    static const QRegularExpression aboutMe =
        ci(QStringLiteral(R"(\bwhat do you (know|remember) about me\b|\bwho am i\b|^/?memory$)"));
    if (aboutMe.match(c.text).hasMatch())
        return memoryReport(c);

    const auto facts = factsIn(c.text);
    if (!facts.isEmpty() && !c.text.endsWith(QLatin1Char('?')))
        return rememberFacts(c, facts);

    static const QRegularExpression greeting = ci(QStringLiteral(
        R"(^(hi|hello|hey|good (morning|afternoon|evening)|hiya|yo)\b[\s!.,]*(there|tolvane)?[\s!.]*$)"));
    if (greeting.match(c.text).hasMatch()) {
        Turn t;
        t.intent = QStringLiteral("greeting");
        t.label = QStringLiteral("Greeting");
        const QString name = m_store.memory(c.userId, QStringLiteral("name"));
        t.reply = (name.isEmpty() ? QStringLiteral("Hey!") : QStringLiteral("Hey %1!").arg(name)) +
                  QStringLiteral(" Tell me what you do and who you want to reach, or just tell "
                                 "me what happened at work this week, and I'll turn it into a "
                                 "post. Type /menu to see everything I can do.");
        return t;
    }

    if (c.text.contains(QLatin1Char('?')) || !input.image.isEmpty())
        return input.image.isEmpty() ? answerQuestion(c) : image(c);

    if (wordCount(c.text) >= 8)
        return draftPost(c, c.text, styleWord,
                         QStringLiteral("That's good material for a post. Here's a first draft:"));

    Turn t;
    t.intent = QStringLiteral("clarify");
    t.label = QStringLiteral("Ask for more detail");
    t.reply = QStringLiteral(
        "Tell me a bit more — a sentence or two about what happened, who it's for, or what "
        "you learned — and I'll draft a post from it. Or type /menu to see what I can do.");
    return t;
}

CoachEngine::Turn CoachEngine::command(Context& c, const QString& name, const QString& arg) {
    c.status(QStringLiteral("Running %1…").arg(name));
    Turn t;
    t.intent = QStringLiteral("command");
    t.label = name;
    if (name == QLatin1String("/menu") || name == QLatin1String("/help")) {
        t.reply = QStringLiteral(
            "Here's what I can do:\n\n"
            "- **Draft posts** — tell me what you're working on, or say “draft a post about …”\n"
            "- **Reshape** the last draft — “make it a story”, “make it shorter” (/styles)\n"
            "- **Lead-gen templates** for selling something (/campaigns)\n"
            "- **Carousels** — slides from your last draft (/carousel)\n"
            "- **Schedule** — “schedule it tomorrow at 9”, or see the calendar (/schedule)\n"
            "- **Ideas** — angles for your niche (/trends) and “What should I post today?”\n"
            "- **Analytics** from what we've published (/analytics)\n"
            "- **Memory** — I remember what you tell me about yourself; /forgetme erases it\n"
            "- /clear starts the chat fresh and keeps memory; /link pairs another device");
        return t;
    }
    if (name == QLatin1String("/styles")) {
        const QString key =
            PostWriter::isStyle(arg.toLower()) ? arg.toLower() : PostWriter::styleFromWords(arg);
        if (!arg.isEmpty() && !key.isEmpty() && m_store.latestDraft(c.userId))
            return reshape(c, key);
        QStringList lines;
        for (const auto& s : PostWriter::styles())
            lines.append(QStringLiteral("- **%1** (`%2`) — %3").arg(s.name, s.key, s.description));
        t.reply = QStringLiteral("Post styles:\n\n") + lines.join(QLatin1Char('\n')) +
                  QStringLiteral("\n\nSay “make it a story” or “/styles listicle” and I'll "
                                 "reshape your last draft.");
        return t;
    }
    if (name == QLatin1String("/campaigns"))
        return campaigns(c, arg);
    if (name == QLatin1String("/carousel"))
        return carousel(c, arg.toLower());
    if (name == QLatin1String("/schedule"))
        return arg.isEmpty() ? upcoming(c) : schedule(c, arg);
    if (name == QLatin1String("/trends"))
        return trends(c, arg);
    if (name == QLatin1String("/analytics"))
        return analytics(c);
    if (name == QLatin1String("/clear") || name == QLatin1String("/new")) {
        m_store.setState(c.userId, stateOffer, {});
        m_store.setState(c.userId, stateAwaiting, {});
        const qsizetype facts = m_store.memories(c.userId).size();
        t.reply = QStringLiteral("Fresh start. ") +
                  (facts > 0 ? QStringLiteral("I still remember the %1 thing%2 you told me about "
                                              "yourself; /forgetme erases them.")
                                   .arg(facts)
                                   .arg(facts == 1 ? QString() : QStringLiteral("s"))
                             : QStringLiteral("Tell me what you do and who you want to reach."));
        return t;
    }
    if (name == QLatin1String("/wipe")) {
        m_store.setState(c.userId, stateOffer, {});
        m_store.setState(c.userId, stateAwaiting, {});
        const int removed = m_store.deleteDrafts(c.userId, QStringLiteral("draft"));
        t.toolCalls.append(
            toolCall(QStringLiteral("read_store"), {{QStringLiteral("delete_drafts"), removed}}));
        t.reply = QStringLiteral("Wiped the chat and %1 unscheduled draft%2. Scheduled and "
                                 "published posts and what I know about you stay.")
                      .arg(removed)
                      .arg(removed == 1 ? QString() : QStringLiteral("s"));
        return t;
    }
    if (name == QLatin1String("/link"))
        return link(c, arg);
    if (name == QLatin1String("/forgetme")) {
        c.status(QStringLiteral("Erasing your memory, drafts, schedule and AI-call log…"));
        m_store.forget(c.userId);
        t.toolCalls.append(toolCall(QStringLiteral("forget_user"), {}));
        t.reply = QStringLiteral("Done. I've erased everything I knew about you: memory, drafts, "
                                 "scheduled posts, notifications, videos and the AI-call log. "
                                 "We're starting from zero.");
        return t;
    }
    t.intent = QStringLiteral("command.unknown");
    t.reply =
        QStringLiteral("I don't know the command %1. Type /menu to see what I can do.").arg(name);
    return t;
}

CoachEngine::Turn CoachEngine::draftPost(Context& c, const QString& material, QString style,
                                         const QString& lead) {
    c.status(QStringLiteral("Checking what I remember about you…"));
    PostWriter::Author author;
    author.audience = m_store.memory(c.userId, QStringLiteral("audience"));
    author.role = m_store.memory(c.userId, QStringLiteral("role"));
    if (style.isEmpty())
        style = QStringLiteral("insight");
    const auto styleName = [&] {
        for (const auto& s : PostWriter::styles()) {
            if (s.key == style)
                return s.name.toLower();
        }
        return style;
    }();
    c.status(QStringLiteral("Writing the draft in the %1 style…").arg(styleName));
    const QString text = PostWriter::write(material, style, author);
    c.status(QStringLiteral("Saving the draft…"));
    const Draft d = m_store.createDraft(c.userId, text, style, material);
    m_store.setState(c.userId, stateOffer, {});

    Turn t;
    t.intent = QStringLiteral("draft.create");
    t.label = QStringLiteral("Draft a %1 post").arg(styleName);
    t.toolCalls.append(
        toolCall(QStringLiteral("create_draft"), {{QStringLiteral("token"), d.token},
                                                  {QStringLiteral("style"), style},
                                                  {QStringLiteral("material"), material}}));
    const QString tooLong =
        text.size() > 3000
            ? QStringLiteral("\n\nHeads-up: this is %1 characters and LinkedIn allows 3,000. "
                             "Trim it in the editor before you schedule it.")
                  .arg(text.size())
            : QString();
    t.reply =
        (lead.isEmpty() ? QStringLiteral("Here's a draft in the **%1** style:").arg(styleName)
                        : lead) +
        QStringLiteral("\n\n") + text + tooLong +
        QStringLiteral("\n\nWant another angle? Say “make it a story”, “make it shorter”, "
                       "or /styles. When you're happy, say “schedule it tomorrow at 9”.\n\n") +
        editLine(c, d.token);
    return t;
}

CoachEngine::Turn CoachEngine::reshape(Context& c, const QString& style) {
    c.status(QStringLiteral("Loading your last draft…"));
    const std::optional<Draft> last = m_store.latestDraft(c.userId);
    if (!last)
        return draftPost(c, c.text, style);
    const QString material = last->topic.isEmpty() ? last->text : last->topic;
    PostWriter::Author author;
    author.audience = m_store.memory(c.userId, QStringLiteral("audience"));
    c.status(QStringLiteral("Rewriting it as %1…").arg(style));
    const QString text = PostWriter::write(material, style, author);
    Turn t;
    t.label = QStringLiteral("Reshape the last draft as %1").arg(style);
    if (last->status == QLatin1String("draft")) {
        m_store.updateDraft(last->token, text, style);
        t.intent = QStringLiteral("draft.reshape");
        t.toolCalls.append(
            toolCall(QStringLiteral("reshape_draft"),
                     {{QStringLiteral("token"), last->token}, {QStringLiteral("style"), style}}));
        t.reply = QStringLiteral("Reshaped as **%1**:\n\n").arg(style) + text +
                  QStringLiteral("\n\n") + editLine(c, last->token);
        return t;
    }
    // A scheduled or published post stays as it is; the new shape is a new draft.
    const Draft d = m_store.createDraft(c.userId, text, style, material);
    t.intent = QStringLiteral("draft.reshape");
    t.toolCalls.append(
        toolCall(QStringLiteral("create_draft"),
                 {{QStringLiteral("token"), d.token}, {QStringLiteral("style"), style}}));
    t.reply = QStringLiteral("Your last post is already %1, so I made a new **%2** draft from "
                             "it:\n\n")
                  .arg(last->status, style) +
              text + QStringLiteral("\n\n") + editLine(c, d.token);
    return t;
}

CoachEngine::Turn CoachEngine::schedule(Context& c, const QString& phrase) {
    Turn t;
    t.intent = QStringLiteral("schedule");
    c.status(QStringLiteral("Finding your latest draft…"));
    std::optional<Draft> target;
    for (const Draft& d : m_store.drafts(c.userId, QStringLiteral("draft"), 1))
        target = d;
    if (!target) {
        t.label = QStringLiteral("Nothing to schedule");
        t.reply = QStringLiteral("There's no unscheduled draft to put on the calendar. Tell me "
                                 "what you want to post about and I'll draft it first.");
        return t;
    }
    const QDateTime now = c.in.now;
    WhenParser::Result w = WhenParser::parse(phrase, now, c.zone);
    const bool nowRequested =
        w.now || QRegularExpression(QStringLiteral(R"(^(post|publish)\s+(it|this)[.!]*$)"),
                                    QRegularExpression::CaseInsensitiveOption)
                     .match(phrase.trimmed())
                     .hasMatch();
    if (nowRequested) {
        c.status(QStringLiteral("Publishing…"));
        m_store.publishDraft(target->token, target->text, now);
        t.label = QStringLiteral("Publish the draft now");
        t.toolCalls.append(
            toolCall(QStringLiteral("publish_post"), {{QStringLiteral("token"), target->token}}));
        t.reply = QStringLiteral("Published %1 just now. I'll count it in /analytics.")
                      .arg(quoteFirstLine(target->text));
        return t;
    }
    const QDateTime at = w.found ? w.at : WhenParser::nextGoodSlot(now, c.zone);
    if (at <= now) {
        t.label = QStringLiteral("Reject a time in the past");
        t.reply = QStringLiteral("%1 is already past. Pick a later time, or say “post it now”.")
                      .arg(when(at, c.zone));
        return t;
    }
    c.status(QStringLiteral("Putting it on your calendar…"));
    m_store.scheduleDraft(target->token, target->text, at);
    t.label = QStringLiteral("Schedule the draft");
    t.toolCalls.append(toolCall(QStringLiteral("schedule_post"),
                                {{QStringLiteral("token"), target->token},
                                 {QStringLiteral("at"), at.toString(Qt::ISODate)}}));
    t.reply =
        QStringLiteral("Scheduled %1 for %2 (%3)%4. I'll publish it then and let you know.")
            .arg(quoteFirstLine(target->text), when(at, c.zone), QString::fromUtf8(c.zone.id()),
                 w.found ? QString()
                         : QStringLiteral(" — you didn't give a time, so I picked the "
                                          "next weekday morning slot")) +
        QStringLiteral("\n\n") + editLine(c, target->token);
    return t;
}

CoachEngine::Turn CoachEngine::carousel(Context& c, const QString& themeKey) {
    Turn t;
    t.intent = QStringLiteral("carousel");
    bool known = themeKey.isEmpty();
    for (const auto& th : PreviewRenderer::themes())
        known = known || th.key == themeKey;
    if (!known) {
        QStringList keys;
        for (const auto& th : PreviewRenderer::themes())
            keys.append(QStringLiteral("`%1`").arg(th.key));
        t.label = QStringLiteral("List carousel themes");
        t.reply = QStringLiteral("I don't have a theme called “%1”. Themes: %2. Try “/carousel "
                                 "mint”.")
                      .arg(themeKey, keys.join(QStringLiteral(", ")));
        return t;
    }
    if (!themeKey.isEmpty())
        m_store.setState(c.userId, stateTheme, themeKey);
    const PreviewRenderer::Theme theme =
        PreviewRenderer::theme(m_store.state(c.userId, stateTheme));

    const std::optional<Draft> last = m_store.latestDraft(c.userId);
    QStringList slides;
    QString source;
    if (last) {
        QStringList paragraphs = last->text.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts);
        if (!paragraphs.isEmpty() && paragraphs.last().startsWith(QLatin1Char('#')))
            paragraphs.removeLast();
        QStringList points;
        for (qsizetype i = 1; i < paragraphs.size(); ++i) {
            for (const QString& line : paragraphs[i].split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                points.append(line.trimmed());
        }
        slides.append(paragraphs.value(0).trimmed());
        const QString cta = points.isEmpty() ? QString() : points.takeLast();
        slides.append(points.mid(0, 6));
        slides.append(cta.isEmpty() ? QStringLiteral("Follow for more.") : cta);
        source = quoteFirstLine(last->text);
    } else {
        slides = {QStringLiteral("Your carousel title goes here"),
                  QStringLiteral("One idea per slide keeps people swiping."),
                  QStringLiteral("Short sentences. Big type."),
                  QStringLiteral("End with a question or a next step.")};
    }
    for (QString& s : slides) {
        if (s.size() > 160)
            s = s.left(159).trimmed() + QStringLiteral("…");
    }
    c.status(QStringLiteral("Rendering %1 slides in the %2 theme…")
                 .arg(slides.size())
                 .arg(theme.name.toLower()));
    const QString author = m_store.memory(c.userId, QStringLiteral("name"));
    const QList<QByteArray> pngs = PreviewRenderer::renderCarousel(slides, author, theme);
    const QString group = QStringLiteral("carousel-") + Store::newToken();
    for (qsizetype i = 0; i < pngs.size(); ++i)
        t.images.append({pngs[i], QStringLiteral("image/png"),
                         QStringLiteral("Slide %1 of %2").arg(i + 1).arg(pngs.size()), group});
    t.label = QStringLiteral("Render a carousel");
    t.toolCalls.append(toolCall(
        QStringLiteral("render_carousel"),
        {{QStringLiteral("theme"), theme.key}, {QStringLiteral("slides"), int(slides.size())}}));
    QStringList keys;
    for (const auto& th : PreviewRenderer::themes())
        keys.append(QStringLiteral("`%1`").arg(th.key));
    t.reply = (last ? QStringLiteral("Here's %1 as a carousel in the **%2** theme.")
                          .arg(source, theme.name)
                    : QStringLiteral("No draft yet, so here's a sample in the **%1** theme. Draft "
                                     "a post and run /carousel again to get your own slides.")
                          .arg(theme.name)) +
              QStringLiteral("\n\nOther themes: %1 — “/carousel mint” switches.")
                  .arg(keys.join(QStringLiteral(", ")));
    return t;
}

CoachEngine::Turn CoachEngine::upcoming(Context& c) {
    c.status(QStringLiteral("Looking up your calendar…"));
    Turn t;
    t.intent = QStringLiteral("schedule.list");
    t.label = QStringLiteral("List scheduled posts");
    t.toolCalls.append(toolCall(QStringLiteral("read_store"),
                                {{QStringLiteral("table"), QStringLiteral("drafts")},
                                 {QStringLiteral("status"), QStringLiteral("scheduled")}}));
    const QList<Draft> list = m_store.drafts(c.userId, QStringLiteral("scheduled"), 20);
    if (list.isEmpty()) {
        const QDateTime slot = WhenParser::nextGoodSlot(c.in.now, c.zone);
        t.reply = QStringLiteral("Nothing is scheduled yet. Your next good slot is %1 (%2). "
                                 "Draft something and say “schedule it”.")
                      .arg(when(slot, c.zone), QString::fromUtf8(c.zone.id()));
        return t;
    }
    QStringList lines;
    for (const Draft& d : list)
        lines.append(QStringLiteral("- **%1** — %2")
                         .arg(when(d.scheduledAt, c.zone), quoteFirstLine(d.text, 60)));
    t.reply = QStringLiteral("Your upcoming posts (%1):\n\n").arg(QString::fromUtf8(c.zone.id())) +
              lines.join(QLatin1Char('\n'));
    return t;
}

CoachEngine::Turn CoachEngine::analytics(Context& c) {
    c.status(QStringLiteral("Counting your posts…"));
    Turn t;
    t.intent = QStringLiteral("analytics");
    t.label = QStringLiteral("Report analytics");
    t.toolCalls.append(toolCall(QStringLiteral("read_store"),
                                {{QStringLiteral("table"), QStringLiteral("drafts")}}));
    const Overview o = m_store.overview(c.userId);
    const QList<Draft> published = m_store.drafts(c.userId, QStringLiteral("published"), 500);
    int last7 = 0;
    int last30 = 0;
    qint64 chars = 0;
    QMap<QString, int> styles;
    QMap<int, int> weekdays;
    for (const Draft& d : published) {
        const qint64 age = d.publishedAt.secsTo(c.in.now);
        last7 += age <= 7 * 86400 ? 1 : 0;
        last30 += age <= 30 * 86400 ? 1 : 0;
        chars += d.text.size();
        styles[d.style] += 1;
        weekdays[d.publishedAt.toTimeZone(c.zone).date().dayOfWeek()] += 1;
    }
    QStringList lines;
    lines << QStringLiteral("- Published: **%1** (last 7 days: %2, last 30 days: %3)")
                 .arg(o.published)
                 .arg(last7)
                 .arg(last30)
          << QStringLiteral("- Scheduled: **%1**").arg(o.scheduledPending)
          << QStringLiteral("- Drafts waiting: **%1**").arg(o.drafts);
    if (!published.isEmpty()) {
        lines << QStringLiteral("- Average length: %1 characters").arg(chars / published.size());
        QString topStyle;
        int topCount = 0;
        for (auto it = styles.begin(); it != styles.end(); ++it) {
            if (it.value() > topCount) {
                topCount = it.value();
                topStyle = it.key();
            }
        }
        lines << QStringLiteral("- Most used style: %1 (%2 of %3)")
                     .arg(topStyle)
                     .arg(topCount)
                     .arg(published.size());
        int topDay = 0;
        int dayCount = 0;
        for (auto it = weekdays.begin(); it != weekdays.end(); ++it) {
            if (it.value() > dayCount) {
                dayCount = it.value();
                topDay = it.key();
            }
        }
        lines << QStringLiteral("- You publish most on %1s")
                     .arg(QLocale(QLocale::English).dayName(topDay));
    }
    QString advice;
    if (o.published == 0)
        advice = QStringLiteral("Nothing published yet. Aim for three posts a week; the first "
                                "one is the hardest.");
    else if (last7 < 3)
        advice = QStringLiteral("You're at %1 this week; three a week is where reach starts to "
                                "compound.")
                     .arg(last7);
    else
        advice = QStringLiteral("Three or more this week: that's the rhythm that grows an "
                                "audience. Keep it.");
    t.reply = QStringLiteral("Your posting so far:\n\n") + lines.join(QLatin1Char('\n')) +
              QStringLiteral("\n\n") + advice +
              QStringLiteral("\n\nImpressions and likes need a connected LinkedIn account; this "
                             "local coach publishes to its own store, so it counts them as 0.");
    return t;
}

CoachEngine::Turn CoachEngine::trends(Context& c, const QString& keyword) {
    c.status(QStringLiteral("Matching angles to your niche…"));
    QString niche = keyword.trimmed();
    if (niche.isEmpty()) {
        for (const char* kind : {"role", "audience", "work"}) {
            niche = m_store.memory(c.userId, QString::fromLatin1(kind));
            if (!niche.isEmpty())
                break;
        }
    }
    struct Angle {
        QRegularExpression match;
        QStringList ideas;
    };
    static const QList<Angle> angles = {
        {ci(QStringLiteral(R"(\b(ai|ml|machine learning|llm|data)\b)")),
         {QStringLiteral("Where AI saved you real hours this month, with numbers"),
          QStringLiteral("A task you tried to automate and why it failed"),
          QStringLiteral("How you check AI output before it reaches a customer")}},
        {ci(QStringLiteral(R"(market|brand|growth|content|seo)")),
         {QStringLiteral("One campaign that flopped and what the data said"),
          QStringLiteral("Organic vs. paid: what actually moved your pipeline"),
          QStringLiteral("The smallest experiment that changed your strategy")}},
        {ci(QStringLiteral(R"(design|ux|ui\b|product)")),
         {QStringLiteral("A before/after of one screen, and the user insight behind it"),
          QStringLiteral("The feature you removed and why users were happier"),
          QStringLiteral("How you run a five-user test in one afternoon")}},
        {ci(QStringLiteral(R"(engineer|developer|software|code|devops|tech)")),
         {QStringLiteral("A bug that taught you something about your system"),
          QStringLiteral("The boring tool choice you'd make again"),
          QStringLiteral("What code review looks like on your team, honestly")}},
        {ci(QStringLiteral(R"(sales|selling|b2b|revenue|customers?)")),
         {QStringLiteral("The objection you hear most and how you answer it"),
          QStringLiteral("A deal you lost and the lesson in it"),
          QStringLiteral("The first message that gets replies, word for word")}},
        {ci(QStringLiteral(R"(founder|startup|ceo|business|freelanc|consult)")),
         {QStringLiteral("A number from this month you're proud of, and one you're not"),
          QStringLiteral("The decision you keep putting off, in public"),
          QStringLiteral("What your first ten customers had in common")}},
        {ci(QStringLiteral(R"(lead|manag|team|hr|recruit|hiring)")),
         {QStringLiteral("A hiring mistake and the question you now always ask"),
          QStringLiteral("How you run one-on-ones that people look forward to"),
          QStringLiteral("The meeting you cancelled and what replaced it")}},
    };
    QStringList ideas = {QStringLiteral("A lesson from this week, told as a short story"),
                         QStringLiteral("A common belief in your field you disagree with"),
                         QStringLiteral("A checklist people can save and reuse")};
    for (const Angle& a : angles) {
        if (!niche.isEmpty() && a.match.match(niche).hasMatch()) {
            ideas = a.ideas;
            break;
        }
    }
    Turn t;
    t.intent = QStringLiteral("trends");
    t.label = QStringLiteral("Suggest angles for %1")
                  .arg(niche.isEmpty() ? QStringLiteral("a general niche") : niche);
    QStringList lines;
    for (const QString& idea : ideas)
        lines.append(QStringLiteral("- ") + idea);
    t.reply = QStringLiteral("Angles that work%1:\n\n")
                  .arg(niche.isEmpty() ? QString() : QStringLiteral(" for **%1**").arg(niche)) +
              lines.join(QLatin1Char('\n')) +
              QStringLiteral("\n\nI run offline, so these are proven angles rather than live "
                             "trending data. Pick one and tell me your version: “draft a post "
                             "about …”.");
    if (niche.isEmpty())
        t.reply += QStringLiteral(" Add a keyword (“/trends marketing”) or tell me your role for "
                                  "sharper ideas.");
    return t;
}

CoachEngine::Turn CoachEngine::campaigns(Context& c, const QString& arg) {
    struct Template {
        QString key;
        QString name;
        QString body; // %1 is the offer
    };
    static const QList<Template> templates = {
        {QStringLiteral("launch"), QStringLiteral("Launch"),
         QStringLiteral("It's live: %1.\n\nI built it because I kept seeing the same problem "
                        "and nobody was fixing it.\n\nWhat it does:\n→ saves you the busywork\n→ "
                        "fits how you already work\n→ takes five minutes to try\n\nComment "
                        "“LAUNCH” and I'll send you early access.")},
        {QStringLiteral("audit"), QStringLiteral("Free audit"),
         QStringLiteral("I'm opening 5 free audit slots this month for %1.\n\nYou get a "
                        "30-minute review and three changes you can make the same day. No pitch "
                        "at the end.\n\nComment “AUDIT” or send me a message to grab one.")},
        {QStringLiteral("case-study"), QStringLiteral("Case study"),
         QStringLiteral("How one client got results with %1.\n\nThe situation: stuck, busy, out "
                        "of ideas.\nWhat we changed: one process, one habit.\nThe result: "
                        "measurable progress in weeks, not months.\n\nWant the same? Message me "
                        "“CASE”.")},
        {QStringLiteral("webinar"), QStringLiteral("Webinar invite"),
         QStringLiteral("Free live session next week: %1.\n\n45 minutes, real examples, time "
                        "for your questions.\n\nComment “IN” and I'll send the link.")},
        {QStringLiteral("waitlist"), QStringLiteral("Waitlist"),
         QStringLiteral("I'm building %1, and I want it shaped by the people who'll use "
                        "it.\n\nJoin the waitlist and you'll get the first version free, plus a "
                        "say in what comes next.\n\nComment “WAITLIST” to join.")},
    };
    const QString key = arg.section(QLatin1Char(' '), 0, 0).toLower();
    QString offer = arg.section(QLatin1Char(' '), 1).trimmed();
    for (const Template& tpl : templates) {
        if (tpl.key != key)
            continue;
        if (offer.isEmpty()) {
            offer = m_store.memory(c.userId, QStringLiteral("work"));
            offer.remove(QRegularExpression(
                QStringLiteral(R"(^(working on|building|launching|writing|creating)\s+)")));
        }
        if (offer.isEmpty()) {
            Turn t;
            t.intent = QStringLiteral("campaign.ask");
            t.label = QStringLiteral("Ask what the campaign sells");
            t.reply = QStringLiteral("What are you offering? Say “/campaigns %1 <what you sell>”, "
                                     "for example “/campaigns %1 my bookkeeping service for "
                                     "designers”.")
                          .arg(tpl.key);
            return t;
        }
        c.status(QStringLiteral("Filling the %1 template…").arg(tpl.name.toLower()));
        const QString text = tpl.body.arg(stripStop(offer));
        const Draft d =
            m_store.createDraft(c.userId, text, QStringLiteral("campaign-") + tpl.key, offer);
        Turn t;
        t.intent = QStringLiteral("campaign.draft");
        t.label = QStringLiteral("Draft a %1 campaign post").arg(tpl.name.toLower());
        t.toolCalls.append(
            toolCall(QStringLiteral("create_draft"),
                     {{QStringLiteral("token"), d.token}, {QStringLiteral("template"), tpl.key}}));
        t.reply = QStringLiteral("Here's a **%1** post:\n\n").arg(tpl.name) + text +
                  QStringLiteral("\n\nTip: reply to every comment within the first hour; that's "
                                 "when these posts win or lose.\n\n") +
                  editLine(c, d.token);
        return t;
    }
    QStringList lines;
    for (const Template& tpl : templates)
        lines.append(
            QStringLiteral("- **%1** — `/campaigns %2 <your offer>`").arg(tpl.name, tpl.key));
    Turn t;
    t.intent = QStringLiteral("campaign.list");
    t.label = QStringLiteral("List campaign templates");
    t.reply = QStringLiteral("Lead-gen templates for selling something:\n\n") +
              lines.join(QLatin1Char('\n')) +
              QStringLiteral("\n\nEach one ends with a comment keyword, so you can see who's "
                             "interested and follow up by message.");
    return t;
}

CoachEngine::Turn CoachEngine::link(Context& c, const QString& code) {
    Turn t;
    t.intent = QStringLiteral("link");
    const qint64 nowMs = c.in.now.toMSecsSinceEpoch();
    if (code.isEmpty()) {
        static constexpr char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
        QString fresh;
        for (int i = 0; i < 8; ++i)
            fresh += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(32)]);
        m_store.setState(c.userId, stateLinkCode,
                         fresh + QLatin1Char('|') + QString::number(nowMs + 10 * 60 * 1000));
        t.label = QStringLiteral("Create a link code");
        t.reply = QStringLiteral("Your link code is **%1** (valid for 10 minutes). On the other "
                                 "device, send “/link %1” and it will share what I know about "
                                 "you. Telegram isn't reachable from this offline coach.")
                      .arg(fresh);
        return t;
    }
    t.label = QStringLiteral("Redeem a link code");
    const QString wanted = code.trimmed().toUpper();
    std::optional<qint64> owner;
    // The state value is "CODE|expiry in ms".
    if (const auto found = m_store.stateWithPrefix(stateLinkCode, wanted + QLatin1Char('|'))) {
        if (found->second.section(QLatin1Char('|'), 1).toLongLong() >= nowMs)
            owner = found->first;
    }
    if (!owner || *owner == c.userId) {
        t.reply = QStringLiteral("That code isn't valid (it may have expired). Send /link on the "
                                 "other device to get a fresh one.");
        return t;
    }
    c.status(QStringLiteral("Copying what I know about you…"));
    int copied = 0;
    for (const Memory& m : m_store.memories(*owner)) {
        m_store.remember(c.userId, m.kind, m.value);
        ++copied;
    }
    m_store.setState(*owner, stateLinkCode, {});
    t.reply = QStringLiteral("Linked. This device now knows the %1 thing%2 you told me on the "
                             "other one.")
                  .arg(copied)
                  .arg(copied == 1 ? QString() : QStringLiteral("s"));
    return t;
}

CoachEngine::Turn CoachEngine::profileReview(Context& c) {
    c.status(QStringLiteral("Checking what I remember about you…"));
    Turn t;
    t.intent = QStringLiteral("profile.review");
    t.label = QStringLiteral("Review the profile");
    const QString name = m_store.memory(c.userId, QStringLiteral("name"));
    const QString role = m_store.memory(c.userId, QStringLiteral("role"));
    const QString company = m_store.memory(c.userId, QStringLiteral("company"));
    const QString audience = m_store.memory(c.userId, QStringLiteral("audience"));
    const QString goal = m_store.memory(c.userId, QStringLiteral("goal"));
    const Overview o = m_store.overview(c.userId);
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
    QString reply = QStringLiteral("I can't open LinkedIn from here, so I review the profile "
                                   "you've described to me.\n\n");
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

CoachEngine::Turn CoachEngine::postIdeas(Context& c) {
    c.status(QStringLiteral("Looking at your week and your history…"));
    Turn t;
    t.intent = QStringLiteral("ideas");
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
    const QString work = m_store.memory(c.userId, QStringLiteral("work"));
    if (!work.isEmpty())
        ideas.append(QStringLiteral("An honest progress update: you're %1 — what's harder than "
                                    "you expected?")
                         .arg(work));
    const QString audience = m_store.memory(c.userId, QStringLiteral("audience"));
    if (!audience.isEmpty())
        ideas.append(QStringLiteral("The mistake you see %1 make most, and the fix").arg(audience));
    if (ideas.size() < 3)
        ideas.append(QStringLiteral("The best advice you got this year, and whether it held up"));
    const Overview o = m_store.overview(c.userId);
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

CoachEngine::Turn CoachEngine::lastPostReview(Context& c) {
    c.status(QStringLiteral("Finding your last post…"));
    Turn t;
    t.intent = QStringLiteral("post.review");
    t.label = QStringLiteral("Review the last post");
    const QList<Draft> published = m_store.drafts(c.userId, QStringLiteral("published"), 1);
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

CoachEngine::Turn CoachEngine::rememberFacts(Context& c,
                                             const QList<QPair<QString, QString>>& facts) {
    c.status(QStringLiteral("Saving what you told me…"));
    Turn t;
    t.intent = QStringLiteral("memory.remember");
    t.label = QStringLiteral("Remember %1 fact%2")
                  .arg(facts.size())
                  .arg(facts.size() == 1 ? QString() : QStringLiteral("s"));
    QStringList lines;
    QString work;
    for (const auto& [kind, value] : facts) {
        m_store.remember(c.userId, kind, value);
        t.toolCalls.append(
            toolCall(QStringLiteral("remember"),
                     {{QStringLiteral("kind"), kind}, {QStringLiteral("value"), value}}));
        lines.append(QStringLiteral("- %1: %2").arg(kindLabel(kind), value));
        if (kind == QLatin1String("work"))
            work = c.text;
    }
    t.reply = QStringLiteral("Got it, I'll remember:\n\n") + lines.join(QLatin1Char('\n'));
    if (!work.isEmpty()) {
        m_store.setState(c.userId, stateOffer, work);
        t.reply += QStringLiteral("\n\nThat sounds like a post. Want me to draft it? Say “draft "
                                  "it”.");
    } else {
        t.reply += QStringLiteral("\n\nTell me what you're working on and I'll turn it into a "
                                  "post.");
    }
    return t;
}

CoachEngine::Turn CoachEngine::memoryReport(Context& c) {
    c.status(QStringLiteral("Reading my notes about you…"));
    Turn t;
    t.intent = QStringLiteral("memory.report");
    t.label = QStringLiteral("Report memory");
    const QList<Memory> all = m_store.memories(c.userId);
    if (all.isEmpty()) {
        t.reply = QStringLiteral("I don't know anything about you yet. Tell me your role, who you "
                                 "help and what you're working on.");
        return t;
    }
    QStringList lines;
    for (const Memory& m : all)
        lines.append(QStringLiteral("- %1: %2").arg(kindLabel(m.kind), m.value));
    t.reply = QStringLiteral("Here's what I remember:\n\n") + lines.join(QLatin1Char('\n')) +
              QStringLiteral("\n\n/forgetme erases all of it.");
    return t;
}

CoachEngine::Turn CoachEngine::answerQuestion(Context& c) {
    c.status(QStringLiteral("Looking for the right advice…"));
    Turn t;
    t.intent = QStringLiteral("advice");
    struct Tip {
        QRegularExpression match;
        QString label;
        QString text;
    };
    const QDateTime slot = WhenParser::nextGoodSlot(c.in.now, c.zone);
    const QList<Tip> tips = {
        {ci(QStringLiteral(R"(\b(when|what time|best time|which day)\b)")),
         QStringLiteral("When to post"),
         QStringLiteral("Weekday mornings work best for most LinkedIn audiences: Tuesday to "
                        "Thursday around 8–9 am in their time zone. Your next such slot is %1. "
                        "Consistency matters more than the exact minute.")
             .arg(when(slot, c.zone))},
        {ci(QStringLiteral(R"(\b(how often|frequency|how many (posts|times))\b)")),
         QStringLiteral("How often to post"),
         QStringLiteral("Three posts a week is a rhythm you can keep and the algorithm rewards. "
                        "Fewer but regular beats a burst and silence.")},
        {ci(QStringLiteral(R"(hashtag)")), QStringLiteral("Hashtags"),
         QStringLiteral("Use three to five specific hashtags at the end. Broad ones (#business) "
                        "drown you; niche ones (#b2bsaas) find your people.")},
        {ci(QStringLiteral(R"(\bhooks?\b|first line|opening)")), QStringLiteral("Hooks"),
         QStringLiteral("The first line is all people see before “…see more”. Keep it under 70 "
                        "characters and make a promise: a number, a tension or a surprise. "
                        "“I almost quit in March.” beats “Some thoughts on resilience.”")},
        {ci(QStringLiteral(R"(\b(long|length|characters|words)\b)")), QStringLiteral("Post length"),
         QStringLiteral("1,200–2,000 characters is the sweet spot for advice posts; LinkedIn cuts "
                        "off at 3,000. Short lines and white space make long posts easy to "
                        "read.")},
        {ci(QStringLiteral(R"(engag|comment|reach|grow|follower|algorithm)")),
         QStringLiteral("Engagement"),
         QStringLiteral("Reply to every comment in the first hour, comment on five posts in your "
                        "niche before you publish, and end with a question people can answer in "
                        "one line.")},
        {ci(QStringLiteral(R"(video|reel|short)")), QStringLiteral("Video"),
         QStringLiteral("Short vertical videos under 60 seconds with captions do well; say the "
                        "point in the first three seconds. Record one from the video button next "
                        "to the composer.")},
        {ci(QStringLiteral(R"(carousel|slides?|pdf)")), QStringLiteral("Carousels"),
         QStringLiteral("Carousels get saved and shared. One idea per slide, big type, and a "
                        "clear last slide. Run /carousel to turn your last draft into slides.")},
    };
    for (const Tip& tip : tips) {
        if (tip.match.match(c.text).hasMatch()) {
            t.label = tip.label;
            t.reply = tip.text;
            return t;
        }
    }
    t.label = QStringLiteral("General question");
    t.reply = QStringLiteral("I'm a rule-based coach running on your machine, so I'm best at "
                             "concrete asks: “draft a post about …”, “make it a story”, "
                             "“schedule it tomorrow at 9”, or questions about hooks, hashtags, "
                             "timing, length and engagement. Type /menu for everything.");
    return t;
}

CoachEngine::Turn CoachEngine::image(Context& c) {
    c.status(QStringLiteral("Looking at your image…"));
    Turn t;
    t.intent = QStringLiteral("image");
    t.label = QStringLiteral("Receive an image");
    QBuffer buffer;
    buffer.setData(c.in.image);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid()) {
        t.reply = QStringLiteral("I couldn't read that image. PNG or JPEG screenshots work best.");
        return t;
    }
    const bool portrait = size.height() > size.width();
    t.reply = QStringLiteral("Got your image (%1×%2, %3 KB). I can't read what's in it — I'm a "
                             "rule-based coach — but tell me in a sentence what it shows and "
                             "I'll write the post around it.")
                  .arg(size.width())
                  .arg(size.height())
                  .arg((c.in.image.size() + 1023) / 1024);
    if (portrait)
        t.reply += QStringLiteral(" Tall images take up more of the feed, which helps.");
    return t;
}

} // namespace tolvane::coach
