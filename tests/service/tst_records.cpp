#include "common/iso8601.h"
#include "service/accountrecords.h"
#include "service/apiclient.h"
#include "service/chatrecords.h"
#include "service/jsonreader.h"
#include "service/recordjson.h"

#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;

class TestRecords : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void isoDates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("utc"); // empty when rejected
        QTest::newRow("zulu") << "2026-03-01T09:30:00Z"
                              << "2026-03-01T09:30:00.000Z";
        QTest::newRow("fraction") << "2026-03-01T09:30:00.5Z"
                                  << "2026-03-01T09:30:00.500Z";
        QTest::newRow("micro") << "2026-03-01T09:30:00.250999Z"
                               << "2026-03-01T09:30:00.251Z";
        QTest::newRow("offset") << "2026-03-01T09:30:00+01:00"
                                << "2026-03-01T08:30:00.000Z";
        QTest::newRow("negative offset") << "2026-03-01T23:30:00.125-02:30"
                                         << "2026-03-02T02:00:00.125Z";
        QTest::newRow("space no zone") << "2026-03-01 09:30"
                                       << "";
        QTest::newRow("no zone") << "2026-03-01T09:30:00"
                                 << "";
        QTest::newRow("no seconds") << "2026-03-01T09:30Z"
                                    << "";
        QTest::newRow("offset without colon") << "2026-03-01T09:30:00+0100"
                                              << "";
        QTest::newRow("empty fraction") << "2026-03-01T09:30:00.Z"
                                        << "";
        QTest::newRow("february 30") << "2026-02-30T09:30:00Z"
                                     << "";
        QTest::newRow("hour 24") << "2026-03-01T24:00:00Z"
                                 << "";
        QTest::newRow("trailing text") << "2026-03-01T09:30:00Zjunk"
                                       << "";
        QTest::newRow("date only") << "2026-03-01"
                                   << "";
    }
    void isoDates() {
        QFETCH(QString, text);
        QFETCH(QString, utc);
        const auto parsed = iso8601::parseEither(text);
        QCOMPARE(parsed.has_value(), !utc.isEmpty());
        if (parsed) {
            QCOMPARE(iso8601::formatWithMilliseconds(*parsed), utc);
        }
    }

    void chatImageAndDebug() {
        auto image = json::decode<ChatImage>(
            R"({"data_b64":"AA==","mime":"image/png","caption":"c","extra":1})");
        QVERIFY(image);
        QVERIFY(!image->group);
        image = json::decode<ChatImage>(
            R"({"data_b64":"AA==","mime":"image/png","caption":"c","group":null})");
        QVERIFY(image && !image->group);
        image = json::decode<ChatImage>(
            R"({"data_b64":"AA==","mime":"image/png","caption":"c","group":"g"})");
        QCOMPARE(image->group, QString("g"));
        image = json::decode<ChatImage>(R"({"data_b64":"AA==","mime":"image/png"})");
        QVERIFY(!image);
        QVERIFY(image.error().contains("caption"));

        const QByteArray good = R"({"model":"m","input_tokens":10,"output_tokens":5,
            "cache_read_tokens":0,"cache_write_tokens":9007199254740993,"cost_usd":0.0123})";
        auto debug = json::decode<TurnDebug>(good);
        QVERIFY(debug);
        // 64-bit integers survive beyond double precision.
        QCOMPARE(debug->cacheWriteTokens, Q_INT64_C(9007199254740993));
        QCOMPARE(debug->costUSD, 0.0123);
        QVERIFY(!json::decode<TurnDebug>(
            R"({"model":"m","input_tokens":1,"output_tokens":5,"cache_read_tokens":0,"cache_write_tokens":0})"));
        auto wrongType = json::decode<TurnDebug>(
            R"({"model":"m","input_tokens":"10","output_tokens":5,"cache_read_tokens":0,"cache_write_tokens":0,"cost_usd":1})");
        QVERIFY(!wrongType);
        QVERIFY(wrongType.error().contains("input_tokens"));
        QVERIFY(!json::decode<TurnDebug>(
            R"({"model":"m","input_tokens":1.5,"output_tokens":5,"cache_read_tokens":0,"cache_write_tokens":0,"cost_usd":1})"));
    }

    void notificationsWrapper() {
        auto list = [](const QByteArray& body) { return json::decode<NotificationWrapper>(body); };
        QVERIFY(list(R"({"notifications":null})"));
        QVERIFY(!list(R"({"notifications":null})")->notifications);
        QVERIFY(list("{}"));
        auto both = list(
            R"({"notifications":[{"text":"hi","created_at":"2026-03-01T09:30:00Z"}],"drafts":[{"id":1}]})");
        QVERIFY(!both);
        auto good = list(R"({"notifications":[{"text":"hi","image_b64":null,
            "created_at":"2026-03-01T09:30:00.250+00:00"}]})");
        QVERIFY(good);
        QCOMPARE(good->notifications->size(), 1);
        QCOMPARE(good->notifications->first().text, QString("hi"));
        auto noZone =
            list(R"({"notifications":[{"text":"hi","created_at":"2026-03-01T09:30:00"}]})");
        QVERIFY(!noZone);
        QCOMPARE(noZone.error(), QString("bad date: 2026-03-01T09:30:00"));
        QVERIFY(!list("[1,2]"));
        QVERIFY(!list("{not json"));
        QVERIFY(!list("\xff\xfe{}"));
    }

    void accountRecords() {
        QVERIFY(!json::decode<Overview>(
            R"({"drafts_count":1,"scheduled_pending":0,"published_count":0,"total_impressions":0,"total_likes":0})"));
        auto overview = json::decode<Overview>(
            R"({"drafts_count":1,"scheduled_pending":0,"published_count":0,"total_impressions":0,"total_likes":0,"connected_platforms":[]})");
        QVERIFY(overview);
        QVERIFY(overview->connectedPlatforms.isEmpty());
        QVERIFY(!json::decode<Overview>(
            R"({"drafts_count":1,"scheduled_pending":0,"published_count":0,"total_impressions":0,"total_likes":0,"connected_platforms":[1]})"));

        const QByteArray call = R"({"id":7,"created_at":"2026-03-01T09:30:00Z","user_id":3,
            "intent":"chat","label":"l","provider":"p","model":"m","latency_ms":12,
            "stop_reason":"end","error":"","input_tokens":1,"output_tokens":2,
            "cache_read_tokens":3,"reasoning_tokens":4})";
        auto calls = json::decodeList<LLMCall>("[" + call + "]");
        QVERIFY(calls);
        QCOMPARE(calls->first().reasoningTokens, 4);
        QByteArray stringUser = call;
        stringUser.replace("\"user_id\":3", "\"user_id\":\"3\"");
        QVERIFY(!json::decodeList<LLMCall>("[" + stringUser + "]"));
        QVERIFY(!json::decodeList<LLMCall>(call)); // an object, not a list

        const QByteArray detailHead = R"({"id":7,"created_at":"2026-03-01T09:30:00Z","model":"m",
            "provider":"p","intent":"i","label":"l","latency_ms":1,"stop_reason":"s","error":"")";
        auto detail = json::decode<LLMCallDetail>(
            detailHead + R"(,"request":{"messages":[{"role":"user"}],"tools":["a"]},
            "response":{"tool_calls":[{"name":"t","arguments":"{}"}]}})");
        QVERIFY(detail);
        QCOMPARE(detail->request->messages->first().role, QString("user"));
        QCOMPARE(detail->response->toolCalls->first().name, QString("t"));
        auto noRole =
            json::decode<LLMCallDetail>(detailHead + R"(,"request":{"messages":[{"text":"x"}]}})");
        QVERIFY(!noRole);
        QVERIFY(noRole.error().contains("request.messages[0].role"));
        QVERIFY(!json::decode<LLMCallDetail>(
            detailHead +
            R"(,"request":{"messages":[{"role":"tool","tool_results":[{"id":"1"}]}]}})"));
    }

    void scheduleResult() {
        auto r = ScheduleResult::fromReply(200, R"({"at":"2026-03-01T08:30:00Z","mode":"queued"})");
        QCOMPARE(r.outcome, ScheduleResult::Outcome::scheduled);
        QCOMPARE(iso8601::formatSeconds(*r.at), QString("2026-03-01T08:30:00Z"));
        QCOMPARE(r.mode, QString("queued"));
        QVERIFY(!r.message);
        r = ScheduleResult::fromReply(200, "ok");
        QCOMPARE(r.outcome, ScheduleResult::Outcome::scheduled);
        QVERIFY(!r.at && !r.mode);
        r = ScheduleResult::fromReply(201, R"({"at":"tomorrow","mode":5})");
        QVERIFY(!r.at && !r.mode);
        r = ScheduleResult::fromReply(500, R"({"error":7})");
        QCOMPARE(r.outcome, ScheduleResult::Outcome::error);
        QCOMPARE(r.message, QString("Could not schedule."));
        r = ScheduleResult::fromReply(409, R"({"error":"already published"})");
        QCOMPARE(r.message, QString("already published"));
        QVERIFY(!r.at);
    }

    void errorTexts() {
        QCOMPARE(APIError::http(502, "").description(), QString("Server error 502: "));
        QCOMPARE(APIError::http(401, "%1 %2").description(), QString("Server error 401: %1 %2"));
        QCOMPARE(APIError::decoding("x").description(),
                 QString("Could not read the server response: x"));
        QCOMPARE(APIError::transport("Connection refused").description(),
                 QString("Can't reach the server: Connection refused"));
        QCOMPARE(APIError::badURL().description(),
                 QString("The server URL is invalid. Check Settings."));
    }

    // What the wire writer produces reads back to the same record; a key
    // misspelt on either side breaks this.
    void wireFormRoundTrips() {
        LLMCallDetail detail;
        detail.id = Q_INT64_C(1) << 40;
        detail.createdAt = *iso8601::parseEither(u"2026-03-01T09:30:00.250Z"_s);
        detail.model = "m";
        detail.request =
            LLMWireRequest{"m",
                           100,
                           "low",
                           "sys",
                           QStringList{"search"},
                           QList<LLMWireMessage>{{"user", "hi", LLMWireImage{"image/png", 12},
                                                  QList<LLMWireToolCall>{{"1", "t", "{}"}},
                                                  QList<LLMWireToolResult>{{"1", "ok", false}}}}};
        detail.response = LLMWireResponse{"end", "text", std::nullopt};
        const auto back = json::decodeValue<LLMCallDetail>(wire::toJson(detail));
        QVERIFY(back);
        QCOMPARE(*back, detail);

        const InAppNotification notification{"n", "AA==", detail.createdAt};
        QCOMPARE(*json::decodeValue<InAppNotification>(wire::toJson(notification)), notification);
        const ProfileIdentity profile{"N", "H", "h", std::nullopt, "image/png"};
        QCOMPARE(*json::decodeValue<ProfileIdentity>(wire::toJson(profile)), profile);
    }

    void chatReply() {
        auto reply = json::decode<ChatReply>(R"({"reply":"r","images":null})");
        QVERIFY(reply);
        QVERIFY(reply->images.isEmpty());
        QVERIFY(!reply->debug);
        QVERIFY(!json::decode<ChatReply>(R"({"images":[]})"));
        QVERIFY(!json::decode<ChatReply>(R"({"reply":"r","images":[{"mime":"x"}]})"));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
