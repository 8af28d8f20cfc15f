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

using namespace Qt::StringLiterals;

using namespace tolvane;
using namespace tolvane::coach;

namespace {

QDateTime isoTime(const QString& text) {
    return tolvane::iso8601::parseEither(text).value_or(QDateTime());
}

} // namespace

namespace {

const QString alice = u"mac-11111111-2222-3333-4444-555555555555"_s;
const QString bob = u"mac-99999999-8888-7777-6666-555555555555"_s;

bool isInteger(const QJsonValue& v) {
    return v.isDouble() && v.toDouble() == double(v.toInteger());
}

QString tokenIn(const QString& reply) {
    static const QRegularExpression re(uR"(/edit/([a-z0-9]+)$)"_s);
    return re.match(reply).captured(1);
}

QByteArray uploadBody(const QByteArray& boundary, const QString& uid, const QByteArray& video,
                      bool withVideo = true) {
    QByteArray body;
    for (const auto& [name, value] : QList<QPair<QByteArray, QByteArray>>{
             {"user_id", uid.toUtf8()}, {"duration", "12.50"}, {"title", ""}}) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
                "\"\r\n\r\n" + value + "\r\n";
    }
    if (withVideo) {
        body += "--" + boundary +
                "\r\nContent-Disposition: form-data; name=\"video\"; filename=\"short.mp4\"\r\n"
                "Content-Type: video/mp4\r\n\r\n" +
                video;
    }
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
    options.databasePath = m_dir->filePath(u"coach.sqlite"_s);
    options.videoDir = m_dir->filePath(u"videos"_s);
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
    return tokenIn(f.value(u"reply"_s).toString());
}

void TestCoachService::healthAndVersionFeed() {
    const auto health = m_client->get(u"health"_s);
    QCOMPARE(health.status, 200);
    QCOMPARE(health.object().value(u"service"_s).toString(), u"tolvane-coach"_s);
    QCOMPARE(health.object().value(u"protocol"_s).toInt(), CoachService::protocolVersion);

    const auto feed = m_client->get(u"download/version.json"_s);
    QCOMPARE(feed.status, 200);
    const QJsonObject o = feed.object();
    QVERIFY(o.value(u"version"_s).isString());
    QVERIFY(QRegularExpression(uR"(^\d+(\.\d+)*$)"_s)
                .match(o.value(u"version"_s).toString())
                .hasMatch());
    QVERIFY(o.value(u"url"_s).toString().startsWith(m_service->root()));
}

void TestCoachService::sessionHandsOutOrConfirmsIds() {
    const auto fresh = m_client->send("POST", u"session"_s, {}, {});
    QCOMPARE(fresh.status, 200);
    const QString id = fresh.object().value(u"user_id"_s).toString();
    QVERIFY(QRegularExpression(u"^mac-[0-9a-f-]{36}$"_s).match(id).hasMatch());
    QVERIFY(m_service->store().findUser(id));
    const auto again = m_client->send("POST", u"session"_s, {}, {});
    QVERIFY(again.object().value(u"user_id"_s).toString() != id);

    const auto confirmed = m_client->send("POST", u"session"_s, {}, {}, alice);
    QCOMPARE(confirmed.object().value(u"user_id"_s).toString(), alice);
}

void TestCoachService::bearerEndpointsRefuseAnonymousCallers() {
    for (const char* path : {"api/overview", "api/notifications", "api/profile?platform=linkedin",
                             "api/debug/status", "inapp/events"}) {
        const auto r = m_client->get(QString::fromLatin1(path));
        QCOMPARE(r.status, 401);
        QCOMPARE(r.object().value(u"error"_s).toString(), u"missing bearer token"_s);
    }
    const auto status = m_client->get(u"api/debug/status"_s, alice);
    QCOMPARE(status.status, 200);
    QCOMPARE(status.object().value(u"debug"_s), QJsonValue(true));
}

