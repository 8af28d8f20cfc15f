#pragma once

#include <QQuickImageProvider>

namespace tolvane {

// Line icons addressed by symbol name and tinted on request:
// "image://icon/<name>?<#rrggbb>". Drawn from small SVG bodies in a 24 x 24 box.
class IconProvider : public QQuickImageProvider {
public:
    IconProvider();
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

    // The SVG document of `name` in `color`; empty for an unknown name.
    static QByteArray svg(const QString& name, const QString& color);
};

} // namespace tolvane
