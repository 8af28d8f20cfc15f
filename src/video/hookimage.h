#pragma once

#include <QFont>
#include <QImage>
#include <QStringList>

namespace tolvane {

// The title banner ("hook") over the short: upper-case lines on dark navy
// boxes, tilted slightly.
class HookImage {
public:
    static constexpr double defaultMaxWidth = 1040.0;

    // The lines of a hook text: split at a colon inside the text, else a text of
    // more than 24 characters at the space nearest its middle.
    static QStringList lines(const QString& text);

    // Text is measured on a device of 72 dots per inch (see measuringDevice).
    static const QPaintDevice* measuringDevice();

    // The font size (points) that makes the widest of `lines` fill the banner,
    // for the given face.
    static double fontSize(const QStringList& lines, double maxWidth, const QFont& face);

    // The banner drawn with a heavy face at 2 pixels per point, premultiplied
    // ARGB, transparent around the boxes; null when the text has no lines.
    static QImage render(const QString& text, double maxWidth, const QFont& face);
};

} // namespace tolvane
