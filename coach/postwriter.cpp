#include "postwriter.h"

#include "grammarcheck.h"
#include "textcut.h"

#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

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
    if (!s.isEmpty()) {
        s[0] = s[0].toUpper();
    }
    return s;
}

QString withStop(QString s) {
    s = s.trimmed();
    if (!s.isEmpty() && !u".!?…:"_s.contains(s.back())) {
        s += QLatin1Char('.');
    }
    return s;
}

QString stripStop(QString s) {
    s = s.trimmed();
    while (!s.isEmpty() && u".!?…:;,"_s.contains(s.back())) {
        s.chop(1);
    }
    return s;
}

const QSet<QString>& stopWords() {
    static const QSet<QString> words = {
        u"about"_s,      u"after"_s,     u"again"_s,    u"because"_s, u"before"_s,   u"being"_s,
        u"could"_s,      u"every"_s,     u"first"_s,    u"their"_s,   u"there"_s,    u"these"_s,
        u"things"_s,     u"think"_s,     u"those"_s,    u"through"_s, u"today"_s,    u"where"_s,
        u"which"_s,      u"while"_s,     u"would"_s,    u"really"_s,  u"working"_s,  u"started"_s,
        u"people"_s,     u"something"_s, u"should"_s,   u"thing"_s,   u"still"_s,    u"other"_s,
        u"years"_s,      u"months"_s,    u"weeks"_s,    u"lately"_s,  u"without"_s,  u"never"_s,
        u"always"_s,     u"might"_s,     u"makes"_s,    u"write"_s,   u"draft"_s,    u"linkedin"_s,
        u"everything"_s, u"nothing"_s,   u"anything"_s, u"someone"_s, u"everyone"_s, u"myself"_s,
    };
    return words;
}

// Words that make poor tags even where the parser reads them as nouns.
const QSet<QString>& weakTagWords() {
    static const QSet<QString> words = {
        u"post"_s,
        u"posts"_s,
        u"idea"_s,
        u"ideas"_s,
        u"minutes"_s,
        u"minute"_s,
        u"hours"_s,
        u"hour"_s,
        u"days"_s,
        u"day"_s,
        u"week"_s,
        u"weeks"_s,
        u"month"_s,
        u"months"_s,
        u"year"_s,
        u"years"_s,
        u"time"_s,
        u"way"_s,
        u"lot"_s,
        u"lots"_s,
        u"thing"_s,
        u"things"_s,
        u"stuff"_s,
        u"part"_s,
        u"kind"_s,
        u"bit"_s,
        u"today"_s,
        u"story"_s,
        u"list"_s,
        u"people"_s,
        u"one"_s,
        u"ones"_s,
        u"lesson"_s,
        u"lessons"_s,
        u"version"_s,
        u"everyone"_s,
        // short function words the fallback below could pick up
        u"from"_s,
        u"with"_s,
        u"that"_s,
        u"this"_s,
        u"what"_s,
        u"have"_s,
        u"into"_s,
        u"your"_s,
        u"when"_s,
        u"then"_s,
        u"than"_s,
        u"they"_s,
        u"were"_s,
        u"been"_s,
        u"over"_s,
        u"just"_s,
        u"more"_s,
        u"most"_s,
        u"much"_s,
        u"some"_s,
        u"many"_s,
        u"like"_s,
        u"very"_s,
        u"every"_s,
    };
    return words;
}

// The a/an a role needs: "an engineer", "a UX designer".
QString withArticle(const QString& phrase) {
    const QString p = phrase.trimmed();
    static const QRegularExpression vowel(uR"(^([aeio]|u(?!ni|se|sa|x\b)|hour|honest))"_s,
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression upperVowel(uR"(^[AEFHILMNORSX][A-Z0-9])"_s);
    const bool an = upperVowel.match(p).hasMatch() ||
                    (!p.isEmpty() && p[0].isLower() && vowel.match(p).hasMatch());
    return (an ? u"an "_s : u"a "_s) + p;
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
        if (GrammarCheck::parses(c)) {
            return c;
        }
    }
    return candidates.last();
}