void TestCoachService::overviewShape() {
    draftFor(alice, u"Draft a post about hiring our first designer. It took six "
                    "months and three rounds."_s);
    const auto r = m_client->get(u"api/overview"_s, alice);
    QCOMPARE(r.status, 200);
    const QJsonObject o = r.object();
    for (const char* key : {"drafts_count", "scheduled_pending", "published_count",
                            "total_impressions", "total_likes"}) {
        QVERIFY2(isInteger(o.value(QLatin1String(key))), key);
    }
    QCOMPARE(o.value(u"drafts_count"_s).toInt(), 1);
    QVERIFY(o.value(u"connected_platforms"_s).isArray());
    // Another user sees nothing of alice's.
    QCOMPARE(m_client->get(u"api/overview"_s, bob).object().value(u"drafts_count"_s).toInt(), 0);
}

void TestCoachService::profileFollowsWhatTheUserSaid() {
    auto r = m_client->get(u"api/profile?platform=linkedin"_s, alice);
    QCOMPARE(r.status, 200);
    // Unknown name stays empty so the app uses its own setting.
    QCOMPARE(r.object().value(u"name"_s), QJsonValue(QString()));
    QVERIFY(r.object().value(u"headline"_s).isString());
    QVERIFY(r.object().value(u"handle"_s).isString());

    m_client->chat(alice, u"My name is Dana Reyes. I'm a product designer at Acme."_s);
    r = m_client->get(u"api/profile?platform=linkedin"_s, alice);
    QCOMPARE(r.object().value(u"name"_s).toString(), u"Dana Reyes"_s);
    QCOMPARE(r.object().value(u"headline"_s).toString(), u"Product designer at Acme"_s);
    QCOMPARE(m_client->get(u"api/profile?platform=myspace"_s, alice).status, 404);
}

void TestCoachService::chatStreamsStatusThenFinal() {
    const auto events =
        m_client->chat(alice, u"Draft a post about moving our team to a four-day week. Output "
                              "went up. Meetings went down."_s);
    QVERIFY(events.size() >= 3);
    QCOMPARE(events.last().name, u"final"_s);
    int statuses = 0;
    for (const auto& e : events.mid(0, events.size() - 1)) {
        QCOMPARE(e.name, u"status"_s);
        // Every value must be a string: the app decodes status data as string to string.
        const QJsonObject o = e.object();
        for (const QJsonValue& v : o) {
            QVERIFY(v.isString());
        }
        QVERIFY(!o.value(u"text"_s).toString().isEmpty());
        ++statuses;
    }
    QVERIFY(statuses >= 2);

    const QJsonObject f = events.last().object();
    const QString reply = f.value(u"reply"_s).toString();
    QVERIFY(reply.contains("Output went up."_L1));
    QVERIFY(reply.contains(u"Go here to edit the post: "_s + m_service->root() + u"edit/"_s));
    QVERIFY(f.value(u"images"_s).isArray());
    const QJsonObject debug = f.value(u"debug"_s).toObject();
    QVERIFY(debug.value(u"model"_s).toString().contains("rule"_L1));
    for (const char* key :
         {"input_tokens", "output_tokens", "cache_read_tokens", "cache_write_tokens"}) {
        QVERIFY2(isInteger(debug.value(QLatin1String(key))), key);
    }
    QVERIFY(debug.value(u"cost_usd"_s).isDouble());

    // Blocks end at exactly two line feeds, never CR LF.
    QNetworkRequest request(m_client->url(u"inapp/stream"_s));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply* raw = m_client->network().post(
        request, R"({"user_id":")" + alice.toUtf8() + R"(","text":"/menu","time_zone":"UTC"})");
    QSignalSpy done(raw, &QNetworkReply::finished);
    QVERIFY(done.wait(10000));
    QCOMPARE(raw->header(QNetworkRequest::ContentTypeHeader).toString(), u"text/event-stream"_s);
    const QByteArray body = raw->readAll();
    QVERIFY(!body.contains('\r'));
    QVERIFY(body.endsWith("\n\n"));
    raw->deleteLater();
}

