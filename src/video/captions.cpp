#include "video/captions.h"

#include "video/fonts.h"

#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

using Segment = OnDeviceTranscriber::Segment;

bool endsSentence(const QString& word) {
    return word.endsWith(u'.') || word.endsWith(u'!') || word.endsWith(u'?');
}

QStringList wordsAtSingleSpaces(const QString& text) {
    return text.split(u' ', Qt::SkipEmptyParts);
}

} // namespace

QList<CaptionChunk::Word> CaptionChunk::timedWords() const {
    if (words && !words->isEmpty()) {
        return *words;
    }
    const QStringList pieces = wordsAtSingleSpaces(text);
    QList<int> weights;
    int total = 0;
    for (const QString& piece : pieces) {
        weights << std::max(Captions::graphemeCount(piece), 2);
        total += weights.last();
    }
    QList<Word> result;
    double t = start;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const double end_ = t + (end - start) * weights.at(i) / total;
        result << Word{pieces.at(i), t, end_};
        t = end_;
    }
    return result;
}

namespace Captions {

QString rawValue(CaptionStyle style) {
    return style == CaptionStyle::bubble ? u"bubble"_s : u"tiktok"_s;
}

std::optional<CaptionStyle> styleFromRawValue(const QString& raw) {
    if (raw == "bubble"_L1) {
        return CaptionStyle::bubble;
    }
    if (raw == "tiktok"_L1) {
        return CaptionStyle::tiktok;
    }
    return std::nullopt;
}

QString label(CaptionStyle style) {
    return style == CaptionStyle::bubble ? u"Bubble"_s : u"Bold"_s;
}

int maxChars(CaptionStyle style) {
    return style == CaptionStyle::bubble ? 64 : 18;
}

int graphemeCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() > 0) {
        ++count;
    }
    return count;
}

QList<CaptionChunk> chunks(const QList<Segment>& segments, int maxChars) {
    QList<CaptionChunk> out;
    QList<Segment> pending;
    int len = 0;
    const auto close = [&] {
        if (pending.isEmpty()) {
            return;
        }
        CaptionChunk chunk;
        QStringList texts;
        QList<CaptionChunk::Word> words;
        for (const Segment& s : pending) {
            texts << s.text;
            words << CaptionChunk::Word{s.text, s.start, s.start + s.duration};
        }
        chunk.text = texts.join(u' ');
        chunk.start = pending.first().start;
        chunk.end = pending.last().start + pending.last().duration;
        chunk.words = words;
        out << chunk;
        pending.clear();
        len = 0;
    };
    for (const Segment& segment : segments) {
        const QString& w = segment.text;
        const int count = graphemeCount(w);
        const int newLen = len == 0 ? count : len + 1 + count;
        if (newLen > maxChars && !pending.isEmpty()) {
            close();
            pending = {segment};
            len = count;
        } else {
            pending << segment;
            len = newLen;
        }
        if (len >= maxChars / 2 && !w.isEmpty() && endsSentence(w)) {
            close();
        }
    }
    close();
    return out;
}

QList<CaptionChunk> chunks(const QString& text, double duration, int maxChars) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || !(duration > 0)) {
        return {};
    }
    static const QRegularExpression space(u"\\s+"_s);
    const QStringList words = trimmed.split(space, Qt::SkipEmptyParts);
    QStringList lines;
    QString current;
    for (const QString& word : words) {
        if (current.isEmpty()) {
            current = word;
        } else {
            const QString candidate = current + u' ' + word;
            if (graphemeCount(candidate) <= maxChars) {
                current = candidate;
            } else {
                lines << current;
                current = word;
            }
        }
        if (graphemeCount(current) >= maxChars / 2 && !current.isEmpty() && endsSentence(current)) {
            lines << current;
            current.clear();
        }
    }
    if (!current.isEmpty()) {
        lines << current;
    }
    int total = 0;
    for (const QString& line : lines) {
        total += graphemeCount(line);
    }
    if (total == 0) {
        return {};
    }
    QList<CaptionChunk> out;
    double t = 0.0;
    for (const QString& line : lines) {
        const double end = t + duration * graphemeCount(line) / total;
        out << CaptionChunk{line, t, end, std::nullopt};
        t = end;
    }
    return out;
}