// Advice that stands on its own, for bodies, lists and steps.
const QStringList& lessons() {
    static const QStringList list = {
        u"Start with less than you think you need."_s,
        u"Write down the goal in one sentence before you change anything."_s,
        u"Measure where you are today, or the win will be invisible later."_s,
        u"Change one thing at a time, so you know what made the difference."_s,
        u"Talk to the people it affects before the change happens."_s,
        u"Keep the old way working until the new one has proved itself."_s,
        u"Share what you learned while it is still fresh."_s,
        u"Ask for feedback early, from the people you want to serve."_s,
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
        uR"(\s*(?:[—–,;]|\s-)\s*(?:and\s+)?(?:please\s+)?(?:make|keep)\s+it\b.*$)"_s,
        QRegularExpression::CaseInsensitiveOption);
    t.remove(tail);
    static const QRegularExpression lead(
        uR"(^(?:(?:a|an)\s+(?:linkedin\s+|short\s+|quick\s+)*(?:post|update)\s+(?:about|on)\s+|)"
        R"((?:share|post|write|talk)\s+about\s+|share\s+|something\s+(?:about|on)\s+|about\s+)?)"
        R"(((?:the|my|our)\s+story\s+(?:of|behind)\s+)?)"_s,
        QRegularExpression::CaseInsensitiveOption);
    t.remove(lead);
    Topic topic;
    static const QRegularExpression learned(
        uR"(^(?:what|the things?|lessons?)\s+(?:i|we)\s+(?:have\s+|'ve\s+)?learn(?:ed|t)\s+(?:from\s+|while\s+|when\s+|by\s+|about\s+)?(.+)$)"_s,
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression lessonsFrom(
        uR"(^lessons?\s+(?:learned\s+)?(?:from|of)\s+(.+)$)"_s,
        QRegularExpression::CaseInsensitiveOption);
    if (auto m = learned.match(t); m.hasMatch()) {
        topic.lessons = true;
        t = m.captured(1);
    } else if (auto l = lessonsFrom.match(t); l.hasMatch()) {
        topic.lessons = true;
        t = l.captured(1);
    }
    static const QRegularExpression doing(
        uR"(^(?:i'm|i’m|i am|we're|we’re|we are|i've been|we've been)\s+)"
        R"(((?:currently\s+)?(?:working on|building|launching|writing|creating|running|learning|hiring|moving|switching|starting)\s+.+)$)"_s,
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression clause(uR"(^(?:i|we|our team|my team)\s+\w+)"_s,
                                           QRegularExpression::CaseInsensitiveOption);
    if (auto m = doing.match(t); m.hasMatch()) {
        t = m.captured(1);
        t.remove(QRegularExpression(uR"(^currently\s+)"_s));
    } else if (clause.match(t).hasMatch() && !t.startsWith("I'"_L1)) {
        // "we cut our build time in half": a story of how.
        t = u"how "_s + (t.startsWith("I "_L1) ? t : t.left(1).toLower() + t.mid(1));
    }
    // Lower-case a sentence-initial capital unless the word looks like a name.
    if (t.size() > 1 && t[0].isUpper() && t[1].isLower() && !t.startsWith("I "_L1)) {
        t[0] = t[0].toLower();
    }
    // An emoji reads as decoration in a hook, not as part of the topic.
    topic.phrase = GrammarCheck::withoutEmoji(t).simplified();
    return topic;
}

} // namespace

const QList<PostWriter::Style>& PostWriter::styles() {
    static const QList<Style> list = {
        {u"insight"_s, u"Insight"_s, u"a sharp observation, your points, a question back"_s},
        {u"story"_s, u"Story"_s, u"a personal arc: where you started, what happened, the lesson"_s},
        {u"listicle"_s, u"Listicle"_s, u"a numbered list of lessons, easy to skim"_s},
        {u"hot-take"_s, u"Hot take"_s, u"a contrarian opening that invites debate"_s},
        {u"how-to"_s, u"How-to"_s, u"step-by-step advice people save for later"_s},
        {u"short"_s, u"Short"_s, u"three lines, one idea, quick to read"_s},
        {u"punchy"_s, u"Punchy"_s, u"short sentences and a strong opening"_s},
        {u"long"_s, u"Long"_s, u"the insight post with the lessons spelled out"_s},
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
        {QRegularExpression(uR"(\b(story|storytelling|personal|narrative)\b)"_s), u"story"_s},
        {QRegularExpression(uR"(\b(list|listicle|bullets?|numbered)\b)"_s), u"listicle"_s},
        {QRegularExpression(uR"(\b(hot[- ]?take|contrarian|controversial|bold|spicy)\b)"_s),
         u"hot-take"_s},
        {QRegularExpression(uR"(\b(how[- ]?to|steps?|guide|tutorial)\b)"_s), u"how-to"_s},
        {QRegularExpression(uR"(\b(punchy|punchier|snappier|stronger)\b)"_s), u"punchy"_s},
        {QRegularExpression(uR"(\b(short|shorter|brief|tighter|shorten)\b)"_s), u"short"_s},
        {QRegularExpression(uR"(\b(long|longer|expand|more detail(ed)?|deeper)\b)"_s), u"long"_s},
        {QRegularExpression(uR"(\b(insight|observation|thoughtful)\b)"_s), u"insight"_s},
    };
    for (const auto& [re, key] : words) {
        if (re.match(t).hasMatch()) {
            return key;
        }
    }
    return {};
}

QString PostWriter::materialFrom(const QString& request) {
    QString m = request.trimmed();
    static const QRegularExpression lead(
        uR"(^(please\s+)?(can you\s+|could you\s+)?(draft|write|create|make)\s+(me\s+)?(a\s+|an\s+)?)"
        R"(((linkedin|short|quick|new)\s+)*(post|update)\s*(about|on|for|:)?\s*)"_s,
        QRegularExpression::CaseInsensitiveOption);
    m.remove(lead);
    // "… as a listicle", "in the story style": the style is chosen elsewhere.
    static const QRegularExpression styleWords(
        uR"(\s*\b(as|in)\s+(a|an|the)?\s*(story|listicle|list|numbered list|how-to|)"
        R"(guide|hot take|short post|short)(\s+(style|format|form))?\b)"_s,
        QRegularExpression::CaseInsensitiveOption);
    m.remove(styleWords);
    return m.trimmed();
}

QString PostWriter::topicOf(const QString& material) {
    return readTopic(sentences(material).value(0)).phrase;
}

QStringList PostWriter::sentences(const QString& material) {
    static const QRegularExpression split(uR"((?<=[.!?])\s+|\n+)"_s);
    QStringList out;
    for (const QString& piece : material.split(split, Qt::SkipEmptyParts)) {
        QString s = piece.trimmed();
        static const QRegularExpression bullet(uR"(^([-*•]|\d+[.)])\s*)"_s);
        s.remove(bullet);
        if (!s.isEmpty()) {
            out.append(withStop(capitalised(s)));
        }
    }
    return out;
}

QStringList PostWriter::hashtags(const QString& material, int max) {
    QStringList tags;
    QSet<QString> seen;
    const auto add = [&](const QString& word) {
        const QString key = word.toLower();
        if (tags.size() >= max || seen.contains(key) || stopWords().contains(key) ||
            weakTagWords().contains(key) || word.size() < 2) {
            return;
        }
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
            !weakTagWords().contains(topicNouns[i].toLower())) {
            add(capitalised(topicNouns[i]) + capitalised(topicNouns[i + 1]));
        }
    }
    for (const QString& n : topicNouns) {
        add(n);
    }
    // The parser may read a noun as a verb ("our CI build time"): longer
    // words of the topic that are not past tenses or adverbs stand in.
    if (tags.size() < 2) {
        static const QRegularExpression wordRe(uR"([A-Za-z][A-Za-z-]{3,})"_s);
        for (auto it = wordRe.globalMatch(topic); it.hasNext();) {
            const QString w = it.next().captured(0);
            if (!w.endsWith("ed"_L1) && !w.endsWith("ly"_L1) && !w.endsWith("ing"_L1)) {
                add(w);
            }
        }
    }
    const QStringList rest = sentences(material).mid(1);
    if (!rest.isEmpty() && tags.size() < 3) {
        for (const QString& n : GrammarCheck::nouns(rest.join(QLatin1Char(' ')))) {
            add(n);
        }
    }
    static const QStringList general = {u"Lessons"_s, u"Growth"_s, u"Leadership"_s};
    for (const QString& g : general) {
        if (tags.size() >= 3) {
            break;
        }
        add(g);
    }
    return tags;
}

