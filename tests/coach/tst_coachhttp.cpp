// The coach's HTTP layer over real loopback sockets: keep-alive, pipelining,
// rejected requests, streaming, vanished and stalled clients.
#include "httpresponder.h"
#include "httpserver.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane::coach;

namespace {

constexpr int waitMs = 5000; // upper bound for loopback round trips

// Reads from the socket until the predicate holds for what has arrived, or
// the peer closed. Spins the event loop: the server runs on this thread.
template <typename Pred>
bool readUntil(QTcpSocket& socket, QByteArray& got, Pred done) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        got += socket.readAll();
        if (done(got)) {
            return true;
        }
        if (socket.state() != QAbstractSocket::ConnectedState) {
            return false;
        }
        if (timer.elapsed() > waitMs) {
            return false;
        }
        QTest::qWait(5);
    }
}

} // namespace

class TestCoachHttp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void keepAliveAndPipelining();
    void rejectedRequestGetsJsonErrorAndClose();
    void streamIsChunkedAndEnds();
    void vanishedStreamClientIsReported();
    void stalledClientDoesNotBlockOthers();
    void http10StreamIsCloseDelimited();
    void idleConnectionsMakeRoomAtTheCap();
    void chunkedRequestBodyIsRead();

private:
    QTcpSocket* connectClient();

    std::unique_ptr<HttpServer> m_server;
    QPointer<HttpResponder> m_stream;
    QList<QByteArray> m_seen;
};

void TestCoachHttp::init() {
    m_seen.clear();
    m_server = std::make_unique<HttpServer>([this](HttpRequest& request, HttpResponder* r) {
        m_seen.append(request.method + ' ' + request.path.toUtf8());
        if (request.path == "/stream"_L1) {
            r->beginStream(200, "text/event-stream");
            r->write("event: status\ndata: {\"text\":\"one\"}\n\n");
            m_stream = r;
            return;
        }
        r->respond(200, "text/plain", "echo " + request.body().toByteArray());
    });
    m_server->timeouts.headMs = 300;
    QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
}

void TestCoachHttp::cleanup() {
    m_server.reset();
}

// At the connection cap a new client takes the place of the connection idle
// longest; busy connections (a stream, a request being received) are never
// closed, and with nothing idle the client is refused.
void TestCoachHttp::idleConnectionsMakeRoomAtTheCap() {
    m_server->maxConnections = 3;
    QTcpSocket* oldest = connectClient();
    QVERIFY(oldest);
    QTest::qWait(20);
    QTcpSocket* idle = connectClient();
    QVERIFY(idle);
    idle->write("GET /kept HTTP/1.1\r\n\r\n");
    QByteArray got;
    QVERIFY(readUntil(*idle, got, [](const QByteArray& g) { return g.endsWith("echo "); }));
    QTcpSocket* stream = connectClient();
    QVERIFY(stream);
    stream->write("GET /stream HTTP/1.1\r\n\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(m_stream, waitMs);

    QTcpSocket* fresh = connectClient();
    QVERIFY(fresh);
    fresh->write("GET /fresh HTTP/1.1\r\n\r\n");
    got.clear();
    QVERIFY(readUntil(*fresh, got, [](const QByteArray& g) { return g.endsWith("echo "); }));
    QVERIFY2(got.startsWith("HTTP/1.1 200"), got.constData());
    QTRY_COMPARE_WITH_TIMEOUT(oldest->state(), QAbstractSocket::UnconnectedState, waitMs);
    QCOMPARE(idle->state(), QAbstractSocket::ConnectedState);
    QCOMPARE(stream->state(), QAbstractSocket::ConnectedState);

    // Now the stream and two connections in the middle of a request: none idle.
    idle->write("POST /slow HTTP/1.1\r\nContent-Length: 10\r\n\r\nab");
    fresh->write("POST /slow HTTP/1.1\r\nContent-Length: 10\r\n\r\nab");
    QTest::qWait(50);
    QTcpSocket* refused = connectClient();
    QVERIFY(refused);
    got.clear();
    readUntil(*refused, got, [](const QByteArray&) { return false; });
    QVERIFY2(got.startsWith("HTTP/1.1 503"), got.constData());
    QCOMPARE(stream->state(), QAbstractSocket::ConnectedState);
}

// A client that streams its body in chunks gets the same answer as one that
// sends a length, and the connection stays usable.
void TestCoachHttp::chunkedRequestBodyIsRead() {
    QTcpSocket* s = connectClient();
    QVERIFY(s);
    s->write("POST /chunks HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nsome");
    QTest::qWait(20);
    s->write("\r\n6\r\n bytes\r\n0\r\n\r\nGET /after HTTP/1.1\r\n\r\n");
    QByteArray got;
    QVERIFY(readUntil(*s, got, [](const QByteArray& g) { return g.endsWith("echo "); }));
    QVERIFY2(got.startsWith("HTTP/1.1 200"), got.constData());
    QVERIFY2(got.contains("echo some bytes"), got.constData());
    QCOMPARE(m_seen, (QList<QByteArray>{"POST /chunks", "GET /after"}));
}

QTcpSocket* TestCoachHttp::connectClient() {
    auto* socket = new QTcpSocket(this);
    socket->connectToHost(QHostAddress::LocalHost, m_server->port());
    if (!socket->waitForConnected(waitMs)) {
        return nullptr;
    }
    return socket;
}

void TestCoachHttp::keepAliveAndPipelining() {
    QTcpSocket* s = connectClient();
    QVERIFY(s);
    // Two requests in one write; the answers come back in order on one socket.
    s->write("POST /a HTTP/1.1\r\nContent-Length: 3\r\n\r\nabcGET /b HTTP/1.1\r\n\r\n");
    QByteArray got;
    QVERIFY(readUntil(*s, got, [](const QByteArray& g) { return g.count("HTTP/1.1 200") == 2; }));
    QVERIFY(readUntil(*s, got, [](const QByteArray& g) { return g.endsWith("echo "); }));
    QVERIFY(got.indexOf("echo abc") < got.lastIndexOf("echo "));
    QCOMPARE(m_seen, (QList<QByteArray>{"POST /a", "GET /b"}));
    QCOMPARE(s->state(), QAbstractSocket::ConnectedState);
    // And a third one later on the same connection.
    got.clear();
    s->write("GET /c HTTP/1.1\r\nConnection: close\r\n\r\n");
    QVERIFY(
        readUntil(*s, got, [](const QByteArray& g) { return g.contains("Connection: close"); }));
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), QAbstractSocket::UnconnectedState, waitMs);
}

