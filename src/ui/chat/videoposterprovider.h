#pragma once

#include <QQuickAsyncImageProvider>

namespace tolvane {

// "image://poster/<file url>": the first picture of a local movie, decoded on
// a worker thread, so an inline video shows what it holds before it plays. A
// file that is gone or can't be decoded gives an error the view shows in its
// place.
class VideoPosterProvider : public QQuickAsyncImageProvider {
public:
    QQuickImageResponse* requestImageResponse(const QString& id,
                                              const QSize& requestedSize) override;
};

} // namespace tolvane
