// Every endpoint of the coach, in-process on an ephemeral loopback port, with
// the keys, types and status codes the app decodes.
#include "coachclient.h"
#include "coachservice.h"
#include "common/iso8601.h"
#include "scratchfs.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;
using namespace tolvane::coach;

namespace {

QDateTime isoTime(const QString& text) {
    return tolvane::iso8601::parseEither(text).value_or(QDateTime());
}

} // namespace

namespace {

const QString alice = QStringLiteral("mac-11111111-2222-3333-4444-555555555555");
const QString bob = QStringLiteral("mac-99999999-8888-7777-6666-555555555555");

bool isInteger(const QJsonValue& v) {
    return v.isDouble() && v.toDouble() == double(v.toInteger());
}

QString tokenIn(const QString& reply) {
    static const QRegularExpression re(QStringLiteral(R"(/edit/([a-z0-9]+)$)"));
    return re.match(reply).captured(1);
}

QByteArray uploadBody(const QByteArray& boundary, const QString& uid, const QByteArray& video,
                      bool withVideo = true) {
    QByteArray body;
    for (const auto& [name, value] : QList<QPair<QByteArray, QByteArray>>{
             {"user_id", uid.toUtf8()}, {"duration", "12.50"}, {"title", ""}})
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
                "\"\r\n\r\n" + value + "\r\n";
    if (withVideo)
        body += "--" + boundary +
                "\r\nContent-Disposition: form-data; name=\"video\"; filename=\"short.mp4\"\r\n"
                "Content-Type: video/mp4\r\n\r\n" +
                video;
    body += "\r\n--" + boundary + "--\r\n";
    return body;
}

} // namespace

class TestCoachService : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void healthAndVersionFeed();
    void sessionHandsOutOrConfirmsIds();
    void bearerEndpointsRefuseAnonymousCallers();
    void overviewShape();
    void profileFollowsWhatTheUserSaid();
    void chatStreamsStatusThenFinal();
    void draftPreviewAndEditPage();
    void draftUpdate();
    void carouselIsOneGalleryOfPngs();
    void scheduleNowLaterAndRejections();
    void scheduledPostPublishesIntoNotifyAndDrainedNotification();
    void idleEventStreamGetsKeepAliveComments();
    void aiCallLog();
    void uploadStoresTheVideo();
    void contact_data();
    void contact();
    void badRequests_data();
    void badRequests();
    void forgetMeErasesEverything();
    void storeSurvivesRestart();
    void fullDiskFailsTheRequest();
    void unfinishedUploadsAreRemovedAtStart();

private:
    void startService();
    QString draftFor(const QString& uid, const QString& text);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CoachService> m_service;
    std::unique_ptr<CoachClient> m_client;
};

void TestCoachService::startService() {
    CoachService::Options options;
    options.databasePath = m_dir->filePath(QStringLiteral("coach.sqlite"));
    options.videoDir = m_dir->filePath(QStringLiteral("videos"));
    options.port = 0;
    options.publishIntervalMs = 3'600'000; // the tests publish explicitly
    m_service = std::make_unique<CoachService>(options);
    QVERIFY2(m_service->start(), qPrintable(m_service->errorString()));
    m_client = std::make_unique<CoachClient>(QUrl(m_service->root()));
}

void TestCoachService::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    startService();
}

void TestCoachService::cleanup() {
    m_client.reset();
    m_service.reset();
    m_dir.reset();
}

QString TestCoachService::draftFor(const QString& uid, const QString& text) {
    const QJsonObject f = CoachClient::final(m_client->chat(uid, text));
    return tokenIn(f.value(QStringLiteral("reply")).toString());
}

void TestCoachService::healthAndVersionFeed() {
    const auto health = m_client->get(QStringLiteral("health"));
    QCOMPARE(health.status, 200);
    QCOMPARE(health.object().value(QStringLiteral("service")).toString(),
             QStringLiteral("tolvane-coach"));
    QCOMPARE(health.object().value(QStringLiteral("protocol")).toInt(),
             CoachService::protocolVersion);

    const auto feed = m_client->get(QStringLiteral("download/version.json"));
    QCOMPARE(feed.status, 200);
    const QJsonObject o = feed.object();
    QVERIFY(o.value(QStringLiteral("version")).isString());
    QVERIFY(QRegularExpression(QStringLiteral(R"(^\d+(\.\d+)*$)"))
                .match(o.value(QStringLiteral("version")).toString())
                .hasMatch());
    QVERIFY(o.value(QStringLiteral("url")).toString().startsWith(m_service->root()));
}

