#include "platform/filereveal.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;

// Answers ShowItems as a desktop's file manager would.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> shown;
public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString&) { shown.append(uris); }
};

// Revealing a saved file through the file manager's D-Bus interface on a
// private session bus, and the fallback when no file manager answers.
class TestFileReveal : public QObject {
    Q_OBJECT

    QProcess m_bus;
    QTemporaryDir m_dir;
    FakeFileManager m_manager;
    QStringList m_fallbacks;

    void reveal(const QString& path) {
        revealInFileViewer(path, [this](const QString& folder) { m_fallbacks.append(folder); });
    }

private Q_SLOTS:
    void initTestCase() {
        m_bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address"_s});
        QVERIFY(m_bus.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.canReadLine(), 5000);
        // Before the first use of the session bus in this process.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.readLine().trimmed());
        QVERIFY(QDBusConnection::sessionBus().isConnected());
    }

    void cleanupTestCase() {
        m_bus.terminate();
        m_bus.waitForFinished(5000);
    }

    void showsTheFileInTheFileManager() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(u"/org/freedesktop/FileManager1"_s, &m_manager,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(u"org.freedesktop.FileManager1"_s));
        const QString file = m_dir.filePath(u"my short #1.mp4"_s);
        reveal(file);
        QTRY_COMPARE(m_manager.shown.size(), 1);
        QCOMPARE(m_manager.shown.first(), QStringList{QUrl::fromLocalFile(file).toString()});
        QTest::qWait(50);
        QVERIFY(m_fallbacks.isEmpty());
        bus.unregisterService(u"org.freedesktop.FileManager1"_s);
        bus.unregisterObject(u"/org/freedesktop/FileManager1"_s);
    }

    void opensTheFolderWithoutAFileManager() {
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
            u"org.freedesktop.FileManager1"_s));
        reveal(m_dir.filePath(u"video.mp4"_s));
        QTRY_COMPARE(m_fallbacks, QStringList{QDir(m_dir.path()).absolutePath()});
    }
};

QTEST_MAIN(TestFileReveal)
#include "tst_filereveal.moc"
