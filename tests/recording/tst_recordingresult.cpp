#include "recording/capturemode.h"
#include "recording/recordingresult.h"
#include "recording/recordingsdirectory.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;

class TestRecordingResult : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void captureModeFromText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("mode"); // -1: none
        QTest::newRow("camera") << "camera" << int(CaptureMode::camera);
        QTest::newRow("screen") << "screen" << int(CaptureMode::screen);
        QTest::newRow("combo") << "combo" << int(CaptureMode::combo);
        QTest::newRow("capital") << "Camera" << -1;
        QTest::newRow("padded") << " camera" << -1;
        QTest::newRow("empty") << "" << -1;
    }
    void captureModeFromText() {
        QFETCH(QString, text);
        QFETCH(int, mode);
        const auto parsed = tolvane::captureModeFromText(text);
        QCOMPARE(parsed.has_value(), mode >= 0);
        if (parsed) {
            QCOMPARE(int(*parsed), mode);
            QCOMPARE(captureModeText(*parsed), text);
        }
    }

    // Clean-up removes the camera and screen recordings and nothing else, also
    // when it runs again after they are gone.
    void cleanupDeletesOnlyTheRecordingFiles() {
        QTemporaryDir dir;
        const QString camera = dir.filePath("cam.mov");
        const QString screen = dir.filePath("screen.mov");
        const QString exported = dir.filePath("short.mp4");
        for (const QString& name : {camera, screen, exported}) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        RecordingResult result;
        result.cameraURL = QUrl::fromLocalFile(camera);
        result.screenURL = QUrl::fromLocalFile(screen);
        result.duration = 3;
        result.cleanup();
        QVERIFY(!QFile::exists(camera));
        QVERIFY(!QFile::exists(screen));
        QVERIFY(QFile::exists(exported));
        result.cleanup();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"short.mp4"});
    }

    void recordingsDirectoryIsRecreated() {
        QTemporaryDir temp;
        const QByteArray previous = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        const QString expected = QDir(temp.path()).filePath("tolvane-video");
        QCOMPARE(recordingsDirectory().toLocalFile(), expected);
        QVERIFY(QDir(expected).exists());
        QVERIFY(QDir(expected).removeRecursively());
        QCOMPARE(recordingsDirectory().toLocalFile(), expected);
        QVERIFY(QDir(expected).exists());

        const QString file = newRecordingFile("tolvane-cam", ".mov").toLocalFile();
        QCOMPARE(QFileInfo(file).absolutePath(), expected);
        static const QRegularExpression pattern(
            "^tolvane-cam-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.mov$");
        QVERIFY2(pattern.match(QFileInfo(file).fileName()).hasMatch(), qPrintable(file));
        qputenv("TMPDIR", previous);
    }
};

QTEST_GUILESS_MAIN(TestRecordingResult)
#include "tst_recordingresult.moc"
