#include "mediafixtures.h"
#include "speechfixtures.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    int exitCode = -1;
    QJsonObject output;
};

Run cli(const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The command must not need a display.
    env.remove(u"QT_QPA_PLATFORM"_s);
    env.remove(u"DISPLAY"_s);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TOLVANE_CLI_PATH), QStringList{u"media"_s} + args);
    if (!process.waitForFinished(120000)) {
        return {};
    }
    const QByteArray lastLine = process.readAllStandardOutput().trimmed().split('\n').last();
    return {process.exitCode(), QJsonDocument::fromJson(lastLine).object()};
}

} // namespace

class TestCliCaptions : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_video;

private Q_SLOTS:
    void initTestCase() {
        // Two phrases with 1.5 s of silence between them, which jump cuts remove.
        const auto first = tolvane::test::speak(u"rms"_s, u"write down three things"_s);
        const auto second = tolvane::test::speak(u"rms"_s, u"before lunch today"_s);
        QVERIFY(first && second);
        const QString wav = m_dir.filePath(u"s.wav"_s);
        QVERIFY(tolvane::test::writeWav(wav, QByteArray(32000, '\0') + *first +
                                                 QByteArray(48000, '\0') + *second +
                                                 QByteArray(16000, '\0')));
        m_video = m_dir.filePath(u"clip.mp4"_s);
        QVERIFY(tolvane::test::makeMedia(
            m_video, {u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=gray:s=64x64:r=10"_s, u"-i"_s, wav,
                      u"-shortest"_s, u"-c:v"_s, u"libx264"_s, u"-c:a"_s, u"aac"_s}));
    }

    void transcribe() {
        const Run run = cli({u"transcribe"_s, m_video, u"--start"_s, u"0.5"_s});
        QCOMPARE(run.exitCode, 0);
        const QStringList words =
            tolvane::test::normalizedWords(run.output.value("text").toString());
        QVERIFY2(tolvane::test::wordErrorRate(
                     {"write", "down", "three", "things", "before", "lunch", "today"}, words) <=
                     0.3,
                 qPrintable(words.join(u' ')));
        const QJsonArray segments = run.output.value("segments").toArray();
        QCOMPARE(segments.size(), words.size());
        // Relative to --start: the speech begins 1 s into the file, 0.5 s into
        // the stretch.
        const double first = segments.first().toObject().value("start").toDouble();
        QVERIFY2(first > 0.3 && first < 0.9, qPrintable(QString::number(first)));
    }

    void captionsWithJumpCutsPicturesAndSubtitles() {
        const QString images = m_dir.filePath(u"images"_s);
        const QString srt = m_dir.filePath(u"c.srt"_s);
        const Run plain = cli({u"captions"_s, m_video});
        const Run cut = cli({u"captions"_s, m_video, u"--jump-cuts"_s, u"--images"_s, images,
                             u"--highlight"_s, u"--srt"_s, srt});
        QCOMPARE(plain.exitCode, 0);
        QCOMPARE(cut.exitCode, 0);
        const QJsonArray before = plain.output.value("chunks").toArray();
        const QJsonArray after = cut.output.value("chunks").toArray();
        QVERIFY(before.size() >= 2);
        QCOMPARE(after.size(), before.size());
        // The pause is gone: the last chunk ends more than a second earlier.
        const double endBefore = before.last().toObject().value("end").toDouble();
        const double endAfter = after.last().toObject().value("end").toDouble();
        QVERIFY2(endBefore - endAfter > 1.0, qPrintable(u"%1 %2"_s.arg(endBefore).arg(endAfter)));

        // One picture per chunk and one per word of it.
        int words = 0;
        for (const QJsonValue& chunk : after) {
            words += int(chunk.toObject().value("words").toArray().size());
        }
        QCOMPARE(cut.output.value("images").toInt(), int(after.size()) + words);
        const QImage picture(QDir(images).filePath(u"chunk-001.png"_s));
        QCOMPARE(picture.width(), 1944);
        QVERIFY(QFile::exists(QDir(images).filePath(u"chunk-001-word-01.png"_s)));
        QFile file(srt);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count(" --> "), after.size());
    }

    void evenTextAndAlignment() {
        const QString text = u"Write down three things, before lunch today."_s;
        const Run even =
            cli({u"captions"_s, m_video, u"--text"_s, text, u"--style"_s, u"bubble"_s});
        QCOMPARE(even.exitCode, 0);
        const QJsonArray chunks = even.output.value("chunks").toArray();
        QCOMPARE(chunks.size(), 1);
        QVERIFY(!chunks.first().toObject().contains("words"));
        QCOMPARE(chunks.first().toObject().value("start").toDouble(), 0.0);

        const Run aligned = cli({u"captions"_s, m_video, u"--text"_s, text, u"--align"_s});
        QCOMPARE(aligned.exitCode, 0);
        QStringList words;
        for (const QJsonValue& chunk : aligned.output.value("chunks").toArray()) {
            for (const QJsonValue& w : chunk.toObject().value("words").toArray()) {
                words << w.toObject().value("text").toString();
            }
        }
        QCOMPARE(words.join(u' '), text);
    }

    void badInput_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown style") << QStringList{"captions", "FILE", "--style", "fancy"}
                                       << "--style must be tiktok or bubble";
        QTest::newRow("align without text") << QStringList{"captions", "FILE", "--align"}
                                            << "--align needs --text with the words to time";
        QTest::newRow("range backwards")
            << QStringList{"transcribe", "FILE", "--start", "2", "--end", "1"}
            << "--start and --end must be seconds with start < end";
        QTest::newRow("unknown option") << QStringList{"captions", "FILE", "--fast"} << "usage";
    }
    void badInput() {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        args.replaceInStrings(u"FILE"_s, m_video);
        const Run run = cli(args);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.output.value("error").toString().startsWith(error),
                 qPrintable(run.output.value("error").toString()));
    }
};

QTEST_GUILESS_MAIN(TestCliCaptions)
#include "tst_clicaptions.moc"
