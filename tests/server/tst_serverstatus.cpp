#include "server/healthprobe.h"
#include "server/portowner.h"
#include "server/serverstatus.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;
using Case = ServerStatus::Case;

// The status values as plain data: composed texts, equality, the banner and
// running rules; and the two readers the launcher decides with.
class TestServerStatus : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_state.isValid());
        qputenv("XDG_STATE_HOME", m_state.path().toUtf8());
    }

    // The texts that carry something of the situation: the log's place, the
    // process holding the port, the server's own words. The fixed texts are
    // left out: a copy of them here would only restate the table.
    void texts_data() {
        QTest::addColumn<ServerStatus>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("managed") << ServerStatus::managed()
                                 << "Local server launched by the app. Log: " + m_state.path() +
                                        "/Tolvane/coach.log";
        QTest::newRow("portConflict")
            << ServerStatus::portConflict(u"nginx (pid 812)"_s)
            << "Port 20511 is taken by another process: nginx (pid 812). Quit it or change "
               "HTTP_ADDR.";
        // A payload that looks like a placeholder stays as it is.
        QTest::newRow("portConflict placeholder")
            << ServerStatus::portConflict(u"%1 %2"_s)
            << "Port 20511 is taken by another process: %1 %2. Quit it or change HTTP_ADDR.";
        QTest::newRow("configMismatch")
            << ServerStatus::configMismatch(u"Protocol 2 found."_s) << "Protocol 2 found.";
        QTest::newRow("failed") << ServerStatus::failed(u"It stopped."_s) << "It stopped.";
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
                     u"Local server launched by the app. Log: "
                     "~/.local/state/Tolvane/coach.log"_s);
        }
        qputenv("XDG_STATE_HOME", m_state.path().toUtf8());
    }

    void equality() {
        QCOMPARE(ServerStatus::probing(), ServerStatus::probing());
        QVERIFY(!(ServerStatus::probing() == ServerStatus::starting()));
        QCOMPARE(ServerStatus::failed(u"a"_s), ServerStatus::failed(u"a"_s));
        QVERIFY(!(ServerStatus::failed(u"a"_s) == ServerStatus::failed(u"b"_s)));
        QVERIFY(!(ServerStatus::portConflict(u"x"_s) == ServerStatus::portConflict(u"y"_s)));
        QVERIFY(!(ServerStatus::configMismatch(u"a"_s) == ServerStatus::configMismatch(u"b"_s)));
        // Same text, different case.
        QVERIFY(!(ServerStatus::failed(u"a"_s) == ServerStatus::configMismatch(u"a"_s)));
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

    void listeningInodes() {
        // 0x501F = 20511; 0x5020 = 20512. State 0A is LISTEN, 01 ESTABLISHED.
        const QByteArray tcp =
            "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
            "timeout inode\n"
            "   0: 0100007F:501F 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000   "
            "     0 41001 1 0000000000000000 100 0 0 10 0\n"
            "   1: 0100007F:5020 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000   "
            "     0 41002 1 0000000000000000 100 0 0 10 0\n"
            "   2: 0100007F:9C40 0100007F:501F 01 00000000:00000000 00:00000000 00000000  1000   "
            "     0 41003 1 0000000000000000 20 4 30 10 -1\n"
            "   3: 0100007F:501F 0100007F:9C40 01 00000000:00000000 00:00000000 00000000  1000   "
            "     0 41004 1 0000000000000000 20 4 30 10 -1\n";
        QCOMPARE(PortOwner::listeningInodes(tcp, 20511), QList<quint64>{41001});
        QCOMPARE(PortOwner::listeningInodes(tcp, 20512), QList<quint64>{41002});
        QCOMPARE(PortOwner::listeningInodes(tcp, 40000), QList<quint64>{});

        const QByteArray tcp6 =
            "  sl  local_address                         remote_address                        st "
            "tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
            "   0: 00000000000000000000000001000000:501F 00000000000000000000000000000000:0000 0A "
            "00000000:00000000 00:00000000 00000000  1000        0 52001 1 0000000000000000 100 0 "
            "0 10 0\n";
        QCOMPARE(PortOwner::listeningInodes(tcp6, 20511), QList<quint64>{52001});
        QCOMPARE(PortOwner::listeningInodes("", 20511), QList<quint64>{});
        QCOMPARE(PortOwner::listeningInodes("header\n   0: garbage\n", 20511), QList<quint64>{});
    }

    void healthReplies_data() {
        QTest::addColumn<int>("httpStatus");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("protocol");
        const int coach = int(HealthAnswer::Kind::coach);
        const int other = int(HealthAnswer::Kind::other);
        QTest::newRow("coach")
            << 200
            << QByteArray(R"({"service":"tolvane-coach","protocol":1,"version":"0.1.0","pid":7})")
            << coach << 1;
        QTest::newRow("newer coach")
            << 200 << QByteArray(R"({"service":"tolvane-coach","protocol":2})") << coach << 2;
        QTest::newRow("another service")
            << 200 << QByteArray(R"({"service":"grafana","protocol":1})") << other << 0;
        QTest::newRow("protocol as text")
            << 200 << QByteArray(R"({"service":"tolvane-coach","protocol":"1"})") << other << 0;
        QTest::newRow("no protocol")
            << 200 << QByteArray(R"({"service":"tolvane-coach"})") << other << 0;
        QTest::newRow("not found")
            << 404 << QByteArray(R"({"service":"tolvane-coach","protocol":1})") << other << 0;
        QTest::newRow("html") << 200 << QByteArray("<html>It works!</html>") << other << 0;
    }

    void healthReplies() {
        QFETCH(int, httpStatus);
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        QFETCH(int, protocol);
        const HealthAnswer answer = HealthProbe::classify(httpStatus, body);
        QCOMPARE(int(answer.kind), kind);
        QCOMPARE(answer.protocol, protocol);
    }

private:
    QTemporaryDir m_state;
};

QTEST_GUILESS_MAIN(TestServerStatus)
#include "tst_serverstatus.moc"
