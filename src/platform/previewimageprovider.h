#pragma once

#include "platform/capturebackend.h"

#include <QMutex>
#include <QQuickImageProvider>

#include <memory>

namespace tolvane {

// Hands the capture session's latest live picture to QML ("image://<id>/..."
// with a changing suffix per frame). The picture was scaled on the capture
// thread; here it is only shared, never touched per pixel.
class PreviewImageProvider : public QQuickImageProvider {
public:
    PreviewImageProvider();

    // Safe from any thread; an empty source shows nothing.
    void setSource(std::shared_ptr<PreviewFrames> frames);

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

private:
    QMutex m_mutex;
    std::shared_ptr<PreviewFrames> m_frames;
};

} // namespace tolvane
