// The app's own service client against the real coach on an ephemeral port:
// whatever the coach sends must decode with the client's strict records.
#include "coachservice.h"
#include "service/apiclient.h"
#include "service/appsettings.h"

#include <QImage>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <qcoro/qcorotask.h>

using namespace Qt::StringLiterals;

using namespace tolvane;

namespace {

QString tokenIn(const QString& reply) {
    return QRegularExpression(uR"(/edit/([a-z0-9]+)$)"_s).match(reply).captured(1);
}

} // namespace

class TestCoachClient : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void registerSessionAdoptsTheCoachsId();
    void chatDraftPreviewAndSchedule();
    void scheduledPostReachesTheEventStream();
    void uploadAiLogAndContact();
    void refusedChatIsAnHttpError();

private:
    QString chatForToken(const QString& text);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<coach::CoachService> m_coach;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<APIClient> m_client;
};

void TestCoachClient::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    coach::CoachService::Options options;
    options.databasePath = m_dir->filePath(u"coach.sqlite"_s);
    options.videoDir = m_dir->filePath(u"videos"_s);
    options.port = 0;
    options.publishIntervalMs = 3'600'000; // published explicitly below
    m_coach = std::make_unique<coach::CoachService>(options);
    QVERIFY2(m_coach->start(), qPrintable(m_coach->errorString()));
    m_settings = std::make_unique<AppSettings>(
        std::make_unique<QSettings>(m_dir->filePath(u"settings.ini"_s), QSettings::IniFormat));
    m_client = std::make_unique<APIClient>(*m_settings, ServiceEndpoints::forRoot(m_coach->root()));
}

void TestCoachClient::cleanup() {
    m_client.reset();
    m_settings.reset();
    m_coach.reset();
    m_dir.reset();
}

QString TestCoachClient::chatForToken(const QString& text) {
    const auto reply = QCoro::waitFor(m_client->chatStream(text, {}, {}, {}));
    return reply ? tokenIn(reply->reply) : QString();
}

void TestCoachClient::registerSessionAdoptsTheCoachsId() {
    QVERIFY(m_settings->provisional());
    const QString generated = m_settings->userID();
    QCoro::waitFor(m_settings->registerSession(ServiceEndpoints::forRoot(m_coach->root())));
    QVERIFY(!m_settings->provisional());
    QVERIFY(m_settings->userID() != generated);
    QVERIFY(m_settings->userID().startsWith("mac-"_L1));
    QVERIFY(m_coach->store().findUser(m_settings->userID()));

    const auto debug = QCoro::waitFor(m_client->debugStatus());
    QVERIFY(debug);
    QVERIFY(*debug);
    const auto overview = QCoro::waitFor(m_client->overview());
    QVERIFY2(overview, qPrintable(overview ? QString() : overview.error().description()));
    QCOMPARE(overview->draftsCount, 0);
}

void TestCoachClient::chatDraftPreviewAndSchedule() {
    QStringList statuses;
    const auto reply = QCoro::waitFor(m_client->chatStream(
        u"My name is Dana. Draft a post about pairing with support for a day. We "
        "fixed four bugs before lunch."_s,
        {}, {}, [&](const QString& s) { statuses.append(s); }));
    QVERIFY2(reply, qPrintable(reply ? QString() : reply.error().description()));
    QVERIFY(statuses.size() >= 2);
    QVERIFY(reply->debug);
    QVERIFY(reply->debug->model.contains("rule engine"_L1));
    const QString token = tokenIn(reply->reply);
    QVERIFY(!token.isEmpty());

    const auto slides = QCoro::waitFor(m_client->chatStream(u"/carousel"_s, {}, {}, {}));
    QVERIFY(slides);
    QVERIFY(slides->images.size() >= 3);
    for (const ChatImage& image : slides->images) {
        QCOMPARE(image.group, slides->images.first().group);
    }
    QVERIFY(slides->images.first().group);

    const auto draft = QCoro::waitFor(m_client->draft(token));
    QVERIFY(draft);
    QVERIFY(draft->text.contains("We fixed four bugs before lunch."_L1));
    QCOMPARE(draft->status, u"draft"_s);

    const auto profile = QCoro::waitFor(m_client->profile(u"linkedin"_s));
    QVERIFY(profile);
    QCOMPARE(profile->name, u"Dana"_s);

    const auto url = m_client->draftPreviewURL(token);
    QVERIFY(url);
    QNetworkAccessManager nam;
    QNetworkReply* png = nam.get(QNetworkRequest(*url));
    QSignalSpy done(png, &QNetworkReply::finished);
    QVERIFY(done.wait(10000));
    QImage preview;
    QVERIFY(preview.loadFromData(png->readAll(), "PNG"));
    png->deleteLater();

    // Later, as the draft canvas sends it: UTC without fraction.
    const QString when =
        QDateTime::currentDateTimeUtc().addSecs(3 * 3600).toString(u"yyyy-MM-ddTHH:mm:ssZ"_s);
    const auto later = QCoro::waitFor(m_client->schedule(token, draft->text, when));
    QVERIFY(later);
    QCOMPARE(later->outcome, ScheduleResult::Outcome::scheduled);
    QCOMPARE(later->mode, std::optional<QString>(u"scheduled"_s));
    QVERIFY(later->at);
    QCOMPARE(later->at->toString(Qt::ISODate), when);

    const auto past =
        QCoro::waitFor(m_client->schedule(token, draft->text, u"2020-01-01T00:00:00Z"_s));
    QVERIFY(past);
    QCOMPARE(past->outcome, ScheduleResult::Outcome::error);
    QCOMPARE(past->message, std::optional<QString>(u"That time is in the past."_s));

    const auto now = QCoro::waitFor(m_client->schedule(token, draft->text, QString()));
    QVERIFY(now);
    QCOMPARE(now->mode, std::optional<QString>(u"published"_s));
    QVERIFY(now->at);

    const auto overview = QCoro::waitFor(m_client->overview());
    QVERIFY(overview);
    QCOMPARE(overview->publishedCount, 1);
}

