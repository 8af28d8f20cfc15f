#include "intentsupport.h"

#include "textcut.h"

#include <QJsonDocument>
#include <QLocale>
#include <QMap>

namespace tolvane::coach::intents {

QRegularExpression ci(const QString& pattern) {
    return QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption);
}

QString stripStop(QString s) {
    s = s.trimmed();
    while (!s.isEmpty() && QStringLiteral(".!?…:;,").contains(s.back()))
        s.chop(1);
    return s.trimmed();
}

QString quoteFirstLine(const QString& text, int max) {
    const QString line =
        textcut::elide(text.trimmed().section(QLatin1Char('\n'), 0, 0).trimmed(), max);
    return QStringLiteral("“") + line + QStringLiteral("”");
}

QString when(const QDateTime& t, const QTimeZone& zone) {
    return QLocale(QLocale::English)
        .toString(t.toTimeZone(zone), QStringLiteral("ddd MMM d, h:mm AP"));
}

QJsonObject toolCall(const QString& name, const QJsonObject& args) {
    static int counter = 0;
    return QJsonObject{{QStringLiteral("id"), QStringLiteral("call_%1").arg(++counter)},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("arguments"),
                        QString::fromUtf8(QJsonDocument(args).toJson(QJsonDocument::Compact))}};
}

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

} // namespace tolvane::coach::intents
