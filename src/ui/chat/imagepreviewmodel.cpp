#include "imagepreviewmodel.h"

#include "imagestore.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>
#include <QUuid>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tolvane {

ImagePreviewModel::ImagePreviewModel(QObject* parent)
    : QObject(parent) {}

void ImagePreviewModel::open(const QStringList& images, int startIndex) {
    m_images = images;
    m_index = std::clamp(startIndex, 0, std::max(0, static_cast<int>(images.size()) - 1));
    m_zoom = initialZoom;
    Q_EMIT changed();
}

QString ImagePreviewModel::zoomText() const {
    return QString::number(std::llround(m_zoom * 100)) + u"%"_s;
}

QString ImagePreviewModel::counterText() const {
    return QString::number(m_index + 1) + u"/"_s + QString::number(m_images.size());
}

void ImagePreviewModel::zoomIn() {
    m_zoom = std::min(m_zoom + zoomStep, maximumZoom);
    Q_EMIT changed();
}

void ImagePreviewModel::zoomOut() {
    m_zoom = std::max(m_zoom - zoomStep, minimumZoom);
    Q_EMIT changed();
}

void ImagePreviewModel::resetZoom() {
    m_zoom = initialZoom;
    Q_EMIT changed();
}

void ImagePreviewModel::previous() {
    m_index = std::max(0, m_index - 1);
    Q_EMIT changed();
}

void ImagePreviewModel::next() {
    m_index = std::max(0, std::min(m_index + 1, static_cast<int>(m_images.size()) - 1));
    Q_EMIT changed();
}

QString ImagePreviewModel::openInViewer() {
    const QImage image = ImageStore::shared().image(current());
    if (image.isNull()) {
        return {};
    }
    const QString path =
        QDir(QDir::tempPath())
            .filePath(u"tolvane-card-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces) +
                      u".png"_s);
    if (!image.save(path, "PNG")) {
        return {};
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    return path;
}

} // namespace tolvane
