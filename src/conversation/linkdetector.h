#pragma once

#include "service/chatrecords.h"

#include <QList>
#include <QString>
#include <QUrl>

namespace tolvane {

// A web link found in plain text.
struct DetectedLink {
    qsizetype start = 0;
    qsizetype length = 0;
    QUrl url;
};

// Finds http and https links and bare "www." addresses in plain text, in order
// of appearance. Trailing sentence punctuation and an unbalanced closing
// bracket (as in a markdown link) are not part of a link.
QList<DetectedLink> detectLinks(const QString& text);

// One "Edit post" action per distinct link whose path has an "edit" component
// followed by a non-empty token.
QList<ChatAction> extractEditActions(const QString& text);

} // namespace tolvane
