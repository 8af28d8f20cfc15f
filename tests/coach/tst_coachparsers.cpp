// The coach's pure parsers: schedule phrases, multipart bodies, the
// request parser, listen addresses and the post writer.
#include "coachconfig.h"
#include "httprequestparser.h"
#include "multipartparser.h"
#include "postwriter.h"
#include "whenparser.h"

#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane::coach;

class TestCoachParsers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void when_data();
    void when();
    void nextGoodSlotIsAWeekdayMorning();
    void multipart();
    void multipartRejectsBrokenBodies_data();
    void multipartRejectsBrokenBodies();
    void requestParserLimits_data();
    void requestParserLimits();
    void requestParserBoundsAnUnfinishedHead();
    void requestParserSplitsPipelinedRequests();
    void requestParserSpoolsLargeBodies();
    void requestParserDecodesChunkedBodies_data();
    void requestParserDecodesChunkedBodies();
    void listenAddress_data();
    void listenAddress();
    void postWriterUsesTheUsersWords();
    void postWriterStyles();
};

void TestCoachParsers::when_data() {
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<bool>("found");
    QTest::addColumn<bool>("now");
    QTest::addColumn<QString>("local"); // expected local time in Europe/Berlin

    // "Now" is Wednesday 2026-03-04 10:00 in Berlin (09:00 UTC).
    QTest::newRow("now") << "post it now" << true << true << "";
    QTest::newRow("in hours") << "schedule it in 2 hours" << true << false << "2026-03-04 12:00";
    QTest::newRow("tomorrow at 9") << "tomorrow at 9" << true << false << "2026-03-05 09:00";
    QTest::newRow("tomorrow pm") << "tomorrow 3pm" << true << false << "2026-03-05 15:00";
    QTest::newRow("12am is midnight") << "friday 12am" << true << false << "2026-03-06 00:00";
    QTest::newRow("weekday, next week when today")
        << "wednesday 14:30" << true << false << "2026-03-11 14:30";
    QTest::newRow("day only gets 9:00") << "on friday" << true << false << "2026-03-06 09:00";
    QTest::newRow("time only, later today") << "at 11:15" << true << false << "2026-03-04 11:15";
    QTest::newRow("time only, passed: tomorrow") << "at 8" << true << false << "2026-03-05 08:00";
    QTest::newRow("iso date") << "2026-03-09 08:30" << true << false << "2026-03-09 08:30";
    QTest::newRow("evening") << "this evening" << true << false << "2026-03-04 18:00";
    QTest::newRow("nothing") << "schedule it" << false << false << "";
    QTest::newRow("13pm") << "tomorrow 13pm" << false << false << "";
}

void TestCoachParsers::when() {
    QFETCH(QString, phrase);
    QFETCH(bool, found);
    QFETCH(bool, now);
    QFETCH(QString, local);
    const QTimeZone berlin("Europe/Berlin");
    const QDateTime nowUtc(QDate(2026, 3, 4), QTime(9, 0), Qt::UTC);
    const WhenParser::Result r = WhenParser::parse(phrase, nowUtc, berlin);
    QCOMPARE(r.found, found);
    QCOMPARE(r.now, now);
    if (!local.isEmpty()) {
        QCOMPARE(r.at.toTimeZone(berlin).toString(u"yyyy-MM-dd HH:mm"_s), local);
    }
}

void TestCoachParsers::nextGoodSlotIsAWeekdayMorning() {
    const QTimeZone ny("America/New_York");
    // Thursday 2026-03-05 16:00 New York: Thursday's slot has passed.
    const QDateTime thursdayAfternoon(QDate(2026, 3, 5), QTime(21, 0), Qt::UTC);
    const QDateTime slot = WhenParser::nextGoodSlot(thursdayAfternoon, ny).toTimeZone(ny);
    QCOMPARE(slot.date(), QDate(2026, 3, 10)); // the next Tuesday
    QCOMPARE(slot.time(), QTime(8, 30));
}

