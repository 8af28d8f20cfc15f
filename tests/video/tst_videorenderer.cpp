#include "awaittask.h"
#include "mediafixtures.h"
#include "platform/framedecoder.h"
#include "recording/recordingsdirectory.h"
#include "video/compositionbuilder.h"
#include "video/videorenderer.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <thread>

using namespace Qt::StringLiterals;

using namespace tolvane;
using Builder = VideoCompositionBuilder;

namespace {

// Eight vertical bands of 240 pixels across 1920, so the crop position shows.
const QList<QColor> bandColours{Qt::red,  Qt::green,   Qt::blue,  Qt::yellow,
                                Qt::cyan, Qt::magenta, Qt::white, QColor(128, 64, 0)};

// Further inputs (sound) go before the filter graph.
QStringList bandInputs(double seconds, const QStringList& moreInputs = {}) {
    QStringList args;
    QString graph;
    for (int i = 0; i < bandColours.size(); ++i) {
        args << "-f"
             << "lavfi"
             << "-i"
             << u"color=c=%1:s=240x1080:r=30:d=%2"_s.arg(bandColours[i].name()).arg(seconds);
        graph += u"[%1:v]"_s.arg(i);
    }
    graph += u"hstack=inputs=%1,format=yuv420p[v]"_s.arg(bandColours.size());
    args << moreInputs << "-filter_complex" << graph << "-map"
         << "[v]";
    return args;
}

int bandAt(const QColor& colour) {
    int best = -1;
    int bestDistance = 0;
    for (int i = 0; i < bandColours.size(); ++i) {
        const QColor& band = bandColours[i];
        const int distance = qAbs(band.red() - colour.red()) + qAbs(band.green() - colour.green()) +
                             qAbs(band.blue() - colour.blue());
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return bestDistance < 90 ? best : -1;
}

bool near(const QColor& a, const QColor& b, int tolerance) {
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

double meanLuma(const QImage& image, int bottomRowsSkipped) {
    qint64 sum = 0;
    qint64 count = 0;
    for (int y = 0; y < image.height() - bottomRowsSkipped; y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            sum += qGray(image.pixel(x, y));
            ++count;
        }
    }
    return count ? double(sum) / count : 0.0;
}

EffectOptions noEffects() {
    EffectOptions options;
    options.fades = options.kenBurns = options.progressBar = options.jumpCuts = false;
    options.punchIn = options.karaokeHighlight = false;
    return options;
}

} // namespace

class TestVideoRenderer : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    Composition compose(const QString& file, double start, double end, const EffectOptions& options,
                        double center = 0.5, double zoom = 1.0,
                        const QList<Builder::CaptionPictures>& captions = {},
                        const QImage& hook = {}) {
        const MediaAsset asset(path(file));
        auto timeline =
            Builder::timeline(asset, MediaTimeRange::fromSeconds(start, end), options.jumpCuts);
        if (!timeline) {
            qWarning() << timeline.error().description;
            return {};
        }
        QList<OverlayLayer> layers;
        QList<double> starts;
        for (const Builder::CaptionPictures& caption : captions) {
            layers.append(*Builder::captionLayer(caption, options.captionStyle, false));
            starts.append(caption.start);
        }
        return Builder::compose(asset, *timeline, layers, starts, hook, options, center, zoom);
    }

    Expected<RenderResult, MediaError> render(const Composition& composition, const QString& out) {
        JobControl control(CancelToken::create());
        return VideoRenderer::render(composition, path(out), control);
    }