void TestCoachService::draftPreviewAndEditPage() {
    const QString token =
        draftFor(alice, u"Draft a post about <b>escaping</b> & friends. Angle brackets "
                        "are fine."_s);
    QVERIFY(!token.isEmpty());
    const auto d = m_client->get(u"api/draft/"_s + token);
    QCOMPARE(d.status, 200);
    QVERIFY(d.object().value(u"text"_s).toString().contains("<b>escaping</b>"_L1));
    QCOMPARE(d.object().value(u"platform"_s).toString(), u"linkedin"_s);
    QCOMPARE(d.object().value(u"status"_s).toString(), u"draft"_s);

    const auto png = m_client->get(u"api/draft/"_s + token + u"/preview.png"_s);
    QCOMPARE(png.status, 200);
    QCOMPARE(png.contentType, QByteArray("image/png"));
    QImage image;
    QVERIFY(image.loadFromData(png.body, "PNG"));
    QVERIFY(image.width() >= 500);
    QVERIFY(image.height() > 200);
    // The avatar circle is drawn in the brand blue at the top left, left of its letter.
    QCOMPARE(image.pixelColor(44, 80), QColor(0x0a, 0x66, 0xc2));

    const auto page = m_client->get(u"edit/"_s + token);
    QCOMPARE(page.status, 200);
    QVERIFY(page.contentType.startsWith("text/html"));
    QVERIFY(page.body.contains("&lt;b&gt;escaping&lt;/b&gt; &amp; friends"));
    QVERIFY(!page.body.contains("<b>escaping</b>"));
    QCOMPARE(m_client->get(u"edit/nosuchtoken"_s).status, 404);
    QCOMPARE(m_client->get(u"api/draft/nosuchtoken"_s).status, 404);
    QCOMPARE(m_client->get(u"api/draft/nosuchtoken/preview.png"_s).status, 404);
}

void TestCoachService::draftUpdate() {
    const QString token = draftFor(alice, u"Draft a post about pricing. We "
                                          "doubled it and nobody left."_s);
    const QString preview = u"api/draft/"_s + token + u"/preview.png"_s;
    const QByteArray before = m_client->get(preview).body;
    QCOMPARE(m_client->get(preview).body, before);
    auto r = m_client->send("PUT", u"api/draft/"_s + token, R"({"text":"Edited by hand."})");
    QCOMPARE(r.status, 200);
    QCOMPARE(m_client->get(u"api/draft/"_s + token).object().value(u"text"_s).toString(),
             u"Edited by hand."_s);
    // The card follows the edit.
    QVERIFY(m_client->get(preview).body != before);
    QCOMPARE(m_client->send("PUT", u"api/draft/"_s + token, R"({"text":5})").status, 400);
    m_client->postJson(u"api/schedule/"_s + token,
                       {{u"text"_s, u"Final."_s}, {u"when"_s, QString()}});
    QCOMPARE(m_client->send("PUT", u"api/draft/"_s + token, R"({"text":"late"})").status, 409);
}

void TestCoachService::carouselIsOneGalleryOfPngs() {
    draftFor(alice, u"Draft a post about remote onboarding. Write things down. "
                    "Pair on day one. Ship something in week one."_s);
    const QJsonObject f = CoachClient::final(m_client->chat(alice, u"/carousel sunset"_s));
    const QJsonArray images = f.value(u"images"_s).toArray();
    QVERIFY(images.size() >= 3);
    const QString group = images.first().toObject().value(u"group"_s).toString();
    QVERIFY(!group.isEmpty());
    for (const QJsonValue& v : images) {
        const QJsonObject o = v.toObject();
        QCOMPARE(o.value(u"group"_s).toString(), group);
        QCOMPARE(o.value(u"mime"_s).toString(), u"image/png"_s);
        QVERIFY(o.value(u"caption"_s).isString());
        QImage slide;
        QVERIFY(slide.loadFromData(
            QByteArray::fromBase64(o.value(u"data_b64"_s).toString().toLatin1()), "PNG"));
        QVERIFY(slide.height() > slide.width()); // portrait slides
    }
    // An unknown theme lists the real ones and renders nothing.
    const QJsonObject unknown = CoachClient::final(m_client->chat(alice, u"/carousel plaid"_s));
    QVERIFY(unknown.value(u"images"_s).toArray().isEmpty());
    QVERIFY(unknown.value(u"reply"_s).toString().contains("mint"_L1));
}