void TestCoachService::sessionHandsOutOrConfirmsIds() {
    const auto fresh = m_client->send("POST", QStringLiteral("session"), {}, {});
    QCOMPARE(fresh.status, 200);
    const QString id = fresh.object().value(QStringLiteral("user_id")).toString();
    QVERIFY(QRegularExpression(QStringLiteral("^mac-[0-9a-f-]{36}$")).match(id).hasMatch());
    QVERIFY(m_service->store().findUser(id));
    const auto again = m_client->send("POST", QStringLiteral("session"), {}, {});
    QVERIFY(again.object().value(QStringLiteral("user_id")).toString() != id);

    const auto confirmed = m_client->send("POST", QStringLiteral("session"), {}, {}, alice);
    QCOMPARE(confirmed.object().value(QStringLiteral("user_id")).toString(), alice);
}

void TestCoachService::bearerEndpointsRefuseAnonymousCallers() {
    for (const char* path : {"api/overview", "api/notifications", "api/profile?platform=linkedin",
                             "api/debug/status", "inapp/events"}) {
        const auto r = m_client->get(QString::fromLatin1(path));
        QCOMPARE(r.status, 401);
        QCOMPARE(r.object().value(QStringLiteral("error")).toString(),
                 QStringLiteral("missing bearer token"));
    }
    const auto status = m_client->get(QStringLiteral("api/debug/status"), alice);
    QCOMPARE(status.status, 200);
    QCOMPARE(status.object().value(QStringLiteral("debug")), QJsonValue(true));
}

void TestCoachService::overviewShape() {
    draftFor(alice, QStringLiteral("Draft a post about hiring our first designer. It took six "
                                   "months and three rounds."));
    const auto r = m_client->get(QStringLiteral("api/overview"), alice);
    QCOMPARE(r.status, 200);
    const QJsonObject o = r.object();
    for (const char* key : {"drafts_count", "scheduled_pending", "published_count",
                            "total_impressions", "total_likes"})
        QVERIFY2(isInteger(o.value(QLatin1String(key))), key);
    QCOMPARE(o.value(QStringLiteral("drafts_count")).toInt(), 1);
    QVERIFY(o.value(QStringLiteral("connected_platforms")).isArray());
    // Another user sees nothing of alice's.
    QCOMPARE(m_client->get(QStringLiteral("api/overview"), bob)
                 .object()
                 .value(QStringLiteral("drafts_count"))
                 .toInt(),
             0);
}

void TestCoachService::profileFollowsWhatTheUserSaid() {
    auto r = m_client->get(QStringLiteral("api/profile?platform=linkedin"), alice);
    QCOMPARE(r.status, 200);
    // Unknown name stays empty so the app uses its own setting.
    QCOMPARE(r.object().value(QStringLiteral("name")), QJsonValue(QString()));
    QVERIFY(r.object().value(QStringLiteral("headline")).isString());
    QVERIFY(r.object().value(QStringLiteral("handle")).isString());

    m_client->chat(alice, QStringLiteral("My name is Dana Reyes. I'm a product designer at Acme."));
    r = m_client->get(QStringLiteral("api/profile?platform=linkedin"), alice);
    QCOMPARE(r.object().value(QStringLiteral("name")).toString(), QStringLiteral("Dana Reyes"));
    QCOMPARE(r.object().value(QStringLiteral("headline")).toString(),
             QStringLiteral("Product designer at Acme"));
    QCOMPARE(m_client->get(QStringLiteral("api/profile?platform=myspace"), alice).status, 404);
}

