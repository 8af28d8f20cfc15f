#include "awaittask.h"
#include "mediafixtures.h"
#include "video/videoeditmodel.h"

#include <QFile>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

using namespace Qt::StringLiterals;

using namespace tolvane;

namespace {

RecordingResult recording(const QString& camera, double duration) {
    RecordingResult result;
    if (!camera.isEmpty()) {
        result.cameraURL = QUrl::fromLocalFile(camera);
    }
    result.duration = duration;
    return result;
}

// Lets every background job end and delivers what they posted back.
void settle() {
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
}

// A value different from the current one, of the property's type.
QVariant otherValue(const QVariant& current) {
    switch (current.typeId()) {
    case QMetaType::Bool:
        return !current.toBool();
    case QMetaType::Double:
        return current.toDouble() + 0.25;
    case QMetaType::QString:
        return current.toString() + u"x"_s;
    case QMetaType::QUrl:
        return QUrl::fromLocalFile(u"/elsewhere.mov"_s);
    case QMetaType::QSizeF:
        return QSizeF(12, 34);
    default:
        return {};
    }
}

} // namespace

class TestVideoEditModel : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(test::makeMedia(path("landscape.mp4"),
                                {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:d=4", "-c:v",
                                 "libx264", "-preset", "ultrafast", "-g", "25"}));
        QVERIFY(test::makeMedia(path("portrait.mp4"), {"-i", path("landscape.mp4"), "-c", "copy",
                                                       "-metadata:s:v:0", "rotate=90"}));
        QVERIFY(test::makeMedia(path("voice.wav"), test::toneInput({{0, 1}}, 2)));
        QFile garbage(path("garbage.mov"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(5000, '\x07'));
    }

    void creation() {
        VideoEditModel model(recording(path("landscape.mp4"), 4.0));
        QCOMPARE(model.duration(), 4.0);
        QCOMPARE(model.trimEnd(), 4.0);
        QCOMPARE(model.playerItem(), QUrl::fromLocalFile(path("landscape.mp4")));
        QCOMPARE(model.asset().path(), path("landscape.mp4"));
        QVERIFY(!model.videoSize().isValid());
        QVERIFY(model.loadError().isNull());

        // An empty recording still gets a usable timeline.
        for (double duration : {0.0, 0.1, -3.0}) {
            VideoEditModel tiny(recording(path("landscape.mp4"), duration));
            QCOMPARE(tiny.duration(), 0.1);
            QCOMPARE(tiny.trimEnd(), 0.1);
        }

        // The screen file wins over the camera file; neither means /dev/null.
        RecordingResult both = recording(path("landscape.mp4"), 2);
        both.screenURL = QUrl::fromLocalFile(path("portrait.mp4"));
        QCOMPARE(VideoEditModel(both).asset().path(), path("portrait.mp4"));
        QCOMPARE(VideoEditModel(recording({}, 2)).asset().path(), u"/dev/null"_s);
    }

    void everyPropertyNotifiesOnlyRealChanges() {
        VideoEditModel model(recording(path("landscape.mp4"), 4.0));
        const QMetaObject* meta = model.metaObject();
        int checked = 0;
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            QVERIFY2(property.hasNotifySignal(), property.name());
            QSignalSpy spy(&model, property.notifySignal());
            const QVariant changed = otherValue(property.read(&model));
            QVERIFY2(changed.isValid(), property.name());
            QVERIFY(property.write(&model, property.read(&model)));
            QCOMPARE(spy.count(), 0);
            QVERIFY(property.write(&model, changed));
            QCOMPARE(spy.count(), 1);
            QVERIFY(property.write(&model, changed));
            QVERIFY2(spy.count() == 1, property.name());
            ++checked;
        }
        QCOMPARE(checked, 22);

        // The ones that are not QML properties behave the same.
        QSignalSpy segments(&model, &VideoEditModel::captionSegmentsChanged);
        model.setCaptionSegments({{"hello", 0.5, 0.4}});
        model.setCaptionSegments({{"hello", 0.5, 0.4}});
        QCOMPARE(segments.count(), 1);
        QSignalSpy style(&model, &VideoEditModel::captionStyleChanged);
        model.setCaptionStyle(CaptionStyle::tiktok);
        model.setCaptionStyle(CaptionStyle::bubble);
        QCOMPARE(style.count(), 1);
    }

    void trimRangeIsNeverShorterThanATenth() {
        VideoEditModel model(recording(path("landscape.mp4"), 4.0));
        model.setTrimStart(1.5);
        model.setTrimEnd(3.25);
        QCOMPARE(model.trimRange(), (MediaTimeRange{{900, 600}, {1950, 600}}));
        model.setTrimEnd(1.52);
        QCOMPARE(model.trimRange(), (MediaTimeRange{{900, 600}, {960, 600}}));
        model.setTrimEnd(0.5);
        QCOMPARE(model.trimRange().durationSeconds(), 0.1);
    }

    void effectOptionsFollowTheSwitches() {
        VideoEditModel model(recording(path("landscape.mp4"), 4.0));
        model.setHookText("Three lessons");
        model.setEffectPunchIn(false);
        model.setCaptionStyle(CaptionStyle::bubble);
        EffectOptions options = model.effectOptions();
        QCOMPARE(options.hookText, u"Three lessons"_s);
        QVERIFY(!options.punchIn);
        QVERIFY(options.fades && options.kenBurns && options.jumpCuts);
        QCOMPARE(options.captionStyle, CaptionStyle::bubble);
        model.setEffectHook(false);
        QVERIFY(model.effectOptions().hookText.isEmpty());
    }

    void loadGivesUprightSizeAndFilmstrip_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QSize>("thumbnail");
        QTest::newRow("landscape") << "landscape.mp4" << QSizeF(320, 240) << QSize(160, 120);
        QTest::newRow("portrait") << "portrait.mp4" << QSizeF(240, 320) << QSize(120, 160);
    }
    void loadGivesUprightSizeAndFilmstrip() {
        QFETCH(QString, file);
        QFETCH(QSizeF, size);
        QFETCH(QSize, thumbnail);
        VideoEditModel model(recording(path(file), 4.0));
        QSignalSpy filmstrip(&model, &VideoEditModel::filmstripChanged);
        QCoro::waitFor(model.load());
        QCOMPARE(model.videoSize(), size);
        QVERIFY(model.loadError().isNull());
        QVERIFY(model.filmstripTask() != nullptr);
        QVERIFY(filmstrip.wait(30000));
        QCOMPARE(filmstrip.count(), 1);
        QCOMPARE(model.filmstrip().size(), VideoEditModel::filmstripFrameCount);
        for (const QImage& image : model.filmstrip()) {
            QCOMPARE(image.size(), thumbnail);
        }
        // testsrc draws a moving pattern: frames from different slices differ.
        QVERIFY(model.filmstrip().first() != model.filmstrip().last());

        // A second load keeps what is there.
        QCoro::waitFor(model.load());
        settle();
        QCOMPARE(filmstrip.count(), 1);
    }

    void replacedGenerationNeverAssigns() {
        VideoEditModel model(recording(path("landscape.mp4"), 4.0));
        QSignalSpy filmstrip(&model, &VideoEditModel::filmstripChanged);
        model.generateFilmstrip(24);
        const CancelHandle first = model.filmstripTask();
        model.generateFilmstrip(5);
        QVERIFY(first->isCancelled());
        QVERIFY(!model.filmstripTask()->isCancelled());
        settle();
        QCOMPARE(filmstrip.count(), 1);
        QCOMPARE(model.filmstrip().size(), 5);

        // Replaced after its images are made but before they are delivered.
        model.generateFilmstrip(3);
        QThreadPool::globalInstance()->waitForDone();
        model.generateFilmstrip(4);
        settle();
        QCOMPARE(filmstrip.count(), 2);
        QCOMPARE(model.filmstrip().size(), 4);
    }

    void modelGoneWhileGenerating() {
        auto* model = new VideoEditModel(recording(path("landscape.mp4"), 4.0));
        model->generateFilmstrip(24);
        const CancelHandle task = model->filmstripTask();
        delete model;
        QVERIFY(task->isCancelled());
        settle(); // must not touch the deleted model
    }

    void sourcesWithoutPictures_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("reportsError");
        QTest::newRow("no recording") << QString() << false;
        QTest::newRow("audio only") << "voice.wav" << false;
        QTest::newRow("corrupt") << "garbage.mov" << true;
        QTest::newRow("deleted") << "gone.mov" << true;
    }
    void sourcesWithoutPictures() {
        QFETCH(QString, file);
        QFETCH(bool, reportsError);
        VideoEditModel model(recording(file.isEmpty() ? QString() : path(file), 2.0));
        QCoro::waitFor(model.load());
        settle();
        QVERIFY(!model.videoSize().isValid());
        QVERIFY(model.filmstrip().isEmpty());
        QCOMPARE(!model.loadError().isEmpty(), reportsError);
    }
};

QTEST_GUILESS_MAIN(TestVideoEditModel)
#include "tst_videoeditmodel.moc"