void TestCoachParsers::multipart() {
    // Laid out the way the app writes its upload body.
    const QByteArray b = "tolvane-8F0C2A9E-1111-2222-3333-444455556666";
    QByteArray body;
    for (const auto& [name, value] : QList<QPair<QByteArray, QByteArray>>{
             {"user_id", "mac-x"}, {"duration", "12.50"}, {"title", ""}}) {
        body += "--" + b + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
                value + "\r\n";
    }
    // Sized by the literal: a NUL inside means strlen cannot.
    static constexpr char videoBytes[] = "\x00\x01\r\n--not-a-boundary\r\n\xff";
    const QByteArray video(videoBytes, sizeof(videoBytes) - 1);
    body += "--" + b +
            "\r\nContent-Disposition: form-data; name=\"video\"; filename=\"short.mp4\"\r\n"
            "Content-Type: video/mp4\r\n\r\n" +
            video + "\r\n--" + b + "--\r\n";
    QCOMPARE(MultipartParser::boundaryOf("multipart/form-data; boundary=" + b), b);
    QCOMPARE(MultipartParser::boundaryOf("multipart/form-data; boundary=\"" + b + "\""), b);
    QVERIFY(MultipartParser::boundaryOf("application/json").isEmpty());

    const auto parts = MultipartParser::parse(body, b);
    QVERIFY(parts);
    QCOMPARE(parts->size(), 4);
    QCOMPARE(parts->at(1).data.toByteArray(), QByteArray("12.50"));
    QCOMPARE(parts->at(2).name, u"title"_s);
    QVERIFY(parts->at(2).data.isEmpty());
    QCOMPARE(parts->at(3).filename, u"short.mp4"_s);
    QCOMPARE(parts->at(3).contentType, QByteArray("video/mp4"));
    QCOMPARE(parts->at(3).data.toByteArray(), video);
}

void TestCoachParsers::multipartRejectsBrokenBodies_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("wrong boundary") << QByteArray("--other\r\n\r\nx\r\n--other--\r\n");
    QTest::newRow("unterminated part")
        << QByteArray("--B\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nvalue");
    QTest::newRow("no part head end") << QByteArray("--B\r\nContent-Disposition: x");
    QTest::newRow("garbage after boundary") << QByteArray("--Bxx");
}

void TestCoachParsers::multipartRejectsBrokenBodies() {
    QFETCH(QByteArray, body);
    QVERIFY(!MultipartParser::parse(body, "B"));
}

void TestCoachParsers::requestParserLimits_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status"); // 0: accepted
    QTest::newRow("simple") << QByteArray("GET /health HTTP/1.1\r\nHost: x\r\n\r\n") << 0;
    QTest::newRow("HTTP/1.0") << QByteArray("GET / HTTP/1.0\r\n\r\n") << 0;
    QTest::newRow("two spaces") << QByteArray("GET  / HTTP/1.1\r\n\r\n") << 400;
    QTest::newRow("HTTP/2") << QByteArray("GET / HTTP/2.0\r\n\r\n") << 505;
    QTest::newRow("absolute target") << QByteArray("GET http://x/ HTTP/1.1\r\n\r\n") << 400;
    QTest::newRow("header without colon") << QByteArray("GET / HTTP/1.1\r\nBroken\r\n\r\n") << 400;
    QTest::newRow("folded header") << QByteArray("GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n") << 400;
    QTest::newRow("chunked body") << QByteArray(
                                         "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n")
                                  << 0;
    QTest::newRow("other coding")
        << QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: gzip, chunked\r\n\r\n") << 501;
    QTest::newRow("chunked beside a length")
        << QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n")
        << 400;
    QTest::newRow("chunked twice") << QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n"
                                                 "Transfer-Encoding: chunked\r\n\r\n")
                                   << 400;
    QTest::newRow("signed length")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n") << 400;
    QTest::newRow("length with junk")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: 12abc\r\n\r\n") << 400;
    QTest::newRow("two lengths")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\nx") << 400;
    QTest::newRow("body over limit")
        << QByteArray("POST /api/contact HTTP/1.1\r\nContent-Length: 1000001\r\n\r\n") << 413;
    QTest::newRow("upload may be larger")
        << QByteArray("POST /inapp/video HTTP/1.1\r\nContent-Length: 1000001\r\n\r\n") << 0;
    QTest::newRow("header over limit")
        << QByteArray("GET / HTTP/1.1\r\nX: " + QByteArray(5000, 'a') + "\r\n\r\n") << 431;
    const auto withHeaders = [](int count) {
        QByteArray head = "GET / HTTP/1.1\r\n";
        for (int i = 0; i < count; ++i) {
            head += "X-" + QByteArray::number(i) + ": v\r\n";
        }
        return head + "\r\n";
    };
    QTest::newRow("100 header lines") << withHeaders(100) << 0;
    QTest::newRow("101 header lines") << withHeaders(101) << 431;
}