void TestCoachService::chatStreamsStatusThenFinal() {
    const auto events = m_client->chat(
        alice, QStringLiteral("Draft a post about moving our team to a four-day week. Output "
                              "went up. Meetings went down."));
    QVERIFY(events.size() >= 3);
    QCOMPARE(events.last().name, QStringLiteral("final"));
    int statuses = 0;
    for (const auto& e : events.mid(0, events.size() - 1)) {
        QCOMPARE(e.name, QStringLiteral("status"));
        // Every value must be a string: the app decodes status data as string to string.
        const QJsonObject o = e.object();
        for (const QJsonValue& v : o)
            QVERIFY(v.isString());
        QVERIFY(!o.value(QStringLiteral("text")).toString().isEmpty());
        ++statuses;
    }
    QVERIFY(statuses >= 2);

    const QJsonObject f = events.last().object();
    const QString reply = f.value(QStringLiteral("reply")).toString();
    QVERIFY(reply.contains(QLatin1String("Output went up.")));
    QVERIFY(reply.contains(QStringLiteral("Go here to edit the post: ") + m_service->root() +
                           QStringLiteral("edit/")));
    QVERIFY(f.value(QStringLiteral("images")).isArray());
    const QJsonObject debug = f.value(QStringLiteral("debug")).toObject();
    QVERIFY(debug.value(QStringLiteral("model")).toString().contains(QLatin1String("rule")));
    for (const char* key :
         {"input_tokens", "output_tokens", "cache_read_tokens", "cache_write_tokens"})
        QVERIFY2(isInteger(debug.value(QLatin1String(key))), key);
    QVERIFY(debug.value(QStringLiteral("cost_usd")).isDouble());

    // Blocks end at exactly two line feeds, never CR LF.
    QNetworkRequest request(m_client->url(QStringLiteral("inapp/stream")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply* raw = m_client->network().post(
        request, R"({"user_id":")" + alice.toUtf8() + R"(","text":"/menu","time_zone":"UTC"})");
    QSignalSpy done(raw, &QNetworkReply::finished);
    QVERIFY(done.wait(10000));
    QCOMPARE(raw->header(QNetworkRequest::ContentTypeHeader).toString(),
             QStringLiteral("text/event-stream"));
    const QByteArray body = raw->readAll();
    QVERIFY(!body.contains('\r'));
    QVERIFY(body.endsWith("\n\n"));
    raw->deleteLater();
}

void TestCoachService::draftPreviewAndEditPage() {
    const QString token = draftFor(
        alice, QStringLiteral("Draft a post about <b>escaping</b> & friends. Angle brackets "
                              "are fine."));
    QVERIFY(!token.isEmpty());
    const auto d = m_client->get(QStringLiteral("api/draft/") + token);
    QCOMPARE(d.status, 200);
    QVERIFY(d.object()
                .value(QStringLiteral("text"))
                .toString()
                .contains(QLatin1String("<b>escaping</b>")));
    QCOMPARE(d.object().value(QStringLiteral("platform")).toString(), QStringLiteral("linkedin"));
    QCOMPARE(d.object().value(QStringLiteral("status")).toString(), QStringLiteral("draft"));

    const auto png =
        m_client->get(QStringLiteral("api/draft/") + token + QStringLiteral("/preview.png"));
    QCOMPARE(png.status, 200);
    QCOMPARE(png.contentType, QByteArray("image/png"));
    QImage image;
    QVERIFY(image.loadFromData(png.body, "PNG"));
    QVERIFY(image.width() >= 500);
    QVERIFY(image.height() > 200);
    // The avatar circle is drawn in the brand blue at the top left, left of its letter.
    QCOMPARE(image.pixelColor(44, 80), QColor(0x0a, 0x66, 0xc2));

    const auto page = m_client->get(QStringLiteral("edit/") + token);
    QCOMPARE(page.status, 200);
    QVERIFY(page.contentType.startsWith("text/html"));
    QVERIFY(page.body.contains("&lt;b&gt;escaping&lt;/b&gt; &amp; friends"));
    QVERIFY(!page.body.contains("<b>escaping</b>"));
    QCOMPARE(m_client->get(QStringLiteral("edit/nosuchtoken")).status, 404);
    QCOMPARE(m_client->get(QStringLiteral("api/draft/nosuchtoken")).status, 404);
    QCOMPARE(m_client->get(QStringLiteral("api/draft/nosuchtoken/preview.png")).status, 404);
}

void TestCoachService::draftUpdate() {
    const QString token = draftFor(alice, QStringLiteral("Draft a post about pricing. We "
                                                         "doubled it and nobody left."));
    const QString preview = QStringLiteral("api/draft/") + token + QStringLiteral("/preview.png");
    const QByteArray before = m_client->get(preview).body;
    QCOMPARE(m_client->get(preview).body, before);
    auto r = m_client->send("PUT", QStringLiteral("api/draft/") + token,
                            R"({"text":"Edited by hand."})");
    QCOMPARE(r.status, 200);
    QCOMPARE(m_client->get(QStringLiteral("api/draft/") + token)
                 .object()
                 .value(QStringLiteral("text"))
                 .toString(),
             QStringLiteral("Edited by hand."));
    // The card follows the edit.
    QVERIFY(m_client->get(preview).body != before);
    QCOMPARE(m_client->send("PUT", QStringLiteral("api/draft/") + token, R"({"text":5})").status,
             400);
    m_client->postJson(
        QStringLiteral("api/schedule/") + token,
        {{QStringLiteral("text"), QStringLiteral("Final.")}, {QStringLiteral("when"), QString()}});
    QCOMPARE(
        m_client->send("PUT", QStringLiteral("api/draft/") + token, R"({"text":"late"})").status,
        409);
}

void TestCoachService::carouselIsOneGalleryOfPngs() {
    draftFor(alice, QStringLiteral("Draft a post about remote onboarding. Write things down. "
                                   "Pair on day one. Ship something in week one."));
    const QJsonObject f =
        CoachClient::final(m_client->chat(alice, QStringLiteral("/carousel sunset")));
    const QJsonArray images = f.value(QStringLiteral("images")).toArray();
    QVERIFY(images.size() >= 3);
    const QString group = images.first().toObject().value(QStringLiteral("group")).toString();
    QVERIFY(!group.isEmpty());
    for (const QJsonValue& v : images) {
        const QJsonObject o = v.toObject();
        QCOMPARE(o.value(QStringLiteral("group")).toString(), group);
        QCOMPARE(o.value(QStringLiteral("mime")).toString(), QStringLiteral("image/png"));
        QVERIFY(o.value(QStringLiteral("caption")).isString());
        QImage slide;
        QVERIFY(slide.loadFromData(
            QByteArray::fromBase64(o.value(QStringLiteral("data_b64")).toString().toLatin1()),
            "PNG"));
        QVERIFY(slide.height() > slide.width()); // portrait slides
    }
    // An unknown theme lists the real ones and renders nothing.
    const QJsonObject unknown =
        CoachClient::final(m_client->chat(alice, QStringLiteral("/carousel plaid")));
    QVERIFY(unknown.value(QStringLiteral("images")).toArray().isEmpty());
    QVERIFY(unknown.value(QStringLiteral("reply")).toString().contains(QLatin1String("mint")));
}

void TestCoachService::scheduleNowLaterAndRejections() {
    const QString later = draftFor(alice, QStringLiteral("Draft a post about saying no. It "
                                                         "freed a day a week."));
    const QString path = QStringLiteral("api/schedule/") + later;
    const QDateTime at = QDateTime::currentDateTimeUtc().addDays(2);
    const QString when = at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    auto r = m_client->postJson(path, {{QStringLiteral("text"), QStringLiteral("Saying no.")},
                                       {QStringLiteral("when"), when},
                                       {QStringLiteral("time_zone"), QStringLiteral("UTC")}});
    QCOMPARE(r.status, 200);
    QCOMPARE(r.object().value(QStringLiteral("mode")).toString(), QStringLiteral("scheduled"));
    QCOMPARE(isoTime(r.object().value(QStringLiteral("at")).toString()), isoTime(when));
    QCOMPARE(m_service->store().draft(later)->text, QStringLiteral("Saying no."));

    // Errors the draft canvas shows as its banner: {"error": text}.
    const auto error = [&](const QJsonObject& body) {
        const auto reply = m_client->postJson(path, body);
        return qMakePair(reply.status, reply.object().value(QStringLiteral("error")).toString());
    };
    QCOMPARE(error({{QStringLiteral("text"), QStringLiteral("x")},
                    {QStringLiteral("when"), QStringLiteral("tomorrow")}})
                 .first,
             400);
    QCOMPARE(error({{QStringLiteral("text"), QStringLiteral("x")},
                    {QStringLiteral("when"), QStringLiteral("2020-01-01T00:00:00Z")}}),
             qMakePair(400, QStringLiteral("That time is in the past.")));
    QCOMPARE(error({{QStringLiteral("text"), QStringLiteral("   ")},
                    {QStringLiteral("when"), QString()}}),
             qMakePair(400, QStringLiteral("The post is empty.")));
    QCOMPARE(error({{QStringLiteral("text"), QString(3001, QLatin1Char('a'))},
                    {QStringLiteral("when"), QString()}})
                 .first,
             400);
    QCOMPARE(m_client
                 ->postJson(QStringLiteral("api/schedule/nosuch"),
                            {{QStringLiteral("text"), QStringLiteral("x")}})
                 .status,
             404);

    // Empty "when" publishes now; a second attempt is refused.
    r = m_client->postJson(path, {{QStringLiteral("text"), QStringLiteral("Now.")},
                                  {QStringLiteral("when"), QString()}});
    QCOMPARE(r.status, 200);
    QCOMPARE(r.object().value(QStringLiteral("mode")).toString(), QStringLiteral("published"));
    QVERIFY(isoTime(r.object().value(QStringLiteral("at")).toString()).isValid());
    QCOMPARE(
        error({{QStringLiteral("text"), QStringLiteral("x")}, {QStringLiteral("when"), QString()}}),
        qMakePair(409, QStringLiteral("This post is already published.")));
}

void TestCoachService::scheduledPostPublishesIntoNotifyAndDrainedNotification() {
    EventStream events(*m_client, alice);
    QTRY_COMPARE_WITH_TIMEOUT(events.status(), 200, 10000);
    QCOMPARE(events.notifies(), 0);

    const QString token = draftFor(alice, QStringLiteral("Draft a post about our launch. It "
                                                         "went live at midnight."));
    const QJsonObject f =
        CoachClient::final(m_client->chat(alice, QStringLiteral("schedule it tomorrow at 9")));
    QVERIFY(f.value(QStringLiteral("reply")).toString().startsWith(QLatin1String("Scheduled")));
    const Draft scheduled = *m_service->store().draft(token);
    QCOMPARE(scheduled.status, QStringLiteral("scheduled"));

    // Nothing is due yet; then the clock passes the scheduled time.
    QCOMPARE(m_service->publisher()->publishDue(QDateTime::currentDateTimeUtc()), 0);
    QSignalSpy notified(&events, &EventStream::notified);
    QCOMPARE(m_service->publisher()->publishDue(scheduled.scheduledAt.addSecs(1)), 1);
    QVERIFY(notified.wait(10000));
    QCOMPARE(m_service->store().draft(token)->status, QStringLiteral("published"));

    const auto drained = m_client->get(QStringLiteral("api/notifications"), alice);
    QCOMPARE(drained.status, 200);
    const QJsonArray list = drained.object().value(QStringLiteral("notifications")).toArray();
    QCOMPARE(list.size(), 1);
    const QJsonObject n = list.first().toObject();
    QVERIFY(n.value(QStringLiteral("text")).toString().contains(QStringLiteral("/edit/") + token));
    QVERIFY(isoTime(n.value(QStringLiteral("created_at")).toString()).isValid());
    QVERIFY(!n.contains(QStringLiteral("image_b64")));
    // Only "notifications" is in the reply: other lists would fail the app's decoder.
    QCOMPARE(drained.object().keys(), QStringList{QStringLiteral("notifications")});
    // Delivered once.
    QVERIFY(m_client->get(QStringLiteral("api/notifications"), alice)
                .object()
                .value(QStringLiteral("notifications"))
                .toArray()
                .isEmpty());

    // A stream opened while a notification waits is told at once.
    m_service->store().addNotification(m_service->store().user(alice).id, QStringLiteral("hi"));
    EventStream late(*m_client, alice);
    QSignalSpy lateNotified(&late, &EventStream::notified);
    QVERIFY(lateNotified.wait(10000));
    QCOMPARE(events.notifies(), 1); // the first stream was not told about that one
}

void TestCoachService::idleEventStreamGetsKeepAliveComments() {
    QTemporaryDir dir;
    CoachService::Options options;
    options.databasePath = dir.filePath(QStringLiteral("coach.sqlite"));
    options.port = 0;
    options.keepAliveMs = 20;
    CoachService quick(options);
    QVERIFY(quick.start());
    CoachClient client{QUrl(quick.root())};
    EventStream events(client, alice);
    // The app's stream times out after 60 s without a byte; comments keep it open.
    QTRY_VERIFY_WITH_TIMEOUT(events.comments() >= 3, 10000);
    QCOMPARE(events.notifies(), 0);
    QCOMPARE(events.status(), 200);
}

void TestCoachService::aiCallLog() {
    m_client->chat(alice, QStringLiteral("/menu"));
    m_client->chat(alice, QStringLiteral("What's the best time to post?"), QStringLiteral("UTC"),
                   QByteArray());
    m_client->chat(bob, QStringLiteral("/trends marketing"));

    auto all = m_client->get(QStringLiteral("api/debug/llm?limit=10"));
    QCOMPARE(all.status, 200);
    QVERIFY(all.json().isArray());
    QCOMPARE(all.json().toArray().size(), 3);
    const QJsonObject newest = all.json().toArray().first().toObject();
    for (const char* key : {"id", "user_id", "latency_ms", "input_tokens", "output_tokens",
                            "cache_read_tokens", "reasoning_tokens"})
        QVERIFY2(isInteger(newest.value(QLatin1String(key))), key);
    for (const char* key : {"intent", "label", "provider", "model", "stop_reason", "error"})
        QVERIFY2(newest.value(QLatin1String(key)).isString(), key);
    QVERIFY(isoTime(newest.value(QStringLiteral("created_at")).toString()).isValid());
    QCOMPARE(newest.value(QStringLiteral("provider")).toString(), QStringLiteral("local"));

    const auto mine = m_client->get(QStringLiteral("api/debug/llm?limit=10"), alice);
    QCOMPARE(mine.json().toArray().size(), 2);
    QCOMPARE(m_client->get(QStringLiteral("api/debug/llm?limit=1")).json().toArray().size(), 1);

    const qint64 id =
        mine.json().toArray().first().toObject().value(QStringLiteral("id")).toInteger();
    const auto detail = m_client->get(QStringLiteral("api/debug/llm/%1").arg(id));
    QCOMPARE(detail.status, 200);
    const QJsonObject d = detail.object();
    const QJsonArray messages =
        d.value(QStringLiteral("request")).toObject().value(QStringLiteral("messages")).toArray();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().toObject().value(QStringLiteral("role")).toString(),
             QStringLiteral("user"));
    QCOMPARE(messages.first().toObject().value(QStringLiteral("text")).toString(),
             QStringLiteral("What's the best time to post?"));
    // The logged response is the reply the user got.
    QVERIFY(d.value(QStringLiteral("response"))
                .toObject()
                .value(QStringLiteral("text"))
                .toString()
                .contains(QLatin1String("Weekday mornings")));

    QCOMPARE(m_client->get(QStringLiteral("api/debug/llm/999999")).status, 404);
    QCOMPARE(m_client->get(QStringLiteral("api/debug/llm/abc")).status, 400);
    QCOMPARE(m_client->get(QStringLiteral("api/debug/llm?limit=0")).status, 400);
    QCOMPARE(m_client->get(QStringLiteral("api/debug/llm?limit=ten")).status, 400);

    QCOMPARE(m_client->send("DELETE", QStringLiteral("api/debug/llm"), {}, {}).status, 200);
    QVERIFY(m_client->get(QStringLiteral("api/debug/llm")).json().toArray().isEmpty());
}

void TestCoachService::uploadStoresTheVideo() {
    const QByteArray boundary = "tolvane-0F8E2C1A-1234-4321-ABCD-0123456789AB";
    const QByteArray video = QByteArray("\x00\x00\x00\x18"
                                        "ftypmp42",
                                        12) +
                             QByteArray(5000, 'v');
    const auto r =
        m_client->send("POST", QStringLiteral("inapp/video"), uploadBody(boundary, alice, video),
                       "multipart/form-data; boundary=" + boundary);
    QCOMPARE(r.status, 200);
    QVERIFY(isInteger(r.object().value(QStringLiteral("video_id"))));
    QCOMPARE(m_service->store().videoCount(m_service->store().user(alice).id), 1);
    const QStringList files =
        QDir(m_dir->filePath(QStringLiteral("videos"))).entryList({QStringLiteral("*.mp4")});
    QCOMPARE(files.size(), 1);
    QFile stored(m_dir->filePath(QStringLiteral("videos/") + files.first()));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), video);
    // The coach comments on the video through a notification.
    QCOMPARE(m_service->store().pendingNotifications(m_service->store().user(alice).id), 1);

    QCOMPARE(m_client
                 ->send("POST", QStringLiteral("inapp/video"),
                        uploadBody(boundary, alice, {}, false),
                        "multipart/form-data; boundary=" + boundary)
                 .status,
             400);
    QCOMPARE(m_client->send("POST", QStringLiteral("inapp/video"), "{}", "application/json").status,
             415);
    QCOMPARE(m_client
                 ->send("POST", QStringLiteral("inapp/video"), "--x\r\nbroken",
                        "multipart/form-data; boundary=x")
                 .status,
             400);
}

