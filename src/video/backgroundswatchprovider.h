#pragma once

#include <QQuickImageProvider>
#include <QVariantList>

namespace tolvane {

// Serves the background presets' swatches to QML as
// "image://backgroundSwatch/<preset raw value>" (120x76, shown at 30x19 with
// rounded corners by the view). An unknown preset gives an empty picture.
class BackgroundSwatchProvider : public QQuickImageProvider {
public:
    static inline const QString providerId = QStringLiteral("backgroundSwatch");

    BackgroundSwatchProvider();
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

    // The presets in picker order as {"key", "label", "swatch"} maps: the
    // raw value stored under the preset settings key, the label shown and the
    // swatch's image URL.
    static QVariantList presetEntries();
};

} // namespace tolvane
