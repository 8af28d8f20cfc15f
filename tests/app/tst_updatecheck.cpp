// The update check against a loopback release feed.
#include "app/appupdate.h"
#include "scriptedhttpserver.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;
using tolvane::test::Script;
using tolvane::test::ScriptedHttpServer;

class TestUpdateCheck : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void check_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("published"); // version made available, or empty
        QTest::newRow("newer")
            << 200
            << QByteArray("{\"version\":\"1.10.0\",\"url\":\"https://a.example/d\",\"notes\":null}")
            << "1.9.3"
            << "1.10.0";
        QTest::newRow("same") << 200 << QByteArray("{\"version\":\"1.2\",\"url\":\"u\"}") << "1.2.0"
                              << "";
        QTest::newRow("no running version")
            << 200 << QByteArray("{\"version\":\"0.1\",\"url\":\"u\"}") << ""
            << "0.1";
        QTest::newRow("not modified") << 304 << QByteArray() << "0.1"
                                      << "";
        QTest::newRow("server error")
            << 500 << QByteArray("{\"version\":\"9\",\"url\":\"u\"}") << "0.1"
            << "";
        QTest::newRow("no url") << 200 << QByteArray("{\"version\":\"9\"}") << "0.1"
                                << "";
        QTest::newRow("not json") << 200 << QByteArray("<html>") << "0.1"
                                  << "";
    }
    void check() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, running);
        QFETCH(QString, published);
        ScriptedHttpServer feed;
        feed.on("/download/version.json", Script::respond(status, body));
        AppUpdate update;
        QSignalSpy changed(&update, &AppUpdate::availableChanged);
        QCoro::waitFor(update.check(feed.root(), running));
        QCOMPARE(feed.requests().size(), 1);
        QCOMPARE(update.available() ? update.available()->version : QString(), published);
        QCOMPARE(changed.count(), published.isEmpty() ? 0 : 1);
        if (update.available()) {
            QVERIFY(!update.available()->notes);
            update.dismiss();
            QVERIFY(!update.available());
        }
    }

    void unusableAddressSendsNothing() {
        AppUpdate update;
        QCoro::waitFor(update.check(u"not a url"_s, u"1.0"_s));
        QVERIFY(!update.available());
    }
};

QTEST_GUILESS_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