QStringList PostWriter::hooks(const QString& material, int count) {
    const Topic topic = readTopic(sentences(material).value(0));
    const QString& t = topic.phrase;
    const QStringList candidates = {
        u"Here is what I wish I had known about %1."_s.arg(t),
        u"Most advice about %1 skips the hard part."_s.arg(t),
        u"I was wrong about %1 for a long time."_s.arg(t),
        u"Nobody warned me about %1."_s.arg(t),
        u"A few honest notes on %1."_s.arg(t),
        u"This is the story of %1."_s.arg(t),
        u"I changed my mind about %1 this year."_s.arg(t),
        u"Let me tell you the truth about %1."_s.arg(t),
    };
    QStringList out;
    for (const QString& c : candidates) {
        if (out.size() >= count) {
            break;
        }
        if (GrammarCheck::parses(c)) {
            out.append(c);
        }
    }
    return out;
}

QStringList PostWriter::ideas(const QString& topic, int count, int variant) {
    const QString t = stripStop(topic);
    QStringList list;
    if (!t.isEmpty()) {
        list = {
            u"The biggest mistake you see people make with %1, and the fix"_s.arg(t),
            u"What you would tell your younger self about %1"_s.arg(t),
            u"A step-by-step guide to %1 from your own work"_s.arg(t),
            u"An unpopular opinion you hold about %1"_s.arg(t),
            u"The tool or habit that changed how you think about %1"_s.arg(t),
            u"A short story about the first time you got %1 wrong"_s.arg(t),
            u"Three questions people ask you about %1, answered"_s.arg(t),
            u"A number that surprised you while working on %1"_s.arg(t),
        };
    }
    list += QStringList{
        u"A lesson from this week, told as a short story"_s,
        u"A how-to from your daily work that saves someone an hour"_s,
        u"A common belief in your field that you disagree with, and why"_s,
        u"A win, a number or a behind-the-scenes look at your work"_s,
        u"The best advice you got this year, and whether it held up"_s,
        u"A mistake you made early on and what it taught you"_s,
        u"A question to your audience about the week ahead"_s,
        u"The tool you could not work without, and how you use it"_s,
    };
    QStringList out;
    const int n = int(list.size());
    for (int i = 0; i < std::min(count, n); ++i) {
        out.append(list[(i + (t.isEmpty() ? variant : 0)) % n]);
    }
    return out;
}

