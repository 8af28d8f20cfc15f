#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

namespace tolvane {

// The text a message row shows, prepared once per text value: edit links and
// their lead-in removed (the row shows its own action line for them), pointer
// and pen symbols dropped, inline markdown turned into rich text.
class RenderCache {
public:
    struct Rendered {
        QString display; // the text to show, plain
        QString html;    // `display` as rich text for the views
    };

    static constexpr qsizetype capacity = 500;

    // The process-wide cache the message views share.
    static RenderCache& shared();

    Rendered render(const QUuid& id, const QString& text);

    // The display text alone (no caching).
    static QString displayText(const QString& text);
    // Inline markdown (emphasis, strong, strikethrough, code, links; bare web
    // addresses become links too) as rich text; line breaks and runs of spaces
    // are kept, block markers stay as typed.
    static QString inlineMarkdownToHtml(const QString& text);

    qsizetype size() const { return m_entries.size(); }
    // How many texts were parsed so far; lets tests see the cache work.
    qsizetype parseCount() const { return m_parses; }

private:
    struct Entry {
        QString source;
        Rendered rendered;
    };
    QHash<QUuid, Entry> m_entries;
    QList<QUuid> m_order;
    qsizetype m_parses = 0;
};

} // namespace tolvane
