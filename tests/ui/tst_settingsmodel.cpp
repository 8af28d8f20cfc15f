#include "panelstest.h"
#include "service/appsettings.h"
#include "ui/panels/settingsmodel.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;
using namespace tolvane::test;

namespace {
const QByteArray overviewJson =
    R"({"drafts_count":2,"scheduled_pending":1,"published_count":5,"total_impressions":900,)"
    R"("total_likes":40,"connected_platforms":["linkedin"]})";
} // namespace

class TestSettingsModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(m_dir->filePath("s.ini"), QSettings::IniFormat));
        m_settings->setUserID("user-42");
        m_server = std::make_unique<ScriptedHttpServer>();
        m_model = std::make_unique<SettingsModel>(*m_settings,
                                                  ServiceEndpoints::forRoot(m_server->root()));
    }
    void cleanup() {
        m_model.reset();
        m_server.reset();
    }

    void connectionTestResults() {
        QCOMPARE(m_model->serverAddress(), m_server->root());
        QCOMPARE(m_model->connectionStatus(), QString());
        m_server->on("/api/overview", Script::respond(200, overviewJson));
        QVERIFY(runTest());
        QCOMPARE(m_model->connectionStatus(), QString("Connected"));
        QCOMPARE(m_server->requests().constLast().header("Authorization"),
                 QByteArray("Bearer user-42"));

        // A failure replaces the earlier result.
        m_server->on("/api/overview", Script::respond(401, R"({"error":"unknown user"})"));
        QVERIFY(runTest());
        QCOMPARE(m_model->connectionStatus(), QString("Server error 401: unknown user"));

        // A reply that is not an overview is a failure too.
        m_server->on("/api/overview", Script::respond(200, R"({"drafts_count":1})"));
        QVERIFY(runTest());
        QVERIFY(m_model->connectionStatus().startsWith("Could not read the server response: "));

        m_model->open();
        QCOMPARE(m_model->connectionStatus(), QString());
    }

    void olderTestDoesNotOverwriteNewer() {
        m_server->on("/api/overview", Script::respondWhenReleased(200, overviewJson));
        m_model->testConnection();
        QVERIFY(waitUntil(m_server.get(), &ScriptedHttpServer::connectionHeld,
                          [&] { return m_server->heldCount() == 1; }));
        m_server->on("/api/overview", Script::respond(500, "down"));
        QVERIFY(runTest());
        QCOMPARE(m_model->connectionStatus(), QString("Server error 500: down"));
        m_server->release();
        QVERIFY(settle(*m_server, *m_settings));
        QCOMPARE(m_model->connectionStatus(), QString("Server error 500: down"));
    }

    void localServerRowFollowsTheManager() {
        QVERIFY(!m_model->showLocalServer());
        std::optional<QString> statusText; // not managed
        bool running = true;
        int restarts = 0;
        m_model->setLocalServer({[&] { return statusText; }, [&] { return running; },
                                 [&] {
                                     ++restarts;
                                     statusText = u"Checking local server…"_s;
                                     running = false;
                                 }});
        QVERIFY(!m_model->showLocalServer());
        m_model->restartLocalServer();
        QCOMPARE(restarts, 0);

        QSignalSpy changed(m_model.get(), &SettingsModel::localServerChanged);
        statusText = u"Using the dev server already running (Air)."_s;
        m_model->refreshLocalServer();
        m_model->refreshLocalServer();
        QCOMPARE(changed.size(), 1);
        QVERIFY(m_model->showLocalServer());
        QCOMPARE(m_model->localServerText(), QString("Running"));

        m_model->restartLocalServer();
        QCOMPARE(restarts, 1);
        QCOMPARE(changed.size(), 2);
        QVERIFY(m_model->showLocalServer());
        QCOMPARE(m_model->localServerText(), QString("Not running"));
    }

private:
    bool runTest() {
        m_model->testConnection();
        return waitUntil(m_model.get(), &SettingsModel::testingChanged,
                         [&] { return !m_model->testing(); });
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<SettingsModel> m_model;
};

QTEST_GUILESS_MAIN(TestSettingsModel)
#include "tst_settingsmodel.moc"