QString PostWriter::write(const QString& material, const QString& style, const Author& author,
                          int variant) {
    const QStringList all = sentences(material.isEmpty() ? u"my work"_s : material);
    const Topic topic = readTopic(all.value(0));
    const QString t = topic.phrase;
    // The first sentence is the topic, in the hook; what follows is the user's detail.
    // The user's own sentences are kept as written, even where the grammar
    // check would not read them: they are the substance of the post.
    QStringList details = all.mid(1, 10);
    const QString key = t + style;
    const QString from = topic.lessons ? u"from"_s : u"about"_s;
    QString role;
    if (!author.role.isEmpty()) {
        role = u"As %1%2, I see this more often than I expected."_s.arg(
            withArticle(stripStop(author.role)),
            author.company.isEmpty() ? QString() : u" at "_s + stripStop(author.company));
        if (!GrammarCheck::parses(role)) {
            role.clear();
        }
    }
    QString audience;
    if (!author.audience.isEmpty()) {
        audience = u"If you are one of the %1 I work with, this one is for you."_s.arg(
            stripStop(author.audience));
        if (!GrammarCheck::parses(audience)) {
            audience.clear();
        }
    }
    // A topic no template reads well with still opens the post, in the
    // user's own words, above the general opening.
    const auto opening = [&](const QStringList& candidates, int v) {
        const QString hook = firstThatParses(candidates, v);
        if (hook != candidates.last() || t.isEmpty()) {
            return hook;
        }
        return withStop(capitalised(t)) + u"\n\n"_s + hook;
    };
    const auto lessonAt = [&](int i) { return lessons()[(pick(key, 8) + variant * 3 + i) % 8]; };
    QStringList parts;

    if (style == "story"_L1) {
        parts << opening({u"This is the story of %1."_s.arg(t),
                          u"Let me tell you how %1 really went."_s.arg(t),
                          u"A year ago I could not have written about %1."_s.arg(t),
                          u"Here is a story I have not told before."_s},
                         pick(key, 3) + variant);
        QStringList body{u"At first, it looked simple."_s};
        body << details;
        body << pickFrom({u"Then the first real problem showed up, and the plan had to change."_s,
                          u"Then reality arrived, and half of the plan stopped making sense."_s,
                          u"Then we hit the part nobody had planned for."_s},
                         key, variant);
        body << pickFrom({u"What got us through was talking to each other more often."_s,
                          u"What helped was slowing down and writing every decision down."_s,
                          u"What worked in the end was a smaller plan that everyone understood."_s},
                         key, variant);
        parts << body.join(QLatin1Char(' '));
        if (!role.isEmpty()) {
            parts << role;
        }
        parts << u"Looking back, I would start with less and ask for help sooner."_s
              << u"Have you been through something similar? Tell me in the comments."_s;
    } else if (style == "listicle"_L1) {
        QStringList points = details;
        for (int i = 0; points.size() < 5; ++i) {
            points.append(lessonAt(i));
        }
        QStringList lines;
        for (qsizetype i = 0; i < points.size(); ++i) {
            lines.append(u"%1. %2"_s.arg(i + 1).arg(points[i]));
        }
        parts << opening({u"Here are %1 lessons %2 %3."_s.arg(points.size()).arg(from, t),
                          u"%1 things I learned %2 %3."_s.arg(points.size()).arg(from, t),
                          u"Here are %1 lessons I keep coming back to."_s.arg(points.size())},
                         variant)
              << lines.join(QLatin1Char('\n')) << u"Which one would you add?"_s;
    } else if (style == "hot-take"_L1) {
        parts << opening({u"Here is an unpopular opinion about %1."_s.arg(t),
                          u"I think most people get %1 wrong."_s.arg(t),
                          u"Here is an unpopular opinion."_s},
                         variant)
              << u"Most teams make it harder than it needs to be. They add tools, "
                 "meetings and process before they agree on the goal."_s;
        if (!details.isEmpty()) {
            parts << details.join(QLatin1Char(' '));
        }
        parts << u"Pick one goal, cut everything else, and ship."_s
              << u"Do you agree? I read every comment."_s;
    } else if (style == "how-to"_L1) {
        QStringList steps = details;
        for (int i = 0; steps.size() < 4; ++i) {
            steps.append(lessonAt(i));
        }
        QStringList lines;
        for (qsizetype i = 0; i < steps.size(); ++i) {
            lines.append(u"Step %1: %2"_s.arg(i + 1).arg(steps[i]));
        }
        parts << opening({u"Here is a step-by-step plan for %1."_s.arg(t),
                          u"Here is a simple way to think about %1."_s.arg(t),
                          u"Here is a plan that works for me."_s},
                         variant)
              << lines.join(QLatin1Char('\n'))
              << u"Save this post and share it with someone who needs it."_s;
    } else if (style == "short"_L1) {
        parts << opening({u"Here is one lesson about %1."_s.arg(t),
                          u"One thing I learned about %1."_s.arg(t),
                          u"Here is one lesson I learned the hard way."_s},
                         variant)
              << lessonAt(0) << u"Thoughts?"_s;
    } else if (style == "punchy"_L1) {
        parts << opening({u"Let's talk about %1."_s.arg(t),
                          u"Everyone has an opinion about %1."_s.arg(t),
                          u"Let's talk about the hard part."_s},
                         variant)
              << u"Keep it simple. Ship small changes. Measure what changed."_s;
        if (!details.isEmpty()) {
            parts << details.first();
        }
        parts << u"Then do it again next week."_s << u"What would you add?"_s;
    } else {
        const bool isLong = style == "long"_L1;
        parts << opening({u"Here is what I wish I had known about %1."_s.arg(t),
                          u"Most advice about %1 skips the hard part."_s.arg(t),
                          u"A few honest notes on %1."_s.arg(t),
                          u"I keep thinking about %1."_s.arg(t),
                          u"Here is something I learned the hard way."_s},
                         pick(key, 4) + variant);
        QStringList body;
        body << pickFrom(
            {u"The hard part is rarely the tooling. It is agreeing on what done means."_s,
             u"The plan was the easy part. Getting everyone to the same picture took longer."_s,
             u"It looked like a technical problem. It turned out to be a people problem."_s},
            key, variant);
        body << details;
        parts << body.join(QLatin1Char(' '));
        if (!role.isEmpty()) {
            parts << role;
        }
        parts << lessonAt(0) + QLatin1Char(' ') + lessonAt(1);
        if (isLong) {
            parts << u"Here is what I would do differently next time."_s;
            QStringList lines;
            for (int i = 2; i < 5; ++i) {
                lines.append(u"- "_s + lessonAt(i));
            }
            parts << lines.join(QLatin1Char('\n'));
            parts << u"None of this is clever. It is the boring discipline that "
                     "makes the clever parts work."_s;
        }
        if (!audience.isEmpty()) {
            parts << audience;
        }
        parts << pickFrom({u"What would you add?"_s, u"Which part matches your experience?"_s,
                           u"What did I miss? Tell me in the comments."_s},
                          key, variant);
    }
    const QStringList tags = hashtags(material);
    if (!tags.isEmpty() && style != "short"_L1 && style != "punchy"_L1) {
        parts << tags.join(QLatin1Char(' '));
    }
    QString post = parts.join(u"\n\n"_s);
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
