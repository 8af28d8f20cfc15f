#include "previewrenderer.h"

#include "textcut.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

namespace {

constexpr qreal scale = 2.0; // drawn at twice the logical size for sharp text
constexpr qreal cardWidth = 552;
constexpr qreal pad = 16;
constexpr int maxBodyLines = 14;

const QColor brandBlue(0x0a, 0x66, 0xc2);
const QColor textPrimary(0x1d, 0x22, 0x26);
const QColor textSecondary(0x66, 0x66, 0x66);
const QColor hairline(0xe0, 0xdf, 0xdc);

QFont font(qreal pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont f(u"DejaVu Sans"_s);
    f.setPixelSize(qRound(pixelSize));
    f.setWeight(weight);
    return f;
}

// Lays out text in lines no wider than width; paragraphs break at "\n".
QStringList wrap(const QString& text, const QFont& f, qreal width) {
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        if (paragraph.isEmpty()) {
            lines.append(QString());
            continue;
        }
        QTextLayout layout(paragraph, f);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines.append(paragraph.mid(line.textStart(), line.textLength()).trimmed());
        }
        layout.endLayout();
    }
    return lines;
}

QByteArray png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void drawGlobe(QPainter& p, QPointF centre, qreal r, const QColor& c) {
    p.save();
    p.setPen(QPen(c, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, r, r);
    p.drawEllipse(centre, r * 0.45, r);
    p.drawLine(QPointF(centre.x() - r, centre.y()), QPointF(centre.x() + r, centre.y()));
    p.restore();
}

} // namespace

