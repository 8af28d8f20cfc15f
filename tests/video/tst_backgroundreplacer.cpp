#include "awaittask.h"
#include "mediafixtures.h"
#include "platform/framedecoder.h"
#include "platform/mediaasset.h"
#include "platform/personsegmenter.h"
#include "recording/recordingsdirectory.h"
#include "video/backgroundreplacer.h"
#include "video/backgroundswatchprovider.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace tolvane;
using namespace Qt::StringLiterals;
using Preset = BackgroundReplacer::Preset;
using Mode = BackgroundReplacer::Mode;

Q_DECLARE_METATYPE(std::optional<BackgroundReplacer::Mode>)
Q_DECLARE_METATYPE(BackgroundReplacer::Options::Codec)

namespace {

const QString photoPath = QStringLiteral(TOLVANE_PERSON_PHOTO);

QColor rgb(double r, double g, double b) {
    return QColor::fromRgbF(float(r), float(g), float(b));
}

bool near(const QColor& a, const QColor& b, int tolerance) {
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

QString describe(const QColor& c) {
    return u"(%1, %2, %3)"_s.arg(c.red()).arg(c.green()).arg(c.blue());
}

QStringList backgroundFiles() {
    return QDir(recordingsDirectory().toLocalFile()).entryList({u"tolvane-bg-*"_s}, QDir::Files);
}

QString audioHash(const QString& file) {
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s,
                 {"-v", "error", "-i", file, "-map", "0:a", "-c", "copy", "-f", "md5", "-"});
    ffmpeg.waitForFinished(60000);
    return QString::fromUtf8(ffmpeg.readAllStandardOutput()).trimmed();
}

int frameCount(const QString& file) {
    auto decoder = FrameDecoder::create(MediaAsset(file), FrameDecoder::Options{});
    if (!decoder) {
        return -1;
    }
    int count = 0;
    DecodedFrame frame;
    while (true) {
        auto more = (*decoder)->next(frame);
        if (!more || !*more) {
            return more ? count : -1;
        }
        ++count;
    }
}

QImage frameAt(const QString& file, double seconds) {
    auto decoder = FrameDecoder::create(MediaAsset(file), FrameDecoder::Options{});
    if (!decoder) {
        return QImage();
    }
    auto image = (*decoder)->frameAt(seconds);
    return image ? *image : QImage();
}

// Mean absolute difference of neighbouring pixels in a region: how much
// detail it holds.
double detailIn(const QImage& image, const QRect& region) {
    double sum = 0;
    int n = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x < region.right(); ++x) {
            sum += qAbs(qGray(image.pixel(x, y)) - qGray(image.pixel(x + 1, y)));
            ++n;
        }
    }
    return n ? sum / n : 0.0;
}

} // namespace