void TestCoachService::contact_data() {
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("status");
    QTest::newRow("valid") << "dana@example.com"
                           << "The preview is blank." << 200;
    QTest::newRow("trimmed") << "  dana@example.com "
                             << "hi" << 200;
    QTest::newRow("no at") << "dana.example.com"
                           << "hi" << 400;
    QTest::newRow("leading at") << "@example.com"
                                << "hi" << 400;
    QTest::newRow("dot first in domain") << "dana@.example"
                                         << "hi" << 400;
    QTest::newRow("no dot in domain") << "dana@example"
                                      << "hi" << 400;
    QTest::newRow("second at") << "dana@ex@ample.com"
                               << "hi" << 400;
    QTest::newRow("inner space") << "da na@example.com"
                                 << "hi" << 400;
    QTest::newRow("empty message") << "dana@example.com"
                                   << " \n " << 400;
}

void TestCoachService::contact() {
    QFETCH(QString, email);
    QFETCH(QString, message);
    QFETCH(int, status);
    const auto r = m_client->postJson(
        QStringLiteral("api/contact"),
        {{QStringLiteral("email"), email},
         {QStringLiteral("message"), message},
         {QStringLiteral("page"), QStringLiteral("macOS app (user %1)").arg(alice)}});
    QCOMPARE(r.status, status);
    if (status != 200)
        QVERIFY(!r.object().value(QStringLiteral("error")).toString().isEmpty());
}

