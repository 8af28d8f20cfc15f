#include "postwriter.h"

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

// Points that round out a list when the user gave fewer than three.
const QStringList fillerPoints = {
    QStringLiteral("Start before you feel ready: momentum beats polish."),
    QStringLiteral("Share the process, not only the result."),
    QStringLiteral("Ask for feedback early, from the people you want to serve."),
};

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
        {QRegularExpression(QStringLiteral(R"(\b(short|shorter|punchier|brief|tighter)\b)")),
         QStringLiteral("short")},
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
    const QString first = sentences(material).value(0);
    static const QRegularExpression about(QStringLiteral(R"(\babout\s+([^.,;!?\n]+))"),
                                          QRegularExpression::CaseInsensitiveOption);
    if (auto m = about.match(first); m.hasMatch())
        return stripStop(m.captured(1));
    static const QRegularExpression doing(
        QStringLiteral(
            R"(^(i'm|i am|we're|we are|i've been|we've been)\s+)"
            R"((working on|building|launching|writing|creating|running|learning)\s+(.+))"),
        QRegularExpression::CaseInsensitiveOption);
    if (auto m = doing.match(first); m.hasMatch())
        return stripStop(m.captured(3));
    QStringList words = stripStop(first).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() > 8)
        words = words.mid(0, 8);
    QString topic = words.join(QLatin1Char(' '));
    // Lower-case a sentence-initial capital unless the word looks like a name.
    if (topic.size() > 1 && topic[0].isUpper() && topic[1].isLower() &&
        !topic.startsWith(QLatin1String("I ")))
        topic[0] = topic[0].toLower();
    return topic;
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
    static const QRegularExpression wordRe(QStringLiteral(R"([A-Za-z][A-Za-z-]{4,})"));
    QMap<QString, int> counts;
    QStringList order;
    // Words of the topic make the best tags, whatever their count in the body.
    for (auto it = wordRe.globalMatch(topicOf(material)); it.hasNext();) {
        const QString w = it.next().captured(0).toLower();
        if (!stopWords().contains(w) && !counts.contains(w)) {
            order.append(w);
            counts[w] = 1000 - int(order.size()); // and keep their order
        }
    }
    for (auto it = wordRe.globalMatch(material); it.hasNext();) {
        const QString w = it.next().captured(0).toLower();
        // Past tenses and adverbs make poor tags ("#Noticed", "#Really").
        if (stopWords().contains(w) || w.contains(QLatin1Char('-')) ||
            w.endsWith(QLatin1String("ed")) || w.endsWith(QLatin1String("ly")))
            continue;
        if (!counts.contains(w))
            order.append(w);
        counts[w] += 1;
    }
    std::stable_sort(order.begin(), order.end(), [&](const QString& a, const QString& b) {
        if (counts[a] != counts[b])
            return counts[a] > counts[b];
        return a.size() > b.size();
    });
    QStringList tags;
    for (const QString& w : order.mid(0, max))
        tags.append(QLatin1Char('#') + capitalised(w));
    return tags;
}

QString PostWriter::write(const QString& material, const QString& style, const Author& author) {
    const QString topic = topicOf(material);
    QStringList points = sentences(material);
    if (points.isEmpty())
        points.append(withStop(capitalised(material)));
    // A post carries a handful of points; a pasted essay is cut to its first ten.
    if (points.size() > 10)
        points.resize(10);
    // "About X. Point. Point." - the bare topic is already in the hook.
    if (points.size() > 1 && stripStop(points.first()).compare(topic, Qt::CaseInsensitive) == 0)
        points.removeFirst();
    const QString tags = hashtags(material).join(QLatin1Char(' '));
    const int v = pick(topic, 3);
    QStringList parts;

    if (style == QLatin1String("story")) {
        const QStringList hooks = {
            QStringLiteral("A few months ago I couldn't have written this post."),
            QStringLiteral("Let me tell you how %1 really went.").arg(topic),
            QStringLiteral("Nobody saw the messy part of %1. Here it is.").arg(topic),
        };
        parts << hooks[v] << points.join(QStringLiteral("\n\n"))
              << QStringLiteral("What I learned: the work gets lighter the moment you share it.")
              << QStringLiteral("Have you been through something similar? Tell me in the "
                                "comments.");
    } else if (style == QLatin1String("listicle")) {
        for (const QString& f : fillerPoints) {
            if (points.size() >= 3)
                break;
            points.append(f);
        }
        QStringList lines;
        for (qsizetype i = 0; i < points.size(); ++i)
            lines.append(QStringLiteral("%1. %2").arg(i + 1).arg(points[i]));
        parts << QStringLiteral("%1 things I've learned about %2:").arg(points.size()).arg(topic)
              << lines.join(QLatin1Char('\n')) << QStringLiteral("Which one would you add?");
    } else if (style == QLatin1String("hot-take")) {
        parts << QStringLiteral("Unpopular opinion: %1 is simpler than most people make it.")
                     .arg(topic)
              << QStringLiteral("Everyone says you need more time, more tools, more budget.")
              << points.join(QStringLiteral("\n\n"))
              << QStringLiteral("You don't need permission. You need a first step.")
              << QStringLiteral("Agree or disagree? I read every comment.");
    } else if (style == QLatin1String("how-to")) {
        for (const QString& f : fillerPoints) {
            if (points.size() >= 3)
                break;
            points.append(f);
        }
        QStringList lines;
        for (qsizetype i = 0; i < points.size(); ++i)
            lines.append(QStringLiteral("Step %1: %2").arg(i + 1).arg(points[i]));
        parts << QStringLiteral("How to approach %1, step by step:").arg(topic)
              << lines.join(QLatin1Char('\n'))
              << QStringLiteral("Save this for later, and share it with someone who needs it.");
    } else if (style == QLatin1String("short")) {
        parts << points.first();
        if (points.size() > 1)
            parts << points[1];
        parts << QStringLiteral("Thoughts?");
    } else {
        const QStringList hooks = {
            QStringLiteral("Here's what nobody tells you about %1.").arg(topic),
            QStringLiteral("%1 taught me more than I expected.").arg(capitalised(topic)),
            QStringLiteral("I've been thinking a lot about %1 lately.").arg(topic),
        };
        parts << hooks[v] << points.join(QStringLiteral("\n\n"));
        if (!author.audience.isEmpty())
            parts << QStringLiteral("If you're one of the %1 I write for, this one is for you.")
                         .arg(stripStop(author.audience));
        parts << QStringLiteral("What's your experience with %1? I'd love to hear it.").arg(topic);
    }
    if (!tags.isEmpty() && style != QLatin1String("short"))
        parts << tags;
    return parts.join(QStringLiteral("\n\n"));
}

} // namespace tolvane::coach
