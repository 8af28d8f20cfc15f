#include "conversation/conversationowner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace tolvane;

namespace {

// Whether another process owns the folder: a claim that would win is let go
// at once.
bool ownedElsewhere(const QString& folder) {
    return !ConversationOwner(folder).claim();
}

} // namespace

class TestConversationOwner : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    // The first claim wins; a second launch loses and can ask the owner to
    // come forward. Once the owner is gone the folder can be claimed again.
    void oneOwnerAtATime() {
        const QString folder = m_dir.filePath("a");
        auto first = std::make_unique<ConversationOwner>(folder);
        QVERIFY(!ownedElsewhere(folder));
        QVERIFY(first->claim());
        QVERIFY(first->claim()); // claiming again changes nothing
        first->listenForActivation();
        QSignalSpy activation(first.get(), &ConversationOwner::activationRequested);

        ConversationOwner second(folder);
        QVERIFY(!second.claim());
        QVERIFY(second.askOwnerToShow());
        QVERIFY(activation.wait(5000));
        QCOMPARE(activation.size(), 1);

        // Only asking brings the owner forward; looking does not.
        QVERIFY(ownedElsewhere(folder));
        QTest::qWait(100);
        QCOMPARE(activation.size(), 1);

        first.reset();
        QVERIFY(!second.askOwnerToShow());
        QVERIFY(second.claim());
        QVERIFY(ownedElsewhere(folder));
    }

    // An owner that only holds the lock (the command-line tool) can't be
    // asked to show itself; a launch then knows the folder is busy.
    void ownerWithoutAWindow() {
        const QString folder = m_dir.filePath("b");
        ConversationOwner tool(folder);
        QVERIFY(tool.claim());
        ConversationOwner app(folder);
        QVERIFY(!app.claim());
        QVERIFY(!app.askOwnerToShow());
    }

    void foldersAreIndependent() {
        ConversationOwner a(m_dir.filePath("x"));
        ConversationOwner b(m_dir.filePath("y"));
        QVERIFY(a.socketPath() != b.socketPath());
        QVERIFY(a.claim());
        QVERIFY(b.claim());
        // The same folder spelled differently is the same folder.
        ConversationOwner again(m_dir.filePath("x/../x"));
        QCOMPARE(again.socketPath(), a.socketPath());
        QVERIFY(!again.claim());
    }

    // A crashed owner leaves its lock and socket behind; nobody answers, its
    // process is gone, and the next launch takes the folder over.
    void crashedOwnerIsTakenOver() {
        const QString folder = m_dir.filePath("crashed");
        QVERIFY(QDir().mkpath(folder));
        QProcess gone;
        gone.start("true", {});
        QVERIFY(gone.waitForStarted(5000));
        const qint64 pid = gone.processId();
        QVERIFY(gone.waitForFinished(5000));
        QFile lock(folder + "/conversation.lock");
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(pid) + "\ntolvane\n" + QHostInfo::localHostName().toUtf8() +
                   "\n");
        lock.close();

        ConversationOwner owner(folder);
        QFile socket(owner.socketPath());
        QVERIFY(socket.open(QIODevice::WriteOnly)); // a dead socket file
        socket.close();
        QVERIFY(owner.claim());
        owner.listenForActivation();
        QSignalSpy activation(&owner, &ConversationOwner::activationRequested);
        ConversationOwner next(folder);
        QVERIFY(!next.claim());
        QVERIFY(next.askOwnerToShow());
        QVERIFY(activation.wait(5000));
    }

    // A process killed between creating its lock file and writing its id
    // into it leaves the file empty. That must not keep the folder locked for
    // good, but a claimer still holding the file is left alone.
    void abandonedEmptyLockIsTakenOver() {
        const QString folder = m_dir.filePath("empty");
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + "/conversation.lock";
        const auto emptyLock = [&](const QDateTime& modified) {
            QFile lock(path);
            QVERIFY(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QVERIFY(lock.setFileTime(modified, QFileDevice::FileModificationTime));
        };

        emptyLock(QDateTime::currentDateTime().addSecs(-30));
        {
            ConversationOwner owner(folder);
            QVERIFY(owner.claim());
            QVERIFY(ownedElsewhere(folder));
        }

        // Just left behind: taken over once it stayed empty for a moment.
        emptyLock(QDateTime::currentDateTime());
        {
            ConversationOwner owner(folder);
            QVERIFY(owner.claim());
        }

        // A clock set back since: the wait stays short.
        emptyLock(QDateTime::currentDateTime().addSecs(3600));
        {
            QElapsedTimer waited;
            waited.start();
            ConversationOwner owner(folder);
            QVERIFY(owner.claim());
            QVERIFY(waited.elapsed() < 5000);
        }

        // Still held by a live claimer about to write its id.
        emptyLock(QDateTime::currentDateTime().addSecs(-30));
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        QVERIFY(ownedElsewhere(folder));
        QVERIFY(QFile::exists(path));
        ::close(fd);
        QVERIFY(!ownedElsewhere(folder));
    }
};

QTEST_GUILESS_MAIN(TestConversationOwner)
#include "tst_conversationowner.moc"