void TestCoachService::badRequests_data() {
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::newRow("chat: not json")
        << QByteArray("POST") << "inapp/stream" << QByteArray("{") << 400;
    QTest::newRow("chat: array") << QByteArray("POST") << "inapp/stream" << QByteArray("[]") << 400;
    QTest::newRow("chat: no user")
        << QByteArray("POST") << "inapp/stream" << QByteArray(R"({"text":"hi"})") << 400;
    QTest::newRow("chat: number text") << QByteArray("POST") << "inapp/stream"
                                       << QByteArray(R"({"user_id":"u1","text":5})") << 400;
    QTest::newRow("chat: empty") << QByteArray("POST") << "inapp/stream"
                                 << QByteArray(R"({"user_id":"u1","text":"  "})") << 400;
    QTest::newRow("chat: bad base64")
        << QByteArray("POST") << "inapp/stream"
        << QByteArray(R"({"user_id":"u1","text":"","image_b64":"**"})") << 400;
    QTest::newRow("chat: user id with spaces")
        << QByteArray("POST") << "inapp/stream" << QByteArray(R"({"user_id":"a b","text":"x"})")
        << 400;
    QTest::newRow("chat: text over the limit")
        << QByteArray("POST") << "inapp/stream"
        << QByteArray(R"({"user_id":"u1","text":")" + QByteArray(20'001, 'x') + R"("})") << 413;
    QTest::newRow("stream: GET") << QByteArray("GET") << "inapp/stream" << QByteArray() << 405;
    QTest::newRow("schedule: GET") << QByteArray("GET") << "api/schedule/x" << QByteArray() << 405;
    QTest::newRow("schedule: not json")
        << QByteArray("POST") << "api/schedule/x" << QByteArray("text=1") << 400;
    QTest::newRow("contact: not json")
        << QByteArray("POST") << "api/contact" << QByteArray("x") << 400;
    QTest::newRow("unknown path") << QByteArray("GET") << "api/nothing" << QByteArray() << 404;
    QTest::newRow("traversal") << QByteArray("GET") << "edit/../../etc/passwd" << QByteArray()
                               << 404;
}

