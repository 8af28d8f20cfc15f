#include "mediafixtures.h"
#include "platform/pcmreader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

using namespace tolvane;

namespace {

struct Decoded {
    int sampleRate = 0;
    int channels = 0;
    QList<qint16> samples; // interleaved
    int emptyBuffers = 0;
};

Decoded readAll(const QString& file, double start, double end, PcmFormat format) {
    Decoded out;
    auto reader = PcmReader::create(MediaAsset(file));
    if (!reader) {
        qWarning() << reader.error().description;
        return out;
    }
    if (auto started = (*reader)->start(MediaTimeRange::fromSeconds(start, end), format);
        !started) {
        qWarning() << started.error().description;
        return out;
    }
    PcmBuffer buffer;
    for (;;) {
        auto more = (*reader)->read(buffer);
        if (!more || !*more) {
            break;
        }
        if (buffer.data.isEmpty()) {
            ++out.emptyBuffers;
        }
        out.sampleRate = buffer.sampleRate;
        out.channels = buffer.channels;
        const qsizetype count = buffer.data.size() / 2;
        const qsizetype at = out.samples.size();
        out.samples.resize(at + count);
        std::memcpy(out.samples.data() + at, buffer.data.constData(), size_t(count) * 2);
    }
    return out;
}

// Root mean square of one channel over [from, to) frames.
double rms(const Decoded& d, int channel, qsizetype from, qsizetype to) {
    double sum = 0;
    qsizetype n = 0;
    for (qsizetype f = from; f < to; ++f) {
        const double x = d.samples.at(f * d.channels + channel);
        sum += x * x;
        ++n;
    }
    return n ? std::sqrt(sum / n) : 0.0;
}

} // namespace

class TestPcmReader : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // Tone from 1.0 s to 2.0 s in the left channel only; the right is silent.
        const QString expr = test::toneExpression({{1.0, 2.0}});
        const QStringList stereo{"-f", "lavfi", "-i", u"aevalsrc='%1|0':s=48000:d=3"_s.arg(expr)};
        QVERIFY(test::makeMedia(path("stereo.wav"), stereo));
        QVERIFY(test::makeMedia(path("stereo.m4a"), stereo + QStringList{"-c:a", "aac"}));
        QVERIFY(test::makeMedia(path("tone44.mov"), test::toneInput({{0, 3}}, 3, 44100) +
                                                        QStringList{"-c:a", "pcm_s16le"}));
        QVERIFY(test::makeMedia(path("video.mkv"),
                                {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:d=1"}));
        QFile truncated(path("stereo.m4a"));
        QVERIFY(truncated.open(QIODevice::ReadOnly));
        QFile half(path("half.m4a"));
        QVERIFY(half.open(QIODevice::WriteOnly));
        half.write(truncated.read(truncated.size() / 2));
    }

    // Exact lengths matter: the WAV images handed to transcription are sized by
    // them and captions are timed against them.
    void deliversExactlyTheRange_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("expectedRate");
        QTest::addColumn<int>("expectedChannels");
        QTest::newRow("native pcm") << "stereo.wav" << 0.0 << 1.0 << 0 << 0 << 48000 << 2;
        QTest::newRow("16k mono pcm") << "stereo.wav" << 0.5 << 1.5 << 16000 << 1 << 16000 << 1;
        QTest::newRow("16k mono aac") << "stereo.m4a" << 1.25 << 2.25 << 16000 << 1 << 16000 << 1;
        QTest::newRow("native aac") << "stereo.m4a" << 0.3 << 0.8 << 0 << 0 << 48000 << 2;
        QTest::newRow("44.1k to 16k") << "tone44.mov" << 0.0 << 1.0 << 16000 << 1 << 16000 << 1;
        QTest::newRow("44.1k native") << "tone44.mov" << 0.7 << 1.7 << 0 << 0 << 44100 << 1;
    }
    void deliversExactlyTheRange() {
        QFETCH(QString, file);
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(int, expectedRate);
        QFETCH(int, expectedChannels);
        const Decoded d = readAll(path(file), start, end, PcmFormat{rate, channels});
        QCOMPARE(d.sampleRate, expectedRate);
        QCOMPARE(d.channels, expectedChannels);
        QCOMPARE(d.samples.size(),
                 qsizetype(std::llround((end - start) * expectedRate)) * expectedChannels);
        QCOMPARE(d.emptyBuffers, 0);
    }

    // The samples delivered are those of the requested times, in their channels.
    void samplesLineUpWithTime_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("pcm") << "stereo.wav";
        QTest::newRow("aac") << "stereo.m4a";
    }
    void samplesLineUpWithTime() {
        QFETCH(QString, file);
        const Decoded d = readAll(path(file), 0.5, 2.5, PcmFormat{});
        QCOMPARE(d.channels, 2);
        const qsizetype second = d.sampleRate;
        const qsizetype guard = d.sampleRate / 50; // codec ringing at the edges
        // [0.5, 1.0) silent, [1.0, 2.0) tone on the left, [2.0, 2.5) silent.
        QVERIFY(rms(d, 0, 0, second / 2 - guard) < 100);
        QVERIFY(rms(d, 0, second / 2 + guard, second * 3 / 2 - guard) > 8000);
        QVERIFY(rms(d, 0, second * 3 / 2 + guard, second * 2) < 100);
        QVERIFY(rms(d, 1, 0, second * 2) < 100);

        // Downmixed to mono the tone is still there, at the same place.
        const Decoded mono = readAll(path(file), 0.5, 2.5, PcmFormat{16000, 1});
        QVERIFY(rms(mono, 0, 0, 8000 - 320) < 100);
        QVERIFY(rms(mono, 0, 8000 + 320, 24000 - 320) > 3000);
    }

    // AAC pads its last packet; the padding is not audio of the recording.
    void rangeBeyondTheEndStopsAtTheEnd_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("pcm") << "stereo.wav";
        QTest::newRow("aac") << "stereo.m4a";
    }
    void rangeBeyondTheEndStopsAtTheEnd() {
        QFETCH(QString, file);
        const Decoded d = readAll(path(file), 2.5, 10.0, PcmFormat{16000, 1});
        QCOMPARE(d.samples.size(), 8000);
    }

    void fileWithoutAudio() {
        auto reader = PcmReader::create(MediaAsset(path("video.mkv")));
        QVERIFY(reader);
        QVERIFY(!(*reader)->hasAudio());
        auto started = (*reader)->start(MediaTimeRange::fromSeconds(0, 1), PcmFormat{});
        QVERIFY(!started);
        QVERIFY(!started.error().description.isEmpty());
    }

    void truncatedFileFailsCleanly() {
        // The index of an mp4 sits at its end; half a file cannot be opened.
        auto reader = PcmReader::create(MediaAsset(path("half.m4a")));
        QVERIFY(!reader);
        QVERIFY(!reader.error().description.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPcmReader)
#include "tst_pcmreader.moc"
