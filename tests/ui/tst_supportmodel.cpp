#include "panelstest.h"
#include "service/appsettings.h"
#include "ui/panels/emailaddress.h"
#include "ui/panels/supportmodel.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;
using namespace tolvane::test;

class TestSupportModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(m_dir->filePath("s.ini"), QSettings::IniFormat));
        m_settings->setUserID("user-42");
        m_server = std::make_unique<ScriptedHttpServer>();
        m_model = std::make_unique<SupportModel>(*m_settings,
                                                 ServiceEndpoints::forRoot(m_server->root()));
    }
    void cleanup() {
        m_model.reset();
        m_server.reset();
    }

    void emailValidity_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "ada@example.com" << true;
        QTest::newRow("surrounding white space") << " \n ada@example.com \t" << true;
        QTest::newRow("subdomain") << "a.b@mail.example.co.uk" << true;
        QTest::newRow("second dot last") << "ada@example.com." << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("no at") << "ada.example.com" << false;
        QTest::newRow("starts with at") << "@example.com" << false;
        QTest::newRow("empty domain") << "ada@" << false;
        QTest::newRow("domain without dot") << "ada@localhost" << false;
        QTest::newRow("domain starts with dot") << "ada@.example.com" << false;
        QTest::newRow("domain ends with its only dot") << "ada@example." << false;
        QTest::newRow("inner space") << "ada lovelace@example.com" << false;
        QTest::newRow("inner tab") << "ada\t@example.com" << false;
        QTest::newRow("second at in domain") << "ada@example.com@evil.com" << false;
        QTest::newRow("second at before dot") << "ada@ex@ample.com" << false;
    }
    void emailValidity() {
        QFETCH(QString, address);
        QFETCH(bool, valid);
        QCOMPARE(emailaddress::isValid(address), valid);
    }

    void sendNeedsAddressAndMessage() {
        QVERIFY(!m_model->canSend());
        m_model->setEmail("ada@example.com");
        QVERIFY(!m_model->canSend());
        m_model->setMessage("  \n\t ");
        QVERIFY(!m_model->canSend());
        m_model->send();
        QVERIFY(!m_model->sending());
        QVERIFY(m_server->requests().isEmpty());
        m_model->setMessage("It crashed");
        QVERIFY(m_model->canSend());
        m_model->setEmail("ada@localhost");
        QVERIFY(!m_model->canSend());
    }

    void failedSendNamesTheSupportAddress() {
        m_server->on("/api/contact", Script::respond(503, "busy"));
        m_model->setEmail("  ada@example.com \n");
        m_model->setMessage("\n The preview is blank. \n");
        m_model->send();
        QVERIFY(m_model->sending());
        QVERIFY(!m_model->canSend());
        QCOMPARE(m_settings->supportEmail(), QString("ada@example.com"));
        QVERIFY(waitSent());

        QVERIFY(!m_model->sent());
        QCOMPARE(m_model->error(), "Couldn't send just now — you can email us directly at " +
                                       SupportModel::supportEmailAddress + ".");
        QVERIFY(m_model->error().endsWith("@tolvane.example.com."));
        // The form keeps what was typed.
        QCOMPARE(m_model->message(), QString("\n The preview is blank. \n"));

        const RecordedRequest request = m_server->requests().constLast();
        QCOMPARE(request.method, QByteArray("POST"));
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        QCOMPARE(body.value("email").toString(), QString("ada@example.com"));
        QCOMPARE(body.value("message").toString(), QString("The preview is blank."));
        QCOMPARE(body.value("page").toString(), QString("macOS app (user user-42)"));

        // Sending again clears the error before anything else.
        m_server->on("/api/contact", Script::respond(200, "{}"));
        m_model->send();
        QVERIFY(!m_model->hasError());
        QVERIFY(waitSent());
        QVERIFY(m_model->sent());
    }

    void thankYouThenAFreshForm() {
        m_server->on("/api/contact", Script::respond(204, ""));
        m_model->setEmail("ada@example.com");
        m_model->setMessage("Thanks!");
        m_model->send();
        QVERIFY(waitSent());
        QVERIFY(m_model->sent());
        QVERIFY(!m_model->hasError());
        QCOMPARE(m_model->thanksText(),
                 QString("Thanks — a human on the team has your note and will reply to "
                         "ada@example.com by email."));

        m_model->open();
        QVERIFY(!m_model->sent());
        QCOMPARE(m_model->message(), QString());
        QCOMPARE(m_model->email(), QString("ada@example.com"));
    }

private:
    bool waitSent() {
        return waitUntil(m_model.get(), &SupportModel::sendingChanged,
                         [&] { return !m_model->sending(); });
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<SupportModel> m_model;
};

QTEST_GUILESS_MAIN(TestSupportModel)
#include "tst_supportmodel.moc"