void TestCoachService::badRequests() {
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    const auto r = m_client->send(method, path, body);
    QCOMPARE(r.status, status);
    QVERIFY(r.object().value(QStringLiteral("error")).isString());
    // The service is still there.
    QCOMPARE(m_client->get(QStringLiteral("health")).status, 200);
}

void TestCoachService::forgetMeErasesEverything() {
    m_client->chat(alice, QStringLiteral("My name is Dana. I help small shops sell online."));
    const QString token = draftFor(alice, QStringLiteral("Draft a post about our first sale. It "
                                                         "was a friend."));
    QVERIFY(!m_service->store().memories(m_service->store().user(alice).id).isEmpty());
    const QJsonObject f = CoachClient::final(m_client->chat(alice, QStringLiteral("/forgetme")));
    QVERIFY(f.value(QStringLiteral("reply")).toString().contains(QLatin1String("erased")));
    const qint64 id = m_service->store().user(alice).id;
    QVERIFY(m_service->store().memories(id).isEmpty());
    QVERIFY(!m_service->store().draft(token));
    QVERIFY(m_client->get(QStringLiteral("api/debug/llm"), alice).json().toArray().isEmpty());
    const QJsonObject who =
        CoachClient::final(m_client->chat(alice, QStringLiteral("what do you know about me?")));
    QVERIFY(who.value(QStringLiteral("reply")).toString().contains(QLatin1String("don't know")));
}

