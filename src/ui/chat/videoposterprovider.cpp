#include "videoposterprovider.h"

#include "platform/framedecoder.h"

#include <QQuickTextureFactory>
#include <QThreadPool>
#include <QUrl>

#include <atomic>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

// Posters decode one at a time on a pool of their own, so a list full of
// videos does not crowd out other background work.
QThreadPool& posterPool() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(1);
        return p;
    }();
    return *pool;
}

class PosterResponse : public QQuickImageResponse {
public:
    QQuickTextureFactory* textureFactory() const override {
        return QQuickTextureFactory::textureFactoryForImage(m_image);
    }
    QString errorString() const override { return m_error; }
    // A row scrolled away before its poster was decoded.
    void cancel() override { m_cancelled = true; }

    bool cancelled() const { return m_cancelled; }
    // Called once, on the decoding thread; the engine deletes the response
    // only after `finished`.
    void finish(QImage image, QString error) {
        m_image = std::move(image);
        m_error = std::move(error);
        Q_EMIT finished();
    }

private:
    QImage m_image;
    QString m_error;
    std::atomic_bool m_cancelled = false;
};

QImage decodePoster(const QUrl& url, QSize requestedSize, QString& error) {
    if (!url.isLocalFile()) {
        error = u"Only videos on this computer can be previewed."_s;
        return {};
    }
    // A view that sets only one side of its source size leaves the other at
    // 0, meaning "any".
    constexpr int any = 1 << 16;
    const QSize box(requestedSize.width() > 0 ? requestedSize.width() : any,
                    requestedSize.height() > 0 ? requestedSize.height() : any);
    auto decoder = FrameDecoder::create(MediaAsset(url.toLocalFile()), {box, true});
    if (!decoder) {
        error = decoder.error().description;
        return {};
    }
    auto frame = (*decoder)->frameAt(0);
    if (!frame) {
        error = frame.error().description;
        return {};
    }
    return std::move(*frame);
}

} // namespace

QQuickImageResponse* VideoPosterProvider::requestImageResponse(const QString& id,
                                                               const QSize& requestedSize) {
    auto* response = new PosterResponse;
    // The view percent-encodes the movie's address so it survives as one id.
    const QUrl url(QUrl::fromPercentEncoding(id.toUtf8()));
    posterPool().start([response, url, requestedSize] {
        QString error;
        QImage image;
        if (response->cancelled()) {
            error = u"cancelled"_s;
        } else {
            image = decodePoster(url, requestedSize, error);
        }
        response->finish(std::move(image), std::move(error));
    });
    return response;
}

} // namespace tolvane
