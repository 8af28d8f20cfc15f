#include "conversation/conversationstore.h"
#include "scriptedhttpserver.h"
#include "service/appsettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;
using tolvane::test::Script;
using tolvane::test::ScriptedHttpServer;

namespace {

QByteArray statusBlock(const QByteArray& text) {
    return "event: status\ndata: {\"text\":\"" + text + "\"}\n\n";
}

QByteArray finalBlock(const QByteArray& reply, const QByteArray& images = "[]") {
    return "event: final\ndata: {\"reply\":\"" + reply + "\",\"images\":" + images + "}\n\n";
}

QByteArray image(const QByteArray& bytes, const QByteArray& group = {}) {
    return "{\"data_b64\":\"" + bytes.toBase64() + "\",\"mime\":\"image/png\",\"caption\":\"\"" +
           (group.isNull() ? QByteArray() : ",\"group\":\"" + group + "\"") + "}";
}

QStringList texts(const ConversationStore& store) {
    QStringList result;
    for (const ChatMessage& message : store.messages()) {
        result.append(message.text);
    }
    return result;
}

} // namespace

class TestConversationStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(m_dir->filePath("s.ini"), QSettings::IniFormat));
        m_server = std::make_unique<ScriptedHttpServer>();
        m_store = std::make_unique<ConversationStore>(*m_settings, m_dir->path(),
                                                      ServiceEndpoints::forRoot(m_server->root()));
    }
    void cleanup() {
        m_store.reset();
        m_server.reset();
    }

    void blankTextWithoutImageChangesNothing() {
        m_store->send("   ");
        QVERIFY(m_store->messages().isEmpty());
        QVERIFY(!m_store->isSending());
        QVERIFY(m_server->requests().isEmpty());
    }

    void imageOnlyMessage() {
        m_server->on("/inapp/stream", Script::streamHead().write(finalBlock("Nice chart")));
        m_store->send("   ", QByteArray("GIF89a"));
        QCOMPARE(texts(*m_store), QStringList({"image", ""}));
        QVERIFY(m_store->messages().last().isPending);
        QVERIFY(m_store->isSending());
        waitForSend();
        const QJsonObject body =
            QJsonDocument::fromJson(m_server->requests().first().body).object();
        QCOMPARE(body.value("text").toString(), QString(""));
        QCOMPARE(body.value("image_b64").toString(), QString(QByteArray("GIF89a").toBase64()));
        // Announced as PNG whatever the bytes are.
        QCOMPARE(body.value("image_mime").toString(), QString("image/png"));
        QCOMPARE(texts(*m_store), QStringList({"image", "Nice chart"}));
        QCOMPARE(m_store->messages().first().imageData, QByteArray("GIF89a"));
    }

    void statusLinesComeBeforeTheReply() {
        m_server->on("/inapp/stream", Script::streamHead()
                                          .write(statusBlock("Reading your notes"))
                                          .delay(30)
                                          .write(statusBlock("Drafting"))
                                          .write(finalBlock("Here it is")));
        QSignalSpy statuses(m_store.get(), &ConversationStore::statusReceived);
        m_store->send("  write a post  ");
        waitForSend();
        QCOMPARE(statuses.count(), 2);
        QCOMPARE(texts(*m_store),
                 QStringList({"write a post", "Reading your notes", "Drafting", "Here it is"}));
        QVERIFY(!m_store->messages().last().isPending);
        QVERIFY(!m_store->isSending());
        QVERIFY(!m_store->hasSendTask());
        QCOMPARE(savedTexts(), texts(*m_store));
    }

    void resetCommandKeepsOnlyTheAnswer() {
        m_store->appendVideo(QUrl::fromLocalFile("/tmp/v.mp4"));
        m_server->on(
            "/inapp/stream",
            Script::streamHead().write(statusBlock("Clearing")).write(finalBlock("Fresh start.")));
        m_store->send("/CLEAR ");
        waitForSend();
        QCOMPARE(texts(*m_store), QStringList({"Fresh start."}));
        QCOMPARE(savedTexts(), QStringList({"Fresh start."}));
    }

    void imagesBecomeGalleriesAndSingles() {
        m_server->on("/inapp/stream",
                     Script::streamHead().write(finalBlock(
                         "Slides", "[" + image("1", "g") + "," + image("2", "g") + "," +
                                       image("3", "g") + ",{\"data_b64\":\"@@\",\"mime\":\"x\"," +
                                       "\"caption\":\"\"}," + image("4") + "]")));
        m_store->send("carousel");
        waitForSend();
        QCOMPARE(m_store->messages().size(), 4);
        QCOMPARE(m_store->messages().at(1).gallery, QList<QByteArray>({"1", "2", "3"}));
        QVERIFY(!m_store->messages().at(1).imageData);
        QCOMPARE(m_store->messages().at(2).imageData, QByteArray("4"));
        QCOMPARE(m_store->messages().at(3).text, QString("Slides"));
        QVERIFY(!m_store->messages().at(3).imageData);

        m_server->on("/inapp/stream",
                     Script::streamHead().write(finalBlock("One", "[" + image("solo", "g") + "]")));
        m_store->send("one image");
        waitForSend();
        QCOMPARE(m_store->messages().last().text, QString("One"));
        QCOMPARE(m_store->messages().last().gallery, QList<QByteArray>({"solo"}));
    }

    void replyLinksBecomeEditActions() {
        m_server->on("/inapp/stream",
                     Script::streamHead().write(finalBlock(
                         "Go here to edit the post: http://127.0.0.1:20511/edit/tok9 "
                         "(http://127.0.0.1:20511/edit/tok9) and http://x.example/edit")));
        m_store->send("draft");
        waitForSend();
        const auto& actions = m_store->messages().last().actions;
        QCOMPARE(actions.size(), 1);
        QCOMPARE(actions.first().token, QString("tok9"));
    }

    void failureShowsInThePendingBubble() {
        m_server->on("/inapp/stream", Script::respond(500, "{}"));
        QSignalSpy errors(m_store.get(), &ConversationStore::lastErrorChanged);
        m_store->send("hello");
        waitForSend();
        QCOMPARE(m_store->messages().last().text, QString("Server error 500: chat stream failed"));
        QCOMPARE(m_store->lastError(), QString("Server error 500: chat stream failed"));
        QVERIFY(!m_store->messages().last().isPending);

        m_server->on("/inapp/stream", Script::streamHead().write(statusBlock("a")));
        m_store->send("again");
        QVERIFY(m_store->lastError().isEmpty());
        waitForSend();
        QCOMPARE(m_store->lastError(),
                 QString("Could not read the server response: stream ended without a reply"));
    }

    void cancellingRemovesOnlyThePendingBubble() {
        m_server->on("/inapp/stream", Script::streamHead().write(statusBlock("Thinking")).stall());
        QSignalSpy statuses(m_store.get(), &ConversationStore::statusReceived);
        m_store->send("hello");
        QVERIFY(statuses.wait(5000));
        m_store->cancelSend();
        waitForSend();
        QCOMPARE(texts(*m_store), QStringList({"hello", "Thinking"}));
        QVERIFY(m_store->lastError().isEmpty());
        QVERIFY(!m_store->isSending());
        QCOMPARE(savedTexts(), QStringList({"hello", "Thinking"}));
    }

    // The first send to finish ends the sending state, as the composer expects.
    void overlappingSends() {
        m_server->setHandler([](const test::RecordedRequest& request) {
            return request.body.contains("first")
                       ? Script::streamHead().delay(300).write(finalBlock("slow"))
                       : Script::streamHead().write(finalBlock("fast"));
        });
        m_store->send("first");
        m_store->send("second");
        QSignalSpy finished(m_store.get(), &ConversationStore::sendFinished);
        QVERIFY(finished.wait(5000));
        QVERIFY(!m_store->isSending());
        QVERIFY(!m_store->hasSendTask());
        if (finished.count() < 2) {
            QVERIFY(finished.wait(5000));
        }
        QCOMPARE(texts(*m_store), QStringList({"first", "slow", "second", "fast"}));
    }

    void notificationsAreDrained() {
        m_server->on(
            "/api/notifications",
            Script::respond(
                200,
                R"({"notifications":[)"
                R"({"text":"Your post went live: http://h.example/edit/p1","created_at":"2026-03-01T09:00:00Z",)"
                R"("image_b64":"aGk="},)"
                R"({"text":"Second","created_at":"2026-03-01T09:00:00Z","image_b64":"%%"}]})"));
        QSignalSpy draining(m_store.get(), &ConversationStore::isDrainingChanged);
        m_store->drainNotifications();
        QVERIFY(m_store->isDraining());
        m_store->drainNotifications(); // dropped while one runs
        QTRY_VERIFY_WITH_TIMEOUT(!m_store->isDraining(), 5000);
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(texts(*m_store),
                 QStringList({"Your post went live: http://h.example/edit/p1", "Second"}));
        QCOMPARE(m_store->messages().first().imageData, QByteArray("hi"));
        QCOMPARE(m_store->messages().first().actions.size(), 1);
        QVERIFY(!m_store->messages().last().imageData);
        QCOMPARE(savedTexts().size(), 2);

        m_server->on("/api/notifications", Script::respond(500, "{}"));
        m_store->drainNotifications();
        QTRY_VERIFY_WITH_TIMEOUT(!m_store->isDraining(), 5000);
        QCOMPARE(m_store->messages().size(), 2);
        QVERIFY(m_store->lastError().isEmpty());
    }

    void listenerDrainsAndReconnects() {
        m_store->setBackoff({std::chrono::milliseconds(20), std::chrono::milliseconds(80),
                             std::chrono::milliseconds(5)});
        m_server->on("/api/notifications", Script::respond(200, R"({"notifications":[]})"));
        m_server->on("/inapp/events", Script::streamHead().write("event: notify\n\n"));
        m_store->startEventStream();
        QVERIFY(m_store->hasStreamTask());
        // Each connection drains at its start and on its notify, then the
        // listener reconnects after the back-off.
        QTRY_VERIFY_WITH_TIMEOUT(countRequests("/inapp/events") >= 4, 5000);
        QVERIFY(countRequests("/api/notifications") >= 4);

        const int before = countRequests("/inapp/events");
        m_store->ensureEventStream(); // one runs already
        m_store.reset();
        QTest::qWait(300);
        QVERIFY(countRequests("/inapp/events") <= before + 1);
    }

    // The wait doubles after every ended connection up to the cap, plus a
    // jitter, and is never reset; a running listener is not replaced by ensure.
    void listenerBacksOff() {
        using std::chrono::milliseconds;
        m_store->setBackoff({milliseconds(10), milliseconds(40), milliseconds(3)});
        m_server->on("/api/notifications", Script::respond(200, "{}"));
        m_server->on("/inapp/events", Script::respond(503, "{}"));
        QSignalSpy started(m_store.get(), &ConversationStore::listenerStarted);
        QSignalSpy waits(m_store.get(), &ConversationStore::listenerWaiting);
        m_store->ensureEventStream();
        m_store->ensureEventStream();
        QTRY_VERIFY_WITH_TIMEOUT(waits.count() >= 5, 5000);
        QCOMPARE(started.count(), 1);
        const qint64 bases[] = {10, 20, 40, 40, 40};
        for (int i = 0; i < 5; ++i) {
            const qint64 wait = waits.at(i).first().value<milliseconds>().count();
            QVERIFY2(wait >= bases[i] && wait <= bases[i] + 3, qPrintable(QString::number(wait)));
        }
        m_store->startEventStream();
        QCOMPARE(started.count(), 2);
    }

    void destroyingTheStoreMidSendIsSafe() {
        m_server->on("/inapp/stream", Script::streamHead().write(statusBlock("Working")).stall());
        QSignalSpy statuses(m_store.get(), &ConversationStore::statusReceived);
        m_store->send("hello");
        QVERIFY(statuses.wait(5000));
        const QString path = m_store->filePath();
        m_store.reset();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, 5000);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(file.readAll()).array().size(), 2);
    }

private:
    void waitForSend() { QTRY_VERIFY_WITH_TIMEOUT(!m_store->isSending(), 10000); }
    int countRequests(const QByteArray& path) const {
        int n = 0;
        for (const auto& request : m_server->requests()) {
            n += request.path == path ? 1 : 0;
        }
        return n;
    }
    QStringList savedTexts() {
        m_store->flush();
        QFile file(m_store->filePath());
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        QStringList result;
        for (const QJsonValue& element : QJsonDocument::fromJson(file.readAll()).array()) {
            result.append(element.toObject().value("text").toString());
        }
        return result;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<ConversationStore> m_store;
};

QTEST_GUILESS_MAIN(TestConversationStore)
#include "tst_conversationstore.moc"