    QImage frame(const QString& file, double time) {
        auto decoder = FrameDecoder::create(MediaAsset(path(file)), {});
        if (!decoder) {
            return {};
        }
        auto image = (*decoder)->frameAt(time);
        return image ? *image : QImage();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(test::makeMedia(path("bands.mp4"),
                                bandInputs(3.0, test::toneInput({{0.0, 3.0}}, 3.0)) +
                                    QStringList{"-map", "8:a", "-c:v", "libx264", "-preset",
                                                "ultrafast", "-qp", "10", "-c:a", "aac"}));
        QVERIFY(test::makeMedia(
            path("silent-video.mp4"),
            bandInputs(1.0) + QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-qp", "10"}));
        QVERIFY(test::makeMedia(path("rotated.mp4"), {"-i", path("silent-video.mp4"), "-c", "copy",
                                                      "-metadata:s:v:0", "rotate=90"}));
        // Moving pictures, once as H.264 and once as MJPEG (webcams).
        QVERIFY(test::makeMedia(path("moving.mp4"),
                                {"-f", "lavfi", "-i", "testsrc2=s=640x360:r=30:d=2", "-c:v",
                                 "libx264", "-preset", "ultrafast", "-qp", "0"}));
        QVERIFY(test::makeMedia(path("moving.mov"), {"-i", path("moving.mp4"), "-c:v", "mjpeg",
                                                     "-q:v", "1", "-pix_fmt", "yuvj422p"}));
        // Tone, pause, tone: jump cuts keep two stretches.
        QVERIFY(test::makeMedia(path("bursts.mp4"),
                                QStringList{"-f", "lavfi", "-i", "testsrc2=s=640x360:r=30:d=5"} +
                                    test::toneInput({{0.3, 1.5}, {3.3, 4.6}}, 5.0) +
                                    QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-c:a",
                                                "aac", "-shortest"}));
    }

    void outputFormatAndLength_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("jumpCuts");
        QTest::addColumn<bool>("audio");
        QTest::newRow("with sound") << "bands.mp4" << false << true;
        QTest::newRow("without sound") << "silent-video.mp4" << false << false;
        QTest::newRow("jump cuts") << "bursts.mp4" << true << true;
    }
    void outputFormatAndLength() {
        QFETCH(QString, source);
        QFETCH(bool, jumpCuts);
        QFETCH(bool, audio);
        EffectOptions options = noEffects();
        options.jumpCuts = jumpCuts;
        const Composition composition = compose(source, 0.0, 30.0, options);
        QVERIFY(!composition.ranges.isEmpty());
        if (jumpCuts) {
            QCOMPARE(composition.ranges.size(), 2);
        }
        const QString out = u"format-%1"_s.arg(QTest::currentDataTag()) + ".mp4";
        auto result = render(composition, out);
        QVERIFY2(result, qPrintable(result ? QString() : result.error().description));
        QCOMPARE(result->frames, composition.frameCount());

        auto info = MediaAsset(path(out)).load();
        QVERIFY(info);
        QCOMPARE(info->videoTracks.size(), 1);
        QCOMPARE(info->videoTracks.first().naturalSize, QSize(1080, 1920));
        QCOMPARE(info->videoTracks.first().frameRate, 30.0);
        QCOMPARE(info->audioTracks.isEmpty(), !audio);
        if (audio) {
            QCOMPARE(info->audioTracks.first().sampleRate, 48000);
            QCOMPARE(info->audioTracks.first().channels, 2);
        }
        QVERIFY2(qAbs(info->duration - composition.duration) <= 1.0 / 30 + 0.03,
                 qPrintable(u"%1 vs %2"_s.arg(info->duration).arg(composition.duration)));
    }

    void cropPositionShows_data() {
        QTest::addColumn<double>("center");
        QTest::addColumn<int>("band");
        QTest::newRow("left edge") << 0.0 << 1;       // window 0...607.5, centre 304
        QTest::newRow("third band") << 0.3125 << 2;   // centre 600
        QTest::newRow("seventh band") << 0.8125 << 6; // centre 1560
        QTest::newRow("right edge") << 1.0 << 6;      // window from 1312.5, centre 1616
    }
    void cropPositionShows() {
        QFETCH(double, center);
        QFETCH(int, band);
        const Composition composition = compose("bands.mp4", 0.0, 1.0, noEffects(), center);
        const QString out = u"crop-%1.mp4"_s.arg(center);
        QVERIFY(render(composition, out));
        const QImage image = frame(out, 0.5);
        QCOMPARE(image.size(), QSize(1080, 1920));
        QCOMPARE(bandAt(image.pixelColor(540, 960)), band);
        // The whole frame is picture: no black edges.
        QVERIFY(bandAt(image.pixelColor(4, 4)) >= 0);
        QVERIFY(bandAt(image.pixelColor(1075, 1915)) >= 0);
    }

    void rotatedSourceComesOutUpright() {
        // Stored 1920 x 1080 with a quarter turn: upright it is 1080 x 1920, and
        // the stored vertical bands become horizontal ones, first band on top.
        const Composition composition = compose("rotated.mp4", 0.0, 1.0, noEffects());
        QCOMPARE(composition.uprightSize, QSizeF(1080, 1920));
        QVERIFY(render(composition, "rotated-out.mp4"));
        const QImage image = frame("rotated-out.mp4", 0.5);
        const QImage reference = frame("rotated.mp4", 0.5);
        QCOMPARE(reference.size(), QSize(1080, 1920));
        for (int y : {100, 700, 1300, 1800}) {
            QCOMPARE(bandAt(image.pixelColor(540, y)), bandAt(reference.pixelColor(540, y)));
        }
        QVERIFY(bandAt(image.pixelColor(540, 100)) != bandAt(image.pixelColor(540, 1800)));
    }

