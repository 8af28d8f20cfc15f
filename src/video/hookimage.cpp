#include "video/hookimage.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tolvane {

namespace {

constexpr double measureSize = 58.0;
constexpr double boxPaddingX = 52.0; // added to a line's width
constexpr double boxPaddingY = 28.0; // added to a line's height
constexpr double lineGap = 4.0;
constexpr double tilt = 0.045; // radians
constexpr double stagger = 18.0;
constexpr int longLine = 24;
const QColor boxColor = QColor::fromRgbF(0.1f, 0.16f, 0.23f);

QFont sized(QFont face, double points) {
    face.setPointSizeF(points);
    return face;
}

// Points are the drawing's units: text is measured and drawn on devices of 72
// dots per inch, so a point is one unit before the 2x scale.
constexpr int dotsPerMeterAt72Dpi = 2835;

void setUnitDpi(QImage& image) {
    image.setDotsPerMeterX(dotsPerMeterAt72Dpi);
    image.setDotsPerMeterY(dotsPerMeterAt72Dpi);
}

} // namespace

const QPaintDevice* HookImage::measuringDevice() {
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        setUnitDpi(image);
        return image;
    }();
    return &device;
}

QStringList HookImage::lines(const QString& text) {
    const QString upper = text.trimmed().toUpper();
    if (upper.isEmpty()) {
        return {};
    }
    const qsizetype colon = upper.indexOf(QLatin1Char(':'));
    if (colon >= 0 && colon != upper.size() - 1) {
        const QString head = upper.left(colon).trimmed();
        const QString tail = upper.mid(colon + 1).trimmed();
        if (!head.isEmpty() && !tail.isEmpty()) {
            return {head, tail};
        }
    }
    if (upper.size() > longLine) {
        const qsizetype middle = upper.size() / 2;
        qsizetype best = -1;
        for (qsizetype i = 0; i < upper.size(); ++i) {
            // Scanning forward keeps the earlier of two equally close spaces.
            if (upper[i] == QLatin1Char(' ') &&
                (best < 0 || std::abs(i - middle) < std::abs(best - middle))) {
                best = i;
            }
        }
        if (best < 0) {
            return {upper};
        }
        QStringList halves;
        for (const QString& half : {upper.left(best).trimmed(), upper.mid(best + 1).trimmed()}) {
            if (!half.isEmpty()) {
                halves.append(half);
            }
        }
        return halves;
    }
    return {upper};
}

double HookImage::fontSize(const QStringList& lines, double maxWidth, const QFont& face) {
    const QFontMetricsF metrics(sized(face, measureSize), measuringDevice());
    double widest = 0.0;
    for (const QString& line : lines) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    if (!(widest > 0.0)) {
        return 96.0;
    }
    return std::clamp((maxWidth - 2 * boxPaddingX - 36.0) * measureSize / widest, 30.0, 96.0);
}

QImage HookImage::render(const QString& text, double maxWidth, const QFont& face) {
    const QStringList hookLines = lines(text);
    if (hookLines.isEmpty()) {
        return {};
    }
    const QFont font = sized(face, fontSize(hookLines, maxWidth, face));
    const QFontMetricsF metrics(font, measuringDevice());
    QList<QSizeF> boxes;
    double total = lineGap * double(hookLines.size() - 1);
    for (const QString& line : hookLines) {
        const QSizeF box(std::trunc(metrics.horizontalAdvance(line)) + boxPaddingX,
                         std::trunc(metrics.height()) + boxPaddingY);
        boxes.append(box);
        total += box.height();
    }
    // Room for the corners the tilt swings out.
    const double margin = maxWidth * tilt * 0.5 + 8.0;
    const double canvasHeight = 2 * margin + total;
    QImage image(int(std::ceil(2 * maxWidth)), int(std::ceil(2 * canvasHeight)),
                 QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return {};
    }
    setUnitDpi(image);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.scale(2.0, 2.0);
    // Counter-clockwise, as a banner pinned at its left end.
    painter.translate(maxWidth / 2, canvasHeight / 2);
    painter.rotate(-tilt * 180.0 / std::numbers::pi);
    painter.translate(-maxWidth / 2, -canvasHeight / 2);
    painter.setFont(font);
    double top = (canvasHeight - total) / 2;
    for (qsizetype i = 0; i < hookLines.size(); ++i) {
        const double offset = hookLines.size() == 1 ? 0.0 : (i == 0 ? stagger : -stagger);
        const QRectF box(offset + (maxWidth - boxes[i].width()) / 2, top, boxes[i].width(),
                         boxes[i].height());
        painter.fillRect(box, boxColor);
        painter.setPen(Qt::white);
        painter.drawText(box, Qt::AlignCenter, hookLines[i]);
        top += boxes[i].height() + lineGap;
    }
    painter.end();
    return image;
}

} // namespace tolvane
