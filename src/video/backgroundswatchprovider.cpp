#include "video/backgroundswatchprovider.h"

#include "video/backgroundreplacer.h"

#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace tolvane {

BackgroundSwatchProvider::BackgroundSwatchProvider()
    : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage BackgroundSwatchProvider::requestImage(const QString& id, QSize* size,
                                              const QSize& requestedSize) {
    const auto preset = BackgroundReplacer::presetFromRawValue(id);
    QImage image = preset ? BackgroundReplacer::presetSwatch(*preset) : QImage();
    if (image.isNull()) {
        image = QImage(BackgroundReplacer::swatchSize, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    }
    if (requestedSize.isValid() && requestedSize != image.size()) {
        image = image.scaled(requestedSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (size) {
        *size = image.size();
    }
    return image;
}

QVariantList BackgroundSwatchProvider::presetEntries() {
    QVariantList entries;
    for (const auto preset : BackgroundReplacer::allPresets()) {
        const QString key = BackgroundReplacer::rawValue(preset);
        entries.append(QVariantMap{
            {u"key"_s, key},
            {u"label"_s, BackgroundReplacer::label(preset)},
            {u"swatch"_s, u"image://%1/%2"_s.arg(providerId, key)},
        });
    }
    return entries;
}

} // namespace tolvane