void TestCoachService::scheduleNowLaterAndRejections() {
    const QString later = draftFor(alice, u"Draft a post about saying no. It "
                                          "freed a day a week."_s);
    const QString path = u"api/schedule/"_s + later;
    const QDateTime at = QDateTime::currentDateTimeUtc().addDays(2);
    const QString when = at.toString(u"yyyy-MM-ddTHH:mm:ssZ"_s);
    auto r = m_client->postJson(
        path, {{u"text"_s, u"Saying no."_s}, {u"when"_s, when}, {u"time_zone"_s, u"UTC"_s}});
    QCOMPARE(r.status, 200);
    QCOMPARE(r.object().value(u"mode"_s).toString(), u"scheduled"_s);
    QCOMPARE(isoTime(r.object().value(u"at"_s).toString()), isoTime(when));
    QCOMPARE(m_service->store().draft(later)->text, u"Saying no."_s);

    // Errors the draft canvas shows as its banner: {"error": text}.
    const auto error = [&](const QJsonObject& body) {
        const auto reply = m_client->postJson(path, body);
        return qMakePair(reply.status, reply.object().value(u"error"_s).toString());
    };
    QCOMPARE(error({{u"text"_s, u"x"_s}, {u"when"_s, u"tomorrow"_s}}).first, 400);
    QCOMPARE(error({{u"text"_s, u"x"_s}, {u"when"_s, u"2020-01-01T00:00:00Z"_s}}),
             qMakePair(400, u"That time is in the past."_s));
    QCOMPARE(error({{u"text"_s, u"   "_s}, {u"when"_s, QString()}}),
             qMakePair(400, u"The post is empty."_s));
    QCOMPARE(error({{u"text"_s, QString(3001, QLatin1Char('a'))}, {u"when"_s, QString()}}).first,
             400);
    QCOMPARE(m_client->postJson(u"api/schedule/nosuch"_s, {{u"text"_s, u"x"_s}}).status, 404);

    // Empty "when" publishes now; a second attempt is refused.
    r = m_client->postJson(path, {{u"text"_s, u"Now."_s}, {u"when"_s, QString()}});
    QCOMPARE(r.status, 200);
    QCOMPARE(r.object().value(u"mode"_s).toString(), u"published"_s);
    QVERIFY(isoTime(r.object().value(u"at"_s).toString()).isValid());
    QCOMPARE(error({{u"text"_s, u"x"_s}, {u"when"_s, QString()}}),
             qMakePair(409, u"This post is already published."_s));
}