QList<CaptionChunk> mapChunks(const QList<CaptionChunk>& chunks,
                              const QList<JumpCuts::Range>& keptRanges, double trimStart) {
    if (keptRanges.isEmpty()) {
        return {};
    }
    QList<double> offsets{0.0};
    for (const JumpCuts::Range& r : keptRanges) {
        offsets << offsets.last() + std::max(0.0, r.end - r.start);
    }
    const double total = offsets.last();
    const auto map = [&](double x) {
        const double s = x + trimStart;
        if (s <= keptRanges.first().start) {
            return 0.0;
        }
        if (s >= keptRanges.last().end) {
            return total;
        }
        for (qsizetype i = 0; i < keptRanges.size(); ++i) {
            const JumpCuts::Range& r = keptRanges.at(i);
            if (r.start <= s && s <= r.end) {
                return offsets.at(i) + (s - r.start);
            }
            if (i + 1 < keptRanges.size() && r.end < s && s < keptRanges.at(i + 1).start) {
                return offsets.at(i + 1);
            }
        }
        return total;
    };

    QList<CaptionChunk> out;
    for (const CaptionChunk& chunk : chunks) {
        if (chunk.words) {
            QList<CaptionChunk::Word> kept;
            QStringList texts;
            for (const CaptionChunk::Word& word : *chunk.words) {
                const double start = map(word.start);
                const double end = map(word.end);
                if (start < end) {
                    kept << CaptionChunk::Word{word.text, start, end};
                    texts << word.text;
                }
            }
            if (kept.isEmpty()) {
                continue;
            }
            out << CaptionChunk{texts.join(u' '), kept.first().start, kept.last().end, kept};
        } else {
            const double start = map(chunk.start);
            const double end = map(chunk.end);
            if (end > start) {
                out << CaptionChunk{chunk.text, start, end, std::nullopt};
            }
        }
    }
    return out;
}

namespace {

struct StyleMetrics {
    QFont font;
    double marginX; // points
    double marginY; // points
};

StyleMetrics metricsFor(CaptionStyle style) {
    if (style == CaptionStyle::bubble) {
        return {Fonts::boldFont(54.0 * imageScale), 34.0, 26.0};
    }
    return {Fonts::heavyFont(72.0 * imageScale), 24.0, 28.0};
}

// A clear yellow for the word being spoken.
const QColor highlightYellow(255, 204, 0);

// Lays out centred, wrapped lines (a word too long for a line breaks anywhere)
// of `width` pixels from y = 0; returns the height in pixels.
qreal layOut(QTextLayout& layout, qreal width) {
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    qreal y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

// Separable box blur of an 8-bit plane, run three times: close to a Gaussian.
// The vertical pass keeps one running sum per column and walks the rows in
// order; walking each column instead misses the cache on every pixel.
void blurPlane(std::vector<quint8>& plane, int w, int h, int radius) {
    if (radius <= 0 || w <= 0 || h <= 0) {
        return;
    }
    std::vector<quint8> tmp(plane.size());
    std::vector<int> sums(static_cast<size_t>(w));
    const int span = 2 * radius + 1;
    const auto row = [w](std::vector<quint8>& p, int y) { return p.data() + size_t(y) * w; };
    for (int round = 0; round < 3; ++round) {
        for (int y = 0; y < h; ++y) {
            const quint8* src = row(plane, y);
            quint8* dst = row(tmp, y);
            int sum = 0;
            for (int k = -radius; k <= radius; ++k) {
                sum += src[std::clamp(k, 0, w - 1)];
            }
            for (int x = 0; x < w; ++x) {
                dst[x] = quint8(sum / span);
                sum += src[std::min(x + radius + 1, w - 1)] - src[std::max(x - radius, 0)];
            }
        }
        std::fill(sums.begin(), sums.end(), 0);
        for (int k = -radius; k <= radius; ++k) {
            const quint8* src = row(tmp, std::clamp(k, 0, h - 1));
            for (int x = 0; x < w; ++x) {
                sums[size_t(x)] += src[x];
            }
        }
        for (int y = 0; y < h; ++y) {
            quint8* dst = row(plane, y);
            const quint8* in = row(tmp, std::min(y + radius + 1, h - 1));
            const quint8* out = row(tmp, std::max(y - radius, 0));
            for (int x = 0; x < w; ++x) {
                dst[x] = quint8(sums[size_t(x)] / span);
                sums[size_t(x)] += in[x] - out[x];
            }
        }
    }
}

// The soft black shadow of `source`'s coverage: alpha blurred, scaled to
// `opacity`.
QImage shadowOf(const QImage& source, int blurRadius, double opacity) {
    const int w = source.width();
    const int h = source.height();
    std::vector<quint8> alpha(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            alpha[size_t(y) * w + x] = quint8(qAlpha(row[x]));
        }
    }
    blurPlane(alpha, w, h, blurRadius);
    QImage shadow(w, h, QImage::Format_ARGB32_Premultiplied);
    if (shadow.isNull()) {
        return shadow;
    }
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(shadow.scanLine(y));
        for (int x = 0; x < w; ++x) {
            row[x] = qRgba(0, 0, 0, qRound(alpha[size_t(y) * w + x] * opacity));
        }
    }
    return shadow;
}

} // namespace

