#include "platform/speechworker.h"
#include "recording/ondevicetranscriber.h"

#include "awaittask.h"
#include "mediafixtures.h"
#include "speechfixtures.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;
using namespace tolvane::OnDeviceTranscriber;
using test::SpeechFixture;

Q_DECLARE_METATYPE(QList<Segment>)

namespace {

// Measured on this engine: flite sentences 7-9 % word errors per voice, the
// five librivox clips 28 %, spliced words 11-34 %; word times 15-25 ms off at
// the median. The bounds leave room for an odd word, not for a broken pipeline.
constexpr double fliteWerBound = 0.20;
constexpr double realWerBound = 0.35;
constexpr double timingMedianBound = 0.050;
// A word next to one the dictionary lacks: a short word like "a" may lose a few
// frames to its unknown neighbour, but must not move into its sound (that was a
// second off before unknown words got a model of their own).
constexpr double neighbourBound = 0.100;
// Words spoken one by one and spliced are harder than sentences: no
// coarticulation for the language model to lean on.
constexpr double splicedWerBound = 0.40;

// Gaps after the words, cycling: shorter and longer than a sentence pause.
QList<double> gapsFor(qsizetype count) {
    const QList<double> cycle{0.12, 0.25, 0.4, 0.15, 0.8};
    QList<double> out;
    for (qsizetype i = 0; i < count; ++i) {
        out << cycle.at(i % cycle.size());
    }
    return out;
}

struct Scored {
    double wer = 0.0;
    QList<double> errors; // start and end errors of the matched words, seconds
};

Scored score(const SpeechFixture& fixture, const QList<Segment>& segments) {
    QStringList reference;
    for (const auto& w : fixture.words) {
        reference << w.text.toLower();
    }
    QStringList hypothesis;
    for (const Segment& s : segments) {
        hypothesis << test::normalizedWords(s.text).join(u' ');
    }
    Scored out;
    out.wer = test::wordErrorRate(reference, hypothesis);
    for (const auto& [r, h] : test::matchedWords(reference, hypothesis)) {
        const Segment& s = segments.at(h);
        out.errors << std::abs(s.start - fixture.words.at(r).start)
                   << std::abs(s.start + s.duration - fixture.words.at(r).end);
    }
    return out;
}

} // namespace

class TestOnDeviceTranscriber : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString wavOf(const SpeechFixture& fixture, const QString& name) {
        const QString path = m_dir.filePath(name);
        test::writeWav(path, fixture.samples);
        return path;
    }