void TestCoachService::storeSurvivesRestart() {
    const QString token = draftFor(alice, QStringLiteral("Draft a post about keeping notes. "
                                                         "Future me says thanks."));
    m_client->chat(alice, QStringLiteral("My name is Dana."));
    m_client.reset();
    m_service.reset();
    startService();
    const auto d = m_client->get(QStringLiteral("api/draft/") + token);
    QCOMPARE(d.status, 200);
    QVERIFY(d.object().value(QStringLiteral("text")).toString().contains(QLatin1String("thanks")));
    QCOMPARE(m_client->get(QStringLiteral("api/profile?platform=linkedin"), alice)
                 .object()
                 .value(QStringLiteral("name"))
                 .toString(),
             QStringLiteral("Dana"));
}

// A full store fails the request with 507 and the store's words: no edit link
// to a draft that was never stored, no video id for a video without a record.
// When space is back the same requests succeed.
void TestCoachService::fullDiskFailsTheRequest() {
    m_client.reset();
    m_service.reset();
    const QString folder = m_dir->filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkpath(folder));
    if (const QString why = scratchfs::mountTmpfs(folder, 1024); !why.isEmpty())
        QSKIP(qPrintable(QStringLiteral("needs a small file system: ") + why));
    const auto unmount = qScopeGuard([&] {
        m_client.reset();
        m_service.reset();
        scratchfs::unmount(folder);
    });
    CoachService::Options options;
    options.databasePath = QDir(folder).filePath(QStringLiteral("coach.sqlite"));
    options.videoDir = m_dir->filePath(QStringLiteral("videos"));
    options.port = 0;
    options.publishIntervalMs = 3'600'000;
    m_service = std::make_unique<CoachService>(options);
    QVERIFY2(m_service->start(), qPrintable(m_service->errorString()));
    m_client = std::make_unique<CoachClient>(QUrl(m_service->root()));
    const qint64 aliceId = m_service->store().user(alice).id;
    const QJsonObject ask{{QStringLiteral("user_id"), alice},
                          {QStringLiteral("text"), QStringLiteral("Draft a post about our launch. "
                                                                  "It went live at midnight.")},
                          {QStringLiteral("time_zone"), QStringLiteral("UTC")}};

    scratchfs::fill(folder);
    const auto chat = m_client->postJson(QStringLiteral("inapp/stream"), ask);
    const QByteArray boundary = "tolvane-0F8E2C1A-1234-4321-ABCD-0123456789AB";
    const auto upload = m_client->send("POST", QStringLiteral("inapp/video"),
                                       uploadBody(boundary, alice, QByteArray(3000, 'v')),
                                       "multipart/form-data; boundary=" + boundary);
    QVERIFY(QFile::remove(QDir(folder).filePath(QStringLiteral("filler"))));

    QCOMPARE(chat.status, 507);
    QCOMPARE(chat.object().value(QStringLiteral("error")).toString(),
             QStringLiteral("The coach could not store this: database or disk is full"));
    QVERIFY(!chat.body.contains("/edit/"));
    QVERIFY(m_service->store().drafts(aliceId, QStringLiteral("draft")).isEmpty());
    QVERIFY(m_service->store().llmCalls(10, aliceId).isEmpty());
    QCOMPARE(upload.status, 507);
    QCOMPARE(m_service->store().videoCount(aliceId), 0);
    QVERIFY(QDir(options.videoDir).entryList(QDir::Files).isEmpty());

    const QString token = draftFor(alice, ask.value(QStringLiteral("text")).toString());
    QVERIFY(m_service->store().draft(token));
    QCOMPARE(m_service->store().llmCalls(10, aliceId).size(), 1);
}

