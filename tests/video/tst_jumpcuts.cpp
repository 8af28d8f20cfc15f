#include "awaittask.h"
#include "mediafixtures.h"
#include "video/jumpcuts.h"
#include "video/loudnessmeter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;

using Ranges = QList<JumpCuts::Range>;
Q_DECLARE_METATYPE(Ranges)

namespace {

constexpr double margin = JumpCuts::defaultMargin;
constexpr double tick = 1.0 / 600;

Ranges seconds(const QList<MediaTimeRange>& ranges) {
    Ranges out;
    for (const MediaTimeRange& r : ranges) {
        out.append({r.startSeconds(), r.endSeconds()});
    }
    return out;
}

QString describe(const Ranges& ranges) {
    QStringList parts;
    for (const auto& r : ranges) {
        parts << u"[%1, %2]"_s.arg(r.start).arg(r.end);
    }
    return parts.join(QLatin1Char(' '));
}

bool sameRanges(const Ranges& actual, const Ranges& expected) {
    if (actual.size() != expected.size()) {
        return false;
    }
    for (qsizetype i = 0; i < actual.size(); ++i) {
        if (qAbs(actual[i].start - expected[i].start) > tick ||
            qAbs(actual[i].end - expected[i].end) > tick) {
            return false;
        }
    }
    return true;
}

} // namespace

class TestJumpCuts : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    Ranges analyse(const QString& file, double start, double end) {
        auto ranges = JumpCuts::speechRangesBlocking(MediaAsset(path(file)),
                                                     MediaTimeRange::fromSeconds(start, end));
        if (!ranges) {
            qWarning() << ranges.error().description;
            return {};
        }
        return seconds(*ranges);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        using test::Burst;
        const QList<std::pair<QString, QList<Burst>>> clips{
            {"pause05.wav", {{0.5, 1.5}, {2.0, 3.0}}},
            {"pause1.wav", {{0.5, 1.5}, {2.5, 3.5}}},
            // A lone 0.05 s window, then a phrase; twice, with the lone window at
            // the start and in the middle.
            {"blipstart.wav", {{0.0, 0.05}, {1.5, 2.0}}},
            {"blipmiddle.wav", {{1.0, 1.05}, {2.0, 2.5}}},
            {"toend.wav", {{0.5, 1.0}, {2.0, 3.0}}},
        };
        for (const auto& [name, bursts] : clips) {
            const double length = name == "toend.wav" ? 3.0 : 4.0;
            QVERIFY(test::makeMedia(path(name), test::toneInput(bursts, length)));
        }
        QVERIFY(test::makeMedia(path("noise.wav"),
                                {"-f", "lavfi", "-i", "anoisesrc=d=3:c=white:a=0.5"}));
        QVERIFY(test::makeMedia(path("silence.wav"), test::toneInput({}, 3)));
        QVERIFY(test::makeMedia(
            path("stereo.mov"),
            {"-f", "lavfi", "-i",
             u"aevalsrc='%1|%1':s=44100:d=4"_s.arg(test::toneExpression({{0.5, 1.5}, {2.5, 3.5}})),
             "-c:a", "pcm_s16le"}));
        QVERIFY(test::makeMedia(path("video.mp4"),
                                {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:d=2", "-c:v",
                                 "libx264", "-preset", "ultrafast"}));
        QFile garbage(path("garbage.mov"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(3000, '\x42'));
    }