void TestCoachParsers::requestParserLimits() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    HttpRequestParser::Limits limits;
    limits.maxHeaderBytes = 4096;
    limits.maxBodyBytes = 1'000'000;
    HttpRequestParser parser(limits);
    QByteArray buffer = bytes;
    const auto result = parser.feed(buffer);
    if (status == 0) {
        QVERIFY(result != HttpRequestParser::Status::Error);
    } else {
        QCOMPARE(result, HttpRequestParser::Status::Error);
        QCOMPARE(parser.errorStatus(), status);
    }
}

// A head that never ends waits for more until it passes the header cap, then
// fails: a client cannot make the service hold an endless head.
void TestCoachParsers::requestParserBoundsAnUnfinishedHead() {
    HttpRequestParser::Limits limits;
    limits.maxHeaderBytes = 4096;
    HttpRequestParser parser(limits);
    QByteArray buffer = "GET / HTTP/1.1\r\n";
    QCOMPARE(parser.feed(buffer), HttpRequestParser::Status::NeedMore);
    qsizetype sent = buffer.size();
    HttpRequestParser::Status status = HttpRequestParser::Status::NeedMore;
    while (status == HttpRequestParser::Status::NeedMore && sent < 64 * 1024) {
        const QByteArray line = "X-Filler: " + QByteArray(100, 'a') + "\r\n";
        buffer += line;
        sent += line.size();
        status = parser.feed(buffer);
    }
    QCOMPARE(status, HttpRequestParser::Status::Error);
    QCOMPARE(parser.errorStatus(), 431);
    QVERIFY2(sent <= limits.maxHeaderBytes + 200, qPrintable(QString::number(sent)));
    // A failed parser stays failed, whatever comes next.
    buffer = "\r\n\r\n";
    QCOMPARE(parser.feed(buffer), HttpRequestParser::Status::Error);
}

void TestCoachParsers::requestParserSplitsPipelinedRequests() {
    HttpRequestParser parser({});
    // Two requests, the first with a body, arriving in awkward pieces.
    const QByteArray wire = "POST /a%20b?x=1&y=%C3%A9 HTTP/1.1\r\nContent-Length: 5\r\n"
                            "Authorization: Bearer  mac-1 \r\n\r\nhelloGET /c HTTP/1.1\r\n"
                            "Connection: close\r\n\r\n";
    QByteArray buffer;
    QList<HttpRequest> requests;
    for (char c : wire) {
        buffer.append(c);
        for (;;) {
            const auto s = parser.feed(buffer);
            QVERIFY(s != HttpRequestParser::Status::Error);
            if (s == HttpRequestParser::Status::Done) {
                requests.append(parser.takeRequest());
                continue;
            }
            if (s == HttpRequestParser::Status::NeedMore) {
                break;
            }
        }
    }
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].path, u"/a b"_s);
    QCOMPARE(requests[0].query.queryItemValue(u"y"_s, QUrl::FullyDecoded), u"é"_s);
    QCOMPARE(requests[0].body().toByteArray(), QByteArray("hello"));
    QCOMPARE(requests[0].bearer(), u"mac-1"_s);
    QVERIFY(requests[0].keepAlive());
    QCOMPARE(requests[1].path, u"/c"_s);
    QVERIFY(!requests[1].keepAlive());
}

void TestCoachParsers::requestParserSpoolsLargeBodies() {
    HttpRequestParser::Limits limits;
    limits.spoolThreshold = 10;
    HttpRequestParser parser(limits);
    const QByteArray payload(4096, 'z');
    QByteArray buffer = "POST /inapp/video HTTP/1.1\r\nContent-Length: 4096\r\n\r\n" + payload;
    QCOMPARE(parser.feed(buffer), HttpRequestParser::Status::HeadersDone);
    QCOMPARE(parser.feed(buffer), HttpRequestParser::Status::Done);
    const HttpRequest request = parser.takeRequest();
    QVERIFY(request.bodyFile);
    QVERIFY(request.memoryBody.isEmpty());
    QCOMPARE(request.body().toByteArray(), payload);
}

