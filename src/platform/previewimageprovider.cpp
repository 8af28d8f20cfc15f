#include "platform/previewimageprovider.h"

namespace tolvane {

PreviewImageProvider::PreviewImageProvider()
    : QQuickImageProvider(QQuickImageProvider::Image) {}

void PreviewImageProvider::setSource(std::shared_ptr<PreviewFrames> frames) {
    QMutexLocker lock(&m_mutex);
    m_frames = std::move(frames);
}

QImage PreviewImageProvider::requestImage(const QString& id, QSize* size,
                                          const QSize& requestedSize) {
    Q_UNUSED(id)
    Q_UNUSED(requestedSize)
    std::shared_ptr<PreviewFrames> frames;
    {
        QMutexLocker lock(&m_mutex);
        frames = m_frames;
    }
    QImage image = frames ? frames->latest() : QImage();
    if (size) {
        *size = image.size();
    }
    return image;
}

} // namespace tolvane
