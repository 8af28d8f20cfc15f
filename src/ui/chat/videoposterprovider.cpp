#include "videoposterprovider.h"

#include "platform/framedecoder.h"

#include <QCoreApplication>
#include <QPointer>
#include <QQuickTextureFactory>
#include <QThreadPool>
#include <QUrl>

namespace tolvane {

namespace {

class PosterResponse : public QQuickImageResponse {
public:
    QQuickTextureFactory* textureFactory() const override {
        return QQuickTextureFactory::textureFactoryForImage(m_image);
    }
    QString errorString() const override { return m_error; }

    void finish(QImage image, QString error) {
        m_image = std::move(image);
        m_error = std::move(error);
        Q_EMIT finished();
    }

private:
    QImage m_image;
    QString m_error;
};

} // namespace

QQuickImageResponse* VideoPosterProvider::requestImageResponse(const QString& id,
                                                               const QSize& requestedSize) {
    auto* response = new PosterResponse;
    // The view percent-encodes the movie's address so it survives as one id.
    const QUrl url(QUrl::fromPercentEncoding(id.toUtf8()));
    QThreadPool::globalInstance()->start([response = QPointer(response), url, requestedSize] {
        QImage image;
        QString error;
        if (!url.isLocalFile()) {
            error = QStringLiteral("Only videos on this computer can be previewed.");
        } else {
            // A view that sets only one side of its source size leaves the
            // other at 0, meaning "any".
            constexpr int any = 1 << 16;
            const QSize box(requestedSize.width() > 0 ? requestedSize.width() : any,
                            requestedSize.height() > 0 ? requestedSize.height() : any);
            auto decoder = FrameDecoder::create(MediaAsset(url.toLocalFile()), {box, true});
            if (!decoder) {
                error = decoder.error().description;
            } else if (auto frame = (*decoder)->frameAt(0); frame) {
                image = std::move(*frame);
            } else {
                error = frame.error().description;
            }
        }
        // The response lives on the main thread and may be cancelled and gone
        // by the time the picture is ready, so it is looked at only there.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [response, image = std::move(image), error = std::move(error)]() mutable {
                if (response) {
                    response->finish(std::move(image), std::move(error));
                }
            },
            Qt::QueuedConnection);
    });
    return response;
}

} // namespace tolvane
