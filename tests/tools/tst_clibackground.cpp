#include "mediafixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Runs "tolvane-cli media background" as a user would and reads what it printed.
class TestCliBackground : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    struct Run {
        int code = -1;
        QList<QJsonObject> lines;
    };

    Run run(const QStringList& args) {
        QProcess process;
        process.start(QStringLiteral(TOLVANE_CLI_PATH), QStringList{"media", "background"} + args);
        if (!process.waitForFinished(120000)) {
            process.kill();
            return {};
        }
        Run result{process.exitCode(), {}};
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            if (!line.trimmed().isEmpty()) {
                result.lines.append(QJsonDocument::fromJson(line).object());
            }
        }
        return result;
    }

    QStringList outputs() const { return QDir(path("out")).entryList(QDir::Files | QDir::Hidden); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(tolvane::test::makeMedia(
            path("src.mov"), QStringList{"-f", "lavfi", "-i", "testsrc2=s=640x360:r=30:d=1"} +
                                 tolvane::test::toneInput({{0.2, 0.8}}, 1.0) +
                                 QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-c:a",
                                             "aac", "-shortest"}));
        QVERIFY(tolvane::test::makeMedia(path("sound.wav"), tolvane::test::toneInput({}, 1)));
        QFile text(path("picture.png"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a picture");
        text.close();
        QImage(64, 32, QImage::Format_RGB32).save(path("wide.png"));
        QVERIFY(QDir().mkpath(path("out")));
    }

    void badInput_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        const QString out = path("out/bg.mov");
        const QString src = path("src.mov");
        QTest::newRow("unknown preset")
            << QStringList{src, out, "--preset", "ocean"} << "unknown preset ocean";
        QTest::newRow("preset label")
            << QStringList{src, out, "--preset", "Neon Glow"} << "unknown preset Neon Glow";
        QTest::newRow("unreadable picture") << QStringList{src, out, "--image", path("picture.png")}
                                            << "The background image could not be loaded.";
        QTest::newRow("missing picture") << QStringList{src, out, "--image", path("gone.png")}
                                         << "The background image could not be loaded.";
        QTest::newRow("no video track")
            << QStringList{path("sound.wav"), out, "--blur"} << "has no video track";
        QTest::newRow("missing file")
            << QStringList{path("gone.mov"), out, "--blur"} << "does not exist";
        QTest::newRow("no mode") << QStringList{src, out} << "usage";
        QTest::newRow("two modes")
            << QStringList{src, out, "--blur", "--preset", "mint"} << "choose one of";
        QTest::newRow("unknown codec")
            << QStringList{src, out, "--blur", "--codec", "vp9"} << "--codec must be";
        QTest::newRow("output is the input") << QStringList{src, src, "--blur"} << "must not be";
    }
    void badInput() {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        const Run result = run(args);
        QCOMPARE(result.code, 1);
        QVERIFY(!result.lines.isEmpty());
        const QString text = result.lines.last().value("error").toString();
        QVERIFY2(text.contains(error), qPrintable(text));
        QCOMPARE(outputs(), QStringList());
        QVERIFY(QFileInfo(path("src.mov")).size() > 0);
    }

    void writesTheFileWithProgress_data() {
        QTest::addColumn<QStringList>("mode");
        QTest::newRow("blur") << QStringList{"--blur"};
        QTest::newRow("preset") << QStringList{"--preset", "sunset"};
        QTest::newRow("picture of another shape") << QStringList{"--image", path("wide.png")};
    }
    void writesTheFileWithProgress() {
        QFETCH(QStringList, mode);
        const QString out = path("out/bg.mov");
        const Run result = run(QStringList{path("src.mov"), out} + mode);
        QCOMPARE(result.code, 0);
        QVERIFY(result.lines.size() >= 2);
        QVERIFY(result.lines.first().contains("progress"));
        const QJsonObject last = result.lines.last();
        QCOMPARE(last.value("file").toString(), out);
        QCOMPARE(last.value("frames").toInt(), 30);
        QCOMPARE(outputs(), QStringList{"bg.mov"});
        QVERIFY(QFile::remove(out));
    }
};

QTEST_MAIN(TestCliBackground)
#include "tst_clibackground.moc"
