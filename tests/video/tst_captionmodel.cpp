#include "awaittask.h"
#include "mediafixtures.h"
#include "speechfixtures.h"
#include "video/captiongenerator.h"
#include "video/subtitles.h"
#include "video/videoeditmodel.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;
using Segment = OnDeviceTranscriber::Segment;

Q_DECLARE_METATYPE(std::optional<int>)

namespace {

RecordingResult recording(const QString& camera, double duration) {
    RecordingResult result;
    if (!camera.isEmpty()) {
        result.cameraURL = QUrl::fromLocalFile(camera);
    }
    result.duration = duration;
    return result;
}

// "Hello world. Again" as a transcription of the stretch from 1 s: words
// 0.2-0.6, 0.7-1.2 and, after a gap, 2.0-2.5.
void transcribed(VideoEditModel& model) {
    model.setTrimStart(1.0);
    model.setTrimEnd(4.0);
    model.setCaptionSegments({{"Hello", 0.2, 0.4}, {"world.", 0.7, 0.5}, {"Again", 2.0, 0.5}});
    model.setCaptionTranscript(u"Hello world. Again"_s);
    model.setCaptionText(u"Hello world. Again"_s);
    model.setCaptionTrimStart(1.0);
    model.setCaptionTrimEnd(4.0);
}

QStringList texts(const QList<CaptionChunk>& chunks) {
    QStringList out;
    for (const CaptionChunk& c : chunks) {
        out << c.text;
    }
    return out;
}

} // namespace

class TestCaptionModel : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QTemporaryDir m_temp;
    QString m_speech;
    QString m_quiet;

