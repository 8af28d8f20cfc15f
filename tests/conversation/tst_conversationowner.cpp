#include "conversation/conversationowner.h"

#include <QFile>
#include <QLocalServer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;

class TestConversationOwner : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    // The first claim wins; a second launch loses, and the owner is asked to
    // come forward. Once the owner is gone the folder can be claimed again.
    void oneOwnerAtATime() {
        const QString folder = m_dir.filePath("a");
        auto first = std::make_unique<ConversationOwner>(folder);
        QVERIFY(!first->isClaimedElsewhere());
        QVERIFY(first->claim());
        QVERIFY(first->claim()); // claiming again changes nothing
        QVERIFY(!first->isClaimedElsewhere());
        QSignalSpy activation(first.get(), &ConversationOwner::activationRequested);

        ConversationOwner second(folder);
        QVERIFY(second.isClaimedElsewhere());
        QVERIFY(!second.claim());
        QVERIFY(activation.wait(5000));
        QCOMPARE(activation.size(), 1);

        // Merely asking does not bring the owner forward.
        ConversationOwner tool(folder);
        QVERIFY(tool.isClaimedElsewhere());
        QTest::qWait(100);
        QCOMPARE(activation.size(), 1);

        first.reset();
        QVERIFY(!second.isClaimedElsewhere());
        QVERIFY(second.claim());
    }

    void foldersAreIndependent() {
        ConversationOwner a(m_dir.filePath("x"));
        ConversationOwner b(m_dir.filePath("y"));
        QVERIFY(a.name() != b.name());
        QVERIFY(a.claim());
        QVERIFY(b.claim());
        // The same folder spelled differently is the same folder.
        ConversationOwner again(m_dir.filePath("x/../x"));
        QCOMPARE(again.name(), a.name());
    }

    // A process that crashed leaves its socket file behind; nobody answers
    // on it, so the next launch takes the folder over.
    void leftoverSocketFileIsTakenOver() {
        ConversationOwner owner(m_dir.filePath("crashed"));
        {
            QLocalServer dead;
            QVERIFY(dead.listen(owner.name()));
            const QString path = dead.fullServerName();
            dead.close(); // removes the file; put a dead one back
            QFile leftover(path);
            QVERIFY(leftover.open(QIODevice::WriteOnly));
        }
        QVERIFY(!owner.isClaimedElsewhere());
        QVERIFY(owner.claim());
        ConversationOwner other(m_dir.filePath("crashed"));
        QVERIFY(other.isClaimedElsewhere());
    }
};

QTEST_GUILESS_MAIN(TestConversationOwner)
#include "tst_conversationowner.moc"
