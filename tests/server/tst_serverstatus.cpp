#include "server/serverstatus.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;
using Case = ServerStatus::Case;

// The status values as plain data: texts, equality, the banner and running
// rules.
class TestServerStatus : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_state.isValid());
        qputenv("XDG_STATE_HOME", m_state.path().toUtf8());
    }

    void texts_data() {
        QTest::addColumn<ServerStatus>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("probing") << ServerStatus::probing() << "Checking local server…";
        QTest::newRow("external") << ServerStatus::external()
                                  << "Using the dev server already running (Air).";
        QTest::newRow("starting") << ServerStatus::starting() << "Starting local server…";
        QTest::newRow("managed") << ServerStatus::managed()
                                 << "Local server launched by the app. Log: " + m_state.path() +
                                        "/Tolvane/coach.log";
        QTest::newRow("binaryMissing")
            << ServerStatus::binaryMissing()
            << "No server binary found — run `scripts/build.sh` in the repo once.";
        QTest::newRow("portConflict")
            << ServerStatus::portConflict(QStringLiteral("nginx (pid 812)"))
            << "Port 20511 is taken by another process: nginx (pid 812). Quit it or change "
               "HTTP_ADDR.";
        // A payload that looks like a placeholder stays as it is.
        QTest::newRow("portConflict placeholder")
            << ServerStatus::portConflict(QStringLiteral("%1 %2"))
            << "Port 20511 is taken by another process: %1 %2. Quit it or change HTTP_ADDR.";
        QTest::newRow("configMismatch")
            << ServerStatus::configMismatch(QStringLiteral("Protocol 2 found."))
            << "Protocol 2 found.";
        QTest::newRow("failed") << ServerStatus::failed(QStringLiteral("It stopped."))
                                << "It stopped.";
    }

    void texts() {
        QFETCH(ServerStatus, status);
        QFETCH(QString, text);
        QCOMPARE(status.text(), std::optional<QString>(text));
    }

    void notManagedHasNoText() { QCOMPARE(ServerStatus::notManaged().text(), std::nullopt); }

    void logPathFallsBackToHome() {
        // Unset, and a relative value the XDG rules say to ignore.
        for (const QByteArray& value : {QByteArray(), QByteArray("relative/state")}) {
            if (value.isEmpty()) {
                qunsetenv("XDG_STATE_HOME");
            } else {
                qputenv("XDG_STATE_HOME", value);
            }
            QCOMPARE(ServerStatus::managed().text().value(),
                     QStringLiteral("Local server launched by the app. Log: "
                                    "~/.local/state/Tolvane/coach.log"));
        }
        qputenv("XDG_STATE_HOME", m_state.path().toUtf8());
    }

    void equality() {
        QCOMPARE(ServerStatus::probing(), ServerStatus::probing());
        QVERIFY(!(ServerStatus::probing() == ServerStatus::starting()));
        QCOMPARE(ServerStatus::failed(QStringLiteral("a")),
                 ServerStatus::failed(QStringLiteral("a")));
        QVERIFY(!(ServerStatus::failed(QStringLiteral("a")) ==
                  ServerStatus::failed(QStringLiteral("b"))));
        QVERIFY(!(ServerStatus::portConflict(QStringLiteral("x")) ==
                  ServerStatus::portConflict(QStringLiteral("y"))));
        QVERIFY(!(ServerStatus::configMismatch(QStringLiteral("a")) ==
                  ServerStatus::configMismatch(QStringLiteral("b"))));
        // Same text, different case.
        QVERIFY(!(ServerStatus::failed(QStringLiteral("a")) ==
                  ServerStatus::configMismatch(QStringLiteral("a"))));
    }

    void runningAndBanner_data() {
        QTest::addColumn<ServerStatus>("status");
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("banner");
        QTest::newRow("notManaged") << ServerStatus::notManaged() << true << false;
        QTest::newRow("probing") << ServerStatus::probing() << false << false;
        QTest::newRow("external") << ServerStatus::external() << true << false;
        QTest::newRow("starting") << ServerStatus::starting() << false << false;
        QTest::newRow("managed") << ServerStatus::managed() << true << false;
        QTest::newRow("binaryMissing") << ServerStatus::binaryMissing() << false << true;
        QTest::newRow("portConflict") << ServerStatus::portConflict({}) << false << true;
        QTest::newRow("configMismatch") << ServerStatus::configMismatch({}) << false << true;
        QTest::newRow("failed") << ServerStatus::failed({}) << false << true;
    }

    void runningAndBanner() {
        QFETCH(ServerStatus, status);
        QFETCH(bool, running);
        QFETCH(bool, banner);
        QCOMPARE(status.isRunning(), running);
        QCOMPARE(status.showsBanner(), banner);
    }

private:
    QTemporaryDir m_state;
};

QTEST_GUILESS_MAIN(TestServerStatus)
#include "tst_serverstatus.moc"
