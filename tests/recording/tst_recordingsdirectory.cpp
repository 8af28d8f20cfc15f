#include "recording/recordingsdirectory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace tolvane;

namespace {

bool touch(const QString& path, const QDateTime& modified) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write("movie");
    return file.flush() && file.setFileTime(modified, QFileDevice::FileModificationTime);
}

// For folders too, which QFile does not open.
bool setModified(const QString& path, const QDateTime& modified) {
    const qint64 ms = modified.toMSecsSinceEpoch();
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(ms / 1000), long(ms % 1000) * 1000000}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

} // namespace

class TestRecordingsDirectory : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // Never the machine's own temporary folder.
        QVERIFY(m_temp.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
        QCOMPARE(QDir::tempPath(), QDir::cleanPath(m_temp.path()));
    }
    void init() { QVERIFY(QDir(folder()).removeRecursively()); }

    void directoryIsCreatedInTheTemporaryFolder() {
        QVERIFY(!QFileInfo::exists(folder()));
        QCOMPARE(recordingsDirectory().toLocalFile(), folder());
        QVERIFY(QFileInfo(folder()).isDir());
        const QString file = newRecordingFile("tolvane-cam", ".mov").toLocalFile();
        QCOMPARE(QFileInfo(file).absolutePath(), folder());
        QVERIFY(file.endsWith(".mov"));
        QVERIFY(newRecordingFile("tolvane-cam", ".mov").toLocalFile() != file);
    }

    void purgesOnlyWhatIsOlderThanTheMaximum() {
        const QDateTime now = QDateTime::fromString("2026-03-01T12:00:00.000Z", Qt::ISODateWithMs);
        const QDir dir(recordingsDirectory().toLocalFile());
        QVERIFY(touch(dir.filePath("exactly-a-day.mov"), now.addSecs(-86400)));
        QVERIFY(touch(dir.filePath("a-day-and-a-second.mov"), now.addSecs(-86401)));
        QVERIFY(touch(dir.filePath(".hidden-old.wav"), now.addSecs(-90000)));
        QVERIFY(touch(dir.filePath("fresh.mov"), now.addSecs(-60)));
        QVERIFY(touch(dir.filePath("from-the-future.mov"), now.addSecs(3600)));
        // An old export folder goes with everything in it, even newer files.
        QVERIFY(dir.mkpath("export-old/frames"));
        QVERIFY(touch(dir.filePath("export-old/frames/0001.png"), now));
        QVERIFY(setModified(dir.filePath("export-old/frames"), now.addSecs(-86401)));
        QVERIFY(setModified(dir.filePath("export-old"), now.addSecs(-100000)));
        QVERIFY(dir.mkdir("export-new"));
        QVERIFY(touch(dir.filePath("export-new/old.mov"), now.addSecs(-100000)));
        QVERIFY(setModified(dir.filePath("export-new"), now.addSecs(-10)));

        QCOMPARE(purgeStaleRecordings(86400, now), 3);
        QStringList left = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        left.sort();
        QCOMPARE(left, (QStringList{"exactly-a-day.mov", "export-new", "fresh.mov",
                                    "from-the-future.mov"}));
        // Only the top level is looked at.
        QVERIFY(QFileInfo::exists(dir.filePath("export-new/old.mov")));
    }

    void missingDirectoryIsRecreatedAndPurgeGoesOn() {
        QVERIFY(!QFileInfo::exists(folder()));
        QCOMPARE(purgeStaleRecordings(86400, QDateTime::currentDateTimeUtc()), 0);
        QVERIFY(QFileInfo(folder()).isDir());
    }

private:
    QString folder() const { return QDir(m_temp.path()).filePath("tolvane-video"); }
    QTemporaryDir m_temp;
};

QTEST_GUILESS_MAIN(TestRecordingsDirectory)
#include "tst_recordingsdirectory.moc"
