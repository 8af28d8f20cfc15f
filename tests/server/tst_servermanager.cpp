#include "server/servermanager.h"

#include "scriptedhttpserver.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

using namespace Qt::StringLiterals;

using namespace tolvane;
using namespace tolvane::test;
using Case = ServerStatus::Case;

namespace {

constexpr int settleMs = 15000;

bool processExists(qint64 pid) {
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

// A port nothing listens on right now.
quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString rootFor(quint16 port) {
    return u"http://127.0.0.1:%1/"_s.arg(port);
}

std::unique_ptr<QProcess> startShell(const QString& script) {
    auto process = std::make_unique<QProcess>();
    process->start(u"/bin/sh"_s, {u"-c"_s, script});
    process->waitForStarted();
    return process;
}

} // namespace

// The manager's actions on real processes and real sockets: stopping a child,
// the Retry rule, and the launcher's decisions against stand-ins for the coach.
class TestServerManager : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_state.isValid());
        qputenv("XDG_STATE_HOME", m_state.path().toUtf8());
        qunsetenv("STANDIN_EXIT_CODE");
        qunsetenv("STANDIN_PROTOCOL");
    }

    void equalStatusPublishesNothing() {
        ServerManager manager(u"https://coach.example.com/"_s);
        QSignalSpy changed(&manager, &ServerManager::statusChanged);
        QCOMPARE(manager.status(), ServerStatus::probing());
        manager.setStatus(ServerStatus::probing());
        QCOMPARE(changed.count(), 0);
        manager.setStatus(ServerStatus::failed(u"a"_s));
        manager.setStatus(ServerStatus::failed(u"a"_s));
        QCOMPARE(changed.count(), 1);
        manager.setStatus(ServerStatus::failed(u"b"_s));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(manager.statusText(), std::optional<QString>(u"b"_s));
        QVERIFY(manager.showsBanner());
        QVERIFY(!manager.isRunning());
    }

    void otherRootsAreNotManaged_data() {
        QTest::addColumn<QString>("root");
        QTest::newRow("public https") << "https://coach.example.com/";
        QTest::newRow("lan address") << "http://192.168.1.20:20511/";
        QTest::newRow("https on loopback") << "https://127.0.0.1:20511/";
    }

    void otherRootsAreNotManaged() {
        QFETCH(QString, root);
        ServerManager manager(root);
        QVERIFY(!manager.managesLocalCoach());
        manager.start();
        QCOMPARE(manager.status(), ServerStatus::notManaged());
        QCOMPARE(manager.statusText(), std::nullopt);
        QVERIFY(manager.isRunning());
        QVERIFY(!manager.showsBanner());
        QVERIFY(!manager.hasChild());
    }

    void loopbackRoots_data() {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("address");
        QTest::newRow("default") << "http://127.0.0.1:20511/"
                                 << "127.0.0.1:20511";
        QTest::newRow("localhost") << " http://LOCALHOST:8080"
                                   << "127.0.0.1:8080";
        QTest::newRow("other loopback") << "http://127.0.0.2:20511/"
                                        << "127.0.0.2:20511";
        QTest::newRow("ipv6") << "http://[::1]:20511/"
                              << "[::1]:20511";
        QTest::newRow("no port") << "http://127.0.0.1/"
                                 << "127.0.0.1:80";
    }

    void loopbackRoots() {
        QFETCH(QString, root);
        QFETCH(QString, address);
        ServerManager manager(root);
        QVERIFY(manager.managesLocalCoach());
        QCOMPARE(manager.coachAddress(), address);
    }

    void restartWhileNotManagedDoesNothing() {
        ServerManager manager(u"https://coach.example.com/"_s);
        manager.start();
        manager.adoptChild(startShell(u"exec sleep 30"_s));
        QSignalSpy changed(&manager, &ServerManager::statusChanged);
        manager.restart();
        QCOMPARE(changed.count(), 0);
        QCOMPARE(manager.status(), ServerStatus::notManaged());
        QVERIFY(manager.hasChild());
    }

    void restartAfterFailureClearsExits() {
        ServerManager manager(u"https://coach.example.com/"_s);
        // A child that ends by itself is an exit; the watchdog only restarts
        // local coaches, so this one is just recorded.
        manager.adoptChild(startShell(u"exit 4"_s));
        QTRY_COMPARE_WITH_TIMEOUT(manager.recentExits().size(), 1, settleMs);
        QVERIFY(!manager.hasChild());
        manager.setStatus(ServerStatus::failed(u"gave up"_s));
        QVERIFY(manager.showsBanner());
        manager.restart();
        QVERIFY(manager.recentExits().isEmpty());
        QCOMPARE(manager.status(), ServerStatus::probing());
        QVERIFY(!manager.showsBanner());
    }

    void stopChildThatAlreadyEnded() {
        ServerManager manager(u"https://coach.example.com/"_s);
        auto process = startShell(u"exit 0"_s);
        QVERIFY(process->waitForFinished());
        manager.adoptChild(std::move(process));
        QCOMPARE(manager.stopChild(), ServerManager::StopOutcome::alreadyEnded);
        QVERIFY(!manager.hasChild());
    }

    void stopChildTerminates() {
        ServerManager manager(u"https://coach.example.com/"_s);
        manager.adoptChild(startShell(u"exec sleep 30"_s));
        const qint64 pid = manager.childProcessId();
        QVERIFY(processExists(pid));
        QCOMPARE(manager.stopChild(), ServerManager::StopOutcome::terminated);
        QVERIFY(!manager.hasChild());
        QVERIFY(!processExists(pid));
        // An end that was asked for is not an exit.
        QCoreApplication::processEvents();
        QVERIFY(manager.recentExits().isEmpty());
    }

    void stopChildLetsAQuickExitGo() {
        // Handles the request itself and ends within a few milliseconds: it
        // must never see the kill signal.
        ServerManager manager(u"https://coach.example.com/"_s);
        auto process =
            startShell(u"trap 'exit 0' TERM; echo ready; while :; do sleep 0.01; done"_s);
        QVERIFY(process->waitForReadyRead());
        manager.adoptChild(std::move(process));
        QCOMPARE(manager.stopChild(), ServerManager::StopOutcome::terminated);
    }

    void stopChildKillsAChildThatIgnoresTermination() {
        ServerManager manager(u"https://coach.example.com/"_s);
        // The ignored signal stays ignored across exec.
        auto process = startShell(u"trap '' TERM; echo ready; exec sleep 30"_s);
        QVERIFY(process->waitForReadyRead());
        manager.adoptChild(std::move(process));
        const qint64 pid = manager.childProcessId();
        QCOMPARE(manager.stopChild(), ServerManager::StopOutcome::killed);
        QVERIFY(!processExists(pid));
    }

    void externalCoach() {
        ScriptedHttpServer coach;
        coach.on("/health", Script::respond(200, R"({"service":"tolvane-coach","protocol":1,)"
                                                 R"("version":"0.1.0","pid":1})"));
        ServerManager manager(coach.root());
        manager.setCoachProgram(QStringLiteral(STANDIN_COACH));
        manager.start();
        QTRY_COMPARE_WITH_TIMEOUT(manager.status(), ServerStatus::external(), settleMs);
        QVERIFY(!manager.hasChild());
        QCOMPARE(coach.requests().size(), 1);
        QCOMPARE(coach.requests().first().method, QByteArray("GET"));
    }

    void externalCoachGoingAwayIsReplaced() {
        auto coach = std::make_unique<ScriptedHttpServer>();
        coach->on("/health", Script::respond(200, R"({"service":"tolvane-coach","protocol":1})"));
        ServerManager manager(coach->root());
        manager.setCoachProgram(QStringLiteral(STANDIN_COACH));
        manager.start();
        QTRY_COMPARE_WITH_TIMEOUT(manager.status(), ServerStatus::external(), settleMs);
        coach.reset();
        QTRY_COMPARE_WITH_TIMEOUT(manager.status(), ServerStatus::managed(), settleMs);
        QVERIFY(manager.hasChild());
    }

    void coachOfAnotherProtocol() {
        ScriptedHttpServer coach;
        coach.on("/health", Script::respond(200, R"({"service":"tolvane-coach","protocol":2})"));
        ServerManager manager(coach.root());
        manager.setCoachProgram(QStringLiteral(STANDIN_COACH));
        manager.start();
        QTRY_COMPARE_WITH_TIMEOUT(manager.status().kind(), Case::configMismatch, settleMs);
        QVERIFY(manager.statusText()->contains(u"protocol 2"_s));
        QVERIFY(manager.showsBanner());
        QVERIFY(!manager.hasChild());
    }

    void portHeldByAnotherProgram_data() {
        QTest::addColumn<bool>("answersHttp");
        QTest::newRow("silent listener") << false;
        QTest::newRow("another web server") << true;
    }

    void portHeldByAnotherProgram() {
        QFETCH(bool, answersHttp);
        // This process holds the port, so it is the one to be named.
        QTcpServer silent;
        ScriptedHttpServer web;
        quint16 port = 0;
        if (answersHttp) {
            web.on("/health", Script::respond(404, "<html>Not Found</html>", "text/html"));
            port = web.port();
        } else {
            QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
            port = silent.serverPort();
        }
        ServerManager manager(rootFor(port));
        manager.setCoachProgram(QStringLiteral(STANDIN_COACH));
        manager.start();
        QTRY_COMPARE_WITH_TIMEOUT(manager.status().kind(), Case::portConflict, settleMs);
        const QString expected = QFileInfo(QCoreApplication::applicationFilePath()).fileName() +
                                 u" (pid %1)"_s.arg(QCoreApplication::applicationPid());
        QCOMPARE(manager.status().payload(), expected);
        QVERIFY(!manager.hasChild());
    }

    void coachProgramMissing() {
        QTemporaryDir empty;
        ServerManager manager(rootFor(freePort()));
        manager.setCoachProgram(empty.filePath(u"tolvane-coach"_s));
        manager.start();
        QTRY_COMPARE_WITH_TIMEOUT(manager.status(), ServerStatus::binaryMissing(), settleMs);
        QVERIFY(!manager.hasChild());
    }

    void launchesWatchesAndStopsTheCoach() {
        ServerManager manager(rootFor(freePort()));
        manager.setCoachProgram(QStringLiteral(STANDIN_COACH));
        QList<Case> seen;
        connect(&manager, &ServerManager::statusChanged, &manager,
                [&] { seen.append(manager.status().kind()); });
        manager.start();
        QTRY_COMPARE_WITH_TIMEOUT(manager.status(), ServerStatus::managed(), settleMs);
        QCOMPARE(seen, (QList<Case>{Case::starting, Case::managed}));
        const qint64 first = manager.childProcessId();
        QVERIFY(processExists(first));

        // The child's output lands in the log, after the line that marks the launch.
        QFile log(m_state.filePath(u"Tolvane/coach.log"_s));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        QVERIFY(text.contains("Tolvane starts"));
        QVERIFY(text.contains("standin coach: ready on " + manager.coachAddress().toUtf8()));

        // Starting again must not mistake our own child for someone else's.
        manager.start();
        QCOMPARE(manager.status(), ServerStatus::managed());
        QCOMPARE(manager.childProcessId(), first);

        // A crash is restarted and remembered.
        seen.clear();
        ::kill(pid_t(first), SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(manager.recentExits().size(), 1, settleMs);
        QTRY_COMPARE_WITH_TIMEOUT(manager.status(), ServerStatus::managed(), settleMs);
        QCOMPARE(seen.first(), Case::starting);
        const qint64 second = manager.childProcessId();
        QVERIFY(second != first);
        QVERIFY(processExists(second));

        // Retry replaces the child and forgets the crash.
        manager.restart();
        QVERIFY(!processExists(second));
        QVERIFY(manager.recentExits().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(manager.status(), ServerStatus::managed(), settleMs);
        const qint64 third = manager.childProcessId();
        QVERIFY(processExists(third));
    }

    void quittingStopsTheCoach() {
        qint64 pid = 0;
        {
            ServerManager manager(rootFor(freePort()));
            manager.setCoachProgram(QStringLiteral(STANDIN_COACH));
            manager.start();
            QTRY_COMPARE_WITH_TIMEOUT(manager.status(), ServerStatus::managed(), settleMs);
            pid = manager.childProcessId();
            QVERIFY(processExists(pid));
        }
        QVERIFY(!processExists(pid));
    }

    void givesUpAfterThreeExitsInAMinute() {
        qputenv("STANDIN_EXIT_CODE", "3");
        ServerManager manager(rootFor(freePort()));
        manager.setCoachProgram(QStringLiteral(STANDIN_COACH));
        manager.start();
        QTRY_COMPARE_WITH_TIMEOUT(manager.status().kind(), Case::failed, settleMs);
        qunsetenv("STANDIN_EXIT_CODE");
        QCOMPARE(manager.recentExits().size(), 3);
        const QString text = manager.statusText().value();
        QVERIFY2(text.contains(u"3 times"_s), qPrintable(text));
        QVERIFY2(text.contains(u"exit code 3"_s), qPrintable(text));
        QVERIFY2(text.contains(u"failing on purpose"_s), qPrintable(text));
        QVERIFY(!manager.hasChild());

        // Retry starts over, and this time the coach comes up.
        manager.restart();
        QVERIFY(manager.recentExits().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(manager.status(), ServerStatus::managed(), settleMs);
    }

    void coachBuiltForAnotherProtocol() {
        qputenv("STANDIN_PROTOCOL", "2");
        ServerManager manager(rootFor(freePort()));
        manager.setCoachProgram(QStringLiteral(STANDIN_COACH));
        manager.start();
        QTRY_COMPARE_WITH_TIMEOUT(manager.status().kind(), Case::configMismatch, settleMs);
        qunsetenv("STANDIN_PROTOCOL");
        QVERIFY(!manager.hasChild());
        QVERIFY(manager.recentExits().isEmpty());
    }

private:
    QTemporaryDir m_state;
};

QTEST_GUILESS_MAIN(TestServerManager)
#include "tst_servermanager.moc"