// What a coach killed mid-upload leaves in its video folder (a partly written
// video, a spooled body, a video whose record was never written) is gone
// after the next start; stored videos stay.
void TestCoachService::unfinishedUploadsAreRemovedAtStart() {
    const QByteArray boundary = "tolvane-0F8E2C1A-1234-4321-ABCD-0123456789AB";
    const auto r = m_client->send("POST", QStringLiteral("inapp/video"),
                                  uploadBody(boundary, alice, QByteArray(3000, 'v')),
                                  "multipart/form-data; boundary=" + boundary);
    QCOMPARE(r.status, 200);
    QDir videos(m_dir->filePath(QStringLiteral("videos")));
    const QStringList stored = videos.entryList(QDir::Files);
    QCOMPARE(stored.size(), 1);
    QVERIFY(stored.first().endsWith(QLatin1String(".mp4")));
    m_client.reset();
    m_service.reset();

    for (const char* name : {"0b1c.mp4.part", "tolvane-coach-body-Ab12Cd", "9f8e.mp4"}) {
        QFile leftover(videos.filePath(QLatin1String(name)));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.write(QByteArray(1000, 'x'));
    }
    startService();
    QCOMPARE(videos.entryList(QDir::Files), stored);
    QCOMPARE(m_service->store().videoCount(m_service->store().user(alice).id), 1);
}

int main(int argc, char** argv) {
    scratchfs::enterPrivateMounts();
    QGuiApplication app(argc, argv);
    TestCoachService test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_coachservice.moc"
