#include "recording/voicerecorder.h"

#include "awaittask.h"
#include "scratchfs.h"
#include "speechfixtures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cmath>

using namespace Qt::StringLiterals;

using namespace tolvane;

namespace {

// A sine at half of full scale: -6 dBFS.
const QString halfScaleSine = u"lavfi:aevalsrc=0.5*sin(2*PI*440*t):s=16000"_s;

QStringList dictationFiles() {
    return QDir(QDir::tempPath()).entryList({VoiceRecorder::filePrefix + u"*"_s}, QDir::Files);
}

// Sets TMPDIR for the scope of a test.
struct TempDirScope {
    QByteArray saved = qgetenv("TMPDIR");
    explicit TempDirScope(const QString& dir) { qputenv("TMPDIR", QFile::encodeName(dir)); }
    ~TempDirScope() { qputenv("TMPDIR", saved); }
};

} // namespace

class TestVoiceRecorder : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;

private Q_SLOTS:
    void initTestCase() {
        // A temporary folder of our own, so no other program's files count.
        QVERIFY(m_tmp.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
        QCOMPARE(QDir::tempPath(), QDir(m_tmp.path()).canonicalPath());
    }

    void levelFollowsTheInput_data() {
        QTest::addColumn<QString>("microphone");
        QTest::addColumn<double>("level");
        QTest::newRow("-6 dBFS sine") << halfScaleSine << 0.5;
        // A stereo device at 48 kHz, as PulseAudio delivers: resampled and
        // mixed down without changing the level.
        QTest::newRow("-6 dBFS stereo 48 kHz")
            << "lavfi:aevalsrc=0.5*sin(2*PI*440*t)|0.5*sin(2*PI*440*t):s=48000" << 0.5;
        QTest::newRow("-40 dBFS sine") << "lavfi:aevalsrc=0.01*sin(2*PI*440*t):s=16000" << 0.01;
        // Silence reads as the floor, not as idle.
        QTest::newRow("silence") << "lavfi:anullsrc=r=16000:cl=mono" << 0.001;
        QTest::newRow("-70 dBFS is below the floor")
            << "lavfi:aevalsrc=0.000316*sin(2*PI*440*t):s=16000" << 0.001;
    }
    void levelFollowsTheInput() {
        QFETCH(QString, microphone);
        QFETCH(double, level);
        VoiceRecorder recorder;
        recorder.setMicrophone(microphone);
        QCOMPARE(recorder.level(), 0.0);
        QVERIFY(test::awaitTask(recorder.start()));
        QVERIFY(recorder.isRecording());
        QTest::qWait(400);
        QVERIFY2(std::abs(recorder.level() - level) <= level * 0.06,
                 qPrintable(QString::number(recorder.level())));
        QVERIFY(recorder.elapsed() >= 0.3);
        const double elapsed = recorder.elapsed();
        const auto bytes = test::awaitTask(recorder.stop());
        QVERIFY(!recorder.isRecording());
        QCOMPARE(recorder.level(), 0.0);
        // The elapsed time stays for the last look at it.
        QVERIFY(recorder.elapsed() >= elapsed);
        QVERIFY(bytes);
        // A 16 kHz mono 16-bit WAV file about as long as the recording ran.
        QVERIFY(bytes->startsWith("RIFF"));
        QCOMPARE(bytes->mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(qFromLittleEndian<quint16>(bytes->constData() + 22), quint16(1));
        QCOMPARE(qFromLittleEndian<quint32>(bytes->constData() + 24), quint32(16000));
        QCOMPARE(qFromLittleEndian<quint16>(bytes->constData() + 34), quint16(16));
        const quint32 data = qFromLittleEndian<quint32>(bytes->constData() + 40);
        QCOMPARE(qsizetype(data) + 44, bytes->size());
        QCOMPARE(qFromLittleEndian<quint32>(bytes->constData() + 4), data + 36);
        const double seconds = double(data) / 32000;
        QVERIFY2(seconds > elapsed - 0.2 && seconds < elapsed + 0.2,
                 qPrintable(u"%1 s written in %2 s"_s.arg(seconds).arg(elapsed)));
        QVERIFY(dictationFiles().isEmpty());
    }

    void startTwiceMakesOneFile() {
        VoiceRecorder recorder;
        recorder.setMicrophone(halfScaleSine);
        // The second press comes while the microphone still opens, the third
        // while it records.
        auto first = recorder.start();
        auto second = recorder.start();
        QVERIFY(test::awaitTask(std::move(first)));
        QVERIFY(test::awaitTask(std::move(second)));
        const QString file = recorder.fileURL();
        QVERIFY(test::awaitTask(recorder.start()));
        QCOMPARE(recorder.fileURL(), file);
        QCOMPARE(dictationFiles(), QStringList{QFileInfo(file).fileName()});
        QVERIFY(QFileInfo(file).fileName().endsWith(u".wav"_s));
        recorder.cancel();
    }

    void stopWithoutStartGivesNothing() {
        VoiceRecorder recorder;
        QVERIFY(!test::awaitTask(recorder.stop()));
        QVERIFY(!recorder.isRecording());
        QCOMPARE(recorder.level(), 0.0);
        QCOMPARE(recorder.lastError(), QString());
    }

    void cancelLeavesNoFile() {
        VoiceRecorder recorder;
        recorder.setMicrophone(halfScaleSine);
        QVERIFY(test::awaitTask(recorder.start()));
        QTest::qWait(200);
        const QString file = recorder.fileURL();
        QVERIFY(QFileInfo(file).size() > 44);
        recorder.cancel();
        QVERIFY(!recorder.isRecording());
        QCOMPARE(recorder.level(), 0.0);
        QCOMPARE(dictationFiles(), QStringList());
        // Nor does the finishing recorder bring it back.
        QTest::qWait(300);
        QCOMPARE(dictationFiles(), QStringList());
        QVERIFY(!test::awaitTask(recorder.stop()));
    }

    void cancelWhileOpening() {
        VoiceRecorder recorder;
        recorder.setMicrophone(halfScaleSine);
        auto starting = recorder.start();
        recorder.cancel();
        QVERIFY(!test::awaitTask(std::move(starting)));
        QVERIFY(!recorder.isRecording());
        QCOMPARE(recorder.lastError(), QString());
        QTest::qWait(200);
        QCOMPARE(dictationFiles(), QStringList());
    }

    void unopenableMicrophone_data() {
        QTest::addColumn<QString>("microphone");
        QTest::newRow("no such ALSA device") << "alsa:tolvane-no-such-device";
        QTest::newRow("a graph without sound") << "lavfi:testsrc=size=32x32:rate=5";
        QTest::newRow("a missing file") << m_tmp.filePath("no-such-microphone.wav");
    }
    void unopenableMicrophone() {
        QFETCH(QString, microphone);
        VoiceRecorder recorder;
        recorder.setMicrophone(microphone);
        QVERIFY(!test::awaitTask(recorder.start()));
        QVERIFY(!recorder.isRecording());
        QCOMPARE(recorder.lastError(), VoiceRecorder::microphoneFailure);
        QCOMPARE(recorder.fileURL(), QString());
        QCOMPARE(dictationFiles(), QStringList());
    }

    // A device that opens but never delivers: only a header would be written.
    void silentDeviceGivesNothing() {
        const QString empty = m_tmp.filePath(u"empty.wav"_s);
        QVERIFY(test::writeWav(empty, QByteArray()));
        VoiceRecorder recorder;
        recorder.setMicrophone(empty);
        QVERIFY(test::awaitTask(recorder.start()));
        QTest::qWait(150);
        QVERIFY(!test::awaitTask(recorder.stop()));
        QCOMPARE(recorder.lastError(), QString());
        QCOMPARE(dictationFiles(), QStringList());
    }

    void unwritableTemporaryFolder() {
        QTemporaryDir folder;
        if (const QString why = scratchfs::mountTmpfs(folder.path(), 64); !why.isEmpty()) {
            QSKIP(qPrintable("needs a small file system: " + why));
        }
        QCOMPARE(scratchfs::setReadOnly(folder.path(), true), QString());
        {
            TempDirScope scope(folder.path());
            VoiceRecorder recorder;
            recorder.setMicrophone(halfScaleSine);
            QVERIFY(!test::awaitTask(recorder.start()));
            QVERIFY(recorder.lastError().startsWith(u"Couldn't start recording: "_s));
            QVERIFY(!recorder.isRecording());
            QCOMPARE(dictationFiles(), QStringList());
        }
        scratchfs::unmount(folder.path());
    }

    void diskFillsWhileRecording() {
        QTemporaryDir folder;
        // Room for about a second of sound.
        if (const QString why = scratchfs::mountTmpfs(folder.path(), 32); !why.isEmpty()) {
            QSKIP(qPrintable("needs a small file system: " + why));
        }
        {
            TempDirScope scope(folder.path());
            VoiceRecorder recorder;
            recorder.setMicrophone(halfScaleSine);
            QVERIFY(test::awaitTask(recorder.start()));
            QTest::qWait(1600);
            QVERIFY(!test::awaitTask(recorder.stop()));
            QVERIFY2(recorder.lastError().startsWith(u"Couldn't save the recording: "_s),
                     qPrintable(recorder.lastError()));
            QCOMPARE(dictationFiles(), QStringList());
        }
        scratchfs::unmount(folder.path());
    }
};

int main(int argc, char** argv) {
    scratchfs::enterPrivateMounts();
    QCoreApplication app(argc, argv);
    TestVoiceRecorder test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_voicerecorder.moc"
