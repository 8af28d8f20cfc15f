#include "awaittask.h"
#include "mediafixtures.h"
#include "platform/pcmreader.h"
#include "recording/audioextractor.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <QCoro/QCoroTask>

#include <cmath>

using namespace Qt::StringLiterals;

using namespace tolvane;

namespace {

quint32 le32(const QByteArray& bytes, int at) {
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}
quint16 le16(const QByteArray& bytes, int at) {
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

double rms(const QByteArray& samples, qsizetype from, qsizetype to) {
    const auto* values = reinterpret_cast<const qint16*>(samples.constData());
    double sum = 0;
    for (qsizetype i = from; i < to; ++i) {
        sum += double(values[i]) * values[i];
    }
    return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

} // namespace

class TestAudioExtractor : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // A camera-like movie: video plus stereo AAC with a tone from 1 s to 2 s.
        QVERIFY(test::makeMedia(
            path("recording.mp4"),
            QStringList{"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:d=3", "-f", "lavfi",
                        "-i",
                        u"aevalsrc='%1|%1':s=44100:d=3"_s.arg(test::toneExpression({{1.0, 2.0}}))} +
                QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"}));
        QVERIFY(test::makeMedia(path("silent.mp4"),
                                {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:d=1", "-c:v",
                                 "libx264", "-preset", "ultrafast"}));
        QFile garbage(path("garbage.mov"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray("\0\0\0\x20"
                                 "ftypqt  ",
                                 12) +
                      QByteArray(2000, '\x11'));
    }

    void oneSecondMakesACanonicalWav() {
        auto wav = AudioExtractor::extractBlocking(MediaAsset(path("recording.mp4")),
                                                   MediaTimeRange::fromSeconds(0.5, 1.5));
        QVERIFY2(wav, wav ? "" : qPrintable(wav.error().description));
        QCOMPARE(wav->size(), 44 + 32000);
        const QByteArray& w = *wav;
        QCOMPARE(w.mid(0, 4), QByteArray("RIFF"));
        QCOMPARE(le32(w, 4), quint32(w.size() - 8));
        QCOMPARE(w.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(le32(w, 16), 16u);
        QCOMPARE(le16(w, 20), quint16(1));
        QCOMPARE(le16(w, 22), quint16(1));
        QCOMPARE(le32(w, 24), 16000u);
        QCOMPARE(le32(w, 28), 32000u);
        QCOMPARE(le16(w, 32), quint16(2));
        QCOMPARE(le16(w, 34), quint16(16));
        QCOMPARE(w.mid(36, 4), QByteArray("data"));
        QCOMPARE(le32(w, 40), 32000u);

        // The samples are those of the range: silence, then the tone from 1 s on.
        const QByteArray samples = w.mid(44);
        QVERIFY(rms(samples, 0, 8000 - 400) < 100);
        QVERIFY(rms(samples, 8000 + 400, 16000) > 3000);

        // And another decoder reads the image back as the same audio.
        QFile file(path("out.wav"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(w);
        file.close();
        auto info = MediaAsset(path("out.wav")).load();
        QVERIFY(info);
        QCOMPARE(info->audioTracks.size(), 1);
        QCOMPARE(info->audioTracks.first().sampleRate, 16000);
        QCOMPARE(info->audioTracks.first().channels, 1);
        QCOMPARE(info->duration, 1.0);
    }

    void videoWithoutSound() {
        auto wav = AudioExtractor::extractBlocking(MediaAsset(path("silent.mp4")),
                                                   MediaTimeRange::fromSeconds(0, 1));
        QVERIFY(!wav);
        QCOMPARE(wav.error().domain, u"AudioExtractor"_s);
        QCOMPARE(wav.error().code, 1);
        QCOMPARE(wav.error().description, u"the recording has no audio track"_s);
    }

    void unreadableFilesFailWithADescription() {
        for (const QString& name : {u"garbage.mov"_s, u"gone.mov"_s}) {
            auto wav = AudioExtractor::extractBlocking(MediaAsset(path(name)),
                                                       MediaTimeRange::fromSeconds(0, 1));
            QVERIFY(!wav);
            QVERIFY(!wav.error().description.isEmpty());
            QVERIFY(wav.error().domain != AudioExtractor::errorDomain);
        }
    }

    void asyncMatchesBlockingAndCancels() {
        const MediaAsset asset(path("recording.mp4"));
        const auto range = MediaTimeRange::fromSeconds(0.2, 2.2);
        auto async = test::awaitTask(AudioExtractor::extract(asset, range));
        auto blocking = AudioExtractor::extractBlocking(asset, range);
        QVERIFY(async && blocking);
        QCOMPARE(*async, *blocking);

        const CancelHandle task = CancelToken::create();
        task->cancel();
        auto cancelled = test::awaitTask(AudioExtractor::extract(asset, range, task));
        QVERIFY(!cancelled);
        QVERIFY(cancelled.error().isCancelled());
    }
};

QTEST_GUILESS_MAIN(TestAudioExtractor)
#include "tst_audioextractor.moc"