void TestCoachParsers::requestParserDecodesChunkedBodies_data() {
    QTest::addColumn<QByteArray>("body"); // after a chunked POST head
    QTest::addColumn<int>("status");      // 0: accepted
    QTest::addColumn<QByteArray>("decoded");
    QTest::newRow("two chunks") << QByteArray("5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n") << 0
                                << QByteArray("hello world");
    QTest::newRow("empty body") << QByteArray("0\r\n\r\n") << 0 << QByteArray();
    QTest::newRow("upper-case hex, extension")
        << QByteArray("A;name=value\r\n0123456789\r\n0\r\n\r\n") << 0 << QByteArray("0123456789");
    QTest::newRow("trailer fields")
        << QByteArray("3\r\nabc\r\n0\r\nX-Sum: 1\r\nY: 2\r\n\r\n") << 0 << QByteArray("abc");
    QTest::newRow("bare line feeds") << QByteArray("3\nabc\n0\n\n") << 0 << QByteArray("abc");
    QTest::newRow("binary data with CR LF inside")
        << QByteArray("4\r\n\r\n\r\n\r\n0\r\n\r\n") << 0 << QByteArray("\r\n\r\n");
    QTest::newRow("over the limit in small chunks")
        << QByteArray("8\r\n12345678\r\n8\r\n12345678\r\n1\r\nx\r\n0\r\n\r\n") << 413
        << QByteArray();
    QTest::newRow("one huge chunk") << QByteArray("fffffffffffffff\r\n") << 413 << QByteArray();
    QTest::newRow("not hex") << QByteArray("g\r\nx\r\n0\r\n\r\n") << 400 << QByteArray();
    QTest::newRow("negative size") << QByteArray("-1\r\nx\r\n0\r\n\r\n") << 400 << QByteArray();
    QTest::newRow("no size") << QByteArray("\r\nx\r\n0\r\n\r\n") << 400 << QByteArray();
    QTest::newRow("data longer than its size")
        << QByteArray("2\r\nabc\r\n0\r\n\r\n") << 400 << QByteArray();
    QTest::newRow("endless size line") << QByteArray(2000, '0') << 400 << QByteArray();
    QTest::newRow("endless trailers")
        << QByteArray("0\r\n" + QByteArray(300, 'x') + "\r\n") << 431 << QByteArray();
}

// Byte by byte, so every state sees its input split at every place; a second
// request on the same connection follows the chunked one.
void TestCoachParsers::requestParserDecodesChunkedBodies() {
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QByteArray, decoded);
    HttpRequestParser::Limits limits;
    limits.maxHeaderBytes = 256;
    limits.maxBodyBytes = 16;
    limits.spoolThreshold = 8; // bodies above 8 bytes go to a file on the way
    HttpRequestParser parser(limits);
    const QByteArray wire = "POST /api/x HTTP/1.1\r\nTransfer-Encoding: Chunked\r\n\r\n" + body +
                            "GET /next HTTP/1.1\r\n\r\n";
    QByteArray buffer;
    QList<HttpRequest> requests;
    int error = 0;
    for (qsizetype i = 0; i < wire.size() && error == 0; ++i) {
        buffer.append(wire[i]);
        for (;;) {
            const auto s = parser.feed(buffer);
            if (s == HttpRequestParser::Status::Error) {
                error = parser.errorStatus();
                break;
            }
            if (s == HttpRequestParser::Status::Done) {
                requests.append(parser.takeRequest());
                continue;
            }
            if (s == HttpRequestParser::Status::NeedMore) {
                break;
            }
        }
    }
    QCOMPARE(error, status);
    if (status != 0) {
        return;
    }
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].body().toByteArray(), decoded);
    QCOMPARE(bool(requests[0].bodyFile), decoded.size() > 8);
    QCOMPARE(requests[1].path, u"/next"_s);
    QVERIFY(requests[1].body().isEmpty());
}

void TestCoachParsers::listenAddress_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("port");
    QTest::newRow("default form") << "127.0.0.1:20511" << true << 20511;
    QTest::newRow("port 0") << "127.0.0.1:0" << true << 0;
    QTest::newRow("localhost") << "localhost:8080" << true << 8080;
    QTest::newRow("ipv6 loopback") << "[::1]:9000" << true << 9000;
    QTest::newRow("empty host") << ":9000" << true << 9000;
    QTest::newRow("all interfaces") << "0.0.0.0:20511" << false << 0;
    QTest::newRow("lan address") << "192.168.1.5:20511" << false << 0;
    QTest::newRow("port too big") << "127.0.0.1:70000" << false << 0;
    QTest::newRow("no port") << "127.0.0.1" << false << 0;
}

