#include "mediafixtures.h"
#include "platform/framedecoder.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;

namespace {

// Which of red, green and blue dominates a pixel.
char dominant(QRgb pixel) {
    const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
    if (r > g + 60 && r > b + 60) {
        return 'r';
    }
    if (g > r + 60 && g > b + 60) {
        return 'g';
    }
    if (b > r + 60 && b > g + 60) {
        return 'b';
    }
    return '?';
}

char centre(const QImage& image) {
    return dominant(image.pixel(image.width() / 2, image.height() / 2));
}

} // namespace

class TestFrameDecoder : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // One second each of red, green and blue, a key frame every 10 frames.
        QVERIFY(test::makeMedia(path("colours.mp4"), {"-f",
                                                      "lavfi",
                                                      "-i",
                                                      "color=c=red:s=320x240:r=25:d=1",
                                                      "-f",
                                                      "lavfi",
                                                      "-i",
                                                      "color=c=lime:s=320x240:r=25:d=1",
                                                      "-f",
                                                      "lavfi",
                                                      "-i",
                                                      "color=c=blue:s=320x240:r=25:d=1",
                                                      "-filter_complex",
                                                      "concat=n=3:v=1:a=0",
                                                      "-c:v",
                                                      "libx264",
                                                      "-preset",
                                                      "ultrafast",
                                                      "-g",
                                                      "10",
                                                      "-pix_fmt",
                                                      "yuv420p"}));
        // Left half red, right half blue, stored with a 90 degree display matrix.
        QVERIFY(test::makeMedia(path("halves.mp4"),
                                {"-f", "lavfi", "-i", "color=c=red:s=320x240:r=25:d=1", "-f",
                                 "lavfi", "-i", "color=c=blue:s=160x240:r=25:d=1",
                                 "-filter_complex", "overlay=160:0", "-c:v", "libx264", "-preset",
                                 "ultrafast", "-pix_fmt", "yuv420p"}));
        QVERIFY(test::makeMedia(path("rotated.mp4"), {"-i", path("halves.mp4"), "-c", "copy",
                                                      "-metadata:s:v:0", "rotate=90"}));
        // ffmpeg's own upright rendering of the rotated clip is the reference.
        QVERIFY(
            test::makeMedia(path("upright.png"), {"-i", path("rotated.mp4"), "-frames:v", "1"}));
        QVERIFY(test::makeMedia(path("audio.wav"), test::toneInput({}, 1)));
        QFile colours(path("colours.mp4"));
        QVERIFY(colours.open(QIODevice::ReadOnly));
        QByteArray damaged = colours.readAll();
        // Overwrite the middle of the picture data; the index stays intact.
        for (qsizetype i = damaged.size() / 4; i < damaged.size() / 2; ++i) {
            damaged[i] = char(i * 7);
        }
        QFile out(path("damaged.mp4"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(damaged);
    }

    void framesAtTimesInAnyOrder() {
        auto decoder = FrameDecoder::create(MediaAsset(path("colours.mp4")), {});
        QVERIFY(decoder);
        QCOMPARE((*decoder)->outputSize(), QSize(320, 240));
        // Forward within a stretch between key frames, across key frames, then back.
        const QList<QPair<double, char>> requests{{0.1, 'r'},  {0.3, 'r'},  {0.98, 'r'},
                                                  {1.02, 'g'}, {2.5, 'b'},  {1.5, 'g'},
                                                  {0.0, 'r'},  {2.99, 'b'}, {9.0, 'b'}};
        for (const auto& [time, colour] : requests) {
            auto image = (*decoder)->frameAt(time);
            QVERIFY2(image, qPrintable(QString::number(time)));
            QCOMPARE(image->size(), QSize(320, 240));
            QCOMPARE(centre(*image), colour);
        }
    }

    void thumbnailsFitTheBox() {
        auto decoder = FrameDecoder::create(MediaAsset(path("colours.mp4")), {QSize(160, 160)});
        QVERIFY(decoder);
        QCOMPARE((*decoder)->outputSize(), QSize(160, 120));
        auto image = (*decoder)->frameAt(1.5);
        QVERIFY(image);
        QCOMPARE(image->size(), QSize(160, 120));
    }

    void rotatedClipComesOutUpright() {
        const QImage reference(path("upright.png"));
        QCOMPARE(reference.size(), QSize(240, 320));
        auto decoder = FrameDecoder::create(MediaAsset(path("rotated.mp4")), {QSize(160, 160)});
        QVERIFY(decoder);
        QCOMPARE((*decoder)->outputSize(), QSize(120, 160));
        auto image = (*decoder)->frameAt(0.5);
        QVERIFY(image);
        QCOMPARE(image->size(), QSize(120, 160));
        const char top = dominant(reference.pixel(120, 40));
        const char bottom = dominant(reference.pixel(120, 280));
        QVERIFY(top != bottom);
        QCOMPARE(dominant(image->pixel(60, 20)), top);
        QCOMPARE(dominant(image->pixel(60, 140)), bottom);
    }

    void sequentialReading() {
        auto decoder = FrameDecoder::create(MediaAsset(path("colours.mp4")), {});
        QVERIFY(decoder);
        QVERIFY((*decoder)->seek(1.5));
        DecodedFrame frame;
        int count = 0;
        double last = -1;
        QList<char> colours;
        for (;;) {
            auto more = (*decoder)->next(frame);
            QVERIFY(more);
            if (!*more) {
                break;
            }
            QVERIFY(frame.time > last);
            last = frame.time;
            colours << centre(frame.image);
            ++count;
        }
        // From the frame on screen at 1.5 s (frame 37) to the last (frame 74).
        QCOMPARE(count, 75 - 37);
        QCOMPARE(colours.first(), 'g');
        QCOMPARE(colours.last(), 'b');
    }

    // The scaler writes whole SIMD blocks, past the last pixel for widths that
    // are not a multiple of 16; a picture buffer of the exact size then had
    // its neighbour on the heap overwritten, which aborted the process when
    // the pictures were freed.
    void fullSizePicturesOfAnyWidth() {
        for (const int width : {360, 362, 1080}) {
            const QString clip = path(QString("portrait-%1.mp4").arg(width));
            QVERIFY(test::makeMedia(
                clip, {"-f", "lavfi", "-i", QString("testsrc2=s=%1x64:r=25:d=0.4").arg(width),
                       "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"}));
            QList<QImage> kept;
            for (int round = 0; round < 20; ++round) {
                auto decoder = FrameDecoder::create(MediaAsset(clip), {});
                QVERIFY(decoder);
                DecodedFrame frame;
                while (true) {
                    auto more = (*decoder)->next(frame);
                    QVERIFY(more);
                    if (!*more) {
                        break;
                    }
                    QCOMPARE(frame.image.size(), QSize(width, 64));
                    kept.append(frame.image);
                    // A small allocation right after the picture, as the heap
                    // hands them out; the overrun used to land in it.
                    kept.append(QImage(4, 1, QImage::Format_RGB32));
                }
            }
            // A picture detaches like any other: painting on a copy leaves the
            // decoded one as it was.
            const QRgb before = kept.first().pixel(0, 0);
            QImage copy = kept.first();
            copy.setPixel(0, 0, before ^ 0x00FFFFFF);
            QCOMPARE(kept.first().pixel(0, 0), before);
            QCOMPARE(copy.pixel(0, 0), before ^ 0x00FFFFFF);
            kept.clear();
        }
    }

    void badInputGivesErrors() {
        auto audioOnly = FrameDecoder::create(MediaAsset(path("audio.wav")), {});
        QVERIFY(!audioOnly);
        QVERIFY(!audioOnly.error().description.isEmpty());
        auto missing = FrameDecoder::create(MediaAsset(path("nothing.mp4")), {});
        QVERIFY(!missing);

        // Damaged picture data: every request ends in a picture or an error.
        auto damaged = FrameDecoder::create(MediaAsset(path("damaged.mp4")), {QSize(64, 64)});
        if (damaged) {
            for (double t : {0.2, 1.1, 2.5, 0.5}) {
                auto image = (*damaged)->frameAt(t);
                QVERIFY(image ? !image->isNull() : !image.error().description.isEmpty());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestFrameDecoder)
#include "tst_framedecoder.moc"