void TestCoachService::scheduledPostPublishesIntoNotifyAndDrainedNotification() {
    EventStream events(*m_client, alice);
    QTRY_COMPARE_WITH_TIMEOUT(events.status(), 200, 10000);
    QCOMPARE(events.notifies(), 0);

    const QString token = draftFor(alice, u"Draft a post about our launch. It "
                                          "went live at midnight."_s);
    const QJsonObject f = CoachClient::final(m_client->chat(alice, u"schedule it tomorrow at 9"_s));
    QVERIFY(f.value(u"reply"_s).toString().startsWith("Scheduled"_L1));
    const Draft scheduled = *m_service->store().draft(token);
    QCOMPARE(scheduled.status, u"scheduled"_s);

    // Nothing is due yet; then the clock passes the scheduled time.
    QCOMPARE(m_service->publisher()->publishDue(QDateTime::currentDateTimeUtc()), 0);
    QSignalSpy notified(&events, &EventStream::notified);
    QCOMPARE(m_service->publisher()->publishDue(scheduled.scheduledAt.addSecs(1)), 1);
    QVERIFY(notified.wait(10000));
    QCOMPARE(m_service->store().draft(token)->status, u"published"_s);

    const auto drained = m_client->get(u"api/notifications"_s, alice);
    QCOMPARE(drained.status, 200);
    const QJsonArray list = drained.object().value(u"notifications"_s).toArray();
    QCOMPARE(list.size(), 1);
    const QJsonObject n = list.first().toObject();
    QVERIFY(n.value(u"text"_s).toString().contains(u"/edit/"_s + token));
    QVERIFY(isoTime(n.value(u"created_at"_s).toString()).isValid());
    QVERIFY(!n.contains(u"image_b64"_s));
    // Only "notifications" is in the reply: other lists would fail the app's decoder.
    QCOMPARE(drained.object().keys(), QStringList{u"notifications"_s});
    // Delivered once.
    QVERIFY(m_client->get(u"api/notifications"_s, alice)
                .object()
                .value(u"notifications"_s)
                .toArray()
                .isEmpty());

    // A stream opened while a notification waits is told at once.
    m_service->store().addNotification(m_service->store().user(alice).id, u"hi"_s);
    EventStream late(*m_client, alice);
    QSignalSpy lateNotified(&late, &EventStream::notified);
    QVERIFY(lateNotified.wait(10000));
    QCOMPARE(events.notifies(), 1); // the first stream was not told about that one
}

void TestCoachService::idleEventStreamGetsKeepAliveComments() {
    QTemporaryDir dir;
    CoachService::Options options;
    options.databasePath = dir.filePath(u"coach.sqlite"_s);
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
    m_client->chat(alice, u"/menu"_s);
    m_client->chat(alice, u"What's the best time to post?"_s, u"UTC"_s, QByteArray());
    m_client->chat(bob, u"/trends marketing"_s);

    auto all = m_client->get(u"api/debug/llm?limit=10"_s);
    QCOMPARE(all.status, 200);
    QVERIFY(all.json().isArray());
    QCOMPARE(all.json().toArray().size(), 3);
    const QJsonObject newest = all.json().toArray().first().toObject();
    for (const char* key : {"id", "user_id", "latency_ms", "input_tokens", "output_tokens",
                            "cache_read_tokens", "reasoning_tokens"}) {
        QVERIFY2(isInteger(newest.value(QLatin1String(key))), key);
    }
    for (const char* key : {"intent", "label", "provider", "model", "stop_reason", "error"}) {
        QVERIFY2(newest.value(QLatin1String(key)).isString(), key);
    }
    QVERIFY(isoTime(newest.value(u"created_at"_s).toString()).isValid());
    QCOMPARE(newest.value(u"provider"_s).toString(), u"local"_s);

    const auto mine = m_client->get(u"api/debug/llm?limit=10"_s, alice);
    QCOMPARE(mine.json().toArray().size(), 2);
    QCOMPARE(m_client->get(u"api/debug/llm?limit=1"_s).json().toArray().size(), 1);

    const qint64 id = mine.json().toArray().first().toObject().value(u"id"_s).toInteger();
    const auto detail = m_client->get(u"api/debug/llm/%1"_s.arg(id));
    QCOMPARE(detail.status, 200);
    const QJsonObject d = detail.object();
    const QJsonArray messages = d.value(u"request"_s).toObject().value(u"messages"_s).toArray();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().toObject().value(u"role"_s).toString(), u"user"_s);
    QCOMPARE(messages.first().toObject().value(u"text"_s).toString(),
             u"What's the best time to post?"_s);
    // The logged response is the reply the user got.
    QVERIFY(d.value(u"response"_s)
                .toObject()
                .value(u"text"_s)
                .toString()
                .contains("Weekday mornings"_L1));

    QCOMPARE(m_client->get(u"api/debug/llm/999999"_s).status, 404);
    QCOMPARE(m_client->get(u"api/debug/llm/abc"_s).status, 400);
    QCOMPARE(m_client->get(u"api/debug/llm?limit=0"_s).status, 400);
    QCOMPARE(m_client->get(u"api/debug/llm?limit=ten"_s).status, 400);

    QCOMPARE(m_client->send("DELETE", u"api/debug/llm"_s, {}, {}).status, 200);
    QVERIFY(m_client->get(u"api/debug/llm"_s).json().toArray().isEmpty());
}