void TestCoachParsers::listenAddress() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, port);
    QHostAddress address;
    quint16 parsedPort = 1;
    QCOMPARE(CoachConfig::parseAddress(text, &address, &parsedPort), ok);
    if (ok) {
        QVERIFY(address.isLoopback());
        QCOMPARE(int(parsedPort), port);
    }
}

void TestCoachParsers::postWriterUsesTheUsersWords() {
    const QString request =
        u"Draft a post about onboarding new engineers. We pair every new engineer with a buddy. "
        "First commit on day one."_s;
    const QString material = PostWriter::materialFrom(request);
    QVERIFY(!material.startsWith("Draft"_L1, Qt::CaseInsensitive));
    QCOMPARE(PostWriter::topicOf(material), u"onboarding new engineers"_s);
    const QString post = PostWriter::write(material, u"insight"_s, {});
    QVERIFY(post.contains("We pair every new engineer with a buddy."_L1));
    QVERIFY(post.contains("First commit on day one."_L1));
    // The topic is in the hook, never repeated as a paragraph of its own.
    QCOMPARE(post.count("nboarding new engineers"_L1), 1);
    QVERIFY(!post.contains("\n\nOnboarding new engineers."_L1));
    QVERIFY(post.contains("#Engineers"_L1));
    QCOMPARE(PostWriter::write(material, u"insight"_s, {}), post);
}

void TestCoachParsers::postWriterStyles() {
    const QString material = u"I'm building a budgeting app for students."_s;
    QCOMPARE(PostWriter::topicOf(material), u"building a budgeting app for students"_s);
    const QString list = PostWriter::write(material, u"listicle"_s, {});
    QVERIFY2(list.startsWith("Here are 5 lessons about building a budgeting app"_L1),
             qPrintable(list));
    QVERIFY(list.contains("\n5. "_L1));
    const QString shortPost = PostWriter::write(material, u"short"_s, {});
    QVERIFY(shortPost.size() < 160);
    QVERIFY(!shortPost.contains(QLatin1Char('#')));
    // The topic is kept whole, never cut at a preposition or a number.
    QCOMPARE(PostWriter::topicOf(u"how we cut our CI build time from 40 minutes to "
                                 "6 minutes"_s),
             u"how we cut our CI build time from 40 minutes to 6 minutes"_s);
    QCOMPARE(PostWriter::topicOf(u"what I learned migrating our billing system "
                                 "from a monolith to microservices"_s),
             u"migrating our billing system from a monolith to microservices"_s);
    QCOMPARE(PostWriter::topicOf(u"We cut our CI build time in half"_s),
             u"how we cut our CI build time in half"_s);
    QCOMPARE(PostWriter::topicOf(u"mentoring juniors — make it punchy"_s), u"mentoring juniors"_s);
    QCOMPARE(PostWriter::materialFrom(u"Write a post about hiring juniors as a "
                                      "listicle. They ask good questions."_s),
             u"hiring juniors. They ask good questions."_s);
    const QStringList tags = PostWriter::hashtags(u"hiring juniors. Everything, everything."_s);
    QVERIFY2(tags.size() >= 3 && tags.size() <= 5, qPrintable(tags.join(' ')));
    QVERIFY(tags.contains(u"#Juniors"_s));
    QVERIFY(!tags.contains(u"#Everything"_s));
    QCOMPARE(PostWriter::styleFromWords(u"make it punchier"_s), u"punchy"_s);
    QCOMPARE(PostWriter::styleFromWords(u"make it shorter"_s), u"short"_s);
    QCOMPARE(PostWriter::styleFromWords(u"make it longer"_s), u"long"_s);
    QCOMPARE(PostWriter::styleFromWords(u"as a numbered list"_s), u"listicle"_s);
    QVERIFY(PostWriter::styleFromWords(u"schedule it"_s).isEmpty());
}

QTEST_GUILESS_MAIN(TestCoachParsers)
#include "tst_coachparsers.moc"