private Q_SLOTS:
    void locales_data() {
        QTest::addColumn<QString>("requested");
        QTest::addColumn<QStringList>("supported");
        QTest::addColumn<QString>("chosen"); // empty: none
        const QStringList usFr{"en-US", "fr-FR"};
        QTest::newRow("same language through the language rule") << "en-GB" << usFr << "en-US";
        QTest::newRow("other language ends at en-US") << "de-DE" << usFr << "en-US";
        QTest::newRow("pt-BR takes pt-PT") << "pt-BR" << QStringList{"pt-PT", "en-US"} << "pt-PT";
        QTest::newRow("exact match first") << "fr-FR" << QStringList{"fr-CA", "fr-FR"} << "fr-FR";
        QTest::newRow("underscore form reads the same") << "fr_FR" << usFr << "fr-FR";
        QTest::newRow("any English when en-US is missing")
            << "de-DE" << QStringList{"fr-FR", "en-AU"} << "en-AU";
        QTest::newRow("no fit") << "de-DE" << QStringList{"fr-FR", "es-ES"} << "";
        QTest::newRow("empty list") << "en-US" << QStringList() << "";
        QTest::newRow("C locale has no language") << "C" << usFr << "en-US";
        QTest::newRow("this engine: every request ends at en-US")
            << "ja-JP" << supportedLocales() << "en-US";
    }
    void locales() {
        QFETCH(QString, requested);
        QFETCH(QStringList, supported);
        QFETCH(QString, chosen);
        QCOMPARE(chooseLocale(requested, supported).value_or(QString()), chosen);
    }

    void readableText_data() {
        QTest::addColumn<QList<Segment>>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one sentence")
            << QList<Segment>{{"hello", 0.0, 0.4}, {"world", 0.5, 0.4}} << "Hello world.";
        QTest::newRow("a pause of 0.6 s ends a sentence")
            << QList<Segment>{{"stop", 0.0, 0.4}, {"go", 1.0, 0.3}} << "Stop. Go.";
        QTest::newRow("a shorter pause does not")
            << QList<Segment>{{"stop", 0.0, 0.4}, {"go", 0.99, 0.3}} << "Stop go.";
        QTest::newRow("i and its contractions")
            << QList<Segment>{{"so", 0.0, 0.2},   {"i", 0.3, 0.1},   {"think", 0.5, 0.2},
                              {"i'm", 0.8, 0.2},  {"in", 1.1, 0.1},  {"it's", 1.3, 0.2},
                              {"i'll", 1.6, 0.2}, {"iowa", 1.9, 0.3}}
            << "So I think I'm in it's I'll iowa.";
        QTest::newRow("existing sentence end kept")
            << QList<Segment>{{"really?", 0.0, 0.4}, {"yes", 2.0, 0.3}} << "Really? Yes.";
        QTest::newRow("nothing") << QList<Segment>() << "";
    }
    void readableText() {
        QFETCH(QList<Segment>, input);
        QFETCH(QString, expected);
        const QList<Segment> out = readable(input);
        QCOMPARE(transcriptOf(out), expected);
        QCOMPARE(out.size(), input.size());
        for (qsizetype i = 0; i < out.size(); ++i) {
            QCOMPARE(out.at(i).start, input.at(i).start);
            QCOMPARE(out.at(i).duration, input.at(i).duration);
        }
    }

    void errorTexts() {
        QCOMPARE(makeError(TranscriptionError::empty).description,
                 u"Couldn't make out any speech in that clip."_s);
        QCOMPARE(makeError(TranscriptionError::unavailable).description,
                 u"On-device speech recognition isn't available for your language yet."_s);
        QVERIFY(isError(makeError(TranscriptionError::denied), TranscriptionError::denied));
        QVERIFY(!isError(makeError(TranscriptionError::denied), TranscriptionError::empty));
    }

    void syntheticSpeech_data() {
        QTest::addColumn<QString>("voice");
        for (const char* voice : {"slt", "rms", "awb", "kal16"}) {
            QTest::newRow(voice) << QString::fromLatin1(voice);
        }
    }
    void syntheticSpeech() {
        QFETCH(QString, voice);
        QList<double> errors;
        int words = 0;
        double wrong = 0;
        for (const QString& sentence : test::fixtureSentences()) {
            const QStringList spoken = sentence.split(u' ');
            const auto fixture = test::spliceWords(voice, spoken, gapsFor(spoken.size()));
            QVERIFY(fixture);
            auto result = transcribeBlocking(wavOf(*fixture, voice + u".wav"_s), u"en-US"_s);
            QVERIFY2(result, qPrintable(result ? QString() : result.error().description));
            QCOMPARE(result->transcript, transcriptOf(result->segments));
            const Scored s = score(*fixture, result->segments);
            words += int(spoken.size());
            wrong += s.wer * double(spoken.size());
            errors << s.errors;
            // Every time lies inside the clip and words come in order.
            double previous = 0;
            for (const Segment& seg : result->segments) {
                QVERIFY(seg.start >= previous - 1e-9);
                QVERIFY(seg.duration > 0);
                QVERIFY(seg.start + seg.duration <= fixture->duration() + 1e-9);
                previous = seg.start;
            }
        }
        const double wer = wrong / words;
        const double median = test::percentile(errors, 0.5);
        qInfo("%s: WER %.1f%%, timing error median %.0f ms, 90th %.0f ms", qPrintable(voice),
              wer * 100, median * 1000, test::percentile(errors, 0.9) * 1000);
        QVERIFY2(wer <= splicedWerBound, qPrintable(QString::number(wer)));
        QVERIFY2(median <= timingMedianBound, qPrintable(QString::number(median)));

        // Whole sentences, as people speak them.
        words = 0;
        wrong = 0;
        for (const QString& sentence : test::fixtureSentences()) {
            const auto samples = test::speak(voice, sentence);
            QVERIFY(samples);
            SpeechFixture whole{*samples, {}};
            auto result = transcribeBlocking(wavOf(whole, voice + u"-s.wav"_s), u"en-US"_s);
            QVERIFY2(result, qPrintable(result ? QString() : result.error().description));
            const QStringList reference = sentence.split(u' ');
            words += int(reference.size());
            wrong += test::wordErrorRate(reference, test::normalizedWords(result->transcript)) *
                     double(reference.size());
        }
        qInfo("%s sentences: WER %.1f%%", qPrintable(voice), wrong / words * 100);
        QVERIFY2(wrong / words <= fliteWerBound, qPrintable(QString::number(wrong / words)));
    }

    void silenceIsEmpty() {
        const QString path = m_dir.filePath(u"silence.wav"_s);
        QVERIFY(test::writeWav(path, QByteArray(2 * 16000 * 2, '\0')));
        const auto result = transcribeBlocking(path, u"en-US"_s);
        QVERIFY(!result);
        QVERIFY(isError(result.error(), TranscriptionError::empty));
        QCOMPARE(result.error().description, u"Couldn't make out any speech in that clip."_s);
    }

    void asynchronous() {
        // The coroutine form resumes on the caller's thread with the same result.
        const QString path = m_dir.filePath(u"silence-async.wav"_s);
        QVERIFY(test::writeWav(path, QByteArray(16000 * 2, '\0')));
        const auto result = test::awaitTask(transcribe(path, u"en-US"_s));
        QVERIFY(!result);
        QVERIFY(isError(result.error(), TranscriptionError::empty));
        const auto fixture = test::spliceWords(u"rms"_s, {"good", "morning"}, {0.2});
        QVERIFY(fixture);
        const auto spoken = test::awaitTask(transcribe(wavOf(*fixture, u"gm.wav"_s), u"en-GB"_s));
        QVERIFY(spoken);
        QCOMPARE(spoken->transcript, u"Good morning."_s);
    }

    void noAudioTrack() {
        const QString path = m_dir.filePath(u"silent-video.mp4"_s);
        QVERIFY(test::makeMedia(path, {u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=blue:s=64x64:d=1"_s,
                                       u"-c:v"_s, u"libx264"_s}));
        const auto result = transcribeBlocking(path, u"en-US"_s);
        QVERIFY(!result);
        QCOMPARE(result.error().description, u"the recording has no audio track"_s);
    }

    void unreadableFile() {
        const auto result = transcribeBlocking(m_dir.filePath(u"missing.wav"_s), u"en-US"_s);
        QVERIFY(!result);
        QVERIFY(!result.error().description.isEmpty());
    }

    void cancelled() {
        const auto fixture = test::spliceWords(u"slt"_s, {"hello", "there"}, {0.2});
        QVERIFY(fixture);
        CancelHandle task = CancelToken::create();
        task->cancel();
        const auto result = transcribeBlocking(wavOf(*fixture, u"c.wav"_s), u"en-US"_s, task);
        QVERIFY(!result);
        QVERIFY(result.error().isCancelled());
    }

    void missingModel() {
        // An engine whose model cannot load: the user is told to install it,
        // and the worker tries again for the next job.
        int attempts = 0;
        SpeechWorker worker([&attempts]() -> Expected<std::unique_ptr<SpeechEngine>, MediaError> {
            ++attempts;
            return Unexpected(MediaError{SpeechEngine::errorDomain, SpeechEngine::modelUnavailable,
                                         u"the speech model is missing"_s});
        });
        const auto fixture = test::spliceWords(u"slt"_s, {"hello"}, {0.2});
        QVERIFY(fixture);
        const QString path = wavOf(*fixture, u"m.wav"_s);
        for (int i = 0; i < 2; ++i) {
            const auto result = transcribeBlocking(worker, path, u"en-US"_s);
            QVERIFY(!result);
            QVERIFY(isError(result.error(), TranscriptionError::dictationDisabled));
        }
        QCOMPARE(attempts, 2);
    }

    void realSpeech() {
        const auto clips = test::librivoxClips();
        QCOMPARE(clips.size(), 5);
        int words = 0;
        double wrong = 0;
        for (const auto& clip : clips) {
            const auto result = transcribeBlocking(clip.path, u"en-US"_s);
            QVERIFY2(result, qPrintable(clip.path));
            const QStringList reference = test::normalizedWords(clip.transcript);
            const double wer =
                test::wordErrorRate(reference, test::normalizedWords(result->transcript));
            words += int(reference.size());
            wrong += wer * double(reference.size());
        }
        qInfo("real speech: WER %.1f%% over %d words", wrong / words * 100, words);
        QVERIFY(wrong / words <= realWerBound);
    }

    void alignRealSpeech() {
        for (const auto& clip : test::librivoxClips()) {
            const auto samples = test::readWavSamples(clip.path);
            QVERIFY(samples);
            const double length = double(samples->size()) / 2 / 16000;
            const auto result = alignBlocking(clip.path, clip.transcript);
            QVERIFY2(result, qPrintable(result ? QString() : result.error().description));
            QCOMPARE(result->transcript, clip.transcript);
            QCOMPARE(result->segments.size(), clip.transcript.split(u' ').size());
            double previousEnd = 0;
            for (const Segment& s : result->segments) {
                QVERIFY(s.start >= previousEnd - 1e-9);
                QVERIFY(s.duration >= 0);
                QVERIFY(s.start + s.duration <= length + 1e-9);
                previousEnd = s.start + s.duration;
            }
        }
    }

    void alignSynthetic_data() {
        QTest::addColumn<QString>("voice");
        QTest::addColumn<QString>("written"); // what the user typed; spoken words are the fixture's
        QTest::addColumn<int>("unknownAt");   // index of a word missing from the dictionary, or -1
        QTest::newRow("slt") << "slt"
                             << "" << -1;
        QTest::newRow("rms") << "rms"
                             << "" << -1;
        QTest::newRow("awb, punctuation and capitals")
            << "awb"
            << "Today, we talk about building a simple morning routine!" << -1;
        QTest::newRow("slt, a dash that is not spoken")
            << "slt"
            << "Today we talk about - building a simple morning routine" << -1;
        QTest::newRow("kal16, a word missing from the dictionary") << "kal16"
                                                                   << "" << 4;
    }
    void alignSynthetic() {
        QFETCH(QString, voice);
        QFETCH(QString, written);
        QFETCH(int, unknownAt);
        QStringList spoken = test::fixtureSentences().first().split(u' ');
        if (unknownAt >= 0) {
            spoken[unknownAt] = u"tolvane"_s;
        }
        const auto fixture = test::spliceWords(voice, spoken, gapsFor(spoken.size()));
        QVERIFY(fixture);
        const QString text = written.isEmpty() ? spoken.join(u' ') : written;
        const auto result = alignBlocking(wavOf(*fixture, voice + u"-a.wav"_s), text);
        QVERIFY2(result, qPrintable(result ? QString() : result.error().description));
        QCOMPARE(result->transcript, text);
        QCOMPARE(transcriptOf(result->segments), text);
        // Tokens of punctuation alone share the time of the word before them.
        QList<Segment> words;
        for (const Segment& s : result->segments) {
            if (test::normalizedWords(s.text).isEmpty()) {
                QVERIFY(!words.isEmpty());
                QCOMPARE(s.start, words.last().start);
                QCOMPARE(s.duration, words.last().duration);
            } else {
                words << s;
            }
        }
        QCOMPARE(words.size(), spoken.size());
        QList<double> errors;
        for (qsizetype i = 0; i < spoken.size(); ++i) {
            const Segment& s = words.at(i);
            const auto& truth = fixture->words.at(i);
            if (i == unknownAt) {
                // Placed between its neighbours, overlapping its true time.
                QVERIFY(s.start < truth.end && s.start + s.duration > truth.start);
                continue;
            }
            errors << std::abs(s.start - truth.start) << std::abs(s.start + s.duration - truth.end);
        }
        if (unknownAt >= 0) {
            // The stand-ins for unknown words stay out of plain recognition.
            const auto again = transcribeBlocking(wavOf(*fixture, voice + u"-a.wav"_s), u"en-US"_s);
            QVERIFY(again);
            QVERIFY2(!again->transcript.contains(u'~'), qPrintable(again->transcript));
            // The words around the unknown one keep their own times.
            for (const qsizetype n : {unknownAt - 1, unknownAt + 1}) {
                const Segment& s = words.at(n);
                QVERIFY2(std::abs(s.start - fixture->words.at(n).start) <= neighbourBound,
                         qPrintable(s.text));
            }
        }
        const double median = test::percentile(errors, 0.5);
        qInfo("%s aligned: timing error median %.0f ms, 90th %.0f ms", qPrintable(voice),
              median * 1000, test::percentile(errors, 0.9) * 1000);
        QVERIFY2(median <= timingMedianBound, qPrintable(QString::number(median)));
    }

    void alignRejects() {
        const auto fixture = test::spliceWords(u"slt"_s, {"hello"}, {0.2});
        QVERIFY(fixture);
        const QString path = wavOf(*fixture, u"r.wav"_s);
        // Nothing to align, and only unknown words.
        QVERIFY(!alignBlocking(path, u"  "_s));
        QVERIFY(!alignBlocking(path, u"qqzx vvbnm"_s));
        const QString silence = m_dir.filePath(u"quiet.wav"_s);
        QVERIFY(test::writeWav(silence, QByteArray(16000 * 2, '\0')));
        QVERIFY(!alignBlocking(silence, u"hello"_s));
    }
};

QTEST_GUILESS_MAIN(TestOnDeviceTranscriber)
#include "tst_ondevicetranscriber.moc"