void TestCoachService::uploadStoresTheVideo() {
    const QByteArray boundary = "tolvane-0F8E2C1A-1234-4321-ABCD-0123456789AB";
    const QByteArray video = QByteArray("\x00\x00\x00\x18"
                                        "ftypmp42",
                                        12) +
                             QByteArray(5000, 'v');
    const auto r = m_client->send("POST", u"inapp/video"_s, uploadBody(boundary, alice, video),
                                  "multipart/form-data; boundary=" + boundary);
    QCOMPARE(r.status, 200);
    QVERIFY(isInteger(r.object().value(u"video_id"_s)));
    QCOMPARE(m_service->store().videoCount(m_service->store().user(alice).id), 1);
    const QStringList files = QDir(m_dir->filePath(u"videos"_s)).entryList({u"*.mp4"_s});
    QCOMPARE(files.size(), 1);
    QFile stored(m_dir->filePath(u"videos/"_s + files.first()));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), video);
    // The coach comments on the video through a notification.
    QCOMPARE(m_service->store().pendingNotifications(m_service->store().user(alice).id), 1);

    QCOMPARE(m_client
                 ->send("POST", u"inapp/video"_s, uploadBody(boundary, alice, {}, false),
                        "multipart/form-data; boundary=" + boundary)
                 .status,
             400);
    QCOMPARE(m_client->send("POST", u"inapp/video"_s, "{}", "application/json").status, 415);
    QCOMPARE(
        m_client->send("POST", u"inapp/video"_s, "--x\r\nbroken", "multipart/form-data; boundary=x")
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
    const auto r =
        m_client->postJson(u"api/contact"_s, {{u"email"_s, email},
                                              {u"message"_s, message},
                                              {u"page"_s, u"macOS app (user %1)"_s.arg(alice)}});
    QCOMPARE(r.status, status);
    if (status != 200) {
        QVERIFY(!r.object().value(u"error"_s).toString().isEmpty());
    }
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
    QVERIFY(r.object().value(u"error"_s).isString());
    // The service is still there.
    QCOMPARE(m_client->get(u"health"_s).status, 200);
}

void TestCoachService::forgetMeErasesEverything() {
    m_client->chat(alice, u"My name is Dana. I help small shops sell online."_s);
    const QString token = draftFor(alice, u"Draft a post about our first sale. It "
                                          "was a friend."_s);
    QVERIFY(!m_service->store().memories(m_service->store().user(alice).id).isEmpty());
    const QJsonObject f = CoachClient::final(m_client->chat(alice, u"/forgetme"_s));
    QVERIFY(f.value(u"reply"_s).toString().contains("erased"_L1));
    const qint64 id = m_service->store().user(alice).id;
    QVERIFY(m_service->store().memories(id).isEmpty());
    QVERIFY(!m_service->store().draft(token));
    QVERIFY(m_client->get(u"api/debug/llm"_s, alice).json().toArray().isEmpty());
    const QJsonObject who =
        CoachClient::final(m_client->chat(alice, u"what do you know about me?"_s));
    QVERIFY(who.value(u"reply"_s).toString().contains("don't know"_L1));
}

void TestCoachService::storeSurvivesRestart() {
    const QString token = draftFor(alice, u"Draft a post about keeping notes. "
                                          "Future me says thanks."_s);
    m_client->chat(alice, u"My name is Dana."_s);
    m_client.reset();
    m_service.reset();
    startService();
    const auto d = m_client->get(u"api/draft/"_s + token);
    QCOMPARE(d.status, 200);
    QVERIFY(d.object().value(u"text"_s).toString().contains("thanks"_L1));
    QCOMPARE(m_client->get(u"api/profile?platform=linkedin"_s, alice)
                 .object()
                 .value(u"name"_s)
                 .toString(),
             u"Dana"_s);
}

