#include "platform/speechsegmenter.h"

#include <QTest>

#include <cmath>
#include <vector>

using namespace Qt::StringLiterals;

using namespace tolvane;
using Span = SpeechSegmenter::Span;

namespace {

constexpr int rate = 16000;

struct Loud {
    double start;
    double end;
    double db; // level of the noise in this stretch, dBFS
};

} // namespace

Q_DECLARE_METATYPE(QList<Loud>)

namespace {

// Noise of `floorDb` everywhere (none below -120) with louder stretches.
std::vector<qint16> clip(double seconds, double floorDb, const QList<Loud>& loud) {
    std::vector<qint16> out(size_t(seconds * rate));
    quint32 seed = 12345;
    for (size_t i = 0; i < out.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double white = (double(seed >> 8) / double(1 << 24)) * 2.0 - 1.0;
        const double t = double(i) / rate;
        double db = floorDb;
        for (const Loud& l : loud) {
            if (t >= l.start && t < l.end) {
                db = l.db;
            }
        }
        const double amplitude =
            db <= -120 ? 0.0 : 32767.0 * std::pow(10.0, db / 20.0) * std::sqrt(3.0);
        out[i] = qint16(std::clamp(white * amplitude, -32768.0, 32767.0));
    }
    return out;
}

} // namespace

class TestSpeechSegmenter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void utterances_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("floorDb");
        QTest::addColumn<QList<Loud>>("loud");
        QTest::addColumn<int>("count");
        QTest::newRow("digital silence") << 3.0 << -200.0 << QList<Loud>() << 0;
        QTest::newRow("only faint noise") << 3.0 << -70.0 << QList<Loud>() << 0;
        QTest::newRow("empty") << 0.0 << -200.0 << QList<Loud>() << 0;
        QTest::newRow("two phrases a second apart")
            << 5.0 << -200.0 << QList<Loud>{{0.5, 1.5, -20}, {2.5, 4.0, -20}} << 2;
        QTest::newRow("a short pause stays inside")
            << 4.0 << -200.0 << QList<Loud>{{0.5, 1.5, -20}, {1.7, 3.0, -20}} << 1;
        QTest::newRow("a click is not speech")
            << 3.0 << -200.0 << QList<Loud>{{1.0, 1.02, -10}} << 0;
        QTest::newRow("phrases over room noise")
            << 5.0 << -50.0 << QList<Loud>{{0.5, 1.5, -18}, {3.0, 4.0, -18}} << 2;
        QTest::newRow("speech to the very end")
            << 2.0 << -200.0 << QList<Loud>{{0.5, 2.0, -20}} << 1;
    }
    void utterances() {
        QFETCH(double, seconds);
        QFETCH(double, floorDb);
        QFETCH(QList<Loud>, loud);
        QFETCH(int, count);
        const auto samples = clip(seconds, floorDb, loud);
        const QList<Span> spans = SpeechSegmenter::utterances(samples, rate);
        QCOMPARE(spans.size(), count);
        qsizetype previous = 0;
        for (const Span& s : spans) {
            QVERIFY(s.begin >= previous);
            QVERIFY(s.end > s.begin);
            QVERIFY(s.end <= qsizetype(samples.size()));
            previous = s.end;
        }
        // Every loud stretch lies wholly inside one utterance.
        for (const Loud& l : loud) {
            if (count == 0) {
                break;
            }
            const auto begin = qsizetype(l.start * rate);
            const auto end = std::min(qsizetype(l.end * rate), qsizetype(samples.size()));
            const bool inside = std::any_of(spans.begin(), spans.end(), [&](const Span& s) {
                return s.begin <= begin && end <= s.end;
            });
            QVERIFY2(inside, qPrintable(u"%1-%2"_s.arg(l.start).arg(l.end)));
        }
    }

    void longSpeechIsSplitAtQuietMoments() {
        // 50 s of talk with a brief dip every 3 s, too short to end an
        // utterance on its own.
        QList<Loud> loud;
        for (double t = 0.0; t < 50.0; t += 3.0) {
            loud << Loud{t, t + 2.8, -20};
            loud << Loud{t + 2.8, t + 3.0, -35};
        }
        const auto samples = clip(50.0, -200.0, loud);
        const QList<Span> spans = SpeechSegmenter::utterances(samples, rate, 20.0);
        QVERIFY(spans.size() >= 3);
        for (qsizetype i = 0; i < spans.size(); ++i) {
            QVERIFY(spans.at(i).end - spans.at(i).begin <= 20 * rate);
            if (i > 0) {
                // Back to back: nothing of the speech is lost at a split.
                QCOMPARE(spans.at(i).begin, spans.at(i - 1).end);
                // Cut inside a dip, not in the middle of the talk.
                const double at = double(spans.at(i).begin) / rate;
                const double intoCycle = std::fmod(at, 3.0);
                QVERIFY2(intoCycle >= 2.7 || intoCycle <= 0.1, qPrintable(QString::number(at)));
            }
        }
        QCOMPARE(spans.first().begin, 0);
        QCOMPARE(spans.last().end, qsizetype(samples.size()));
    }
};

QTEST_GUILESS_MAIN(TestSpeechSegmenter)
#include "tst_speechsegmenter.moc"
