#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

namespace tolvane::test {

// A small picture with a distinct pixel in its corner, so two images compare
// equal only when they are the same picture.
inline QImage picture(const QColor& color, QSize size = {6, 4}) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    image.setPixelColor(0, 0, Qt::black);
    return image;
}

// `image` encoded as `format`; `quality` -1 is the writer's default.
inline QByteArray encoded(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

inline bool isPng(const QByteArray& bytes) {
    return bytes.startsWith("\x89PNG\r\n\x1a\n");
}

// Whether `bytes` decode to the same pixels as `image`.
inline bool samePixels(const QByteArray& bytes, const QImage& image) {
    const QImage decoded = QImage::fromData(bytes);
    return !decoded.isNull() && decoded.convertToFormat(QImage::Format_ARGB32) ==
                                    image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace tolvane::test
