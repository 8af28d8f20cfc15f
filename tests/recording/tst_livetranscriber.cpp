#include "recording/livetranscriber.h"

#include "speechfixtures.h"

#include <QCoreApplication>
#include <QTest>

#include <QCoro/QCoroTask>

#include <cmath>

using namespace Qt::StringLiterals;
using namespace tolvane;

namespace {

constexpr int rate = SpeechEngine::sampleRate;

// Tone bursts at known times in silence: what was "said" is known exactly.
struct Burst {
    double start;
    double end;
};

QByteArray bursts(const QList<Burst>& list, double total) {
    QByteArray out(qsizetype(total * rate) * 2, '\0');
    auto* samples = reinterpret_cast<qint16*>(out.data());
    const qsizetype count = out.size() / 2;
    for (const Burst& b : list) {
        for (auto i = qsizetype(b.start * rate); i < std::min(count, qsizetype(b.end * rate));
             ++i) {
            samples[i] = qint16(8000 * std::sin(2 * M_PI * 300 * double(i) / rate));
        }
    }
    return out;
}

// Stands in for the engine: one word per burst of sound in what it is handed,
// timed as loud 10 ms frames show it. Counts the samples it decoded.
class BurstEngine : public SpeechEngine {
public:
    explicit BurstEngine(qsizetype* decoded)
        : m_decoded(decoded) {}
    void startInput() override {}
    Expected<QList<SpeechWord>, MediaError> recognize(std::span<const qint16> samples) override {
        *m_decoded += qsizetype(samples.size());
        QList<SpeechWord> words;
        const qsizetype frame = rate / 100;
        bool inside = false;
        for (qsizetype f = 0; (f + 1) * frame <= qsizetype(samples.size()); ++f) {
            int peak = 0;
            for (qsizetype i = f * frame; i < (f + 1) * frame; ++i) {
                peak = std::max(peak, std::abs(int(samples[size_t(i)])));
            }
            const double t = double(f) / 100;
            if (peak > 1000 && !inside) {
                words << SpeechWord{u"w"_s, t, t};
            }
            if (peak > 1000) {
                words.last().end = t + 0.01;
            }
            inside = peak > 1000;
        }
        return words;
    }
    Expected<QList<SpeechWord>, MediaError> align(std::span<const qint16>,
                                                  const QStringList&) override {
        return QList<SpeechWord>{};
    }

private:
    qsizetype* m_decoded;
};

// Feeds `samples` as a microphone would, a quarter of a second at a time,
// letting the worker's answers arrive in between.
void speakInto(LiveTranscriber& live, const QByteArray& samples) {
    const qsizetype chunk = rate / 4 * 2;
    for (qsizetype at = 0; at < samples.size(); at += chunk) {
        live.hear(samples.mid(at, chunk));
        QTest::qWait(5);
    }
}

// Waits until early decoding has reached `seconds`, or a while.
bool decodedPast(LiveTranscriber& live, double seconds) {
    return QTest::qWaitFor([&] { return live.decodedSeconds() >= seconds; }, 10000);
}

} // namespace

class TestLiveTranscriber : public QObject {
    Q_OBJECT
    qsizetype m_decoded = 0;

    SpeechWorker::EngineFactory burstEngine() {
        return [this]() -> Expected<std::unique_ptr<SpeechEngine>, MediaError> {
            return std::unique_ptr<SpeechEngine>(std::make_unique<BurstEngine>(&m_decoded));
        };
    }

private Q_SLOTS:
    void init() { m_decoded = 0; }