void TestCoachClient::scheduledPostReachesTheEventStream() {
    const QString token =
        chatForToken(u"Draft a post about writing weekly notes. My team reads them."_s);
    QVERIFY(!token.isEmpty());
    QVERIFY(QCoro::waitFor(m_client->chatStream(u"schedule it tomorrow at 9"_s, {}, {}, {})));

    int notified = 0;
    QList<InAppNotification> received;
    auto cancel = std::make_shared<CancelToken>();
    auto listening = m_client->events(
        [&]() -> QCoro::Task<void> {
            ++notified;
            auto list = co_await m_client->notifications();
            if (list) {
                received.append(*list);
            }
        },
        cancel);
    // The post goes out once the stream is open.
    const qint64 user = m_coach->store().user(m_settings->userID()).id;
    QTRY_COMPARE_WITH_TIMEOUT(m_coach->events()->subscribers(user), 1, 10000);

    const auto due = m_coach->store().draft(token)->scheduledAt;
    QCOMPARE(m_coach->publisher()->publishDue(due.addSecs(1)), 1);
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 10000);
    QCOMPARE(notified, 1);
    QVERIFY(received.first().text.contains(u"/edit/"_s + token));
    QVERIFY(received.first().createdAt.isValid());
    // Drained: a second fetch is empty.
    const auto again = QCoro::waitFor(m_client->notifications());
    QVERIFY(again);
    QVERIFY(again->isEmpty());

    cancel->cancel();
    const auto ended = QCoro::waitFor(std::move(listening));
    QVERIFY(!ended);
    QVERIFY(ended.error().cancelled);
}

void TestCoachClient::uploadAiLogAndContact() {
    const QString path = m_dir->filePath(u"short.mp4"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(200'000, 'm'));
    file.close();
    double lastProgress = 0;
    const auto id = QCoro::waitFor(
        m_client->uploadVideo(path, 12.5, QString(), [&](double p) { lastProgress = p; }));
    QVERIFY2(id, qPrintable(id ? QString() : id.error().description()));
    QVERIFY(*id > 0);
    QCOMPARE(lastProgress, 1.0);

    QVERIFY(QCoro::waitFor(m_client->chatStream(u"/trends design"_s, {}, {}, {})));
    const auto calls = QCoro::waitFor(m_client->llmCalls(true, 20));
    QVERIFY2(calls, qPrintable(calls ? QString() : calls.error().description()));
    QCOMPARE(calls->size(), 1);
    QCOMPARE(calls->first().provider, u"local"_s);
    const auto detail = QCoro::waitFor(m_client->llmCall(calls->first().id));
    QVERIFY2(detail, qPrintable(detail ? QString() : detail.error().description()));
    QVERIFY(detail->request && detail->request->messages);
    QCOMPARE(detail->request->messages->first().text, std::optional<QString>(u"/trends design"_s));
    QVERIFY(detail->response && detail->response->text);
    QVERIFY(QCoro::waitFor(m_client->clearLLMCalls()));
    QVERIFY(QCoro::waitFor(m_client->llmCalls(false, 20))->isEmpty());

    QVERIFY(
        QCoro::waitFor(m_client->contactSupport(u"dana@example.com"_s, u"Preview looks off."_s)));
    const auto refused = QCoro::waitFor(m_client->contactSupport(u"dana@example"_s, u"x"_s));
    QVERIFY(!refused);
    QCOMPARE(refused.error().description(),
             u"Server error 400: a valid e-mail address is required"_s);
}

void TestCoachClient::refusedChatIsAnHttpError() {
    const auto empty = QCoro::waitFor(m_client->chatStream(u"   "_s, {}, {}, {}));
    QVERIFY(!empty);
    QCOMPARE(empty.error().description(), u"Server error 400: empty message"_s);
}

QTEST_MAIN(TestCoachClient)
#include "tst_coachclient.moc"
