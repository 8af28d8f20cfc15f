#include "textcut.h"

#include <QTextBoundaryFinder>

using namespace Qt::StringLiterals;

namespace tolvane::coach::textcut {

QString prefix(const QString& text, qsizetype max) {
    if (text.size() <= max) {
        return text;
    }
    if (max <= 0) {
        return {};
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(max);
    if (!finder.isAtBoundary() && finder.toPreviousBoundary() < 0) {
        return {};
    }
    return text.left(finder.position());
}

QString elide(const QString& text, qsizetype max) {
    if (text.size() <= max) {
        return text;
    }
    const QString ellipsis = u"…"_s;
    return prefix(text, max - ellipsis.size()).trimmed() + ellipsis;
}

QString firstGrapheme(const QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    const qsizetype end = finder.toNextBoundary();
    return end < 0 ? text : text.left(end);
}

} // namespace tolvane::coach::textcut
