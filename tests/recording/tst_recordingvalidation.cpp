#include "awaittask.h"
#include "mediafixtures.h"
#include "recording/recordingvalidation.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace Qt::StringLiterals;

using namespace tolvane;
using namespace std::chrono_literals;

namespace {

const QString empty = u"The recording file was empty. Please try recording again."_s;
const QString noVideo = u"The recording did not contain a video track. Please try again."_s;
const QString unreadableDuration = u"The recording duration was not readable. Please try again."_s;
const QString tooSlow = u"The recording file did not become readable in time. Please try again."_s;

// Loading that reports a video track of the given duration.
RecordingValidationOptions withDuration(double seconds) {
    RecordingValidationOptions options;
    options.load = [seconds](const QString&) -> Expected<AssetInfo, MediaError> {
        AssetInfo info;
        info.duration = seconds;
        info.videoTracks.append(VideoTrackInfo{});
        return info;
    };
    return options;
}

} // namespace

class TestRecordingValidation : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString fileOfSize(qint64 size) {
        const QString path = m_dir.filePath(u"f%1.mov"_s.arg(size));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(QByteArray(size, 'x'));
        }
        return path;
    }

private Q_SLOTS:
    void sizeAndDuration_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<double>("duration");
        QTest::addColumn<QString>("error");
        QTest::newRow("1024 bytes") << qint64(1024) << 5.0 << empty;
        QTest::newRow("1025 bytes") << qint64(1025) << 5.0 << QString();
        QTest::newRow("exactly 0.1 s") << qint64(4096) << 0.1 << unreadableDuration;
        QTest::newRow("just above 0.1 s") << qint64(4096) << 0.1001 << QString();
        QTest::newRow("infinite") << qint64(4096) << qInf() << unreadableDuration;
        QTest::newRow("not a number") << qint64(4096) << qQNaN() << unreadableDuration;
    }
    void sizeAndDuration() {
        QFETCH(qint64, size);
        QFETCH(double, duration);
        QFETCH(QString, error);
        const auto result =
            test::awaitTask(validateRecording(fileOfSize(size), withDuration(duration)));
        if (error.isEmpty()) {
            QVERIFY(result.hasValue());
            QCOMPARE(result.value(), duration);
        } else {
            QVERIFY(!result.hasValue());
            QCOMPARE(result.error().description(), error);
        }
    }

    void missingFileIsEmpty() {
        const auto result =
            test::awaitTask(validateRecording(m_dir.filePath(u"absent.mov"_s), withDuration(5)));
        QVERIFY(!result.hasValue());
        QCOMPARE(result.error().description(), empty);
    }

    void realFiles_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("picture and sound")
            << QStringList{"-f",   "lavfi", "-i",   "testsrc2=size=320x240:rate=30:duration=1",
                           "-f",   "lavfi", "-i",   "sine=duration=1",
                           "-c:v", "mjpeg", "-c:a", "aac"}
            << QString();
        QTest::newRow("sound only")
            << QStringList{"-f", "lavfi", "-i", "sine=duration=2", "-c:a", "aac"} << noVideo;
    }
    void realFiles() {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        const QString path = m_dir.filePath(u"%1.mov"_s.arg(QTest::currentDataTag()));
        QVERIFY(test::makeMedia(path, args));
        const auto result = test::awaitTask(validateRecording(path));
        if (error.isEmpty()) {
            QVERIFY(result.hasValue());
            QVERIFY(qAbs(result.value() - 1.0) < 0.1);
        } else {
            QVERIFY(!result.hasValue());
            QCOMPARE(result.error().description(), error);
        }
    }

    void aLoadingErrorIsPassedOn() {
        const QString path = fileOfSize(2048); // not a movie
        const auto result = test::awaitTask(validateRecording(path));
        QVERIFY(!result.hasValue());
        QVERIFY(result.error().description() != tooSlow);
        QVERIFY(result.error().description() != empty);
        QVERIFY(!result.error().description().isEmpty());
    }

    void aFileThatNeverBecomesReadableMeetsTheDeadline() {
        RecordingValidationOptions options = withDuration(5);
        auto load = options.load;
        options.load = [load](const QString& path) {
            std::this_thread::sleep_for(1500ms);
            return load(path);
        };
        options.deadline = 200ms;
        QElapsedTimer clock;
        clock.start();
        const auto result = test::awaitTask(validateRecording(fileOfSize(4096), options));
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY(!result.hasValue());
        QCOMPARE(result.error().description(), tooSlow);
    }
};

QTEST_GUILESS_MAIN(TestRecordingValidation)
#include "tst_recordingvalidation.moc"