    // Sentences closed by a pause are decoded before the stop; at the stop
    // only the rest is. Every burst comes out once, at its true time, whether
    // the stop falls in a pause or in the middle of speech.
    void everyStretchIsDecodedOnceAtItsTime_data() {
        QTest::addColumn<double>("total");
        QTest::newRow("stop after a pause") << 7.0;
        QTest::newRow("stop while speaking") << 6.2;
    }
    void everyStretchIsDecodedOnceAtItsTime() {
        QFETCH(double, total);
        SpeechWorker worker(burstEngine());
        LiveTranscriber live(worker);
        live.begin();
        const QList<Burst> said{{0.5, 1.3}, {2.5, 3.0}, {3.1, 3.6}, {4.8, 5.5}, {6.0, 6.4}};
        const QByteArray samples = bursts(said, total);
        speakInto(live, samples);
        // The first two sentences (the bursts 0.1 s apart make one) are done
        // before the stop.
        QVERIFY(decodedPast(live, 3.6));
        const auto result = QCoro::waitFor(live.finish(samples));
        QVERIFY(result);
        qsizetype expected = 0;
        for (const Burst& b : said) {
            expected += b.start < total ? 1 : 0;
        }
        QCOMPARE(result->segments.size(), expected);
        for (qsizetype i = 0; i < result->segments.size(); ++i) {
            QVERIFY2(std::abs(result->segments.at(i).start - said.at(i).start) < 0.02,
                     qPrintable(u"word %1 at %2"_s.arg(i).arg(result->segments.at(i).start)));
        }
        // No sample of speech went to the engine twice: early looks plus the
        // rest decode about as much as the clip holds, never the clip again.
        QVERIFY2(m_decoded < qsizetype(total * rate),
                 qPrintable(u"%1 samples decoded"_s.arg(m_decoded)));
    }

    // A new recording drops what the last one left, a look still running
    // included; silence alone gives the "nothing recognised" error.
    void beginStartsOverAndQuietIsEmpty() {
        SpeechWorker worker(burstEngine());
        LiveTranscriber live(worker);
        live.begin();
        speakInto(live, bursts({{0.5, 1.0}, {2.0, 2.5}}, 3.5));
        live.begin();
        const QByteArray quiet(rate * 2 * 3, '\0');
        speakInto(live, quiet);
        // Quiet is passed over early, all but its last second.
        QVERIFY(decodedPast(live, 1.9));
        const auto result = QCoro::waitFor(live.finish(quiet));
        QVERIFY(!result);
        QVERIFY(OnDeviceTranscriber::isError(result.error(),
                                             OnDeviceTranscriber::TranscriptionError::empty));

        live.begin();
        const QByteArray one = bursts({{1.0, 1.5}}, 2.0);
        speakInto(live, one);
        const auto again = QCoro::waitFor(live.finish(one));
        QVERIFY(again);
        QCOMPARE(again->segments.size(), 1);
    }

    // The real engine: two flite sentences with a pause between them read
    // the same live as decoded whole, and the first is done before the stop.
    void realSpeechReadsAsTheWholeClip() {
        const QStringList sentences = test::fixtureSentences();
        const auto first = test::speak(u"slt"_s, sentences.at(0));
        const auto second = test::speak(u"slt"_s, sentences.at(1));
        QVERIFY(first && second);
        const QByteArray pause(rate * 2 * 3 / 2, '\0');
        const QByteArray samples = *first + pause + *second + QByteArray(rate * 2 / 2, '\0');
        SpeechWorker worker;
        LiveTranscriber live(worker);
        live.begin();
        speakInto(live, samples);
        // Done up to the pause (flite ends a sentence with some quiet of its own).
        QVERIFY2(decodedPast(live, double(first->size()) / 2 / rate - 0.5),
                 qPrintable(QString::number(live.decodedSeconds())));
        const auto result = QCoro::waitFor(live.finish(samples));
        QVERIFY2(result, qPrintable(result ? QString() : result.error().description));
        auto whole = worker.recognize(samples);
        whole.waitForFinished();
        const auto wholeText = OnDeviceTranscriber::fromRecognized(whole.result());
        QVERIFY(wholeText);
        const QStringList said = test::normalizedWords(sentences.at(0) + u' ' + sentences.at(1));
        const double liveErrors =
            test::wordErrorRate(said, test::normalizedWords(result->transcript));
        const double wholeErrors =
            test::wordErrorRate(said, test::normalizedWords(wholeText->transcript));
        QVERIFY2(liveErrors <= wholeErrors + 0.05,
                 qPrintable(result->transcript + u" | "_s + wholeText->transcript));
    }
};

QTEST_GUILESS_MAIN(TestLiveTranscriber)
#include "tst_livetranscriber.moc"