private Q_SLOTS:
    void initTestCase() {
        // A temporary directory of our own, to see the flow clean up after itself.
        qputenv("TMPDIR", m_temp.path().toUtf8());
        QCOMPARE(QDir::tempPath(), QDir(m_temp.path()).canonicalPath());

        // A short video whose sound is a flite sentence, one without speech.
        const auto samples = test::speak(u"slt"_s, u"my team shipped the new product last week"_s);
        QVERIFY(samples);
        const QString wav = m_dir.filePath(u"speech.wav"_s);
        QVERIFY(test::writeWav(wav, QByteArray(32000, '\0') + *samples + QByteArray(32000, '\0')));
        m_speech = m_dir.filePath(u"speech.mp4"_s);
        QVERIFY(test::makeMedia(
            m_speech, {u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=gray:s=64x64:r=10"_s, u"-i"_s, wav,
                       u"-shortest"_s, u"-c:v"_s, u"libx264"_s, u"-c:a"_s, u"aac"_s}));
        m_quiet = m_dir.filePath(u"quiet.mp4"_s);
        QVERIFY(test::makeMedia(m_quiet,
                                {u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=gray:s=64x64:r=10:d=2"_s,
                                 u"-f"_s, u"lavfi"_s, u"-i"_s, u"anullsrc=r=48000:cl=mono"_s,
                                 u"-t"_s, u"2"_s, u"-c:v"_s, u"libx264"_s, u"-c:a"_s, u"aac"_s}));
    }

    void timedChunks_data() {
        QTest::addColumn<double>("trimStart");
        QTest::addColumn<double>("trimEnd");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("timed");
        QTest::newRow("as transcribed") << 1.0 << 4.0 << "Hello world. Again" << true;
        QTest::newRow("start moved 0.04") << 1.04 << 4.0 << "Hello world. Again" << true;
        QTest::newRow("start moved 0.05") << 1.05 << 4.0 << "Hello world. Again" << false;
        QTest::newRow("end moved back 0.04") << 1.0 << 3.96 << "Hello world. Again" << true;
        QTest::newRow("end moved 0.05") << 1.0 << 4.05 << "Hello world. Again" << false;
        QTest::newRow("white space around the text")
            << 1.0 << 4.0 << "\n Hello world. Again  " << true;
        QTest::newRow("text edited") << 1.0 << 4.0 << "Hello word. Again" << false;
    }
    void timedChunks() {
        QFETCH(double, trimStart);
        QFETCH(double, trimEnd);
        QFETCH(QString, text);
        QFETCH(bool, timed);
        VideoEditModel model(recording({}, 10.0));
        transcribed(model);
        model.setTrimStart(trimStart);
        model.setTrimEnd(trimEnd);
        model.setCaptionText(text);
        const auto chunks = model.timedChunks();
        QCOMPARE(chunks.has_value(), timed);
        if (timed) {
            QCOMPARE(texts(*chunks), (QStringList{"Hello world.", "Again"}));
            QCOMPARE(model.captionChunks(), *chunks);
        } else {
            // Evenly timed text over the trimmed stretch instead.
            const QList<CaptionChunk> even = model.captionChunks();
            QVERIFY(!even.isEmpty());
            QVERIFY(!even.first().words);
            QCOMPARE(even.first().start, 0.0);
            QVERIFY(qAbs(even.last().end - (trimEnd - trimStart)) < 1e-9);
        }
    }

    void captionChunksWithoutTranscription() {
        VideoEditModel model(recording({}, 10.0));
        QVERIFY(!model.timedChunks());
        QVERIFY(model.captionChunks().isEmpty());
        model.setCaptionText(u"Short."_s);
        model.setTrimStart(2.0);
        model.setTrimEnd(2.05);
        // A stretch of 0.1 s or less is taken as 0.1 s.
        const QList<CaptionChunk> chunks = model.captionChunks();
        QCOMPARE(chunks.size(), 1);
        QCOMPARE(chunks.first().text, u"Short."_s);
        QCOMPARE(chunks.first().start, 0.0);
        QVERIFY(qAbs(chunks.first().end - 0.1) < 1e-9);
        model.setCaptionsEnabled(false);
        QVERIFY(model.captionChunks().isEmpty());
        QVERIFY(!model.activeCaption(2.01));
    }

    void activeCaption_data() {
        QTest::addColumn<double>("t"); // source time
        QTest::addColumn<bool>("karaoke");
        QTest::addColumn<QString>("text"); // empty: none shown
        QTest::addColumn<std::optional<int>>("word");
        QTest::newRow("before the first chunk") << 1.1 << true << "" << std::optional<int>();
        QTest::newRow("on the first word")
            << 1.3 << true << "Hello world." << std::optional<int>(0);
        QTest::newRow("in the gap between words")
            << 1.65 << true << "Hello world." << std::optional<int>(1);
        QTest::newRow("on the second word")
            << 2.0 << true << "Hello world." << std::optional<int>(1);
        QTest::newRow("the chunk's end is exclusive") << 2.2 << true << "" << std::optional<int>();
        QTest::newRow("between chunks") << 2.5 << true << "" << std::optional<int>();
        QTest::newRow("second chunk") << 3.1 << true << "Again" << std::optional<int>(0);
        QTest::newRow("karaoke off") << 1.3 << false << "Hello world." << std::optional<int>();
    }
    void activeCaption() {
        QFETCH(double, t);
        QFETCH(bool, karaoke);
        QFETCH(QString, text);
        QFETCH(std::optional<int>, word);
        VideoEditModel model(recording({}, 10.0));
        transcribed(model);
        model.setKaraokeHighlight(karaoke);
        const auto active = model.activeCaption(t);
        if (text.isEmpty()) {
            QVERIFY(!active);
            return;
        }
        QVERIFY(active);
        QCOMPARE(active->text, text);
        QCOMPARE(active->highlightedWord, word);
    }

    void activeCaptionOfEvenText() {
        // Without timings the words are spread over the chunk by length.
        VideoEditModel model(recording({}, 10.0));
        model.setTrimStart(0.0);
        model.setTrimEnd(2.0);
        model.setCaptionText(u"ab abcdef"_s);
        QCOMPARE(model.activeCaption(0.1)->highlightedWord, 0);
        QCOMPARE(model.activeCaption(1.9)->highlightedWord, 1);
    }

    void subtitles() {
        const QList<CaptionChunk> chunks{{"Hello <world> & more", 0.2, 1.2345, std::nullopt},
                                         {"no length", 1.5, 1.5, std::nullopt},
                                         {"late", 3661.5, 3662.0, std::nullopt}};
        const QString srt = Subtitles::toSrt(chunks);
        QCOMPARE(srt, u"1\n00:00:00,200 --> 00:00:01,235\nHello <world> & more\n\n"
                      "2\n01:01:01,500 --> 01:01:02,000\nlate\n\n"_s);
        const QString vtt = Subtitles::toVtt(chunks);
        // Markup characters survive only in WebVTT, which can escape them; a
        // SubRip reader takes "<world>" for a tag.
        QVERIFY(vtt.startsWith(u"WEBVTT\n\n00:00:00.200 --> 00:00:01.235\n"
                               "Hello &lt;world&gt; &amp; more\n"_s));
        // FFmpeg reads both back with the same cues.
        for (const auto& [name, content] :
             {std::pair{u"s.srt"_s, srt}, std::pair{u"s.vtt"_s, vtt}}) {
            const QString path = m_dir.filePath(name);
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content.toUtf8());
            file.close();
            QProcess ffmpeg;
            ffmpeg.start(u"ffmpeg"_s,
                         {u"-v"_s, u"error"_s, u"-i"_s, path, u"-f"_s, u"srt"_s, u"-"_s});
            QVERIFY(ffmpeg.waitForFinished(30000));
            QCOMPARE(ffmpeg.exitCode(), 0);
            const QString back = QString::fromUtf8(ffmpeg.readAllStandardOutput());
            QCOMPARE(back.count(u" --> "_s), 2);
            QVERIFY2(back.contains(u"00:00:00,200 --> 00:00:01,235"_s), qPrintable(back));
            QVERIFY(back.contains(u"01:01:01,500 --> 01:01:02,000"_s));
            QVERIFY(back.contains(u"Hello"_s));
        }
    }

    void generateAndAlign() {
        VideoEditModel model(recording(m_speech, 4.0));
        model.setTrimStart(0.5);
        const auto isOpen = [&model](const VideoEditModel* m) { return m == &model; };
        auto generated = test::awaitTask(CaptionGenerator::generate(&model, {}, isOpen));
        QVERIFY2(generated, qPrintable(generated ? QString() : generated.error().description));
        QVERIFY(!model.captionSegments().isEmpty());
        QCOMPARE(model.captionText(), model.captionTranscript());
        QCOMPARE(model.captionTrimStart(), 0.5);
        QCOMPARE(model.captionTrimEnd(), model.trimEnd());
        QVERIFY(model.timedChunks());
        // Times are relative to the trim start: the speech begins 1 s into the
        // file (and flite leaves a little silence of its own).
        QVERIFY(model.captionSegments().first().start > 0.4);
        QVERIFY(model.captionSegments().first().start < 0.8);
        QVERIFY(QDir::temp().entryList({u"tolvane-stt-*"_s}, QDir::Files).isEmpty());

        // The user corrects the text: the words lose their times, and aligning
        // gives them back, in the user's words.
        const QString corrected = u"My team shipped the new product last week!"_s;
        model.setCaptionText(corrected);
        QVERIFY(!model.timedChunks());
        auto aligned = test::awaitTask(CaptionGenerator::align(&model, {}, isOpen));
        QVERIFY2(aligned, qPrintable(aligned ? QString() : aligned.error().description));
        QCOMPARE(model.captionText(), corrected);
        QCOMPARE(model.captionTranscript(), corrected);
        QCOMPARE(model.captionSegments().size(), 8);
        QCOMPARE(model.captionSegments().last().text, u"week!"_s);
        const auto chunks = model.timedChunks();
        QVERIFY(chunks);
        QCOMPARE(texts(*chunks).join(u' '), corrected);
        QVERIFY(QDir::temp().entryList({u"tolvane-stt-*"_s}, QDir::Files).isEmpty());
    }

    void generateChangesNothingWhenItShouldNot_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("error"); // empty: cancelled, shown to nobody
        QTest::newRow("no speech")
            << "quiet" << true << false << "Couldn't make out any speech in that clip.";
        QTest::newRow("editor closed meanwhile") << "speech" << false << false << "";
        QTest::newRow("cancelled") << "speech" << true << true << "";
        QTest::newRow("no file") << "missing" << true << false << "x";
    }
    void generateChangesNothingWhenItShouldNot() {
        QFETCH(QString, file);
        QFETCH(bool, open);
        QFETCH(bool, cancel);
        QFETCH(QString, error);
        const QString path = file == "quiet"_L1    ? m_quiet
                             : file == "speech"_L1 ? m_speech
                                                   : m_dir.filePath(u"none.mp4"_s);
        VideoEditModel model(recording(path, 2.0));
        model.setCaptionText(u"typed by hand"_s);
        CancelHandle task = CancelToken::create();
        if (cancel) {
            task->cancel();
        }
        auto result = test::awaitTask(CaptionGenerator::generate(
            &model, task, [open](const VideoEditModel*) { return open; }));
        QVERIFY(!result);
        if (error.isEmpty()) {
            QVERIFY(result.error().isCancelled());
        } else if (error != "x"_L1) {
            QCOMPARE(result.error().description, error);
        } else {
            QVERIFY(!result.error().isCancelled());
            QVERIFY(!result.error().description.isEmpty());
        }
        QCOMPARE(model.captionText(), u"typed by hand"_s);
        QVERIFY(model.captionSegments().isEmpty());
        QVERIFY(model.captionTranscript().isEmpty());
        QVERIFY(QDir::temp().entryList({u"tolvane-stt-*"_s}, QDir::Files).isEmpty());
    }
};

QTEST_MAIN(TestCaptionModel)
#include "tst_captionmodel.moc"
