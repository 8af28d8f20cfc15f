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

namespace {

struct Run {
    int exitCode = -1;
    QJsonObject output;
};

Run cli(const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The command must not need a display.
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TOLVANE_CLI_PATH), QStringList{QStringLiteral("media")} + args);
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
        const auto first =
            tolvane::test::speak(QStringLiteral("rms"), QStringLiteral("write down three things"));
        const auto second =
            tolvane::test::speak(QStringLiteral("rms"), QStringLiteral("before lunch today"));
        QVERIFY(first && second);
        const QString wav = m_dir.filePath(QStringLiteral("s.wav"));
        QVERIFY(tolvane::test::writeWav(wav, QByteArray(32000, '\0') + *first +
                                                 QByteArray(48000, '\0') + *second +
                                                 QByteArray(16000, '\0')));
        m_video = m_dir.filePath(QStringLiteral("clip.mp4"));
        QVERIFY(tolvane::test::makeMedia(
            m_video, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("color=c=gray:s=64x64:r=10"), QStringLiteral("-i"), wav,
                      QStringLiteral("-shortest"), QStringLiteral("-c:v"),
                      QStringLiteral("libx264"), QStringLiteral("-c:a"), QStringLiteral("aac")}));
    }

    void transcribe() {
        const Run run = cli({QStringLiteral("transcribe"), m_video, QStringLiteral("--start"),
                             QStringLiteral("0.5")});
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
        const QString images = m_dir.filePath(QStringLiteral("images"));
        const QString srt = m_dir.filePath(QStringLiteral("c.srt"));
        const Run plain = cli({QStringLiteral("captions"), m_video});
        const Run cut = cli({QStringLiteral("captions"), m_video, QStringLiteral("--jump-cuts"),
                             QStringLiteral("--images"), images, QStringLiteral("--highlight"),
                             QStringLiteral("--srt"), srt});
        QCOMPARE(plain.exitCode, 0);
        QCOMPARE(cut.exitCode, 0);
        const QJsonArray before = plain.output.value("chunks").toArray();
        const QJsonArray after = cut.output.value("chunks").toArray();
        QVERIFY(before.size() >= 2);
        QCOMPARE(after.size(), before.size());
        // The pause is gone: the last chunk ends more than a second earlier.
        const double endBefore = before.last().toObject().value("end").toDouble();
        const double endAfter = after.last().toObject().value("end").toDouble();
        QVERIFY2(endBefore - endAfter > 1.0,
                 qPrintable(QStringLiteral("%1 %2").arg(endBefore).arg(endAfter)));

        // One picture per chunk and one per word of it.
        int words = 0;
        for (const QJsonValue& chunk : after) {
            words += int(chunk.toObject().value("words").toArray().size());
        }
        QCOMPARE(cut.output.value("images").toInt(), int(after.size()) + words);
        const QImage picture(QDir(images).filePath(QStringLiteral("chunk-001.png")));
        QCOMPARE(picture.width(), 1944);
        QVERIFY(QFile::exists(QDir(images).filePath(QStringLiteral("chunk-001-word-01.png"))));
        QFile file(srt);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count(" --> "), after.size());
    }

    void evenTextAndAlignment() {
        const QString text = QStringLiteral("Write down three things, before lunch today.");
        const Run even = cli({QStringLiteral("captions"), m_video, QStringLiteral("--text"), text,
                              QStringLiteral("--style"), QStringLiteral("bubble")});
        QCOMPARE(even.exitCode, 0);
        const QJsonArray chunks = even.output.value("chunks").toArray();
        QCOMPARE(chunks.size(), 1);
        QVERIFY(!chunks.first().toObject().contains("words"));
        QCOMPARE(chunks.first().toObject().value("start").toDouble(), 0.0);

        const Run aligned = cli({QStringLiteral("captions"), m_video, QStringLiteral("--text"),
                                 text, QStringLiteral("--align")});
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
        args.replaceInStrings(QStringLiteral("FILE"), m_video);
        const Run run = cli(args);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.output.value("error").toString().startsWith(error),
                 qPrintable(run.output.value("error").toString()));
    }
};

QTEST_GUILESS_MAIN(TestCliCaptions)
#include "tst_clicaptions.moc"