void TestCoachHttp::rejectedRequestGetsJsonErrorAndClose() {
    QTcpSocket* s = connectClient();
    QVERIFY(s);
    s->write("GARBAGE\r\n\r\n");
    QByteArray got;
    readUntil(*s, got, [](const QByteArray&) { return false; });
    QVERIFY2(got.startsWith("HTTP/1.1 400 Bad Request\r\n"), got.constData());
    QVERIFY(got.contains("Content-Type: application/json"));
    QVERIFY(got.endsWith("{\"error\":\"malformed request line\"}"));
    QVERIFY(m_seen.isEmpty());
    QCOMPARE(s->state(), QAbstractSocket::UnconnectedState);
}

void TestCoachHttp::streamIsChunkedAndEnds() {
    QTcpSocket* s = connectClient();
    QVERIFY(s);
    s->write("GET /stream HTTP/1.1\r\n\r\n");
    QByteArray got;
    QVERIFY(readUntil(*s, got, [](const QByteArray& g) { return g.contains("one\"}\n\n\r\n"); }));
    QVERIFY(got.contains("Transfer-Encoding: chunked\r\n"));
    QVERIFY(!got.contains("Content-Length"));
    QVERIFY(m_stream);
    m_stream->write("event: final\ndata: {}\n\n");
    m_stream->endStream();
    QVERIFY(readUntil(*s, got, [](const QByteArray& g) { return g.endsWith("\r\n0\r\n\r\n"); }));
    const QByteArray body = got.mid(got.indexOf("\r\n\r\n") + 4);
    QCOMPARE(body, QByteArray("24\r\nevent: status\ndata: {\"text\":\"one\"}\n\n\r\n"
                              "17\r\nevent: final\ndata: {}\n\n\r\n0\r\n\r\n"));
    // The connection stays usable after the stream.
    got.clear();
    s->write("GET /after HTTP/1.1\r\n\r\n");
    QVERIFY(readUntil(*s, got, [](const QByteArray& g) { return g.endsWith("echo "); }));
}

void TestCoachHttp::vanishedStreamClientIsReported() {
    QTcpSocket* s = connectClient();
    QVERIFY(s);
    s->write("GET /stream HTTP/1.1\r\n\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(m_stream, waitMs);
    QSignalSpy gone(m_stream.data(), &HttpResponder::disconnected);
    s->abort();
    QVERIFY(gone.wait(waitMs));
    QTRY_VERIFY_WITH_TIMEOUT(!m_stream || !m_stream->write("late"), waitMs);
}

void TestCoachHttp::stalledClientDoesNotBlockOthers() {
    QTcpSocket* stalled = connectClient();
    QVERIFY(stalled);
    stalled->write("POST /slow HTTP/1.1\r\nContent-"); // and nothing more
    QTcpSocket* other = connectClient();
    QVERIFY(other);
    other->write("GET /fast HTTP/1.1\r\n\r\n");
    QByteArray got;
    QVERIFY(readUntil(*other, got, [](const QByteArray& g) { return g.endsWith("echo "); }));
    // The stalled head runs into its deadline and is answered 408, then closed.
    QByteArray stalledGot;
    readUntil(*stalled, stalledGot, [](const QByteArray&) { return false; });
    QVERIFY2(stalledGot.startsWith("HTTP/1.1 408"), stalledGot.constData());
    QCOMPARE(m_seen, QList<QByteArray>{"GET /fast"});
}

void TestCoachHttp::http10StreamIsCloseDelimited() {
    QTcpSocket* s = connectClient();
    QVERIFY(s);
    s->write("GET /stream HTTP/1.0\r\n\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(m_stream, waitMs);
    m_stream->endStream();
    QByteArray got;
    readUntil(*s, got, [](const QByteArray&) { return false; });
    QVERIFY(!got.contains("chunked"));
    QVERIFY(got.endsWith("\r\n\r\nevent: status\ndata: {\"text\":\"one\"}\n\n"));
    QCOMPARE(s->state(), QAbstractSocket::UnconnectedState);
}

QTEST_GUILESS_MAIN(TestCoachHttp)
#include "tst_coachhttp.moc"
