#include "mediafixtures.h"
#include "ui/chat/videoposterprovider.h"

#include <QFile>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickTextureFactory>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace tolvane;

namespace {

struct Poster {
    QImage image;
    QString error;
};

// Requests a poster the way the view does (the address percent-encoded) and
// waits for it.
Poster request(const QUrl& url, QSize size) {
    VideoPosterProvider provider;
    QQuickImageResponse* response = provider.requestImageResponse(
        QString::fromUtf8(QUrl::toPercentEncoding(url.toString())), size);
    QSignalSpy finished(response, &QQuickImageResponse::finished);
    finished.wait(10000);
    Poster poster{{}, response->errorString()};
    if (!finished.isEmpty() && poster.error.isEmpty()) {
        std::unique_ptr<QQuickTextureFactory> factory(response->textureFactory());
        poster.image = factory ? factory->image() : QImage();
    }
    delete response;
    return poster;
}

} // namespace

class TestVideoPosterProvider : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    // A file name with a space and a "#" survives the trip through the
    // image address; the picture is upright and fits the requested height.
    void firstPictureOfALocalMovie() {
        const QString clip = m_dir.filePath("take #1 final.mp4");
        QVERIFY(
            test::makeMedia(clip, {"-f", "lavfi", "-i", "color=c=red:s=360x640:r=25:d=0.5", "-c:v",
                                   "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"}));
        const Poster poster = request(QUrl::fromLocalFile(clip), QSize(0, 320));
        QCOMPARE(poster.error, QString());
        QCOMPARE(poster.image.size(), QSize(180, 320));
        const QRgb centre = poster.image.pixel(90, 160);
        QVERIFY(qRed(centre) > 200 && qGreen(centre) < 60 && qBlue(centre) < 60);
    }

    // The way the chat shows it: an Image in the engine, which asks from its
    // loader thread and gets the answer from the poster pool.
    void throughAnImageInTheEngine() {
        const QString clip = m_dir.filePath("take #1 final.mp4");
        QVERIFY(QFile::exists(clip));
        QQmlEngine engine;
        engine.addImageProvider("poster", new VideoPosterProvider);
        QQmlComponent component(&engine);
        component.setData("import QtQuick\n"
                          "Image { asynchronous: true; sourceSize.height: 64;"
                          " property url movie;"
                          " source: \"image://poster/\" + encodeURIComponent(movie.toString()) }",
                          QUrl());
        std::unique_ptr<QObject> image(
            component.createWithInitialProperties({{"movie", QUrl::fromLocalFile(clip)}}));
        QVERIFY2(image, qPrintable(component.errorString()));
        // Image.Ready is 1, Image.Error is 3.
        QTRY_VERIFY_WITH_TIMEOUT(image->property("status").toInt() != 2, 10000);
        QCOMPARE(image->property("status").toInt(), 1);
        QCOMPARE(image->property("implicitHeight").toReal(), 64.0);
        QCOMPARE(image->property("implicitWidth").toReal(), 36.0);
    }

    void missingOrRemoteMoviesGiveAnError() {
        const Poster missing = request(QUrl::fromLocalFile(m_dir.filePath("gone.mp4")), {});
        QVERIFY(missing.image.isNull());
        QVERIFY(!missing.error.isEmpty());
        const Poster remote = request(QUrl("https://example.com/v.mp4"), {});
        QCOMPARE(remote.error, QString("Only videos on this computer can be previewed."));
    }
};

QTEST_MAIN(TestVideoPosterProvider)
#include "tst_videoposterprovider.moc"
