#include "rendercache.h"

#include "conversation/linkdetector.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tolvane {

RenderCache& RenderCache::shared() {
    static RenderCache cache;
    return cache;
}

RenderCache::Rendered RenderCache::render(const QUuid& id, const QString& text) {
    const auto found = m_entries.constFind(id);
    if (found != m_entries.constEnd() && found->source == text) {
        return found->rendered;
    }
    ++m_parses;
    Rendered rendered;
    rendered.display = displayText(text);
    rendered.html = inlineMarkdownToHtml(rendered.display);
    if (found == m_entries.constEnd()) {
        if (m_order.size() >= capacity) {
            m_entries.remove(m_order.takeFirst());
        }
        m_order.append(id);
    }
    m_entries.insert(id, Entry{text, rendered});
    return rendered;
}

QString RenderCache::displayText(const QString& text) {
    static const QRegularExpression markdownEditLink(
        uR"(\s*\[[^\]]*\]\([^)]*/edit/[^)]*\))"_s, QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression bareEditLink(uR"(\s*https?://\S*/edit/\S*)"_s,
                                                 QRegularExpression::UseUnicodePropertiesOption);
    static const QStringList symbols{
        u"\U0001F447"_s,       u"\U0001F446"_s,       u"\U0001F449"_s, u"\U0001F448"_s,
        u"\u261D\uFE0F"_s,     u"\u270F\uFE0F"_s,     u"\U0001F4DD"_s, u"\u270D\uFE0F"_s,
        u"\U0001F58A\uFE0F"_s, u"\U0001F58B\uFE0F"_s,
    };
    QString display = text;
    display.remove(markdownEditLink);
    display.remove(bareEditLink);
    display.remove(u"Go here to edit the post:"_s);
    for (const QString& symbol : symbols) {
        display.remove(symbol);
    }
    return display.trimmed();
}

namespace {

// A small inline markdown reader: code spans first, then links, then the
// emphasis family by matching delimiter pairs. What is not markup is escaped.
class InlineParser {
public:
    explicit InlineParser(QStringView text)
        : m_text(text) {}

    QString parse(qsizetype from, qsizetype to) const {
        QString out;
        qsizetype i = from;
        qsizetype plainStart = from;
        auto flush = [&](qsizetype end) {
            if (end > plainStart) {
                out += plainWithLinks(m_text.mid(plainStart, end - plainStart));
            }
        };
        while (i < to) {
            const QChar c = m_text[i];
            if (c == u'\\' && i + 1 < to && m_text[i + 1].isPunct()) {
                flush(i);
                out += escaped(m_text.mid(i + 1, 1));
                i += 2;
                plainStart = i;
                continue;
            }
            if (c == u'`') {
                const qsizetype run = runLength(i, to, u'`');
                const qsizetype close = findRun(i + run, to, u'`', run);
                if (close >= 0) {
                    flush(i);
                    out +=
                        u"<code>"_s + escaped(m_text.mid(i + run, close - i - run)) + u"</code>"_s;
                    i = close + run;
                    plainStart = i;
                    continue;
                }
                i += run;
                continue;
            }
            if (c == u'[') {
                if (const auto link = readLink(i, to)) {
                    flush(i);
                    out += u"<a href=\""_s + link->url.toHtmlEscaped() + u"\">"_s +
                           parse(link->textStart, link->textEnd) + u"</a>"_s;
                    i = link->end;
                    plainStart = i;
                    continue;
                }
            }
            if (c == u'*' || c == u'_' || c == u'~') {
                const qsizetype run = runLength(i, to, c);
                const qsizetype width = c == u'~' ? (run >= 2 ? 2 : 0) : qMin<qsizetype>(run, 2);
                if (width > 0 && canOpen(i, width, to, c)) {
                    const qsizetype close = findCloser(i + width, to, c, width);
                    if (close >= 0) {
                        flush(i);
                        const QString tag = c == u'~' ? u"s"_s : (width == 2 ? u"b"_s : u"i"_s);
                        out += u"<"_s + tag + u">"_s + parse(i + width, close) + u"</"_s + tag +
                               u">"_s;
                        i = close + width;
                        plainStart = i;
                        continue;
                    }
                }
                i += run;
                continue;
            }
            ++i;
        }
        flush(to);
        return out;
    }

private:
    struct Link {
        qsizetype textStart;
        qsizetype textEnd;
        qsizetype end;
        QString url;
    };

    static QString escaped(QStringView text) { return text.toString().toHtmlEscaped(); }

    // Plain text with its bare web addresses made into links.
    static QString plainWithLinks(QStringView text) {
        const QString plain = text.toString();
        QString out;
        qsizetype at = 0;
        for (const DetectedLink& link : detectLinks(plain)) {
            out += escaped(QStringView(plain).mid(at, link.start - at));
            out += u"<a href=\""_s + link.url.toString(QUrl::FullyEncoded).toHtmlEscaped() +
                   u"\">"_s + escaped(QStringView(plain).mid(link.start, link.length)) + u"</a>"_s;
            at = link.start + link.length;
        }
        out += escaped(QStringView(plain).mid(at));
        return out;
    }

    qsizetype runLength(qsizetype i, qsizetype to, QChar c) const {
        qsizetype n = 0;
        while (i + n < to && m_text[i + n] == c) {
            ++n;
        }
        return n;
    }

    qsizetype findRun(qsizetype from, qsizetype to, QChar c, qsizetype length) const {
        for (qsizetype i = from; i < to;) {
            if (m_text[i] == c) {
                const qsizetype run = runLength(i, to, c);
                if (run == length) {
                    return i;
                }
                i += run;
            } else {
                ++i;
            }
        }
        return -1;
    }

    bool canOpen(qsizetype i, qsizetype width, qsizetype to, QChar c) const {
        if (i + width >= to || m_text[i + width].isSpace()) {
            return false;
        }
        // An underscore inside a word (snake_case) is not emphasis.
        return c != u'_' || i == 0 || !m_text[i - 1].isLetterOrNumber();
    }

    qsizetype findCloser(qsizetype from, qsizetype to, QChar c, qsizetype width) const {
        for (qsizetype i = from; i + width <= to; ++i) {
            if (m_text[i] == u'`') {
                const qsizetype run = runLength(i, to, u'`');
                const qsizetype close = findRun(i + run, to, u'`', run);
                if (close >= 0) {
                    i = close + run - 1;
                    continue;
                }
            }
            if (m_text[i] != c) {
                continue;
            }
            const qsizetype run = runLength(i, to, c);
            if (run >= width && i > from && !m_text[i - 1].isSpace()) {
                const qsizetype after = i + width;
                if (c != u'_' || after >= to || !m_text[after].isLetterOrNumber()) {
                    return i + (run - width);
                }
            }
            i += run - 1;
        }
        return -1;
    }

    std::optional<Link> readLink(qsizetype i, qsizetype to) const {
        int depth = 0;
        qsizetype close = -1;
        for (qsizetype j = i + 1; j < to; ++j) {
            if (m_text[j] == u'\\') {
                ++j;
            } else if (m_text[j] == u'[') {
                ++depth;
            } else if (m_text[j] == u']') {
                if (depth == 0) {
                    close = j;
                    break;
                }
                --depth;
            }
        }
        if (close < 0 || close + 1 >= to || m_text[close + 1] != u'(') {
            return std::nullopt;
        }
        const qsizetype urlEnd = m_text.indexOf(u')', close + 2);
        if (urlEnd < 0 || urlEnd >= to) {
            return std::nullopt;
        }
        const QString url = m_text.mid(close + 2, urlEnd - close - 2).trimmed().toString();
        if (url.isEmpty() || url.contains(u' ')) {
            return std::nullopt;
        }
        return Link{i + 1, close, urlEnd + 1, url};
    }

    QStringView m_text;
};

} // namespace

QString RenderCache::inlineMarkdownToHtml(const QString& text) {
    const QString body = InlineParser(text).parse(0, text.size());
    QString html = body;
    html.replace(u"\n"_s, u"<br>"_s);
    return u"<span style=\"white-space: pre-wrap\">"_s + html + u"</span>"_s;
}

} // namespace tolvane