    void mjpegFramesStayInOrder() {
        // Its frames are decoded two at a time on two decoders; each output
        // frame must still be the one of its time.
        const Composition fromH264 = compose("moving.mp4", 0.0, 2.0, noEffects());
        const Composition fromMjpeg = compose("moving.mov", 0.0, 2.0, noEffects());
        QVERIFY(render(fromH264, "moving-h264.mp4"));
        QVERIFY(render(fromMjpeg, "moving-mjpeg.mp4"));
        auto difference = [](const QImage& a, const QImage& b) {
            qint64 sum = 0;
            qint64 count = 0;
            for (int y = 0; y < a.height(); y += 7) {
                for (int x = 0; x < a.width(); x += 7) {
                    sum += qAbs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
                    ++count;
                }
            }
            return double(sum) / count;
        };
        // The MJPEG render's frame is closer to the same frame of the H.264
        // render than to either neighbour (the two differ in colour range, so
        // only the comparison counts).
        for (double t : {0.5, 1.0 + 1.0 / 30, 1.5}) {
            const QImage mjpeg = frame("moving-mjpeg.mp4", t);
            const double same = difference(mjpeg, frame("moving-h264.mp4", t));
            const double before = difference(mjpeg, frame("moving-h264.mp4", t - 1.0 / 30));
            const double after = difference(mjpeg, frame("moving-h264.mp4", t + 1.0 / 30));
            QVERIFY2(same < before && same < after,
                     qPrintable(u"%1: %2 vs %3, %4"_s.arg(t).arg(same).arg(before).arg(after)));
        }
        QCOMPARE(MediaAsset(path("moving-mjpeg.mp4")).load()->duration,
                 MediaAsset(path("moving-h264.mp4")).load()->duration);
    }

    void overlaysAndFades() {
        EffectOptions options = noEffects();
        options.fades = true;
        options.progressBar = true;
        // A caption picture of solid magenta-ish pink, shown 1.0...2.0 s, with
        // a bottom quarter of half-transparent black that halves what is under it.
        QImage caption(600, 160, QImage::Format_ARGB32_Premultiplied);
        caption.fill(QColor(250, 20, 200));
        for (int y = 120; y < 160; ++y) {
            std::fill_n(reinterpret_cast<QRgb*>(caption.scanLine(y)), 600, qRgba(0, 0, 0, 128));
        }
        Builder::CaptionPictures pictures{1.0, 2.0, caption, {}, {}};
        const Composition composition =
            compose("bands.mp4", 0.0, 3.0, options, 0.5, 1.0, {pictures});
        QCOMPARE(composition.overlays.size(), 2);
        QVERIFY(render(composition, "overlays.mp4"));
        const QRectF layerFrame = composition.overlays.first().frame;
        // Off the centre line, which is a band boundary at this crop.
        const QPoint inside = layerFrame.center().toPoint() + QPoint(60, 0);

        const QImage during = frame("overlays.mp4", 1.5);
        QVERIFY(near(during.pixelColor(inside), QColor(250, 20, 200), 24));
        QVERIFY(near(during.pixelColor(layerFrame.topLeft().toPoint() + QPoint(6, 6)),
                     QColor(250, 20, 200), 24));
        // Only inside its rectangle.
        QVERIFY(bandAt(during.pixelColor(inside.x(), int(layerFrame.top()) - 12)) >= 0);
        for (double outside : {0.7, 2.2}) {
            const QImage image = frame("overlays.mp4", outside);
            QVERIFY2(bandAt(image.pixelColor(inside)) >= 0, qPrintable(QString::number(outside)));
        }
        // Partial alpha mixes: the band under the translucent strip at half its
        // brightness, in every channel.
        const QPoint strip(inside.x(), int(layerFrame.bottom() - layerFrame.height() / 8));
        const QColor bare = frame("overlays.mp4", 0.7).pixelColor(strip);
        QVERIFY(bandAt(bare) >= 0);
        const QColor halved(bare.red() / 2, bare.green() / 2, bare.blue() / 2);
        QVERIFY2(near(during.pixelColor(strip), halved, 16),
                 qPrintable(during.pixelColor(strip).name() + u" against "_s + halved.name()));

        // The progress bar covers t / D of the width along the bottom edge.
        for (double t : {0.75, 1.5, 2.25}) {
            const QImage image = frame("overlays.mp4", t);
            const int filled = int(1080 * t / 3.0);
            const QColor bar(10, 102, 194);
            QVERIFY2(near(image.pixelColor(filled - 24, 1914), bar, 20),
                     qPrintable(QString::number(t)));
            QVERIFY2(near(image.pixelColor(8, 1914), bar, 20), qPrintable(QString::number(t)));
            QVERIFY2(!near(image.pixelColor(std::min(1075, filled + 24), 1914), bar, 40),
                     qPrintable(QString::number(t)));
            QVERIFY(!near(image.pixelColor(540, 1900), bar, 40));
        }

        // First and last frames fade to black (above the bar).
        QVERIFY(meanLuma(frame("overlays.mp4", 0.0), 16) < 20);
        QVERIFY(meanLuma(frame("overlays.mp4", 2.99), 16) < 30);
        QVERIFY(meanLuma(frame("overlays.mp4", 1.5), 16) > 80);
    }

