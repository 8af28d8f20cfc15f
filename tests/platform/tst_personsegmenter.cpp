#include "platform/personsegmenter.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;

namespace {

const QString photoPath = QStringLiteral(TOLVANE_PERSON_PHOTO);
const QString referenceMaskPath = QFINDTESTDATA("fixtures/grace_hopper_mask.png");

// Intersection over union of two masks of one size, thresholded at one half.
double iou(const PersonMask& mask, const QImage& expected) {
    int both = 0;
    int either = 0;
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            const bool a = mask.at(x, y) >= 0.5f;
            const bool b = qGray(expected.pixel(x, y)) >= 128;
            both += a && b;
            either += a || b;
        }
    }
    return either ? double(both) / either : 1.0;
}

} // namespace

class TestPersonSegmenter : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PersonSegmenter> m_segmenter;
    QImage m_photo;
    QImage m_reference;

private Q_SLOTS:
    void initTestCase() {
        auto loaded = PersonSegmenter::load(PersonSegmenter::defaultModelPath());
        QVERIFY2(loaded, qPrintable(loaded ? QString() : loaded.error()));
        m_segmenter = std::move(*loaded);
        QCOMPARE(m_segmenter->inputWidth(), 256);
        QCOMPARE(m_segmenter->inputHeight(), 144);
        QVERIFY2(m_photo.load(photoPath),
                 qPrintable(u"%1 is missing: run scripts/setup.sh"_s.arg(photoPath)));
        QVERIFY(m_reference.load(referenceMaskPath));
        QCOMPARE(m_reference.size(), QSize(256, 144));
    }

    void photoMatchesTheReviewedMask() {
        PersonMask mask;
        QVERIFY(m_segmenter->segment(m_photo, mask));
        QCOMPARE(mask.width, 256);
        QCOMPARE(mask.height, 144);
        const double overlap = iou(mask, m_reference);
        QVERIFY2(overlap >= 0.9, qPrintable(QString::number(overlap)));
    }

    // The person cut out with the reference mask and pasted onto a plain
    // picture is found where it was pasted, wherever that is.
    void pastedPersonIsFoundWhereItWasPasted_data() {
        QTest::addColumn<QColor>("backgroundColour");
        QTest::addColumn<double>("left");
        QTest::addColumn<double>("height");
        QTest::newRow("grey, left") << QColor(128, 128, 128) << 0.05 << 0.9;
        QTest::newRow("green, centre") << QColor(40, 120, 60) << 0.35 << 0.8;
        QTest::newRow("beige, right") << QColor(220, 205, 180) << 0.6 << 0.95;
    }
    void pastedPersonIsFoundWhereItWasPasted() {
        QFETCH(QColor, backgroundColour);
        QFETCH(double, left);
        QFETCH(double, height);
        const QSize canvasSize(1280, 720);
        // The reference mask at the photo's own size is the cut-out's alpha.
        const QImage alpha =
            m_reference.scaled(m_photo.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QImage cutout = m_photo.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < cutout.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(cutout.scanLine(y));
            for (int x = 0; x < cutout.width(); ++x) {
                line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]),
                                qGray(alpha.pixel(x, y)) >= 128 ? 255 : 0);
            }
        }
        // Standing on the bottom edge, as in a camera picture.
        const int h = int(canvasSize.height() * height);
        const int w = int(double(cutout.width()) * h / cutout.height());
        const QRect place(int(canvasSize.width() * left), canvasSize.height() - h, w, h);
        QImage canvas(canvasSize, QImage::Format_RGB32);
        canvas.fill(backgroundColour);
        QImage expected(canvasSize, QImage::Format_RGB32);
        expected.fill(Qt::black);
        {
            QPainter painter(&canvas);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(place, cutout);
            QPainter marker(&expected);
            QImage white = cutout;
            for (int y = 0; y < white.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(white.scanLine(y));
                for (int x = 0; x < white.width(); ++x) {
                    line[x] = qAlpha(line[x]) ? qRgba(255, 255, 255, 255) : 0;
                }
            }
            marker.drawImage(place, white);
        }
        PersonMask mask;
        QVERIFY(m_segmenter->segment(canvas, mask));
        const QImage expectedSmall = expected.scaled(mask.width, mask.height, Qt::IgnoreAspectRatio,
                                                     Qt::SmoothTransformation);
        const double overlap = iou(mask, expectedSmall);
        QVERIFY2(overlap >= 0.85, qPrintable(QString::number(overlap)));
    }

    void pictureWithoutPersonGivesAnEmptyMask_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("plain") << "plain";
        QTest::newRow("gradient") << "gradient";
        QTest::newRow("stripes") << "stripes";
    }
    void pictureWithoutPersonGivesAnEmptyMask() {
        QFETCH(QString, kind);
        QImage picture(640, 360, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                QRgb c = qRgb(90, 110, 140);
                if (kind == "gradient"_L1) {
                    c = qRgb(x * 255 / 640, y * 255 / 360, 128);
                } else if (kind == "stripes"_L1) {
                    c = (x / 40) % 2 ? qRgb(230, 230, 230) : qRgb(30, 60, 90);
                }
                picture.setPixel(x, y, c);
            }
        }
        PersonMask mask;
        QVERIFY(m_segmenter->segment(picture, mask));
        int person = 0;
        for (float v : mask.values) {
            person += v >= 0.5f;
        }
        QVERIFY2(person < int(mask.values.size()) / 100, qPrintable(QString::number(person)));
    }

    void unusableModelFilesAreClearErrors_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing") << QByteArray() << "is not installed";
        QTest::newRow("not a model") << QByteArray("hello, this is text", 19) << "is damaged";
        QTest::newRow("truncated") << QByteArray() << "is damaged";
    }
    void unusableModelFilesAreClearErrors() {
        QFETCH(QByteArray, contents);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"model.tflite"_s);
        if (QByteArray(QTest::currentDataTag()) == "truncated") {
            QFile model(PersonSegmenter::defaultModelPath());
            QVERIFY(model.open(QIODevice::ReadOnly));
            contents = model.read(model.size() / 2);
        }
        if (!contents.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents);
        }
        auto loaded = PersonSegmenter::load(path);
        QVERIFY(!loaded);
        QVERIFY2(loaded.error().contains(expected), qPrintable(loaded.error()));
    }
};

QTEST_GUILESS_MAIN(TestPersonSegmenter)
#include "tst_personsegmenter.moc"