// A full store fails the request with 507 and the store's words: no edit link
// to a draft that was never stored, no video id for a video without a record.
// When space is back the same requests succeed.
void TestCoachService::fullDiskFailsTheRequest() {
    m_client.reset();
    m_service.reset();
    const QString folder = m_dir->filePath(u"small"_s);
    QVERIFY(QDir().mkpath(folder));
    if (const QString why = scratchfs::mountTmpfs(folder, 1024); !why.isEmpty()) {
        QSKIP(qPrintable(u"needs a small file system: "_s + why));
    }
    const auto unmount = qScopeGuard([&] {
        m_client.reset();
        m_service.reset();
        scratchfs::unmount(folder);
    });
    CoachService::Options options;
    options.databasePath = QDir(folder).filePath(u"coach.sqlite"_s);
    options.videoDir = m_dir->filePath(u"videos"_s);
    options.port = 0;
    options.publishIntervalMs = 3'600'000;
    m_service = std::make_unique<CoachService>(options);
    QVERIFY2(m_service->start(), qPrintable(m_service->errorString()));
    m_client = std::make_unique<CoachClient>(QUrl(m_service->root()));
    const qint64 aliceId = m_service->store().user(alice).id;
    const QJsonObject ask{{u"user_id"_s, alice},
                          {u"text"_s, u"Draft a post about our launch. "
                                      "It went live at midnight."_s},
                          {u"time_zone"_s, u"UTC"_s}};

    scratchfs::fill(folder);
    const auto chat = m_client->postJson(u"inapp/stream"_s, ask);
    const QByteArray boundary = "tolvane-0F8E2C1A-1234-4321-ABCD-0123456789AB";
    const auto upload =
        m_client->send("POST", u"inapp/video"_s, uploadBody(boundary, alice, QByteArray(3000, 'v')),
                       "multipart/form-data; boundary=" + boundary);
    QVERIFY(QFile::remove(QDir(folder).filePath(u"filler"_s)));

    QCOMPARE(chat.status, 507);
    QCOMPARE(chat.object().value(u"error"_s).toString(),
             u"The coach could not store this: database or disk is full"_s);
    QVERIFY(!chat.body.contains("/edit/"));
    QVERIFY(m_service->store().drafts(aliceId, u"draft"_s).isEmpty());
    QVERIFY(m_service->store().llmCalls(10, aliceId).isEmpty());
    QCOMPARE(upload.status, 507);
    QCOMPARE(m_service->store().videoCount(aliceId), 0);
    QVERIFY(QDir(options.videoDir).entryList(QDir::Files).isEmpty());

    const QString token = draftFor(alice, ask.value(u"text"_s).toString());
    QVERIFY(m_service->store().draft(token));
    QCOMPARE(m_service->store().llmCalls(10, aliceId).size(), 1);
}

// What a coach killed mid-upload leaves in its video folder (a partly written
// video, a spooled body, a video whose record was never written) is gone
// after the next start; stored videos stay.
void TestCoachService::unfinishedUploadsAreRemovedAtStart() {
    const QByteArray boundary = "tolvane-0F8E2C1A-1234-4321-ABCD-0123456789AB";
    const auto r =
        m_client->send("POST", u"inapp/video"_s, uploadBody(boundary, alice, QByteArray(3000, 'v')),
                       "multipart/form-data; boundary=" + boundary);
    QCOMPARE(r.status, 200);
    QDir videos(m_dir->filePath(u"videos"_s));
    const QStringList stored = videos.entryList(QDir::Files);
    QCOMPARE(stored.size(), 1);
    QVERIFY(stored.first().endsWith(".mp4"_L1));
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