    // A recording cut short (its recorder killed) still describes its full
    // length and ends in a damaged picture: the render keeps that length with
    // the last whole picture held. All frames are keyframes, so half the bytes
    // hold about half the pictures.
    void recordingCutShortKeepsItsLength() {
        QVERIFY(test::makeMedia(path("whole.mp4"),
                                bandInputs(3.0) + QStringList{"-c:v", "libx264", "-preset",
                                                              "ultrafast", "-qp", "10", "-g", "1",
                                                              "-movflags", "+faststart"}));
        QFile whole(path("whole.mp4"));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray bytes = whole.readAll();
        QFile cut(path("cut.mp4"));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(bytes.left(bytes.size() / 2));
        cut.close();

        const Composition composition = compose("cut.mp4", 0.0, 3.0, noEffects());
        QVERIFY(!composition.ranges.isEmpty());
        auto result = render(composition, "cut-out.mp4");
        QVERIFY2(result, qPrintable(result ? QString() : result.error().description));
        QCOMPARE(result->frames, composition.frameCount());
        QCOMPARE(bandAt(frame("cut-out.mp4", 0.2).pixelColor(300, 960)), 3);
        QCOMPARE(bandAt(frame("cut-out.mp4", 2.9).pixelColor(300, 960)), 3);
    }

    // Not one whole picture: an error, never a black video that looks like a success.
    void sourceWithoutAWholePictureFails() {
        QVERIFY(
            test::makeMedia(path("blank-src.mp4"),
                            bandInputs(1.0) + QStringList{"-c:v", "libx264", "-preset", "ultrafast",
                                                          "-g", "1", "-movflags", "+faststart"}));
        QFile file(path("blank-src.mp4"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        file.close();
        const qsizetype data = bytes.indexOf("mdat");
        QVERIFY(data > 0);
        bytes.replace(data + 4, bytes.size() - data - 4, QByteArray(bytes.size() - data - 4, '\0'));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();

        const Composition composition = compose("blank-src.mp4", 0.0, 1.0, noEffects());
        QVERIFY(!composition.ranges.isEmpty());
        const QString out = path("blank-out.mp4");
        auto result = render(composition, "blank-out.mp4");
        QVERIFY(!result);
        QVERIFY2(result.error().description.contains(u"decode"_s),
                 qPrintable(result.error().description));
        QVERIFY(!QFile::exists(out));
    }

    void cancelledRenderLeavesNoFile() {
        const Composition composition = compose("bands.mp4", 0.0, 3.0, noEffects());
        const QString out = path("cancelled.mp4");
        JobControl control(CancelToken::create());
        std::thread canceller([&control] {
            while (control.progress() < 0.2) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            control.cancelHandle()->cancel();
        });
        auto result = VideoRenderer::render(composition, out, control);
        canceller.join();
        QVERIFY(!result);
        QVERIFY(result.error().isCancelled());
        QVERIFY(!QFileInfo::exists(out));

        // Through the exporter: nothing left in the recordings directory.
        const QDir recordings(recordingsDirectory().toLocalFile());
        const QStringList before = recordings.entryList({"tolvane-short-*"});
        auto cancel = CancelToken::create();
        QList<double> progress;
        auto exported = test::awaitTask(VideoExporter::exportVideo(
            composition,
            [&](double p) {
                progress.append(p);
                cancel->cancel();
            },
            cancel));
        QVERIFY(!exported);
        QVERIFY(exported.error().isCancelled());
        QCOMPARE(recordings.entryList({"tolvane-short-*"}), before);
    }

    void exportNamesTheFileAndEndsAtOne() {
        const Composition composition = compose("bands.mp4", 0.0, 0.5, noEffects());
        QList<double> progress;
        auto exported = test::awaitTask(
            VideoExporter::exportVideo(composition, [&](double p) { progress.append(p); }));
        QVERIFY(exported);
        const QFileInfo file(*exported);
        QVERIFY(file.exists());
        QVERIFY(file.fileName().startsWith("tolvane-short-"));
        QVERIFY(file.fileName().endsWith(".mp4"));
        QCOMPARE(file.absolutePath(),
                 QFileInfo(recordingsDirectory().toLocalFile()).absoluteFilePath());
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last(), 1.0);
        QFile::remove(*exported);
    }

    void unwritableOutputFails() {
        const Composition composition = compose("bands.mp4", 0.0, 0.5, noEffects());
        auto result = render(composition, "no-such-folder/out.mp4");
        QVERIFY(!result);
        QVERIFY(!result.error().description.isEmpty());
        QVERIFY(!QFileInfo::exists(path("no-such-folder/out.mp4")));
    }
};

QTEST_MAIN(TestVideoRenderer)
#include "tst_videorenderer.moc"
