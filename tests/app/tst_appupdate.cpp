// The update check's pure parts: the release feed record and the version rule.
#include "app/release.h"
#include "app/versioncomparison.h"
#include "service/jsonreader.h"

#include <QTest>

using namespace tolvane;

class TestAppUpdate : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void newer_data();
    void newer();
    void release_data();
    void release();
};

void TestAppUpdate::newer_data() {
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<QString>("running");
    QTest::addColumn<bool>("newer");
    QTest::newRow("numeric, not text") << "1.10.0"
                                       << "1.9.3" << true;
    QTest::newRow("missing component is 0") << "1.2"
                                            << "1.2.0" << false;
    QTest::newRow("extra component") << "1.2.1"
                                     << "1.2" << true;
    QTest::newRow("equal") << "2.0.0"
                           << "2.0.0" << false;
    QTest::newRow("older") << "1.9"
                           << "1.10" << false;
    QTest::newRow("suffix counts as 0") << "2.0-beta"
                                        << "2.0" << false;
    QTest::newRow("beta is not newer than 1") << "2.1-beta"
                                              << "2.0.9" << false;
    QTest::newRow("no version entry") << "0.0.1"
                                      << "0" << true;
    QTest::newRow("all zero vs 0") << "0.0"
                                   << "0" << false;
    QTest::newRow("empty components dropped") << "1..2"
                                              << "1.1" << true;
    QTest::newRow("signs accepted") << "+2"
                                    << "1" << true;
    QTest::newRow("negative component") << "1.-1"
                                        << "1.0" << false;
    QTest::newRow("space is not a number") << "1. 5"
                                           << "1.4" << false;
    QTest::newRow("overflow counts as 0") << "99999999999999999999"
                                          << "1" << false;
    QTest::newRow("leading zeros") << "1.02"
                                   << "1.1" << true;
}

void TestAppUpdate::newer() {
    QFETCH(QString, candidate);
    QFETCH(QString, running);
    QFETCH(bool, newer);
    QCOMPARE(version::isNewer(candidate, running), newer);
}

void TestAppUpdate::release_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("decodes");
    QTest::addColumn<bool>("hasNotes");
    QTest::newRow("full") << QByteArray(
                                 R"({"version":"1.4.2","url":"https://example.com/d","notes":"n"})")
                          << true << true;
    QTest::newRow("null notes") << QByteArray(R"({"version":"1","url":"u","notes":null})") << true
                                << false;
    QTest::newRow("extra keys") << QByteArray(R"({"version":"1","url":"u","size":3})") << true
                                << false;
    QTest::newRow("no url") << QByteArray(R"({"version":"1"})") << false << false;
    QTest::newRow("numeric version")
        << QByteArray(R"({"version":1.4,"url":"u"})") << false << false;
    QTest::newRow("notes of wrong type")
        << QByteArray(R"({"version":"1","url":"u","notes":3})") << false << false;
    QTest::newRow("array") << QByteArray("[]") << false << false;
}

void TestAppUpdate::release() {
    QFETCH(QByteArray, json);
    QFETCH(bool, decodes);
    QFETCH(bool, hasNotes);
    const auto r = json::decode<Release>(json);
    QCOMPARE(bool(r), decodes);
    if (decodes) {
        QCOMPARE(r->notes.has_value(), hasNotes);
    }
}

QTEST_GUILESS_MAIN(TestAppUpdate)
#include "tst_appupdate.moc"
