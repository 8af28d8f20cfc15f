#include "paneltext.h"

#include <QTextBoundaryFinder>

namespace tolvane::paneltext {

namespace {
bool isSpaceOrTab(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}
} // namespace

QString trimSpacesAndTabs(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpaceOrTab(text.at(begin))) {
        ++begin;
    }
    while (end > begin && isSpaceOrTab(text.at(end - 1))) {
        --end;
    }
    return text.mid(begin, end - begin);
}

int characterCount(const QString& text) {
    if (text.isEmpty()) {
        return 0;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
    }
    return count;
}

} // namespace tolvane::paneltext
