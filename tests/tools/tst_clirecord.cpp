#include "mediafixtures.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Runs "tolvane-cli media record" as a user would, with named sources.
class TestCliRecord : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    static QString videoCodec(const QString& movie) {
        QProcess ffprobe;
        ffprobe.start(u"ffprobe"_s, {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                     "stream=codec_name", "-of", "default=nw=1:nk=1", movie});
        ffprobe.waitForFinished(30000);
        return QString::fromUtf8(ffprobe.readAllStandardOutput()).trimmed();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // A webcam-like MJPEG file: played at its own rate and copied as it is.
        QVERIFY(tolvane::test::makeMedia(
            m_dir.filePath("camera.avi"),
            {"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=30:duration=1", "-c:v", "mjpeg"}));
    }

    void record_data() {
        QTest::addColumn<QString>("camera");
        QTest::addColumn<QString>("microphone");
        QTest::addColumn<QString>("codec"); // empty: the devices cannot be opened
        QTest::newRow("virtual sources") << "lavfi:testsrc2=size=320x240:rate=30"
                                         << "lavfi:sine=frequency=440"
                                         << "h264";
        QTest::newRow("mjpeg file copied")
            << m_dir.filePath("camera.avi") << "lavfi:sine=frequency=440"
            << "mjpeg";
        QTest::newRow("missing camera") << "/dev/video-absent"
                                        << "lavfi:sine=frequency=440" << QString();
        QTest::newRow("missing microphone") << "lavfi:testsrc2=size=320x240:rate=30"
                                            << "alsa:no-such-card" << QString();
    }
    void record() {
        QFETCH(QString, camera);
        QFETCH(QString, microphone);
        QFETCH(QString, codec);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TOLVANE_CAMERA", camera);
        env.insert("TOLVANE_MICROPHONE", microphone);
        env.insert("TMPDIR", m_dir.path());
        process.setProcessEnvironment(env);
        const QString out = m_dir.filePath(QTest::currentDataTag());
        process.start(QStringLiteral(TOLVANE_CLI_PATH),
                      {"media", "record", out, "--seconds", "1.5"});
        QVERIFY(process.waitForFinished(60000));
        const QJsonObject line =
            QJsonDocument::fromJson(process.readAllStandardOutput().trimmed()).object();
        if (codec.isEmpty()) {
            QCOMPARE(process.exitCode(), 1);
            QVERIFY(line.value("error").toString().startsWith("Couldn't open the camera"));
            return;
        }
        QCOMPARE(process.exitCode(), 0);
        const QString file = line.value("file").toString();
        QVERIFY(QFileInfo(file).absolutePath() == QFileInfo(out).absoluteFilePath());
        QVERIFY(QFileInfo(file).fileName().startsWith("tolvane-cam-"));
        QVERIFY(line.value("duration").toDouble() >= 1.4);
        QCOMPARE(videoCodec(file), codec);
    }
};

QTEST_GUILESS_MAIN(TestCliRecord)
#include "tst_clirecord.moc"
