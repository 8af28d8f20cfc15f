#include "scriptedhttpserver.h"
#include "service/apiclient.h"
#include "service/appsettings.h"
#include "service/ssestream.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <qcoro/qcorotimer.h>

using namespace tolvane;
using tolvane::test::Script;
using tolvane::test::ScriptedHttpServer;

namespace {

const QByteArray finalBlock =
    "event: final\ndata: {\"reply\":\"Done\",\"debug\":{\"model\":\"m\",\"input_tokens\":1,"
    "\"output_tokens\":2,\"cache_read_tokens\":0,\"cache_write_tokens\":0,\"cost_usd\":0.5},"
    "\"images\":[{\"data_b64\":\"AA==\",\"mime\":\"image/png\",\"caption\":\"c\",\"group\":\"g\"}]}"
    "\n\n";

QByteArray status(const QByteArray& text) {
    return "event: status\ndata: {\"text\":\"" + text + "\"}\n\n";
}

struct Outcome {
    QStringList statuses;
    APIResult<ChatReply> result = Unexpected{APIError::badURL()};
};

} // namespace

class TestChatStream : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(m_dir.filePath("s.ini"), QSettings::IniFormat));
    }

    // Handles a whole body through the framer and the chat handler with
    // arbitrary splits; the outcome must not depend on how bytes arrive.
    void framingIsIndependentOfSplits() {
        const QByteArray body = ": comment\n\n" + status("one") +
                                "event: status\ndata: {\"text\":\ndata: \"two\"}\n\n" +
                                "event: status\ndata: {\"text\":3}\n\n" + status("\\u00e9") +
                                "event: other\ndata: {}\n\n" + finalBlock;
        auto run = [](const QList<QByteArray>& pieces) {
            QStringList seen;
            sse::ChatStreamHandler handler([&seen](const QString& s) { seen.append(s); });
            sse::Framer framer;
            for (const QByteArray& piece : pieces) {
                framer.feed(piece, [&](const QByteArray& b) { return handler.handle(b); });
            }
            auto result = handler.finish(framer.takeRemainder());
            return std::make_pair(seen, result ? result->reply : result.error().description());
        };
        const auto whole = run({body});
        QCOMPARE(whole.first, QStringList({"one", "two", QString::fromUtf8("\xc3\xa9")}));
        QCOMPARE(whole.second, QString("Done"));

        QRandomGenerator random(42);
        for (int round = 0; round < 200; ++round) {
            QList<QByteArray> pieces;
            for (qsizetype at = 0; at < body.size();) {
                const qsizetype n = random.bounded(1, 12);
                pieces.append(body.mid(at, n));
                at += n;
            }
            QCOMPARE(run(pieces), whole);
        }
    }

    // Arbitrary bytes, split anywhere: the blocks and the remainder give back
    // the input exactly, each block ends at its first blank line, nothing
    // complete is held back, and the outcome is the same as for the whole body.
    void arbitraryBytesLoseNothing() {
        QRandomGenerator random(7);
        const QByteArray alphabet =
            "event: data:status final error notify reply{}\":\n\n\r\xff\xc3";
        const auto frame = [](const QList<QByteArray>& pieces) {
            QList<QByteArray> blocks;
            sse::ChatStreamHandler handler([](const QString&) {});
            sse::Framer framer;
            for (const QByteArray& piece : pieces) {
                framer.feed(piece, [&](const QByteArray& b) {
                    blocks.append(b);
                    handler.handle(b);
                    return true;
                });
            }
            const QByteArray remainder = framer.takeRemainder();
            const auto result = handler.finish(remainder);
            return std::make_tuple(blocks, remainder,
                                   result ? result->reply : result.error().description());
        };
        for (int round = 0; round < 300; ++round) {
            QByteArray noise;
            const int length = random.bounded(0, 400);
            for (int i = 0; i < length; ++i) {
                noise.append(alphabet.at(random.bounded(alphabet.size())));
            }
            if (round % 3 == 0) {
                noise += finalBlock;
            }
            QList<QByteArray> pieces;
            for (qsizetype at = 0; at < noise.size();) {
                const qsizetype n = random.bounded(1, 30);
                pieces.append(noise.mid(at, n));
                at += n;
            }
            const auto split = frame(pieces);
            const auto& [blocks, remainder, outcome] = split;
            QByteArray joined;
            for (const QByteArray& block : blocks) {
                QVERIFY(block.endsWith("\n\n"));
                QCOMPARE(block.indexOf("\n\n"), block.size() - 2);
                joined += block;
            }
            QCOMPARE(joined + remainder, noise);
            QVERIFY(!remainder.contains("\n\n"));
            QCOMPARE(split, frame({noise}));
        }
    }

    // An unfinished block may grow up to the bound and no further; completed
    // blocks do not count towards it.
    void blockSizeIsBounded() {
        const auto keep = [](const QByteArray&) { return true; };
        sse::Framer framer(64);
        QVERIFY(framer.feed(QByteArray(63, 'a'), keep));
        QVERIFY(framer.feed("b", keep));
        QVERIFY(!framer.feed("c", keep));

        sse::Framer flowing(64);
        for (int i = 0; i < 100; ++i) {
            QVERIFY(flowing.feed("data: " + QByteArray(40, 'x') + "\n\n", keep));
        }
        QVERIFY(flowing.feed(QByteArray(64, 'y'), keep));
        QVERIFY(!flowing.feed("\n", keep));
        QCOMPARE(sse::Framer().feed(QByteArray(1024 * 1024, 'z'), keep), true);
    }

    void blockRules() {
        // Carriage returns are data: CR LF CR LF never completes a block.
        sse::Framer framer;
        int blocks = 0;
        framer.feed("event: status\r\ndata: {\"text\":\"x\"}\r\n\r\n", [&](const QByteArray&) {
            ++blocks;
            return true;
        });
        QCOMPARE(blocks, 0);
        const auto block = sse::parseBlock(framer.takeRemainder());
        QCOMPARE(block->event, QString("status\r"));

        const auto parsed = sse::parseBlock("event: a\nevent:\tb \ndata: x \ndata:y\nid: 1\n\n");
        QCOMPARE(parsed->event, QString("b"));
        QCOMPARE(parsed->data, QString("xy"));
        QVERIFY(!sse::parseBlock("event: status\ndata: \xff\n\n"));
        QVERIFY(sse::isNotify("event: notify\n\n"));
        QVERIFY(!sse::isNotify("event: notify\r\n\r\n"));
    }

    void chatStreamOutcomes_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("statuses");
        QTest::addColumn<QString>("outcome"); // the reply, or the error's description
        QTest::newRow("status then final")
            << status("Thinking") + finalBlock << QStringList{"Thinking"} << "Done";
        QTest::newRow("final without closing blank line")
            << status("a") + finalBlock.chopped(2) << QStringList{"a"} << "Done";
        QTest::newRow("two finals") << finalBlock + "event: final\ndata: {\"reply\":\"Second\"}\n\n"
                                    << QStringList{} << "Second";
        QTest::newRow("images null")
            << QByteArray("event: final\ndata: {\"reply\":\"R\",\"images\":null}\n\n")
            << QStringList{} << "R";
        QTest::newRow("final missing reply")
            << QByteArray("event: final\ndata: {\"images\":[]}\n\n") << QStringList{}
            << "Could not read the server response: final decode failed: missing key \"reply\"";
        QTest::newRow("error event empty")
            << status("a") + "event: error\ndata: {}\n\n" + finalBlock << QStringList{"a"}
            << "Server error 500: chat error";
        QTest::newRow("error event text")
            << QByteArray("event: error\ndata: {\"error\":\"model overloaded\"}\n\n")
            << QStringList{} << "Server error 500: model overloaded";
        QTest::newRow("error event non-string values")
            << QByteArray("event: error\ndata: {\"error\":\"x\",\"code\":5}\n\n") << QStringList{}
            << "Server error 500: chat error";
        QTest::newRow("no final")
            << status("a") << QStringList{"a"}
            << "Could not read the server response: stream ended without a reply";
        QTest::newRow("crlf blocks")
            << QByteArray("event: final\r\ndata: {\"reply\":\"R\"}\r\n\r\n") << QStringList{}
            << "Could not read the server response: stream ended without a reply";
        QTest::newRow("empty body")
            << QByteArray() << QStringList{}
            << "Could not read the server response: stream ended without a reply";
    }
    void chatStreamOutcomes() {
        QFETCH(QByteArray, body);
        QFETCH(QStringList, statuses);
        QFETCH(QString, outcome);
        ScriptedHttpServer server;
        server.on("/inapp/stream", Script::streamHead().write(body));
        const Outcome got = chat(server, "hello");
        QCOMPARE(got.statuses, statuses);
        QCOMPARE(got.result ? got.result->reply : got.result.error().description(), outcome);
    }

    void requestShape() {
        ScriptedHttpServer server;
        server.on("/inapp/stream", Script::streamHead().write(finalBlock));
        const APIClient client(*m_settings, ServiceEndpoints::forRoot(server.root()));
        auto result = QCoro::waitFor(client.chatStream("", QString("QUJD"), {}, {}));
        QVERIFY(result);
        QCOMPARE(result->images.size(), 1);
        QCOMPARE(result->debug->costUSD, 0.5);
        const auto& request = server.requests().first();
        QCOMPARE(request.header("accept"), QByteArray("text/event-stream"));
        QVERIFY(request.header("authorization").isEmpty());
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        QCOMPARE(body.value("user_id").toString(), m_settings->userID());
        QCOMPARE(body.value("text").toString(), QString(""));
        QCOMPARE(body.value("image_b64").toString(), QString("QUJD"));
        QCOMPARE(body.value("image_mime").toString(), QString("image/png"));
        QVERIFY(body.contains("time_zone"));

        QVERIFY(QCoro::waitFor(client.chatStream("t", {}, {}, {})));
        const QJsonObject plain = QJsonDocument::fromJson(server.requests().last().body).object();
        QVERIFY(!plain.contains("image_b64") && !plain.contains("image_mime"));
    }

    // A failing status shows the server's "error" text when its body gives
    // one; otherwise the generic text.
    void failingStatusShowsTheServersWords_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("description");
        QTest::newRow("error text")
            << 507 << QByteArray(R"({"error":"disk is full"})") << "Server error 507: disk is full";
        QTest::newRow("too large") << 413 << QByteArray(R"({"error":"request body too large"})")
                                   << "Server error 413: request body too large";
        QTest::newRow("no error text")
            << 503 << QByteArray(R"({"detail":"busy"})") << "Server error 503: chat stream failed";
        QTest::newRow("not JSON") << 502 << QByteArray("<html>bad gateway</html>")
                                  << "Server error 502: chat stream failed";
    }
    void failingStatusShowsTheServersWords() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, description);
        ScriptedHttpServer server;
        server.on("/inapp/stream", Script::respond(status, body));
        const Outcome got = chat(server, "x");
        QCOMPARE(got.result.error().description(), description);
    }

    // A failing status whose body has no declared length is not waited for.
    void failingStreamOfUnknownLengthIsNotRead() {
        ScriptedHttpServer server;
        server.on("/inapp/stream",
                  Script::streamHead(500, "application/json").write("{\"error\":\"half").stall());
        const Outcome got = chat(server, "x");
        QCOMPARE(got.result.error().description(), QString("Server error 500: chat stream failed"));
    }

    // A status line reaches the caller while the service is still working.
    void statusArrivesBeforeTheReply() {
        ScriptedHttpServer server;
        server.on("/inapp/stream",
                  Script::streamHead().write(status("Drafting")).delay(400).write(finalBlock));
        const APIClient client(*m_settings, ServiceEndpoints::forRoot(server.root()));
        QStringList seen;
        bool finished = false;
        // The lambda must outlive its coroutine, which refers to its captures.
        const auto body = [&]() -> QCoro::Task<void> {
            auto result = co_await client.chatStream("x", {}, {},
                                                     [&seen](const QString& s) { seen.append(s); });
            finished = static_cast<bool>(result);
        };
        auto task = body();
        QTRY_COMPARE_WITH_TIMEOUT(seen, QStringList{"Drafting"}, 5000);
        QVERIFY(!finished);
        QTRY_VERIFY_WITH_TIMEOUT(finished, 5000);
    }

    void brokenConnectionsAndCancellation() {
        ScriptedHttpServer server;
        server.on(
            "/inapp/stream",
            Script().write("HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n" + status("a")).abort());
        Outcome got = chat(server, "x");
        QCOMPARE(got.statuses, QStringList{"a"});
        QCOMPARE(got.result.error().kind, APIError::Kind::session);
        QVERIFY(!got.result.error().cancelled);
        QCOMPARE(got.result.error().description(), QString("The network connection was lost."));

        server.on("/inapp/stream", Script::streamHead().write(status("a")).stall());
        const APIClient client(*m_settings, ServiceEndpoints::forRoot(server.root()));
        auto cancel = CancelToken::create();
        QTimer::singleShot(200, cancel.get(), &CancelToken::cancel);
        const auto cancelled = QCoro::waitFor(client.chatStream("x", {}, {}, {}, cancel));
        QVERIFY(!cancelled);
        QVERIFY(cancelled.error().cancelled);
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 5000);
    }

    void eventStream() {
        ScriptedHttpServer server;
        server.on("/inapp/events", Script::streamHead()
                                       .write(": keep-alive\n\nevent: notify\n\n")
                                       .delay(50)
                                       .write("event: notify\ndata: {}\n\nevent: other\n\n")
                                       .write("event: notify\r\n\r\nevent: notify\n"));
        const APIClient client(*m_settings, ServiceEndpoints::forRoot(server.root()));
        int notified = 0;
        bool inside = false;
        bool overlapped = false;
        const auto result = QCoro::waitFor(client.events([&]() -> QCoro::Task<void> {
            overlapped = overlapped || inside;
            inside = true;
            co_await QCoro::sleepFor(std::chrono::milliseconds(20));
            ++notified;
            inside = false;
        }));
        QVERIFY(result);
        // The unfinished last block is dropped; each notify is awaited in turn.
        QCOMPARE(notified, 2);
        QVERIFY(!overlapped);
        QCOMPARE(server.requests().first().header("authorization"),
                 ("Bearer " + m_settings->userID()).toUtf8());

        server.on("/inapp/events", Script::respond(401, "{}"));
        QCOMPARE(QCoro::waitFor(client.events({})).error().description(),
                 QString("Server error 401: event stream failed"));
    }

private:
    Outcome chat(ScriptedHttpServer& server, const QString& text) {
        Outcome outcome;
        const APIClient client(*m_settings, ServiceEndpoints::forRoot(server.root()));
        outcome.result = QCoro::waitFor(client.chatStream(
            text, {}, {}, [&outcome](const QString& s) { outcome.statuses.append(s); }));
        return outcome;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<AppSettings> m_settings;
};

QTEST_GUILESS_MAIN(TestChatStream)
#include "tst_chatstream.moc"
