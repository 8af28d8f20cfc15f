#include "mediafixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// Runs "tolvane-cli media render" as a user would and reads what it printed.
class TestCliRender : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    static QList<QJsonObject> lines(const QByteArray& output) {
        QList<QJsonObject> out;
        for (const QByteArray& line : output.split('\n')) {
            if (!line.trimmed().isEmpty()) {
                out.append(QJsonDocument::fromJson(line).object());
            }
        }
        return out;
    }

    struct Run {
        int code = -1;
        QList<QJsonObject> lines;
    };

    Run run(const QStringList& args) {
        QProcess process;
        process.start(QStringLiteral(TOLVANE_CLI_PATH), QStringList{"media", "render"} + args);
        if (!process.waitForFinished(120000)) {
            process.kill();
            return {};
        }
        return {process.exitCode(), lines(process.readAllStandardOutput())};
    }

    // Files of a folder apart from the sources the test made.
    static QStringList leftovers(const QString& folder) {
        QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        names.removeIf([](const QString& name) { return name.startsWith("src"); });
        return names;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(tolvane::test::makeMedia(
            path("src.mp4"), QStringList{"-f", "lavfi", "-i", "testsrc2=s=1280x720:r=30:d=3"} +
                                 tolvane::test::toneInput({{0.2, 1.0}, {2.2, 2.8}}, 3.0) +
                                 QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-c:a",
                                             "aac", "-shortest"}));
        QVERIFY(tolvane::test::makeMedia(path("src-long.mp4"),
                                         {"-f", "lavfi", "-i", "testsrc2=s=1920x1080:r=30:d=30",
                                          "-c:v", "libx264", "-preset", "ultrafast"}));
        QVERIFY(tolvane::test::makeMedia(path("src-sound.wav"), tolvane::test::toneInput({}, 1)));
        QVERIFY(QDir().mkpath(path("out")));
    }

    void badInput_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        const QString out = path("out/bad.mp4");
        QTest::newRow("missing file") << QStringList{path("nothing.mp4"), out} << "does not exist";
        QTest::newRow("no video track")
            << QStringList{path("src-sound.wav"), out} << "has no video track";
        QTest::newRow("zoom below 1") << QStringList{path("src.mp4"), out, "--zoom", "0.9"}
                                      << "--zoom must be a number of at least 1";
        QTest::newRow("trim outside") << QStringList{path("src.mp4"), out, "--trim", "2", "9"}
                                      << "--trim must lie within the file";
        QTest::newRow("trim reversed") << QStringList{path("src.mp4"), out, "--trim", "2", "1"}
                                       << "--trim must lie within the file";
        QTest::newRow("missing folder")
            << QStringList{path("src.mp4"), path("nowhere/x.mp4")} << "does not exist";
        QTest::newRow("output is the input")
            << QStringList{path("src.mp4"), path("src.mp4")} << "must not be the input";
        QTest::newRow("unknown style") << QStringList{path("src.mp4"), out, "--style", "neon"}
                                       << "--style must be tiktok or bubble";
        QTest::newRow("unknown option")
            << QStringList{path("src.mp4"), out, "--sparkle"} << "unknown option --sparkle";
    }
    void badInput() {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        const Run result = run(args);
        QCOMPARE(result.code, 1);
        QVERIFY(!result.lines.isEmpty());
        const QString text = result.lines.last().value("error").toString();
        QVERIFY2(text.contains(error), qPrintable(text));
        QVERIFY(leftovers(path("out")).isEmpty());
        QVERIFY(QFileInfo(path("src.mp4")).size() > 0);
    }

    void rendersWithEveryOption() {
        const QString out = path("out/short.mp4");
        const Run result = run({path("src.mp4"),
                                out,
                                "--trim",
                                "0.1",
                                "2.9",
                                "--crop-x",
                                "0.3",
                                "--zoom",
                                "1.2",
                                "--fades",
                                "--ken-burns",
                                "--progress-bar",
                                "--jump-cuts",
                                "--hook",
                                "Three habits: one clip",
                                "--captions",
                                "one two three four five six seven",
                                "--style",
                                "bubble",
                                "--highlight"});
        QCOMPARE(result.code, 0);
        QVERIFY(result.lines.size() >= 2);
        double last = -1;
        for (qsizetype i = 0; i + 1 < result.lines.size(); ++i) {
            const double p = result.lines[i].value("progress").toDouble(-1);
            QVERIFY(p >= last && p <= 1.0);
            last = p;
        }
        QCOMPARE(last, 1.0);
        const QJsonObject done = result.lines.last();
        QCOMPARE(done.value("file").toString(), out);
        const int frames = done.value("frames").toInt();
        // Jump cuts keep the two tone bursts with their margins, about 1.9 of 2.8 s.
        QVERIFY2(frames > 45 && frames < 65, qPrintable(QString::number(frames)));
        QCOMPARE(done.value("duration").toDouble(), frames / 30.0);
        QCOMPARE(leftovers(path("out")), QStringList{"short.mp4"});

        QProcess info;
        info.start(QStringLiteral(TOLVANE_CLI_PATH), {"media", "info", out});
        QVERIFY(info.waitForFinished(30000));
        const QJsonObject facts = lines(info.readAllStandardOutput()).last();
        QCOMPARE(facts.value("video").toObject().value("width").toInt(), 1080);
        QCOMPARE(facts.value("video").toObject().value("height").toInt(), 1920);
        QVERIFY(facts.value("audio").isObject());
        QFile::remove(out);
    }

    void signalsCancelAndRemoveThePartialFile_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl+C") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
    }
    void signalsCancelAndRemoveThePartialFile() {
        QFETCH(int, signal);
        // An earlier file of that name survives a cancelled render.
        const QString out = path("out/cancelled.mp4");
        {
            QFile existing(out);
            QVERIFY(existing.open(QIODevice::WriteOnly));
            existing.write("keep me");
        }
        QProcess process;
        process.start(QStringLiteral(TOLVANE_CLI_PATH),
                      {"media", "render", path("src-long.mp4"), out, "--progress-bar"});
        QVERIFY(process.waitForStarted());
        QByteArray output;
        // Wait for the render to be under way.
        while (!output.contains("\"progress\":0.") && process.state() == QProcess::Running) {
            process.waitForReadyRead(5000);
            output += process.readAllStandardOutput();
        }
        QVERIFY(process.state() == QProcess::Running);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(10000));
        output += process.readAllStandardOutput();
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(lines(output).last(), QJsonObject({{"error", "Rendering was cancelled."}}));
        QCOMPARE(leftovers(path("out")), QStringList{"cancelled.mp4"});
        QFile kept(out);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("keep me"));
        kept.remove();
    }
};

QTEST_GUILESS_MAIN(TestCliRender)
#include "tst_clirender.moc"