class TestBackgroundReplacer : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_person;     // a person on a striped background, 2 s with a tone
    QString m_noAudio;    // the same picture, silent, for the static-scene measures
    QString m_audioOnly;  // a tone without pictures
    QRect m_personRect;   // where the person was pasted (640x360 frame)
    QPoint m_personPoint; // a point well inside the person

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QImage photo;
        QVERIFY2(photo.load(photoPath),
                 qPrintable(u"%1 is missing: run scripts/setup.sh"_s.arg(photoPath)));
        QImage mask;
        QVERIFY(mask.load(QFINDTESTDATA("../platform/fixtures/grace_hopper_mask.png")));
        mask = mask.scaled(photo.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QImage cutout = photo.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < cutout.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(cutout.scanLine(y));
            for (int x = 0; x < cutout.width(); ++x) {
                line[x] = qGray(mask.pixel(x, y)) >= 128 ? line[x] | 0xff000000u : 0u;
            }
        }
        QImage frame(640, 360, QImage::Format_RGB32);
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb c = (x / 16) % 2 ? qRgb(210, 200, 120) : qRgb(40, 70, 110);
            for (int y = 0; y < frame.height(); ++y) {
                frame.setPixel(x, y, c);
            }
        }
        const int h = 320;
        const int w = cutout.width() * h / cutout.height();
        m_personRect = QRect(200, 360 - h, w, h);
        QPainter(&frame).drawImage(m_personRect, cutout);
        // Chest, below the face: inside the reference mask.
        m_personPoint = m_personRect.topLeft() + QPoint(w / 2, int(h * 0.8));
        const QString still = m_dir.filePath(u"person.png"_s);
        QVERIFY(frame.save(still));

        m_person = m_dir.filePath(u"person.mov"_s);
        QVERIFY(test::makeMedia(m_person, {"-loop",      "1",
                                           "-framerate", "30",
                                           "-i",         still,
                                           "-f",         "lavfi",
                                           "-i",         "sine=f=440:d=2",
                                           "-vf",        "noise=alls=6:allf=t,format=yuv420p",
                                           "-t",         "2",
                                           "-c:v",       "libx264",
                                           "-preset",    "ultrafast",
                                           "-c:a",       "aac"}));
        m_noAudio = m_dir.filePath(u"silent.mov"_s);
        QVERIFY(test::makeMedia(m_noAudio, {"-loop", "1", "-framerate", "30", "-i", still, "-vf",
                                            "noise=alls=12:allf=t,format=yuv420p", "-t", "2",
                                            "-c:v", "libx264", "-preset", "ultrafast"}));
        m_audioOnly = m_dir.filePath(u"tone.m4a"_s);
        QVERIFY(test::makeMedia(m_audioOnly, {"-f", "lavfi", "-i", "sine=d=1", "-c:a", "aac"}));
    }

    void currentModeFollowsTheSettings_data() {
        QTest::addColumn<QVariant>("mode");
        QTest::addColumn<QString>("imagePath"); // "exists" names a real file
        QTest::addColumn<QVariant>("preset");
        QTest::addColumn<std::optional<Mode>>("expected");
        const QVariant none;
        QTest::newRow("blur") << QVariant("blur") << QString() << none
                              << std::optional(Mode::blur());
        QTest::newRow("blur ignores other keys")
            << QVariant("blur") << "exists" << QVariant("mint") << std::optional(Mode::blur());
        QTest::newRow("image present")
            << QVariant("image") << "exists" << none << std::optional(Mode::image(QUrl()));
        QTest::newRow("image deleted")
            << QVariant("image") << "deleted" << none << std::optional<Mode>();
        QTest::newRow("image without path")
            << QVariant("image") << QString() << none << std::optional<Mode>();
        QTest::newRow("image path is a folder")
            << QVariant("image") << "folder" << none << std::optional<Mode>();
        for (const auto preset : BackgroundReplacer::allPresets()) {
            const QString raw = BackgroundReplacer::rawValue(preset);
            QTest::newRow(qPrintable("preset " + raw))
                << QVariant("preset") << QString() << QVariant(raw)
                << std::optional(Mode::fromPreset(preset));
        }
        QTest::newRow("preset by label")
            << QVariant("preset") << QString() << QVariant("Neon Glow") << std::optional<Mode>();
        QTest::newRow("unknown preset")
            << QVariant("preset") << QString() << QVariant("ocean") << std::optional<Mode>();
        QTest::newRow("preset missing")
            << QVariant("preset") << QString() << none << std::optional<Mode>();
        QTest::newRow("off") << QVariant("off") << "exists" << QVariant("mint")
                             << std::optional<Mode>();
        QTest::newRow("capitalised")
            << QVariant("Blur") << QString() << none << std::optional<Mode>();
        QTest::newRow("absent") << none << "exists" << QVariant("mint") << std::optional<Mode>();
    }
    void currentModeFollowsTheSettings() {
        QFETCH(QVariant, mode);
        QFETCH(QString, imagePath);
        QFETCH(QVariant, preset);
        QFETCH(std::optional<Mode>, expected);
        QTemporaryDir dir;
        QSettings settings(dir.filePath(u"settings.ini"_s), QSettings::IniFormat);
        if (mode.isValid()) {
            settings.setValue(BackgroundReplacer::modeKey, mode);
        }
        if (preset.isValid()) {
            settings.setValue(BackgroundReplacer::presetKey, preset);
        }
        QString path;
        if (imagePath == "exists"_L1 || imagePath == "deleted"_L1) {
            path = dir.filePath(u"back.png"_s);
            QImage(8, 8, QImage::Format_RGB32).save(path);
            if (imagePath == "deleted"_L1) {
                QVERIFY(QFile::remove(path));
            }
        } else if (imagePath == "folder"_L1) {
            path = dir.path();
        }
        if (!path.isEmpty()) {
            settings.setValue(BackgroundReplacer::imagePathKey, path);
        }
        if (expected && expected->kind == Mode::Kind::image) {
            expected->url = QUrl::fromLocalFile(path);
        }
        QCOMPARE(BackgroundReplacer::currentMode(settings), expected);
    }

    // What the composer's background submenu shows and stores.
    void presetEntriesStoreKeysThatSelectTheirPreset() {
        const QVariantList entries = BackgroundSwatchProvider::presetEntries();
        const QStringList keys{"midnight", "sunset", "neon", "studio", "mint"};
        const QStringList labels{"Midnight", "Sunset", "Neon Glow", "Studio Dark", "Mint Wave"};
        QCOMPARE(entries.size(), keys.size());
        QTemporaryDir dir;
        QSettings settings(dir.filePath(u"settings.ini"_s), QSettings::IniFormat);
        BackgroundSwatchProvider provider;
        for (int i = 0; i < entries.size(); ++i) {
            const QVariantMap entry = entries[i].toMap();
            QCOMPARE(entry.value("key").toString(), keys[i]);
            QCOMPARE(entry.value("label").toString(), labels[i]);
            const QUrl swatch(entry.value("swatch").toString());
            QCOMPARE(swatch.scheme(), u"image"_s);
            QCOMPARE(swatch.host(), BackgroundSwatchProvider::providerId.toLower());
            QSize size;
            const QImage image = provider.requestImage(swatch.path().mid(1), &size, QSize());
            QCOMPARE(size, QSize(120, 76));
            const auto preset = BackgroundReplacer::allPresets()[i];
            QCOMPARE(image, BackgroundReplacer::backdrop(preset, QSize(120, 76)));
            settings.setValue(BackgroundReplacer::modeKey, "preset");
            settings.setValue(BackgroundReplacer::presetKey, entry.value("key"));
            QCOMPARE(BackgroundReplacer::currentMode(settings), Mode::fromPreset(preset));
        }
        QSize size;
        const QImage unknown = provider.requestImage(u"ocean"_s, &size, QSize());
        QCOMPARE(size, QSize(120, 76));
        QCOMPARE(unknown.pixelColor(60, 38).alpha(), 0);
    }

    void swatchesAreMadeOnce() {
        for (const auto preset : BackgroundReplacer::allPresets()) {
            const QImage first = BackgroundReplacer::presetSwatch(preset);
            QCOMPARE(first.size(), BackgroundReplacer::swatchSize);
            QCOMPARE(BackgroundReplacer::presetSwatch(preset).cacheKey(), first.cacheKey());
        }
    }

    // Corners and centre of each backdrop for a 1920x1080 frame. The frame's
    // bottom-left corner is the gradients' start.
    void backdropColours_data() {
        QTest::addColumn<Preset>("preset");
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<QColor>("expected");
        const QPoint bottomLeft(0, 1079), topRight(1919, 0), centre(960, 540), topLeft(0, 0),
            bottomRight(1919, 1079);
        QTest::newRow("midnight bottom-left")
            << Preset::midnight << bottomLeft << rgb(0.05, 0.07, 0.22);
        QTest::newRow("midnight top-right") << Preset::midnight << topRight << rgb(0.38, 0.1, 0.5);
        QTest::newRow("midnight centre") << Preset::midnight << centre << rgb(0.215, 0.085, 0.36);
        QTest::newRow("sunset bottom-left")
            << Preset::sunset << bottomLeft << rgb(0.98, 0.45, 0.22);
        QTest::newRow("sunset top-right") << Preset::sunset << topRight << rgb(0.45, 0.12, 0.55);
        QTest::newRow("sunset centre") << Preset::sunset << centre << rgb(0.715, 0.285, 0.385);
        QTest::newRow("mint bottom-left") << Preset::mint << bottomLeft << rgb(0.08, 0.72, 0.62);
        QTest::newRow("mint top-right") << Preset::mint << topRight << rgb(0.05, 0.18, 0.48);
        QTest::newRow("mint centre") << Preset::mint << centre << rgb(0.065, 0.45, 0.55);
        // Radial: inner colour up to 0.12 r from the centre, outer beyond 0.95 r.
        QTest::newRow("studio centre") << Preset::studio << centre << rgb(0.32, 0.32, 0.34);
        QTest::newRow("studio top-left") << Preset::studio << topLeft << rgb(0.04, 0.04, 0.05);
        QTest::newRow("studio bottom-right")
            << Preset::studio << bottomRight << rgb(0.04, 0.04, 0.05);
        // Neon: both glows end 0.85 * 1080 = 918 px from their centres, so the
        // top-left and bottom-right corners show the plain base colour.
        QTest::newRow("neon top-left") << Preset::neon << topLeft << rgb(0.03, 0.03, 0.1);
        QTest::newRow("neon bottom-right") << Preset::neon << bottomRight << rgb(0.03, 0.03, 0.1);
        // Glow 1's centre (0.3 W, 0.15 H from the bottom): 0.55 of its colour.
        QTest::newRow("neon glow 1")
            << Preset::neon << QPoint(576, 918)
            << rgb(0.55 * 0.0 + 0.45 * 0.03, 0.55 * 0.85 + 0.45 * 0.03, 0.55 * 0.9 + 0.45 * 0.1);
        // Glow 2's centre (0.72 W, 0.9 H from the bottom), over the base.
        QTest::newRow("neon glow 2")
            << Preset::neon << QPoint(1382, 108)
            << rgb(0.5 * 0.85 + 0.5 * 0.03, 0.5 * 0.15 + 0.5 * 0.03, 0.5 * 0.85 + 0.5 * 0.1);
    }
    void backdropColours() {
        QFETCH(Preset, preset);
        QFETCH(QPoint, point);
        QFETCH(QColor, expected);
        const QImage image = BackgroundReplacer::backdrop(preset, QSize(1920, 1080));
        QCOMPARE(image.size(), QSize(1920, 1080));
        const QColor actual = image.pixelColor(point);
        QVERIFY2(near(actual, expected, 3),
                 qPrintable(describe(actual) + " expected " + describe(expected)));
    }

    // A horizontal (or vertical) ramp picture: after covering, the kept
    // part is the middle of the ramp, as far from either end.
    void pictureCoversTheFrameCroppedSymmetrically_data() {
        QTest::addColumn<QSize>("pictureSize");
        QTest::addColumn<QSize>("frameSize");
        QTest::addColumn<bool>("horizontal");
        QTest::newRow("wide picture, 16:9 frame") << QSize(1000, 250) << QSize(640, 360) << true;
        QTest::newRow("tall picture, 16:9 frame") << QSize(300, 900) << QSize(640, 360) << false;
        QTest::newRow("small wide picture scaled up") << QSize(120, 20) << QSize(640, 360) << true;
        QTest::newRow("square picture, portrait frame")
            << QSize(500, 500) << QSize(360, 640) << true;
    }
    void pictureCoversTheFrameCroppedSymmetrically() {
        QFETCH(QSize, pictureSize);
        QFETCH(QSize, frameSize);
        QFETCH(bool, horizontal);
        QImage picture(pictureSize, QImage::Format_RGB32);
        const int length = horizontal ? pictureSize.width() : pictureSize.height();
        for (int y = 0; y < pictureSize.height(); ++y) {
            for (int x = 0; x < pictureSize.width(); ++x) {
                const int v = (horizontal ? x : y) * 255 / (length - 1);
                picture.setPixel(x, y, qRgb(v, v, v));
            }
        }
        const QImage cover = BackgroundReplacer::coverImage(picture, frameSize);
        QCOMPARE(cover.size(), frameSize);
        const int first = qGray(cover.pixel(0, 0));
        const int last = qGray(horizontal ? cover.pixel(frameSize.width() - 1, 0)
                                          : cover.pixel(0, frameSize.height() - 1));
        const int middle = qGray(cover.pixel(frameSize.width() / 2, frameSize.height() / 2));
        // Symmetric: both ends as far from the middle grey.
        QVERIFY2(qAbs((first + last) - 255) <= 4, qPrintable(u"%1 + %2"_s.arg(first).arg(last)));
        QVERIFY2(qAbs(middle - 127) <= 3, qPrintable(QString::number(middle)));
        // Covering keeps the picture's aspect: the visible fraction of the ramp
        // is the frame's share of the scaled picture.
        const double scale = std::max(double(frameSize.width()) / pictureSize.width(),
                                      double(frameSize.height()) / pictureSize.height());
        const double shown = horizontal ? frameSize.width() / (pictureSize.width() * scale)
                                        : frameSize.height() / (pictureSize.height() * scale);
        QVERIFY2(qAbs((last - first) - 255.0 * shown) <= 6,
                 qPrintable(u"%1 .. %2 for %3"_s.arg(first).arg(last).arg(shown)));
    }

    void processReplacesTheBackgroundOnly_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("preset") << "preset";
        QTest::newRow("image") << "image";
        QTest::newRow("blur") << "blur";
    }
    void processReplacesTheBackgroundOnly() {
        QFETCH(QString, kind);
        Mode mode = Mode::blur();
        QImage picture(400, 300, QImage::Format_RGB32);
        picture.fill(QColor(200, 30, 30));
        if (kind == "preset"_L1) {
            mode = Mode::fromPreset(Preset::mint);
        } else if (kind == "image"_L1) {
            const QString path = m_dir.filePath(u"red.png"_s);
            QVERIFY(picture.save(path));
            mode = Mode::image(QUrl::fromLocalFile(path));
        }
        QList<double> progress;
        auto result = test::awaitTask(BackgroundReplacer::process(
            QUrl::fromLocalFile(m_person), mode, [&progress](double p) { progress << p; }, {}, {}));
        QVERIFY2(result, qPrintable(result ? QString() : result.error().description));
        const QString file = result->toLocalFile();
        auto cleanup = qScopeGuard([file] { QFile::remove(file); });
        QCOMPARE(QFileInfo(file).absolutePath(),
                 QFileInfo(recordingsDirectory().toLocalFile()).absoluteFilePath());
        QVERIFY2(QRegularExpression(u"^tolvane-bg-[0-9A-Fa-f-]{36}\\.mov$"_s)
                     .match(QFileInfo(file).fileName())
                     .hasMatch(),
                 qPrintable(file));
        QVERIFY(!progress.isEmpty());
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        QVERIFY(progress.last() <= 1.0);

        // Every frame, the same duration, the very same audio packets.
        QCOMPARE(frameCount(file), frameCount(m_person));
        auto in = MediaAsset(m_person).load();
        auto out = MediaAsset(file).load();
        QVERIFY(in && out);
        QVERIFY2(qAbs(in->duration - out->duration) < 0.05,
                 qPrintable(u"%1 vs %2"_s.arg(in->duration).arg(out->duration)));
        const QString hash = audioHash(m_person);
        QVERIFY(!hash.isEmpty());
        QCOMPARE(audioHash(file), hash);

        const QImage before = frameAt(m_person, 1.0);
        const QImage after = frameAt(file, 1.0);
        QCOMPARE(after.size(), before.size());
        // The person stays as recorded.
        QVERIFY2(near(after.pixelColor(m_personPoint), before.pixelColor(m_personPoint), 14),
                 qPrintable(describe(after.pixelColor(m_personPoint)) + " was " +
                            describe(before.pixelColor(m_personPoint))));
        // Behind: a corner far from the person.
        const QPoint corner(600, 20);
        const QColor seen = after.pixelColor(corner);
        if (kind == "preset"_L1) {
            const QColor expected =
                BackgroundReplacer::backdrop(Preset::mint, after.size()).pixelColor(corner);
            QVERIFY2(near(seen, expected, 10),
                     qPrintable(describe(seen) + " expected " + describe(expected)));
        } else if (kind == "image"_L1) {
            QVERIFY2(near(seen, picture.pixelColor(0, 0), 12), qPrintable(describe(seen)));
        } else {
            // The stripes behind are blurred away; the person keeps its detail.
            const QRect background(560, 0, 80, 80);
            QVERIFY2(detailIn(after, background) < detailIn(before, background) / 4,
                     qPrintable(u"%1 vs %2"_s.arg(detailIn(after, background))
                                    .arg(detailIn(before, background))));
            const QRect face(m_personRect.center().x() - 20, m_personRect.top() + 90, 40, 40);
            QVERIFY(detailIn(after, face) > detailIn(before, face) * 0.7);
        }
    }

    void cancellingLeavesNoFile() {
        const QStringList before = backgroundFiles();
        auto cancel = CancelToken::create();
        QTimer::singleShot(150, cancel.get(), [cancel] { cancel->cancel(); });
        auto result = test::awaitTask(BackgroundReplacer::process(QUrl::fromLocalFile(m_person),
                                                                  Mode::blur(), {}, cancel, {}));
        QVERIFY(!result);
        QVERIFY(result.error().isCancelled());
        QCOMPARE(backgroundFiles(), before);
    }

    void badInputFailsWithoutLeavingAFile_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("unreadable picture")
            << "person"
            << "notapicture.png" << QString() << "BackgroundReplacer" << 1
            << "The background image could not be loaded.";
        QTest::newRow("missing picture") << "person"
                                         << "gone.png" << QString() << "BackgroundReplacer" << 1
                                         << "The background image could not be loaded.";
        QTest::newRow("missing model") << "person" << QString() << "missing.tflite"
                                       << "BackgroundReplacer" << 3 << "is not installed";
        QTest::newRow("no video track")
            << "tone" << QString() << QString() << "Media" << -1 << "no video track";
        QTest::newRow("missing recording")
            << "gone" << QString() << QString() << "Media" << -1 << QString();
    }
    void badInputFailsWithoutLeavingAFile() {
        QFETCH(QString, input);
        QFETCH(QString, picture);
        QFETCH(QString, model);
        QFETCH(QString, domain);
        QFETCH(int, code);
        QFETCH(QString, text);
        const QString notAPicture = m_dir.filePath(u"notapicture.png"_s);
        {
            QFile file(notAPicture);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("this is no picture");
        }
        const QString source = input == "person"_L1 ? m_person
                               : input == "tone"_L1 ? m_audioOnly
                                                    : m_dir.filePath("gone.mov");
        const Mode mode = picture.isEmpty()
                              ? Mode::fromPreset(Preset::studio)
                              : Mode::image(QUrl::fromLocalFile(m_dir.filePath(picture)));
        BackgroundReplacer::Options options;
        if (!model.isEmpty()) {
            options.modelPath = m_dir.filePath(model);
        }
        const QStringList before = backgroundFiles();
        auto result = test::awaitTask(
            BackgroundReplacer::process(QUrl::fromLocalFile(source), mode, {}, {}, options));
        QVERIFY(!result);
        QCOMPARE(result.error().domain, domain);
        if (code >= 0) {
            QCOMPARE(result.error().code, code);
        }
        QVERIFY2(result.error().description.contains(text, Qt::CaseInsensitive),
                 qPrintable(result.error().description));
        QVERIFY(!result.error().description.isEmpty());
        QCOMPARE(backgroundFiles(), before);
    }

    // Frames the segmentation fails on are kept as recorded; the frames
    // around them are still replaced.
    void framesWhoseSegmentationFailsPassThrough_data() {
        QTest::addColumn<int>("firstFailing");
        QTest::addColumn<int>("failing");
        QTest::newRow("a stretch of frames") << 20 << 10;
        QTest::newRow("the first frame") << 0 << 1;
        QTest::newRow("every frame") << 0 << 1000;
    }
    void framesWhoseSegmentationFailsPassThrough() {
        QFETCH(int, firstFailing);
        QFETCH(int, failing);
        auto model = PersonSegmenter::load(PersonSegmenter::defaultModelPath());
        QVERIFY2(model, qPrintable(model ? QString() : model.error()));
        PersonSegmenter& segmenter = **model;
        BackgroundReplacer::Options options;
        QList<int> asked;
        options.segment = [&](int frame, const QImage& picture, PersonMask& mask) {
            asked << frame;
            if (frame >= firstFailing && frame < firstFailing + failing) {
                return false;
            }
            return segmenter.segment(picture, mask);
        };
        JobControl control(CancelToken::create());
        const QString out = m_dir.filePath(u"failing.mov"_s);
        auto result = BackgroundReplacer::replace(m_person, Mode::fromPreset(Preset::mint),
                                                  QImage(), out, control, options);
        QVERIFY2(result, qPrintable(result ? QString() : result.error().description));
        const int frames = frameCount(m_person);
        QCOMPARE(result->frames, frames);
        QCOMPARE(asked.size(), frames);
        QCOMPARE(asked.last(), frames - 1);
        QCOMPARE(result->passedThrough, std::min(failing, frames - firstFailing));
        QCOMPARE(frameCount(out), frames);
        QCOMPARE(audioHash(out), audioHash(m_person));

        const QPoint corner(600, 20);
        for (int frame : {0, 5, 19, 20, 25, 29, 30, 45, frames - 1}) {
            const double time = (frame + 0.5) / 30.0;
            const QColor before = frameAt(m_person, time).pixelColor(corner);
            const QColor after = frameAt(out, time).pixelColor(corner);
            const bool failed = frame >= firstFailing && frame < firstFailing + failing;
            const QColor expected =
                failed ? before
                       : BackgroundReplacer::backdrop(Preset::mint, QSize(640, 360))
                             .pixelColor(corner);
            QVERIFY2(near(after, expected, 10),
                     qPrintable(u"frame %1: %2 expected %3"_s.arg(frame).arg(describe(after),
                                                                             describe(expected))));
            QVERIFY(near(frameAt(out, time).pixelColor(m_personPoint),
                         frameAt(m_person, time).pixelColor(m_personPoint), 14));
        }
    }

    // A recording of odd width and height: H.264 leaves out the last column
    // and row (it takes even sizes only), MJPEG keeps the size.
    void oddFrameSizes_data() {
        QTest::addColumn<BackgroundReplacer::Options::Codec>("codec");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("h264") << BackgroundReplacer::Options::Codec::h264 << QSize(1278, 718);
        QTest::newRow("mjpeg") << BackgroundReplacer::Options::Codec::mjpeg << QSize(1279, 719);
    }
    void oddFrameSizes() {
        QFETCH(BackgroundReplacer::Options::Codec, codec);
        QFETCH(QSize, expected);
        const QString odd = m_dir.filePath(u"odd.mov"_s);
        if (!QFile::exists(odd)) {
            QVERIFY(test::makeMedia(odd, {"-loop",      "1",
                                          "-framerate", "30",
                                          "-i",         m_dir.filePath(u"person.png"_s),
                                          "-f",         "lavfi",
                                          "-i",         "sine=f=440:d=1",
                                          "-vf",        "scale=1279:719,format=yuv444p",
                                          "-t",         "1",
                                          "-c:v",       "libx264",
                                          "-preset",    "ultrafast",
                                          "-c:a",       "aac"}));
        }
        BackgroundReplacer::Options options;
        options.codec = codec;
        JobControl control(CancelToken::create());
        const QString out = m_dir.filePath(u"odd-out.mov"_s);
        auto result = BackgroundReplacer::replace(odd, Mode::fromPreset(Preset::studio), QImage(),
                                                  out, control, options);
        QVERIFY2(result, qPrintable(result ? QString() : result.error().description));
        QCOMPARE(frameCount(out), frameCount(odd));
        const QImage before = frameAt(odd, 0.5);
        const QImage after = frameAt(out, 0.5);
        QCOMPARE(after.size(), expected);
        // Cropped, not scaled: the person and the edge of the picture stay in
        // place.
        const QPoint person(m_personPoint.x() * 1279 / 640, m_personPoint.y() * 719 / 360);
        QVERIFY(near(after.pixelColor(person), before.pixelColor(person), 14));
        const QPoint edge(expected.width() - 1, expected.height() - 1);
        const QColor backdrop =
            BackgroundReplacer::backdrop(Preset::studio, expected).pixelColor(edge);
        QVERIFY2(near(after.pixelColor(edge), backdrop, 10),
                 qPrintable(describe(after.pixelColor(edge)) + " expected " + describe(backdrop)));
    }

    // A static scene with sensor noise: smoothing over time must calm the
    // mask's edges.
    void smoothingReducesFlicker() {
        double change[2] = {0, 0};
        for (int smoothing = 0; smoothing < 2; ++smoothing) {
            BackgroundReplacer::Options options;
            options.temporalSmoothing = smoothing == 1;
            options.codec = BackgroundReplacer::Options::Codec::mjpeg;
            JobControl control(CancelToken::create());
            const QString out = m_dir.filePath(u"flicker%1.mov"_s.arg(smoothing));
            auto result = BackgroundReplacer::replace(m_noAudio, Mode::fromPreset(Preset::neon),
                                                      QImage(), out, control, options);
            QVERIFY2(result, qPrintable(result ? QString() : result.error().description));
            QCOMPARE(result->passedThrough, 0);
            change[smoothing] = result->meanMaskChange;
        }
        qInfo("mean mask change per frame: %.6f without smoothing, %.6f with", change[0],
              change[1]);
        QVERIFY(change[0] > 0);
        QVERIFY2(change[1] < change[0] * 0.8,
                 qPrintable(u"%1 vs %2"_s.arg(change[1]).arg(change[0])));
    }
};

QTEST_MAIN(TestBackgroundReplacer)
#include "tst_backgroundreplacer.moc"
