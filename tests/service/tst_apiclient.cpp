#include "scriptedhttpserver.h"
#include "service/apiclient.h"
#include "service/appsettings.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <qcoro/qcorotask.h>

using namespace Qt::StringLiterals;

using namespace tolvane;
using tolvane::test::Script;
using tolvane::test::ScriptedHttpServer;

namespace {

std::unique_ptr<QSettings> settingsIn(const QTemporaryDir& dir) {
    return std::make_unique<QSettings>(dir.filePath("settings.ini"), QSettings::IniFormat);
}

// A root nothing listens on: a port that was free a moment ago.
QString closedRoot() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return u"http://127.0.0.1:%1/"_s.arg(port);
}

} // namespace

class TestAPIClient : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QVERIFY(m_dir.isValid()); }
    void cleanup() { QFile::remove(m_dir.filePath("settings.ini")); }

    void baseURLDerivation() {
        const auto base = APIClient::baseURL(" \thttp://127.0.0.1:20511/coach// \t");
        QVERIFY(base);
        QCOMPARE(base->toString(), QString("http://127.0.0.1:20511/coach"));
        QCOMPARE(APIClient::appending(*base, "api/overview").toString(),
                 QString("http://127.0.0.1:20511/coach/api/overview"));
        const auto bare = APIClient::baseURL("http://127.0.0.1:20511//");
        QCOMPARE(APIClient::appending(*bare, "api/overview").toString(),
                 QString("http://127.0.0.1:20511/api/overview"));
        QVERIFY(!APIClient::baseURL("not a url"));
        QVERIFY(!APIClient::baseURL(""));
        QVERIFY(!APIClient::baseURL("http://exa mple.com"));
        // A newline is not trimmed: the root is then unusable.
        QVERIFY(!APIClient::baseURL("http://127.0.0.1:20511/\n"));
    }

    void badURLFailsEveryOperation() {
        AppSettings settings(settingsIn(m_dir));
        const APIClient client(settings, {"::bad::", "::bad::"});
        const auto overview = QCoro::waitFor(client.overview());
        QVERIFY(!overview);
        QCOMPARE(overview.error().description(),
                 QString("The server URL is invalid. Check Settings."));
        QVERIFY(!client.draftPreviewURL("t"));
        QCOMPARE(QCoro::waitFor(client.contactSupport("a@example.com", "m")).error().kind,
                 APIError::Kind::badURL);
        QCOMPARE(QCoro::waitFor(client.chatStream("x", {}, {}, {})).error().kind,
                 APIError::Kind::badURL);
    }

    void statusFailures_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("description");
        QTest::newRow("json error")
            << 401 << QByteArray(R"({"error":"unknown user"})") << "Server error 401: unknown user";
        QTest::newRow("plain text") << 500 << QByteArray("boom") << "Server error 500: boom";
        QTest::newRow("empty") << 502 << QByteArray() << "Server error 502: ";
        QTest::newRow("error not a string")
            << 400 << QByteArray(R"({"error":5})") << R"(Server error 400: {"error":5})";
        QTest::newRow("not utf-8") << 503 << QByteArray("\xff\xfe") << "Server error 503: ";
    }
    void statusFailures() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, description);
        ScriptedHttpServer server;
        server.on("/api/overview", Script::respond(status, body, "text/plain"));
        AppSettings settings(settingsIn(m_dir));
        const auto result = QCoro::waitFor(
            APIClient(settings, ServiceEndpoints::forRoot(server.root())).overview());
        QVERIFY(!result);
        QCOMPARE(result.error().description(), description);
    }

    void requestsCarryTheirRules() {
        ScriptedHttpServer server;
        server.on("/api/profile",
                  Script::respond(200, R"({"name":"N","headline":"H","handle":"h"})"));
        server.on("/api/debug/llm", Script::respond(200, "[]"));
        server.on("/api/overview", Script::respond(200, R"({"drafts_count":1})"));
        AppSettings settings(settingsIn(m_dir));
        const APIClient client(settings, ServiceEndpoints::forRoot(server.root()));

        const auto profile = QCoro::waitFor(client.profile("linkedin"));
        QVERIFY(profile);
        QCOMPARE(profile->name, QString("N"));
        QCOMPARE(server.requests().last().query, QByteArray("platform=linkedin"));
        QCOMPARE(server.requests().last().header("authorization"),
                 ("Bearer " + settings.userID()).toUtf8());

        QVERIFY(QCoro::waitFor(client.profile("a&b=c")));
        QCOMPARE(server.requests().last().query, QByteArray("platform=a%26b%3Dc"));

        QVERIFY(QCoro::waitFor(client.llmCalls(false, 100)));
        QCOMPARE(server.requests().last().query, QByteArray("limit=100"));
        QVERIFY(server.requests().last().header("authorization").isEmpty());
        QVERIFY(QCoro::waitFor(client.llmCalls(true, 5)));
        QVERIFY(!server.requests().last().header("authorization").isEmpty());

        const auto overview = QCoro::waitFor(client.overview());
        QVERIFY(!overview);
        QVERIFY(overview.error().description().startsWith(
            "Could not read the server response: missing key"));
        QVERIFY(server.requests().last().query.isEmpty());
    }

    void draftTokensStayOneSegment() {
        ScriptedHttpServer server;
        server.setHandler([](const test::RecordedRequest&) { return Script::respond(200, "{}"); });
        AppSettings settings(settingsIn(m_dir));
        const APIClient client(settings, ServiceEndpoints::forRoot(server.root()));
        const auto draft = QCoro::waitFor(client.draft("a/b?c#d"));
        QVERIFY(draft);
        QCOMPARE(server.requests().last().path, QByteArray("/api/draft/a%2Fb%3Fc%23d"));
        QVERIFY(server.requests().last().header("authorization").isEmpty());
        QVERIFY(QCoro::waitFor(client.schedule("a/b", "t", "")));
        QCOMPARE(server.requests().last().path, QByteArray("/api/schedule/a%2Fb"));
        QCOMPARE(client.draftPreviewURL("x y")->toString(QUrl::FullyEncoded),
                 server.root() + "api/draft/x%20y/preview.png");
    }

    void draftFallsBackToDefaults() {
        ScriptedHttpServer server;
        AppSettings settings(settingsIn(m_dir));
        const APIClient client(settings, ServiceEndpoints::forRoot(server.root()));
        for (const QByteArray& body : {QByteArray("{}"), QByteArray("[]"), QByteArray("nope"),
                                       QByteArray(R"({"text":5})")}) {
            server.on("/api/draft/t", Script::respond(200, body));
            const auto draft = QCoro::waitFor(client.draft("t"));
            QVERIFY(draft);
            QCOMPARE(*draft, D{});
            QCOMPARE(draft->platform, QString("linkedin"));
            QCOMPARE(draft->status, QString("draft"));
        }
        server.on("/api/draft/t", Script::respond(200, R"({"text":"hello","status":"scheduled"})"));
        const auto partial = QCoro::waitFor(client.draft("t"));
        QCOMPARE(partial->text, QString("hello"));
        QCOMPARE(partial->platform, QString("linkedin"));
        QCOMPARE(partial->status, QString("scheduled"));
        server.on("/api/draft/t", Script::respond(404, R"({"error":"no such draft"})"));
        QCOMPARE(QCoro::waitFor(client.draft("t")).error().description(),
                 QString("Server error 404: no such draft"));
    }

    void scheduleAndContactBodies() {
        ScriptedHttpServer server;
        server.on("/api/schedule/tok", Script::respond(500, R"({"error":"calendar full"})"));
        server.on("/api/contact", Script::respond(200, "ignored"));
        AppSettings settings(settingsIn(m_dir));
        const APIClient client(settings, ServiceEndpoints::forRoot(server.root()));
        const auto result = QCoro::waitFor(client.schedule("tok", "Post", ""));
        QVERIFY(result);
        QCOMPARE(result->outcome, ScheduleResult::Outcome::error);
        QCOMPARE(result->message, QString("calendar full"));
        const auto sent = QJsonDocument::fromJson(server.requests().last().body).object();
        QCOMPARE(sent.value("text").toString(), QString("Post"));
        QCOMPARE(sent.value("when").toString(), QString(""));
        QVERIFY(sent.contains("time_zone"));
        QCOMPARE(server.requests().last().header("content-type"), QByteArray("application/json"));

        QVERIFY(QCoro::waitFor(client.contactSupport("me@example.com", "Help")));
        const auto contact = QJsonDocument::fromJson(server.requests().last().body).object();
        QCOMPARE(contact.value("page").toString(), "macOS app (user " + settings.userID() + ")");
        QCOMPARE(contact.value("email").toString(), QString("me@example.com"));
    }

    void transportFailures() {
        AppSettings settings(settingsIn(m_dir));
        const auto refused =
            QCoro::waitFor(APIClient(settings, ServiceEndpoints::forRoot(closedRoot())).overview());
        QVERIFY(!refused);
        QCOMPARE(refused.error().kind, APIError::Kind::transport);
        QCOMPARE(refused.error().description(),
                 QString("Can't reach the server: Could not connect to the server."));

        // A body cut short is a transport failure, not a decoding one.
        ScriptedHttpServer server;
        Script cut;
        cut.write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"drafts_count\"").abort();
        server.on("/api/overview", cut);
        const auto truncated = QCoro::waitFor(
            APIClient(settings, ServiceEndpoints::forRoot(server.root())).overview());
        QVERIFY(!truncated);
        QCOMPARE(truncated.error().kind, APIError::Kind::transport);
    }

    void settingsFirstAndSecondStart() {
        QString firstId;
        {
            AppSettings settings(settingsIn(m_dir));
            firstId = settings.userID();
            QVERIFY(settings.provisional());
            QCOMPARE(firstId.size(), 40);
            QVERIFY(firstId.startsWith("mac-"));
            QCOMPARE(firstId, firstId.toLower());
            QCOMPARE(settings.authorName(), QString("Your Name"));
            QCOMPARE(settings.videoBackgroundMode(), QString("off"));
            QCOMPARE(settings.videoMaxSeconds(), 0);
            // Written before any network call.
            QCOMPARE(QSettings(m_dir.filePath("settings.ini"), QSettings::IniFormat)
                         .value("userID")
                         .toString(),
                     firstId);

            QSignalSpy nameSpy(&settings, &AppSettings::authorNameChanged);
            settings.setAuthorName("Your Name");
            QCOMPARE(nameSpy.count(), 0);
            QCOMPARE(settings.store().value("authorName").toString(), QString("Your Name"));
            settings.setAuthorName("Ada");
            QCOMPARE(nameSpy.count(), 1);
            settings.setVideoMaxSeconds(60);
        }
        {
            ScriptedHttpServer server;
            AppSettings settings(settingsIn(m_dir));
            QCOMPARE(settings.userID(), firstId);
            QVERIFY(!settings.provisional());
            QCOMPARE(settings.authorName(), QString("Ada"));
            QCOMPARE(settings.videoMaxSeconds(), 60);
            QCoro::waitFor(settings.registerSession(ServiceEndpoints::forRoot(server.root())));
            QVERIFY(server.requests().isEmpty());
        }
        {
            QSettings raw(m_dir.filePath("settings.ini"), QSettings::IniFormat);
            raw.setValue("videoMaxSeconds", "lots");
        }
        AppSettings settings(settingsIn(m_dir));
        QCOMPARE(settings.videoMaxSeconds(), 0);
    }

    void registerSession_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("different id") << 200 << QByteArray(R"({"user_id":"srv-1"})") << true;
        QTest::newRow("empty id") << 200 << QByteArray(R"({"user_id":""})") << false;
        QTest::newRow("number") << 200 << QByteArray(R"({"user_id":1})") << false;
        QTest::newRow("created") << 201 << QByteArray(R"({"user_id":"srv-1"})") << false;
        QTest::newRow("not json") << 200 << QByteArray("srv-1") << false;
        QTest::newRow("server error") << 500 << QByteArray(R"({"user_id":"srv-1"})") << false;
    }
    void registerSession() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, replaced);
        ScriptedHttpServer server;
        server.on("/session", Script::respond(status, body));
        AppSettings settings(settingsIn(m_dir));
        const QString generated = settings.userID();
        QSignalSpy idSpy(&settings, &AppSettings::userIDChanged);
        QSignalSpy provisionalSpy(&settings, &AppSettings::provisionalChanged);
        QCoro::waitFor(settings.registerSession(ServiceEndpoints::forRoot(server.root())));
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().first().method, QByteArray("POST"));
        QVERIFY(server.requests().first().body.isEmpty());
        QVERIFY(!settings.provisional());
        QCOMPARE(provisionalSpy.count(), 1);
        QCOMPARE(settings.userID(), replaced ? QString("srv-1") : generated);
        QCOMPARE(idSpy.count(), replaced ? 1 : 0);
        QCOMPARE(settings.store().value("userID").toString(), settings.userID());
    }

    void registerSessionSameIdAndUnreachable() {
        AppSettings settings(settingsIn(m_dir));
        ScriptedHttpServer server;
        server.on("/session",
                  Script::respond(200, QJsonDocument(QJsonObject{{"user_id", settings.userID()}})
                                           .toJson(QJsonDocument::Compact)));
        QSignalSpy idSpy(&settings, &AppSettings::userIDChanged);
        QCoro::waitFor(settings.registerSession(ServiceEndpoints::forRoot(server.root())));
        QCOMPARE(idSpy.count(), 0);
        QVERIFY(!settings.provisional());

        QFile::remove(m_dir.filePath("settings.ini"));
        AppSettings fresh(settingsIn(m_dir));
        QCoro::waitFor(fresh.registerSession(ServiceEndpoints::forRoot(closedRoot())));
        QVERIFY(!fresh.provisional());
        QVERIFY(fresh.userID().startsWith("mac-"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestAPIClient)
#include "tst_apiclient.moc"
