#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QRegularExpression>
#include <QString>
#include <QTimeZone>

// Helpers the intents share: matching, quoting, dates, tool-call records and
// the per-user conversation state keys.
namespace tolvane::coach::intents {

inline const QString stateOffer = QStringLiteral("offer");          // material offered as a post
inline const QString stateAwaiting = QStringLiteral("awaiting");    // waiting for post material
inline const QString stateTheme = QStringLiteral("carousel_theme"); // chosen carousel theme
inline const QString stateLinkCode = QStringLiteral("link_code");   // "CODE|expiry ms"

QRegularExpression ci(const QString& pattern);
QString stripStop(QString s);
QString quoteFirstLine(const QString& text, int max = 70);
QString when(const QDateTime& t, const QTimeZone& zone);
QJsonObject toolCall(const QString& name, const QJsonObject& args);
// What the user states about themselves, as (kind, value) pairs.
QList<QPair<QString, QString>> factsIn(const QString& text);
QString kindLabel(const QString& kind);
int wordCount(const QString& s);

} // namespace tolvane::coach::intents