QList<QImage> renderCaptionImages(const QString& text, const QList<std::optional<int>>& highlights,
                                  CaptionStyle style, double maxWidth) {
    const StyleMetrics m = metricsFor(style);
    const double textWidth = maxWidth - 2 * m.marginX;
    if (!(textWidth > 0) || maxWidth > 8192 || highlights.isEmpty()) {
        return {};
    }
    QString shown = text;
    shown.replace(u'\n', QChar::LineSeparator);

    // Where each space-separated word sits in the text.
    QList<std::pair<qsizetype, qsizetype>> ranges;
    qsizetype from = 0;
    for (const QString& word : wordsAtSingleSpaces(text)) {
        const qsizetype at = text.indexOf(word, from);
        if (at < 0) {
            break;
        }
        ranges.append({at, word.size()});
        from = at + word.size();
    }

    QTextLayout plain(shown, m.font);
    const qreal textHeightPx = layOut(plain, textWidth * imageScale);
    const double h = std::ceil(textHeightPx / imageScale);

    const int widthPx = int(std::lround(maxWidth * imageScale));
    const int heightPx = int(std::lround((2 * m.marginY + h) * imageScale));
    if (widthPx <= 0 || heightPx <= 0 || heightPx > 32768) {
        return {};
    }
    // Everything but the text's own colour: the same for every highlight, and
    // for tiktok (outline plus blurred shadow) most of the drawing's cost.
    QImage backdrop(widthPx, heightPx, QImage::Format_ARGB32_Premultiplied);
    if (backdrop.isNull()) {
        return {};
    }
    backdrop.fill(Qt::transparent);
    const QPointF origin(m.marginX * imageScale, m.marginY * imageScale);
    {
        QPainter painter(&backdrop);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        if (style == CaptionStyle::bubble) {
            QPainterPath box;
            const double radius = 28.0 * imageScale;
            box.addRoundedRect(QRectF(0, 0, widthPx, heightPx), radius, radius);
            painter.fillPath(box, QColor(0, 0, 0, qRound(0.62 * 255)));
        } else {
            // The outline copy: stroke only (7 % of the font size), black, with a
            // soft shadow 3 points below it.
            QImage outline(widthPx, heightPx, QImage::Format_ARGB32_Premultiplied);
            if (!outline.isNull()) {
                outline.fill(Qt::transparent);
                QTextCharFormat stroke;
                stroke.setForeground(Qt::transparent);
                stroke.setTextOutline(QPen(Qt::black, 0.07 * m.font.pixelSize(), Qt::SolidLine,
                                           Qt::RoundCap, Qt::RoundJoin));
                QTextLayout outlineLayout(shown, m.font);
                outlineLayout.setFormats({{0, int(shown.size()), stroke}});
                layOut(outlineLayout, textWidth * imageScale);
                {
                    QPainter op(&outline);
                    op.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
                    outlineLayout.draw(&op, origin);
                }
                const QImage shadow = shadowOf(outline, 10 * imageScale / 2, 0.9);
                painter.drawImage(QPointF(0, 3.0 * imageScale), shadow);
                painter.drawImage(QPointF(0, 0), outline);
            }
        }
    }

    QList<QImage> images;
    images.reserve(highlights.size());
    for (qsizetype i = 0; i < highlights.size(); ++i) {
        const std::optional<int>& highlight = highlights[i];
        // The last picture takes the backdrop itself rather than a copy.
        QImage image;
        if (i + 1 < highlights.size()) {
            image = backdrop.copy();
        } else {
            image.swap(backdrop);
        }
        if (image.isNull()) {
            return {};
        }
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        painter.setPen(Qt::white);
        if (highlight && *highlight >= 0 && *highlight < ranges.size()) {
            QTextCharFormat yellow;
            yellow.setForeground(highlightYellow);
            const auto [at, length] = ranges.at(*highlight);
            // Formats change only colours here, so the lines stay where the
            // plain layout put them.
            QTextLayout layout(shown, m.font);
            layout.setFormats({{int(at), int(length), yellow}});
            layOut(layout, textWidth * imageScale);
            layout.draw(&painter, origin);
        } else {
            plain.draw(&painter, origin);
        }
        painter.end();
        images.append(std::move(image));
    }
    return images;
}

QImage renderCaptionImage(const QString& text, std::optional<int> highlight, CaptionStyle style,
                          double maxWidth) {
    return renderCaptionImages(text, {highlight}, style, maxWidth).value(0);
}

} // namespace Captions
} // namespace tolvane