QByteArray PreviewRenderer::renderCard(const Card& card) {
    const QString name = card.name.trimmed().isEmpty() ? u"Your Name"_s : card.name;
    const QString initial = card.name.trimmed().isEmpty()
                                ? u"Y"_s
                                : textcut::firstGrapheme(card.name.trimmed()).toUpper();
    const QFont nameFont = font(15, QFont::DemiBold);
    const QFont smallFont = font(12);
    const QFont bodyFont = font(14);
    const qreal textWidth = cardWidth - 2 * pad;

    QString body = card.text.trimmed();
    const bool empty = body.isEmpty();
    if (empty) {
        body = u"Your post preview appears here…"_s;
    }
    QStringList lines = wrap(body, bodyFont, textWidth);
    bool truncated = false;
    if (lines.size() > maxBodyLines) {
        lines = lines.mid(0, maxBodyLines);
        truncated = true;
    }
    const qreal lineHeight = QFontMetricsF(bodyFont).lineSpacing();
    const qreal headerHeight = 48;
    const qreal bodyTop = pad + headerHeight + 12;
    const qreal bodyHeight = lineHeight * (lines.size() + (truncated ? 1 : 0));
    const qreal footerTop = bodyTop + bodyHeight + 12;
    const qreal height = footerTop + 1 + 12 + 16 + pad;

    QImage image(QSize(qRound(cardWidth * scale), qRound(height * scale)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    p.setPen(QPen(hairline, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, cardWidth - 1, height - 1));

    // Avatar: the name's first letter on a blue circle.
    const QRectF avatar(pad, pad, 48, 48);
    p.setPen(Qt::NoPen);
    p.setBrush(brandBlue);
    p.drawEllipse(avatar);
    p.setPen(Qt::white);
    p.setFont(font(20, QFont::Bold));
    p.drawText(avatar, Qt::AlignCenter, initial);

    const qreal textLeft = pad + 48 + 10;
    const qreal headerWidth = cardWidth - textLeft - pad - 30;
    qreal y = pad;
    p.setPen(textPrimary);
    p.setFont(nameFont);
    const QFontMetricsF nameMetrics(nameFont);
    p.drawText(QPointF(textLeft, y + nameMetrics.ascent()),
               nameMetrics.elidedText(name, Qt::ElideRight, headerWidth));
    y += nameMetrics.height();
    p.setFont(smallFont);
    p.setPen(textSecondary);
    const QFontMetricsF smallMetrics(smallFont);
    if (!card.headline.trimmed().isEmpty()) {
        p.drawText(QPointF(textLeft, y + smallMetrics.ascent()),
                   smallMetrics.elidedText(card.headline.trimmed(), Qt::ElideRight, headerWidth));
        y += smallMetrics.height();
    }
    const QString when = card.status == "published"_L1   ? u"now · "_s
                         : card.status == "scheduled"_L1 ? u"scheduled · "_s
                                                         : u"now · "_s;
    p.drawText(QPointF(textLeft, y + smallMetrics.ascent()), when);
    drawGlobe(
        p,
        QPointF(textLeft + smallMetrics.horizontalAdvance(when) + 5, y + smallMetrics.ascent() - 4),
        4.5, textSecondary);
    // The "more" menu of a feed card.
    p.setBrush(textSecondary);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        p.drawEllipse(QPointF(cardWidth - pad - 14 + i * 6, pad + 8), 1.6, 1.6);
    }

    p.setFont(bodyFont);
    p.setPen(empty ? textSecondary : textPrimary);
    const QFontMetricsF bodyMetrics(bodyFont);
    y = bodyTop;
    for (const QString& line : lines) {
        p.drawText(QPointF(pad, y + bodyMetrics.ascent()), line);
        y += lineHeight;
    }
    if (truncated) {
        p.setPen(textSecondary);
        p.drawText(QPointF(pad, y + bodyMetrics.ascent()), u"…see more"_s);
    }

    p.setPen(QPen(hairline, 1));
    p.drawLine(QPointF(pad, footerTop), QPointF(cardWidth - pad, footerTop));
    p.setPen(textSecondary);
    p.setFont(smallFont);
    p.drawText(QPointF(pad, footerTop + 12 + smallMetrics.ascent()), u"Like · Comment · Repost"_s);
    p.end();
    return png(image);
}

const QList<PreviewRenderer::Theme>& PreviewRenderer::themes() {
    static const QList<Theme> list = {
        {u"midnight"_s, u"Midnight"_s, u"#0f172a"_s, u"#38bdf8"_s, u"#f8fafc"_s},
        {u"sunset"_s, u"Sunset"_s, u"#fff1e6"_s, u"#f97316"_s, u"#431407"_s},
        {u"mint"_s, u"Mint"_s, u"#ecfdf5"_s, u"#059669"_s, u"#064e3b"_s},
        {u"paper"_s, u"Paper"_s, u"#fafaf9"_s, u"#0a66c2"_s, u"#1c1917"_s},
    };
    return list;
}

PreviewRenderer::Theme PreviewRenderer::theme(const QString& key) {
    for (const Theme& t : themes()) {
        if (t.key == key) {
            return t;
        }
    }
    return themes().first();
}

QList<QByteArray> PreviewRenderer::renderCarousel(const QStringList& slides, const QString& author,
                                                  const Theme& theme) {
    constexpr qreal w = 540;
    constexpr qreal h = 675;
    constexpr qreal margin = 48;
    QList<QByteArray> out;
    for (qsizetype i = 0; i < slides.size(); ++i) {
        QImage image(QSize(int(w), int(h)), QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(theme.background));
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.fillRect(QRectF(0, 0, w, 10), QColor(theme.accent));

        const bool title = i == 0;
        const QFont textFont = font(title ? 38 : 28, title ? QFont::Bold : QFont::DemiBold);
        const QStringList lines = wrap(slides[i], textFont, w - 2 * margin);
        const qreal lineHeight = QFontMetricsF(textFont).lineSpacing();
        qreal y = (h - lineHeight * lines.size()) / 2;
        p.setFont(textFont);
        p.setPen(QColor(theme.text));
        const QFontMetricsF metrics(textFont);
        for (const QString& line : lines) {
            p.drawText(QPointF(margin, y + metrics.ascent()), line);
            y += lineHeight;
        }

        const QFont small = font(16, QFont::DemiBold);
        p.setFont(small);
        p.setPen(QColor(theme.accent));
        p.drawText(QRectF(margin, h - 64, w - 2 * margin, 24), Qt::AlignLeft | Qt::AlignVCenter,
                   author.trimmed().isEmpty() ? u"Your Name"_s : author);
        p.drawText(QRectF(margin, h - 64, w - 2 * margin, 24), Qt::AlignRight | Qt::AlignVCenter,
                   u"%1/%2"_s.arg(i + 1).arg(slides.size()) +
                       (i + 1 < slides.size() ? u"  →"_s : QString()));
        p.end();
        out.append(png(image));
    }
    return out;
}

} // namespace tolvane::coach