    void pausesAndPhrases_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<Ranges>("expected");
        // 0.5 s apart the widened phrases are 0.26 s apart: below the minimum gap.
        QTest::newRow("short pause stays")
            << "pause05.wav" << 0.0 << 4.0 << Ranges{{0.5 - margin, 3.0 + margin}};
        // 1 s apart: 0.76 s is cut, 0.12 s of pause stays on each side.
        QTest::newRow("long pause shrinks")
            << "pause1.wav" << 0.0 << 4.0
            << Ranges{{0.5 - margin, 1.5 + margin}, {2.5 - margin, 3.5 + margin}};
        QTest::newRow("stereo 44.1 kHz")
            << "stereo.mov" << 0.0 << 4.0
            << Ranges{{0.5 - margin, 1.5 + margin}, {2.5 - margin, 3.5 + margin}};
        // Windows are counted from the start of the range, not of the file.
        QTest::newRow("inner range")
            << "pause1.wav" << 0.25 << 3.75
            << Ranges{{0.5 - margin, 1.5 + margin}, {2.5 - margin, 3.5 + margin}};
        // Widening stops at the range: 0.17 s is too short and goes.
        QTest::newRow("blip at start dropped")
            << "blipstart.wav" << 0.0 << 4.0 << Ranges{{1.5 - margin, 2.0 + margin}};
        // In the middle it widens to 0.29 s and stays.
        QTest::newRow("blip in middle kept")
            << "blipmiddle.wav" << 0.0 << 4.0
            << Ranges{{1.0 - margin, 1.05 + margin}, {2.0 - margin, 2.5 + margin}};
        // Speech to the very end is clipped to the range.
        QTest::newRow("speech to the end")
            << "toend.wav" << 0.0 << 2.8
            << Ranges{{0.5 - margin, 1.0 + margin}, {2.0 - margin, 2.8}};
    }
    void pausesAndPhrases() {
        QFETCH(QString, file);
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(Ranges, expected);
        const Ranges actual = analyse(file, start, end);
        QVERIFY2(sameRanges(actual, expected),
                 qPrintable(describe(actual) + " != " + describe(expected)));
    }

    void keepsEverythingWhenItCannotJudge_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("uniform noise") << "noise.wav";
        QTest::newRow("silence only") << "silence.wav";
        QTest::newRow("no audio track") << "video.mp4";
    }
    void keepsEverythingWhenItCannotJudge() {
        QFETCH(QString, file);
        const Ranges actual = analyse(file, 0.0, 2.0);
        QVERIFY2(sameRanges(actual, {{0.0, 2.0}}), qPrintable(describe(actual)));
    }

    void decisionRules_data() {
        QTest::addColumn<QList<double>>("loudness");
        QTest::addColumn<Ranges>("expected");
        const double quiet = -60, loud = -10;
        QList<double> four{quiet, loud, loud, quiet};
        QTest::newRow("fewer than 5 windows") << four << Ranges{{0, 1}};
        // Exactly 8 dB of contrast is not enough.
        QList<double> flat(20, quiet);
        for (int i = 8; i < 14; ++i) {
            flat[i] = quiet + 8;
        }
        QTest::newRow("8 dB contrast") << flat << Ranges{{0, 1}};
        // Just above it cuts: windows 8..13 are speech, [0.4, 0.7] widened.
        QList<double> enough = flat;
        for (int i = 8; i < 14; ++i) {
            enough[i] = quiet + 8.5;
        }
        QTest::newRow("8.5 dB contrast") << enough << Ranges{{0.4 - margin, 0.7 + margin}};
    }
    void decisionRules() {
        QFETCH(QList<double>, loudness);
        QFETCH(Ranges, expected);
        const double end = 0.05 * loudness.size();
        const Ranges actual = JumpCuts::keptRanges(loudness, 0.0, end > 0.5 ? end : 1.0, 0.05,
                                                   JumpCuts::defaultMinGap, margin);
        QVERIFY2(sameRanges(actual, expected), qPrintable(describe(actual)));
    }

    void loudnessScale() {
        LoudnessMeter meter;
        meter.setWindowSamples(4);
        const qint16 fullSquare[] = {32767, -32768, 32767, -32768};
        const qint16 silence[] = {0, 0, 0, 0, 0, 0};
        meter.addSamples(fullSquare, 4);
        meter.addSamples(silence, 6); // one window and a partial one
        meter.finish();
        QCOMPARE(meter.values().size(), 3);
        QVERIFY(qAbs(meter.values()[0]) < 0.001);
        QCOMPARE(meter.values()[1], -120.0);
        QCOMPARE(meter.values()[2], -120.0);
    }

    void failures() {
        auto garbage = JumpCuts::speechRangesBlocking(MediaAsset(path("garbage.mov")),
                                                      MediaTimeRange::fromSeconds(0, 1));
        QVERIFY(!garbage);
        QVERIFY(!garbage.error().description.isEmpty());

        const CancelHandle task = CancelToken::create();
        task->cancel();
        auto cancelled = test::awaitTask(JumpCuts::speechRanges(MediaAsset(path("pause1.wav")),
                                                                MediaTimeRange::fromSeconds(0, 4),
                                                                0.05, 0.6, 0.12, task));
        QVERIFY(!cancelled);
        QVERIFY(cancelled.error().isCancelled());

        auto async = test::awaitTask(JumpCuts::speechRanges(MediaAsset(path("pause1.wav")),
                                                            MediaTimeRange::fromSeconds(0, 4)));
        QVERIFY(async);
        QCOMPARE(seconds(*async), analyse("pause1.wav", 0, 4));
    }
};

QTEST_GUILESS_MAIN(TestJumpCuts)
#include "tst_jumpcuts.moc"
