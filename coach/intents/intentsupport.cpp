#include "intentsupport.h"

#include "textcut.h"

#include <QJsonDocument>
#include <QLocale>
#include <QMap>

using namespace Qt::StringLiterals;

namespace tolvane::coach::intents {

QRegularExpression ci(const QString& pattern) {
    return QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption);
}

QString stripStop(QString s) {
    s = s.trimmed();
    while (!s.isEmpty() && u".!?…:;,"_s.contains(s.back())) {
        s.chop(1);
    }
    return s.trimmed();
}

QString quoteFirstLine(const QString& text, int max) {
    const QString line =
        textcut::elide(text.trimmed().section(QLatin1Char('\n'), 0, 0).trimmed(), max);
    return u"“"_s + line + u"”"_s;
}

QString when(const QDateTime& t, const QTimeZone& zone) {
    return QLocale(QLocale::English).toString(t.toTimeZone(zone), u"ddd MMM d, h:mm AP"_s);
}

QJsonObject toolCall(const QString& name, const QJsonObject& args) {
    static int counter = 0;
    return QJsonObject{
        {u"id"_s, u"call_%1"_s.arg(++counter)},
        {u"name"_s, name},
        {u"arguments"_s, QString::fromUtf8(QJsonDocument(args).toJson(QJsonDocument::Compact))}};
}

QList<QPair<QString, QString>> factsIn(const QString& text) {
    QList<QPair<QString, QString>> facts;
    static const QRegularExpression name =
        ci(uR"(\b(?:my name is|call me)\s+([A-Za-zÀ-ÿ'’-]+(?:\s+[A-Z][A-Za-zÀ-ÿ'’-]+){0,3}))"_s);
    if (auto m = name.match(text); m.hasMatch()) {
        facts.append({u"name"_s, stripStop(m.captured(1))});
    }
    static const QRegularExpression role = ci(
        uR"(\bi(?:'m|’m| am| work as)\s+(?:a|an)\s+([^.,;!?\n]{3,60}?)(?:\s+at\s+([^.,;!?\n]{2,60}?))?(?=$|[.,;!?\n]|\s+and\s|\s+where\s))"_s);
    if (auto m = role.match(text); m.hasMatch()) {
        const QString r = stripStop(m.captured(1));
        static const QRegularExpression notRole =
            ci(uR"(^(bit|little|lot|big fan|huge fan|fan)\b)"_s);
        if (!notRole.match(r).hasMatch() && r.split(QLatin1Char(' ')).size() <= 6) {
            facts.append({u"role"_s, r});
            if (!m.captured(2).isEmpty()) {
                facts.append({u"company"_s, stripStop(m.captured(2))});
            }
        }
    }
    static const QRegularExpression company = ci(uR"(\bi work (?:at|for)\s+([^.,;!?\n]{2,60}))"_s);
    if (auto m = company.match(text); m.hasMatch()) {
        facts.append({u"company"_s, stripStop(m.captured(1))});
    }
    static const QRegularExpression audience = ci(
        uR"(\b(?:i help|we help|my audience is|my audience are|i write for)\s+([^.;!?\n]{3,80}))"_s);
    if (auto m = audience.match(text); m.hasMatch()) {
        // "I help founders ship faster": the audience ends where the verb starts.
        static const QRegularExpression verb =
            ci(uR"(\s+(to|with|by|who|that|so|ship|get|grow|build|find|make|land|win|turn|reach|)"
               R"(scale|hire|sell|save|learn|create|write|launch|do|become|stop|start)\b.*$)"_s);
        QString who = stripStop(m.captured(1));
        who.remove(verb);
        if (!who.isEmpty()) {
            facts.append({u"audience"_s, who});
        }
    }
    static const QRegularExpression goal = ci(
        uR"(\b(?:my goal is(?: to)?|i want to|i'd like to|i would like to)\s+([^.;!?\n]{3,100}))"_s);
    if (auto m = goal.match(text); m.hasMatch()) {
        facts.append({u"goal"_s, stripStop(m.captured(1))});
    }
    static const QRegularExpression work = ci(
        uR"(\b(?:i(?:'m|’m| am)|we(?:'re|’re| are))\s+(?:currently\s+)?(working on|building|launching|writing|creating)\s+([^.;!?\n]{3,120}))"_s);
    if (auto m = work.match(text); m.hasMatch()) {
        facts.append(
            {u"work"_s, m.captured(1).toLower() + QLatin1Char(' ') + stripStop(m.captured(2))});
    }
    static const QRegularExpression remember =
        ci(uR"(^(?:please\s+)?remember(?: that)?\s+(.{3,200})$)"_s);
    if (auto m = remember.match(text.trimmed()); m.hasMatch()) {
        facts.append({u"fact"_s, stripStop(m.captured(1))});
    }
    return facts;
}

QString kindLabel(const QString& kind) {
    static const QMap<QString, QString> labels = {
        {u"name"_s, u"Name"_s},         {u"role"_s, u"Role"_s}, {u"company"_s, u"Company"_s},
        {u"audience"_s, u"Audience"_s}, {u"goal"_s, u"Goal"_s}, {u"work"_s, u"Working on"_s},
        {u"fact"_s, u"Noted"_s},
    };
    return labels.value(kind, kind);
}

int wordCount(const QString& s) {
    return int(s.split(QRegularExpression(uR"(\s+)"_s), Qt::SkipEmptyParts).size());
}

} // namespace tolvane::coach::intents
