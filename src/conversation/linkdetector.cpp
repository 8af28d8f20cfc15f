#include "linkdetector.h"

#include <QRegularExpression>
#include <QSet>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

// Characters that end a sentence rather than a link when they close one.
bool isTrailingPunctuation(QChar c) {
    return u".,;:!?'\"*_`~"_s.contains(c);
}

// Drops trailing punctuation and closing brackets without an opening partner.
qsizetype trimmedLength(QStringView candidate) {
    qsizetype length = candidate.size();
    for (;;) {
        if (length == 0) {
            return 0;
        }
        const QChar last = candidate[length - 1];
        if (isTrailingPunctuation(last)) {
            --length;
            continue;
        }
        static const QString closers = u")]}>"_s;
        static const QString openers = u"([{<"_s;
        const qsizetype kind = closers.indexOf(last);
        if (kind >= 0) {
            const QStringView body = candidate.first(length);
            if (body.count(openers[kind]) < body.count(last)) {
                --length;
                continue;
            }
        }
        return length;
    }
}

} // namespace

QList<DetectedLink> detectLinks(const QString& text) {
    static const QRegularExpression pattern(
        uR"((?<![\w@/.])(?:https?://|www\.)[^\s<>"'\x{00A0}\x{2028}\x{2029}]+)"_s,
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    QList<DetectedLink> links;
    auto it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QStringView candidate =
            QStringView(text).mid(match.capturedStart(), match.capturedLength());
        const qsizetype length = trimmedLength(candidate);
        QString address = candidate.first(length).toString();
        if (address.startsWith("www."_L1, Qt::CaseInsensitive)) {
            address.prepend(u"http://"_s);
        }
        const QUrl url(address, QUrl::TolerantMode);
        if (!url.isValid() || url.host().isEmpty()) {
            continue;
        }
        links.append({match.capturedStart(), length, url});
    }
    return links;
}

QList<ChatAction> extractEditActions(const QString& text) {
    QList<ChatAction> actions;
    QSet<QString> seen;
    for (const DetectedLink& link : detectLinks(text)) {
        const QString key = link.url.toString(QUrl::FullyEncoded);
        if (seen.contains(key)) {
            continue;
        }
        seen.insert(key);
        QStringList components = link.url.path(QUrl::FullyEncoded).split(u'/');
        if (!components.isEmpty() && components.first().isEmpty()) {
            components.removeFirst();
        }
        const qsizetype edit = components.indexOf(u"edit"_s);
        if (edit < 0 || edit + 1 >= components.size()) {
            continue;
        }
        const QString token = QUrl::fromPercentEncoding(components.at(edit + 1).toUtf8());
        if (token.isEmpty()) {
            continue;
        }
        actions.append({ChatAction::Kind::editDraft, u"Edit post"_s, link.url, token});
    }
    return actions;
}

} // namespace tolvane
