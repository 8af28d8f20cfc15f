#include "postwriter.h"

#include "grammarcheck.h"
#include "textcut.h"

#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace tolvane::coach {

namespace {

// A stable pick among template variants, independent of Qt's hash seed.
int pick(const QString& key, int count) {
    quint32 h = 2166136261u;
    for (QChar c : key) {
        h ^= c.unicode();
        h *= 16777619u;
    }
    return int(h % quint32(count));
}

QString capitalised(QString s) {
    if (!s.isEmpty())
        s[0] = s[0].toUpper();
    return s;
}

QString withStop(QString s) {
    s = s.trimmed();
    if (!s.isEmpty() && !QStringLiteral(".!?…:").contains(s.back()))
        s += QLatin1Char('.');
    return s;
}

QString stripStop(QString s) {
    s = s.trimmed();
    while (!s.isEmpty() && QStringLiteral(".!?…:;,").contains(s.back()))
        s.chop(1);
    return s;
}

const QSet<QString>& stopWords() {
    static const QSet<QString> words = {
        QStringLiteral("about"),      QStringLiteral("after"),     QStringLiteral("again"),
        QStringLiteral("because"),    QStringLiteral("before"),    QStringLiteral("being"),
        QStringLiteral("could"),      QStringLiteral("every"),     QStringLiteral("first"),
        QStringLiteral("their"),      QStringLiteral("there"),     QStringLiteral("these"),
        QStringLiteral("things"),     QStringLiteral("think"),     QStringLiteral("those"),
        QStringLiteral("through"),    QStringLiteral("today"),     QStringLiteral("where"),
        QStringLiteral("which"),      QStringLiteral("while"),     QStringLiteral("would"),
        QStringLiteral("really"),     QStringLiteral("working"),   QStringLiteral("started"),
        QStringLiteral("people"),     QStringLiteral("something"), QStringLiteral("should"),
        QStringLiteral("thing"),      QStringLiteral("still"),     QStringLiteral("other"),
        QStringLiteral("years"),      QStringLiteral("months"),    QStringLiteral("weeks"),
        QStringLiteral("lately"),     QStringLiteral("without"),   QStringLiteral("never"),
        QStringLiteral("always"),     QStringLiteral("might"),     QStringLiteral("makes"),
        QStringLiteral("write"),      QStringLiteral("draft"),     QStringLiteral("linkedin"),
        QStringLiteral("everything"), QStringLiteral("nothing"),   QStringLiteral("anything"),
        QStringLiteral("someone"),    QStringLiteral("everyone"),  QStringLiteral("myself"),
    };
    return words;
}

// Words that make poor tags even where the parser reads them as nouns.
const QSet<QString>& weakTagWords() {
    static const QSet<QString> words = {
        QStringLiteral("post"),
        QStringLiteral("posts"),
        QStringLiteral("idea"),
        QStringLiteral("ideas"),
        QStringLiteral("minutes"),
        QStringLiteral("minute"),
        QStringLiteral("hours"),
        QStringLiteral("hour"),
        QStringLiteral("days"),
        QStringLiteral("day"),
        QStringLiteral("week"),
        QStringLiteral("weeks"),
        QStringLiteral("month"),
        QStringLiteral("months"),
        QStringLiteral("year"),
        QStringLiteral("years"),
        QStringLiteral("time"),
        QStringLiteral("way"),
        QStringLiteral("lot"),
        QStringLiteral("lots"),
        QStringLiteral("thing"),
        QStringLiteral("things"),
        QStringLiteral("stuff"),
        QStringLiteral("part"),
        QStringLiteral("kind"),
        QStringLiteral("bit"),
        QStringLiteral("today"),
        QStringLiteral("story"),
        QStringLiteral("list"),
        QStringLiteral("people"),
        QStringLiteral("one"),
        QStringLiteral("ones"),
        QStringLiteral("lesson"),
        QStringLiteral("lessons"),
        QStringLiteral("version"),
        QStringLiteral("everyone"),
        // short function words the fallback below could pick up
        QStringLiteral("from"),
        QStringLiteral("with"),
        QStringLiteral("that"),
        QStringLiteral("this"),
        QStringLiteral("what"),
        QStringLiteral("have"),
        QStringLiteral("into"),
        QStringLiteral("your"),
        QStringLiteral("when"),
        QStringLiteral("then"),
        QStringLiteral("than"),
        QStringLiteral("they"),
        QStringLiteral("were"),
        QStringLiteral("been"),
        QStringLiteral("over"),
        QStringLiteral("just"),
        QStringLiteral("more"),
        QStringLiteral("most"),
        QStringLiteral("much"),
        QStringLiteral("some"),
        QStringLiteral("many"),
        QStringLiteral("like"),
        QStringLiteral("very"),
        QStringLiteral("every"),
    };
    return words;
}

// The a/an a role needs: "an engineer", "a UX designer".
QString withArticle(const QString& phrase) {
    const QString p = phrase.trimmed();
    static const QRegularExpression vowel(
        QStringLiteral(R"(^([aeio]|u(?!ni|se|sa|x\b)|hour|honest))"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression upperVowel(QStringLiteral(R"(^[AEFHILMNORSX][A-Z0-9])"));
    const bool an = upperVowel.match(p).hasMatch() ||
                    (!p.isEmpty() && p[0].isLower() && vowel.match(p).hasMatch());
    return (an ? QStringLiteral("an ") : QStringLiteral("a ")) + p;
}

QString pickFrom(const QStringList& list, const QString& key, int variant) {
    return list[(pick(key, int(list.size())) + variant) % int(list.size())];
}

// The first template that reads as grammatical English once filled in; the
// list ends with one that needs nothing from the user.
QString firstThatParses(const QStringList& candidates, int variant) {
    const int n = int(candidates.size());
    for (int i = 0; i < n - 1; ++i) {
        const QString& c = candidates[(variant + i) % (n - 1)];
        if (GrammarCheck::parses(c))
            return c;
    }
    return candidates.last();
}

// Advice that stands on its own, for bodies, lists and steps.
const QStringList& lessons() {
    static const QStringList list = {
        QStringLiteral("Start with less than you think you need."),
        QStringLiteral("Write down the goal in one sentence before you change anything."),
        QStringLiteral("Measure where you are today, or the win will be invisible later."),
        QStringLiteral("Change one thing at a time, so you know what made the difference."),
        QStringLiteral("Talk to the people it affects before the change happens."),
        QStringLiteral("Keep the old way working until the new one has proved itself."),
        QStringLiteral("Share what you learned while it is still fresh."),
        QStringLiteral("Ask for feedback early, from the people you want to serve."),
    };
    return list;
}

struct Topic {
    QString phrase; // works after "about": a noun phrase, a gerund phrase or a wh-clause
    bool lessons{}; // the user asked for what they learned
};

Topic readTopic(const QString& firstSentence) {
    QString t = stripStop(firstSentence);
    static const QRegularExpression tail(
        QStringLiteral(R"(\s*(?:[—–,;]|\s-)\s*(?:and\s+)?(?:please\s+)?(?:make|keep)\s+it\b.*$)"),
        QRegularExpression::CaseInsensitiveOption);
    t.remove(tail);
    static const QRegularExpression lead(
        QStringLiteral(
            R"(^(?:(?:a|an)\s+(?:linkedin\s+|short\s+|quick\s+)*(?:post|update)\s+(?:about|on)\s+|)"
            R"((?:share|post|write|talk)\s+about\s+|share\s+|something\s+(?:about|on)\s+|about\s+)?)"
            R"(((?:the|my|our)\s+story\s+(?:of|behind)\s+)?)"),
        QRegularExpression::CaseInsensitiveOption);
    t.remove(lead);
    Topic topic;
    static const QRegularExpression learned(
        QStringLiteral(
            R"(^(?:what|the things?|lessons?)\s+(?:i|we)\s+(?:have\s+|'ve\s+)?learn(?:ed|t)\s+(?:from\s+|while\s+|when\s+|by\s+|about\s+)?(.+)$)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression lessonsFrom(
        QStringLiteral(R"(^lessons?\s+(?:learned\s+)?(?:from|of)\s+(.+)$)"),
        QRegularExpression::CaseInsensitiveOption);
    if (auto m = learned.match(t); m.hasMatch()) {
        topic.lessons = true;
        t = m.captured(1);
    } else if (auto l = lessonsFrom.match(t); l.hasMatch()) {
        topic.lessons = true;
        t = l.captured(1);
    }
    static const QRegularExpression doing(
        QStringLiteral(
            R"(^(?:i'm|i’m|i am|we're|we’re|we are|i've been|we've been)\s+)"
            R"(((?:currently\s+)?(?:working on|building|launching|writing|creating|running|learning|hiring|moving|switching|starting)\s+.+)$)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression clause(QStringLiteral(R"(^(?:i|we|our team|my team)\s+\w+)"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (auto m = doing.match(t); m.hasMatch()) {
        t = m.captured(1);
        t.remove(QRegularExpression(QStringLiteral(R"(^currently\s+)")));
    } else if (clause.match(t).hasMatch() && !t.startsWith(QLatin1String("I'"))) {
        // "we cut our build time in half": a story of how.
        t = QStringLiteral("how ") +
            (t.startsWith(QLatin1String("I ")) ? t : t.left(1).toLower() + t.mid(1));
    }
    // Lower-case a sentence-initial capital unless the word looks like a name.
    if (t.size() > 1 && t[0].isUpper() && t[1].isLower() && !t.startsWith(QLatin1String("I ")))
        t[0] = t[0].toLower();
    // An emoji reads as decoration in a hook, not as part of the topic.
    topic.phrase = GrammarCheck::withoutEmoji(t).simplified();
    return topic;
}

} // namespace

const QList<PostWriter::Style>& PostWriter::styles() {
    static const QList<Style> list = {
        {QStringLiteral("insight"), QStringLiteral("Insight"),
         QStringLiteral("a sharp observation, your points, a question back")},
        {QStringLiteral("story"), QStringLiteral("Story"),
         QStringLiteral("a personal arc: where you started, what happened, the lesson")},
        {QStringLiteral("listicle"), QStringLiteral("Listicle"),
         QStringLiteral("a numbered list of lessons, easy to skim")},
        {QStringLiteral("hot-take"), QStringLiteral("Hot take"),
         QStringLiteral("a contrarian opening that invites debate")},
        {QStringLiteral("how-to"), QStringLiteral("How-to"),
         QStringLiteral("step-by-step advice people save for later")},
        {QStringLiteral("short"), QStringLiteral("Short"),
         QStringLiteral("three lines, one idea, quick to read")},
        {QStringLiteral("punchy"), QStringLiteral("Punchy"),
         QStringLiteral("short sentences and a strong opening")},
        {QStringLiteral("long"), QStringLiteral("Long"),
         QStringLiteral("the insight post with the lessons spelled out")},
    };
    return list;
}

bool PostWriter::isStyle(const QString& key) {
    return std::any_of(styles().begin(), styles().end(),
                       [&](const Style& s) { return s.key == key; });
}

QString PostWriter::styleFromWords(const QString& text) {
    const QString t = text.toLower();
    static const QList<QPair<QRegularExpression, QString>> words = {
        {QRegularExpression(QStringLiteral(R"(\b(story|storytelling|personal|narrative)\b)")),
         QStringLiteral("story")},
        {QRegularExpression(QStringLiteral(R"(\b(list|listicle|bullets?|numbered)\b)")),
         QStringLiteral("listicle")},
        {QRegularExpression(
             QStringLiteral(R"(\b(hot[- ]?take|contrarian|controversial|bold|spicy)\b)")),
         QStringLiteral("hot-take")},
        {QRegularExpression(QStringLiteral(R"(\b(how[- ]?to|steps?|guide|tutorial)\b)")),
         QStringLiteral("how-to")},
        {QRegularExpression(QStringLiteral(R"(\b(punchy|punchier|snappier|stronger)\b)")),
         QStringLiteral("punchy")},
        {QRegularExpression(QStringLiteral(R"(\b(short|shorter|brief|tighter|shorten)\b)")),
         QStringLiteral("short")},
        {QRegularExpression(QStringLiteral(R"(\b(long|longer|expand|more detail(ed)?|deeper)\b)")),
         QStringLiteral("long")},
        {QRegularExpression(QStringLiteral(R"(\b(insight|observation|thoughtful)\b)")),
         QStringLiteral("insight")},
    };
    for (const auto& [re, key] : words) {
        if (re.match(t).hasMatch())
            return key;
    }
    return {};
}

QString PostWriter::materialFrom(const QString& request) {
    QString m = request.trimmed();
    static const QRegularExpression lead(
        QStringLiteral(
            R"(^(please\s+)?(can you\s+|could you\s+)?(draft|write|create|make)\s+(me\s+)?(a\s+|an\s+)?)"
            R"(((linkedin|short|quick|new)\s+)*(post|update)\s*(about|on|for|:)?\s*)"),
        QRegularExpression::CaseInsensitiveOption);
    m.remove(lead);
    // "… as a listicle", "in the story style": the style is chosen elsewhere.
    static const QRegularExpression styleWords(
        QStringLiteral(R"(\s*\b(as|in)\s+(a|an|the)?\s*(story|listicle|list|numbered list|how-to|)"
                       R"(guide|hot take|short post|short)(\s+(style|format|form))?\b)"),
        QRegularExpression::CaseInsensitiveOption);
    m.remove(styleWords);
    return m.trimmed();
}

QString PostWriter::topicOf(const QString& material) {
    return readTopic(sentences(material).value(0)).phrase;
}

QStringList PostWriter::sentences(const QString& material) {
    static const QRegularExpression split(QStringLiteral(R"((?<=[.!?])\s+|\n+)"));
    QStringList out;
    for (const QString& piece : material.split(split, Qt::SkipEmptyParts)) {
        QString s = piece.trimmed();
        static const QRegularExpression bullet(QStringLiteral(R"(^([-*•]|\d+[.)])\s*)"));
        s.remove(bullet);
        if (!s.isEmpty())
            out.append(withStop(capitalised(s)));
    }
    return out;
}

QStringList PostWriter::hashtags(const QString& material, int max) {
    QStringList tags;
    QSet<QString> seen;
    const auto add = [&](const QString& word) {
        const QString key = word.toLower();
        if (tags.size() >= max || seen.contains(key) || stopWords().contains(key) ||
            weakTagWords().contains(key) || word.size() < 2)
            return;
        seen.insert(key);
        // Words keep their letters ("#CI", "#BillingSystem") and get a capital.
        tags.append(QLatin1Char('#') + capitalised(word));
    };
    const QString topic = topicOf(material);
    const QStringList topicNouns = GrammarCheck::nouns(topic);
    // Two nouns in a row make a compound tag ("#BillingSystem").
    for (qsizetype i = 0; i + 1 < topicNouns.size() && tags.isEmpty(); ++i) {
        const QString pair = topicNouns[i] + QLatin1Char(' ') + topicNouns[i + 1];
        if (topic.contains(pair, Qt::CaseInsensitive) &&
            !weakTagWords().contains(topicNouns[i + 1].toLower()) &&
            !weakTagWords().contains(topicNouns[i].toLower()))
            add(capitalised(topicNouns[i]) + capitalised(topicNouns[i + 1]));
    }
    for (const QString& n : topicNouns)
        add(n);
    // The parser may read a noun as a verb ("our CI build time"): longer
    // words of the topic that are not past tenses or adverbs stand in.
    if (tags.size() < 2) {
        static const QRegularExpression wordRe(QStringLiteral(R"([A-Za-z][A-Za-z-]{3,})"));
        for (auto it = wordRe.globalMatch(topic); it.hasNext();) {
            const QString w = it.next().captured(0);
            if (!w.endsWith(QLatin1String("ed")) && !w.endsWith(QLatin1String("ly")) &&
                !w.endsWith(QLatin1String("ing")))
                add(w);
        }
    }
    const QStringList rest = sentences(material).mid(1);
    if (!rest.isEmpty() && tags.size() < 3) {
        for (const QString& n : GrammarCheck::nouns(rest.join(QLatin1Char(' '))))
            add(n);
    }
    static const QStringList general = {QStringLiteral("Lessons"), QStringLiteral("Growth"),
                                        QStringLiteral("Leadership")};
    for (const QString& g : general) {
        if (tags.size() >= 3)
            break;
        add(g);
    }
    return tags;
}

QStringList PostWriter::hooks(const QString& material, int count) {
    const Topic topic = readTopic(sentences(material).value(0));
    const QString& t = topic.phrase;
    const QStringList candidates = {
        QStringLiteral("Here is what I wish I had known about %1.").arg(t),
        QStringLiteral("Most advice about %1 skips the hard part.").arg(t),
        QStringLiteral("I was wrong about %1 for a long time.").arg(t),
        QStringLiteral("Nobody warned me about %1.").arg(t),
        QStringLiteral("A few honest notes on %1.").arg(t),
        QStringLiteral("This is the story of %1.").arg(t),
        QStringLiteral("I changed my mind about %1 this year.").arg(t),
        QStringLiteral("Let me tell you the truth about %1.").arg(t),
    };
    QStringList out;
    for (const QString& c : candidates) {
        if (out.size() >= count)
            break;
        if (GrammarCheck::parses(c))
            out.append(c);
    }
    return out;
}

QStringList PostWriter::ideas(const QString& topic, int count, int variant) {
    const QString t = stripStop(topic);
    QStringList list;
    if (!t.isEmpty()) {
        list = {
            QStringLiteral("The biggest mistake you see people make with %1, and the fix").arg(t),
            QStringLiteral("What you would tell your younger self about %1").arg(t),
            QStringLiteral("A step-by-step guide to %1 from your own work").arg(t),
            QStringLiteral("An unpopular opinion you hold about %1").arg(t),
            QStringLiteral("The tool or habit that changed how you think about %1").arg(t),
            QStringLiteral("A short story about the first time you got %1 wrong").arg(t),
            QStringLiteral("Three questions people ask you about %1, answered").arg(t),
            QStringLiteral("A number that surprised you while working on %1").arg(t),
        };
    }
    list += QStringList{
        QStringLiteral("A lesson from this week, told as a short story"),
        QStringLiteral("A how-to from your daily work that saves someone an hour"),
        QStringLiteral("A common belief in your field that you disagree with, and why"),
        QStringLiteral("A win, a number or a behind-the-scenes look at your work"),
        QStringLiteral("The best advice you got this year, and whether it held up"),
        QStringLiteral("A mistake you made early on and what it taught you"),
        QStringLiteral("A question to your audience about the week ahead"),
        QStringLiteral("The tool you could not work without, and how you use it"),
    };
    QStringList out;
    const int n = int(list.size());
    for (int i = 0; i < std::min(count, n); ++i)
        out.append(list[(i + (t.isEmpty() ? variant : 0)) % n]);
    return out;
}

QString PostWriter::write(const QString& material, const QString& style, const Author& author,
                          int variant) {
    const QStringList all = sentences(material.isEmpty() ? QStringLiteral("my work") : material);
    const Topic topic = readTopic(all.value(0));
    const QString t = topic.phrase;
    // The first sentence is the topic, in the hook; what follows is the user's detail.
    // The user's own sentences are kept as written, even where the grammar
    // check would not read them: they are the substance of the post.
    QStringList details = all.mid(1, 10);
    const QString key = t + style;
    const QString from = topic.lessons ? QStringLiteral("from") : QStringLiteral("about");
    QString role;
    if (!author.role.isEmpty()) {
        role =
            QStringLiteral("As %1%2, I see this more often than I expected.")
                .arg(withArticle(stripStop(author.role)),
                     author.company.isEmpty() ? QString()
                                              : QStringLiteral(" at ") + stripStop(author.company));
        if (!GrammarCheck::parses(role))
            role.clear();
    }
    QString audience;
    if (!author.audience.isEmpty()) {
        audience = QStringLiteral("If you are one of the %1 I work with, this one is for you.")
                       .arg(stripStop(author.audience));
        if (!GrammarCheck::parses(audience))
            audience.clear();
    }
    // A topic no template reads well with still opens the post, in the
    // user's own words, above the general opening.
    const auto opening = [&](const QStringList& candidates, int v) {
        const QString hook = firstThatParses(candidates, v);
        if (hook != candidates.last() || t.isEmpty())
            return hook;
        return withStop(capitalised(t)) + QStringLiteral("\n\n") + hook;
    };
    const auto lessonAt = [&](int i) { return lessons()[(pick(key, 8) + variant * 3 + i) % 8]; };
    QStringList parts;

    if (style == QLatin1String("story")) {
        parts << opening({QStringLiteral("This is the story of %1.").arg(t),
                          QStringLiteral("Let me tell you how %1 really went.").arg(t),
                          QStringLiteral("A year ago I could not have written about %1.").arg(t),
                          QStringLiteral("Here is a story I have not told before.")},
                         pick(key, 3) + variant);
        QStringList body{QStringLiteral("At first, it looked simple.")};
        body << details;
        body << pickFrom(
            {QStringLiteral("Then the first real problem showed up, and the plan had to change."),
             QStringLiteral("Then reality arrived, and half of the plan stopped making sense."),
             QStringLiteral("Then we hit the part nobody had planned for.")},
            key, variant);
        body << pickFrom(
            {QStringLiteral("What got us through was talking to each other more often."),
             QStringLiteral("What helped was slowing down and writing every decision down."),
             QStringLiteral("What worked in the end was a smaller plan that everyone understood.")},
            key, variant);
        parts << body.join(QLatin1Char(' '));
        if (!role.isEmpty())
            parts << role;
        parts << QStringLiteral("Looking back, I would start with less and ask for help sooner.")
              << QStringLiteral(
                     "Have you been through something similar? Tell me in the comments.");
    } else if (style == QLatin1String("listicle")) {
        QStringList points = details;
        for (int i = 0; points.size() < 5; ++i)
            points.append(lessonAt(i));
        QStringList lines;
        for (qsizetype i = 0; i < points.size(); ++i)
            lines.append(QStringLiteral("%1. %2").arg(i + 1).arg(points[i]));
        parts << opening(
                     {QStringLiteral("Here are %1 lessons %2 %3.").arg(points.size()).arg(from, t),
                      QStringLiteral("%1 things I learned %2 %3.").arg(points.size()).arg(from, t),
                      QStringLiteral("Here are %1 lessons I keep coming back to.")
                          .arg(points.size())},
                     variant)
              << lines.join(QLatin1Char('\n')) << QStringLiteral("Which one would you add?");
    } else if (style == QLatin1String("hot-take")) {
        parts << opening({QStringLiteral("Here is an unpopular opinion about %1.").arg(t),
                          QStringLiteral("I think most people get %1 wrong.").arg(t),
                          QStringLiteral("Here is an unpopular opinion.")},
                         variant)
              << QStringLiteral("Most teams make it harder than it needs to be. They add tools, "
                                "meetings and process before they agree on the goal.");
        if (!details.isEmpty())
            parts << details.join(QLatin1Char(' '));
        parts << QStringLiteral("Pick one goal, cut everything else, and ship.")
              << QStringLiteral("Do you agree? I read every comment.");
    } else if (style == QLatin1String("how-to")) {
        QStringList steps = details;
        for (int i = 0; steps.size() < 4; ++i)
            steps.append(lessonAt(i));
        QStringList lines;
        for (qsizetype i = 0; i < steps.size(); ++i)
            lines.append(QStringLiteral("Step %1: %2").arg(i + 1).arg(steps[i]));
        parts << opening({QStringLiteral("Here is a step-by-step plan for %1.").arg(t),
                          QStringLiteral("Here is a simple way to think about %1.").arg(t),
                          QStringLiteral("Here is a plan that works for me.")},
                         variant)
              << lines.join(QLatin1Char('\n'))
              << QStringLiteral("Save this post and share it with someone who needs it.");
    } else if (style == QLatin1String("short")) {
        parts << opening({QStringLiteral("Here is one lesson about %1.").arg(t),
                          QStringLiteral("One thing I learned about %1.").arg(t),
                          QStringLiteral("Here is one lesson I learned the hard way.")},
                         variant)
              << lessonAt(0) << QStringLiteral("Thoughts?");
    } else if (style == QLatin1String("punchy")) {
        parts << opening({QStringLiteral("Let's talk about %1.").arg(t),
                          QStringLiteral("Everyone has an opinion about %1.").arg(t),
                          QStringLiteral("Let's talk about the hard part.")},
                         variant)
              << QStringLiteral("Keep it simple. Ship small changes. Measure what changed.");
        if (!details.isEmpty())
            parts << details.first();
        parts << QStringLiteral("Then do it again next week.")
              << QStringLiteral("What would you add?");
    } else {
        const bool isLong = style == QLatin1String("long");
        parts << opening({QStringLiteral("Here is what I wish I had known about %1.").arg(t),
                          QStringLiteral("Most advice about %1 skips the hard part.").arg(t),
                          QStringLiteral("A few honest notes on %1.").arg(t),
                          QStringLiteral("I keep thinking about %1.").arg(t),
                          QStringLiteral("Here is something I learned the hard way.")},
                         pick(key, 4) + variant);
        QStringList body;
        body << pickFrom(
            {QStringLiteral(
                 "The hard part is rarely the tooling. It is agreeing on what done means."),
             QStringLiteral(
                 "The plan was the easy part. Getting everyone to the same picture took longer."),
             QStringLiteral(
                 "It looked like a technical problem. It turned out to be a people problem.")},
            key, variant);
        body << details;
        parts << body.join(QLatin1Char(' '));
        if (!role.isEmpty())
            parts << role;
        parts << lessonAt(0) + QLatin1Char(' ') + lessonAt(1);
        if (isLong) {
            parts << QStringLiteral("Here is what I would do differently next time.");
            QStringList lines;
            for (int i = 2; i < 5; ++i)
                lines.append(QStringLiteral("- ") + lessonAt(i));
            parts << lines.join(QLatin1Char('\n'));
            parts << QStringLiteral("None of this is clever. It is the boring discipline that "
                                    "makes the clever parts work.");
        }
        if (!audience.isEmpty())
            parts << audience;
        parts << pickFrom({QStringLiteral("What would you add?"),
                           QStringLiteral("Which part matches your experience?"),
                           QStringLiteral("What did I miss? Tell me in the comments.")},
                          key, variant);
    }
    const QStringList tags = hashtags(material);
    if (!tags.isEmpty() && style != QLatin1String("short") && style != QLatin1String("punchy"))
        parts << tags.join(QLatin1Char(' '));
    QString post = parts.join(QStringLiteral("\n\n"));
    // LinkedIn takes 3,000 characters: the user's details go first.
    while (post.size() > 3000 && !details.isEmpty()) {
        details.removeLast();
        post =
            write(details.isEmpty() ? all.value(0)
                                    : (QStringList{all.value(0)} + details).join(QLatin1Char(' ')),
                  style, author, variant);
    }
    return post.size() > 3000 ? textcut::prefix(post, 3000) : post;
}

} // namespace tolvane::coach
