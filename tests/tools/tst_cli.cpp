#include "conversation/conversationowner.h"
#include "scriptedhttpserver.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

using tolvane::test::Script;
using tolvane::test::ScriptedHttpServer;

// Runs the command-line tool as a user would, against a loopback server, with
// its own settings folder.
class TestCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(m_home.isValid()); }

    void chatPrintsStatusThenReply() {
        ScriptedHttpServer server;
        server.on("/inapp/stream",
                  Script::streamHead()
                      .write("event: status\ndata: {\"text\":\"Reading\"}\n\n")
                      .write("event: final\ndata: {\"reply\":\"Hi\",\"images\":[{\"data_b64\":"
                             "\"AAECAw==\",\"mime\":\"image/png\",\"caption\":\"c\"}]}\n\n"));
        const auto [code, lines] = run(server, {"chat", "hello"});
        QCOMPARE(code, 0);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QJsonObject({{"status", "Reading"}}));
        QCOMPARE(lines[1].value("reply").toString(), QString("Hi"));
        QVERIFY(lines[1].value("debug").isNull());
        const QJsonObject image = lines[1].value("images").toArray().first().toObject();
        QCOMPARE(image.value("bytes").toInt(), 4);
        QVERIFY(image.value("group").isNull());
    }

    void failuresEndWithTheUserFacingText() {
        ScriptedHttpServer server;
        server.on("/api/overview", Script::respond(401, R"({"error":"who are you"})"));
        const auto [code, lines] = run(server, {"overview"});
        QCOMPARE(code, 1);
        QCOMPARE(lines.last(), QJsonObject({{"error", "Server error 401: who are you"}}));

        const auto [badCode, badLines] = run(server, {"llm-call", "seven"});
        QCOMPARE(badCode, 1);
        QVERIFY(badLines.last().contains("error"));
    }

    void recordsUseWireKeys() {
        ScriptedHttpServer server;
        server.on("/api/notifications",
                  Script::respond(200, R"({"notifications":[{"text":"Published",
                      "created_at":"2026-03-01T09:30:00.5+01:00"}]})"));
        const auto [code, lines] = run(server, {"notifications"});
        QCOMPARE(code, 0);
        const QJsonObject first = lines.first().value("notifications").toArray().first().toObject();
        QCOMPARE(first.value("created_at").toString(), QString("2026-03-01T08:30:00.500Z"));
        QVERIFY(first.value("image_b64").isNull());

        const auto [urlCode, urlLines] = run(server, {"draft-preview-url", "a b"});
        QCOMPARE(urlCode, 0);
        QCOMPARE(urlLines.first().value("url").toString(),
                 server.root() + "api/draft/a%20b/preview.png");
    }

    void uploadReportsProgress() {
        QTemporaryDir dir;
        QFile video(dir.filePath("v.mp4"));
        QVERIFY(video.open(QIODevice::WriteOnly));
        video.write(QByteArray(2 * 1024 * 1024, 'x'));
        video.close();
        ScriptedHttpServer server;
        server.on("/inapp/video", Script::respond(200, R"({"video_id":9})"));
        const auto [code, lines] = run(server, {"upload", video.fileName(), "4.5"});
        QCOMPARE(code, 0);
        QCOMPARE(lines.last(), QJsonObject({{"video_id", 9}}));
        QCOMPARE(lines.at(lines.size() - 2).value("progress").toDouble(), 1.0);
    }

    // A fresh id is offered to the service once: its answer replaces the id,
    // a failure keeps the local one, and a registered id is not sent again.
    void registerPostsTheSessionOnce_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expectedId"); // empty: the tool's own "mac-" id
        QTest::newRow("service assigns an id")
            << 200 << QByteArray(R"({"user_id":"srv-42"})") << QString("srv-42");
        QTest::newRow("service fails") << 500 << QByteArray(R"({"error":"down"})") << QString();
        QTest::newRow("reply without an id") << 200 << QByteArray("{}") << QString();
    }

    void registerPostsTheSessionOnce() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, expectedId);
        QTemporaryDir home;
        ScriptedHttpServer server;
        server.on("/session", Script::respond(status, body));
        const auto [code, lines] = run(server, {"register"}, home.path());
        QCOMPARE(code, 0);
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().first().method, QByteArray("POST"));
        QCOMPARE(server.requests().first().path, QByteArray("/session"));
        QCOMPARE(lines.size(), 1);
        const QString id = lines.first().value("user_id").toString();
        if (expectedId.isEmpty()) {
            QVERIFY2(id.startsWith("mac-"), qPrintable(id));
        } else {
            QCOMPARE(id, expectedId);
        }
        QCOMPARE(lines.first().value("provisional"), QJsonValue(false));

        const auto [againCode, againLines] = run(server, {"register"}, home.path());
        QCOMPARE(againCode, 0);
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(againLines.first().value("user_id").toString(), id);
    }

    // The store's real send flow on the app's file: statuses as they come,
    // then the conversation, which a later "show" loads back.
    void conversationSendAndShow() {
        ScriptedHttpServer server;
        server.on("/inapp/stream",
                  Script::streamHead()
                      .write("event: status\ndata: {\"text\":\"Drafting\"}\n\n")
                      .write("event: final\ndata: {\"reply\":\"Go here to edit the post: "
                             "http://127.0.0.1:20511/edit/t7\"}\n\n"));
        const auto [code, lines] = run(server, {"conversation", "send", "Write about focus"});
        QCOMPARE(code, 0);
        QCOMPARE(lines.first(), QJsonObject({{"status", "Drafting"}}));
        const QJsonArray messages = lines.last().value("messages").toArray();
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages.at(0).toObject().value("role").toString(), QString("user"));
        const QJsonObject reply = messages.at(2).toObject();
        QCOMPARE(reply.value("actions").toArray().first().toObject().value("token").toString(),
                 QString("t7"));
        QVERIFY(reply.value("image_bytes").isNull());

        const auto [showCode, shown] = run(server, {"conversation", "show"});
        QCOMPARE(showCode, 0);
        QCOMPARE(shown.first().value("messages").toArray().size(), 3);
        QCOMPARE(shown.first().value("messages").toArray().at(1).toObject().value("text"),
                 QJsonValue("Drafting"));

        // While the app owns the conversation the tool only reads it.
        tolvane::ConversationOwner app(m_home.filePath("data/Tolvane"));
        QVERIFY(app.claim());
        const auto [blockedCode, blocked] = run(server, {"conversation", "send", "hello"});
        QCOMPARE(blockedCode, 1);
        QCOMPARE(blocked.last().value("error").toString(),
                 QString("Tolvane is open (pid %1) and owns this conversation. Send from the app, "
                         "or quit it first.")
                     .arg(QCoreApplication::applicationPid()));
        const auto [readCode, read] = run(server, {"conversation", "show"});
        QCOMPARE(readCode, 0);
        QCOMPARE(read.first().value("messages").toArray().size(), 3);
    }

    // Sends killed with SIGKILL at any moment never tear or shrink the
    // conversation file, and a killed writer's temporary file is gone after
    // the next claim.
    void killedSendsNeverTearTheFile() {
        QTemporaryDir home;
        ScriptedHttpServer server;
        server.on("/inapp/stream", Script::streamHead()
                                       .write("event: status\ndata: {\"text\":\"Thinking\"}\n\n")
                                       .delay(5)
                                       .write("event: final\ndata: {\"reply\":\"Noted.\"}\n\n"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        const QDir folder(home.filePath("data/Tolvane"));
        QSignalSpy received(&server, &ScriptedHttpServer::requestReceived);
        qsizetype saved = 0;
        for (int i = 0; i < 24; ++i) {
            QProcess send;
            send.setProcessEnvironment(env);
            received.clear();
            send.start(QStringLiteral(TOLVANE_CLI_PATH),
                       {"--service-root", server.root(), "conversation", "send",
                        QString("message %1 ").arg(i) + QString(2000, 'm')});
            QVERIFY(send.waitForStarted(5000));
            // Every other kill waits for the request, which goes out after the
            // first save: on a slow machine the fixed delays alone could all
            // land before any save, and the torn-write case would go untried.
            if (i % 2 == 1) {
                QVERIFY(received.size() > 0 || received.wait(10000));
            }
            QTest::qWait(20 + (i * 53) % 280);
            // A send that already ended has no process left to kill.
            if (const qint64 pid = send.processId(); pid > 0) {
                ::kill(static_cast<pid_t>(pid), SIGKILL);
                QVERIFY(send.waitForFinished(5000));
            }
            const QStringList files = folder.entryList({"transcript-*.json"}, QDir::Files);
            if (files.isEmpty()) {
                QCOMPARE(saved, 0);
                continue;
            }
            QFile file(folder.filePath(files.first()));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
            QCOMPARE(error.error, QJsonParseError::NoError);
            QVERIFY(document.isArray());
            QVERIFY(document.array().size() >= saved);
            saved = document.array().size();
        }
        QVERIFY(saved > 0);
        tolvane::ConversationOwner owner(folder.path());
        QVERIFY(owner.claim());
        QCOMPARE(folder.entryList({"transcript-*"}, QDir::Files).size(), 1);
    }

    // While another tolvane-cli changes the conversation, a second one names
    // it instead of blaming the app.
    void secondToolNamesTheFirst() {
        QTemporaryDir home;
        ScriptedHttpServer server;
        server.on("/inapp/stream", Script::streamHead().stall());
        QSignalSpy received(&server, &ScriptedHttpServer::requestReceived);
        QProcess first;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        first.setProcessEnvironment(env);
        first.start(QStringLiteral(TOLVANE_CLI_PATH),
                    {"--service-root", server.root(), "conversation", "send", "first"});
        QVERIFY(received.wait(10000));
        const qint64 firstPid = first.processId();
        const auto [code, lines] = run(server, {"conversation", "send", "second"}, home.path());
        first.kill();
        first.waitForFinished(5000);
        QCOMPARE(code, 1);
        QCOMPARE(lines.last().value("error").toString(),
                 QString("Another tolvane-cli (pid %1) is changing this conversation; try again "
                         "when it has finished.")
                     .arg(firstPid));
    }

    // A send whose save fails (here the file outgrows the process's file size
    // limit, as on a full disk) ends with the reason and exit code 1, and the
    // file keeps the previous conversation.
    void conversationSendReportsAFailedSave() {
        QTemporaryDir home;
        ScriptedHttpServer server;
        server.on("/inapp/stream",
                  Script::streamHead().write("event: final\ndata: {\"reply\":\"Noted.\"}\n\n"));
        const auto [firstCode, first] =
            run(server, {"conversation", "send", QString(9000, 'w')}, home.path());
        QCOMPARE(firstCode, 0);
        const QStringList files =
            QDir(home.filePath("data/Tolvane")).entryList({"transcript-*.json"}, QDir::Files);
        QCOMPARE(files.size(), 1);
        QFile file(home.filePath("data/Tolvane/" + files.first()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        const auto [code, lines] =
            run(server, {"conversation", "send", "one more"}, home.path(), 4096);
        QCOMPARE(code, 1);
        QCOMPARE(lines.last(),
                 QJsonObject({{"error", "Could not save the conversation: File too large"}}));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        QCOMPARE(QDir(home.filePath("data/Tolvane")).entryList({"transcript-*"}).size(), 1);
    }

    // An upload ended by a signal leaves nothing in the temporary folder.
    void interruptedUploadLeavesNothing_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGKILL") << SIGKILL;
    }
    void interruptedUploadLeavesNothing() {
        QFETCH(int, signal);
        QTemporaryDir tmp;
        QFile video(tmp.filePath("v.mp4"));
        QVERIFY(video.open(QIODevice::WriteOnly));
        QVERIFY(video.resize(4 * 1024 * 1024));
        video.close();
        const QString tempDir = tmp.filePath("temp");
        QVERIFY(QDir().mkpath(tempDir));
        ScriptedHttpServer server;
        server.on("/inapp/video", Script().stall());
        QSignalSpy received(&server, &ScriptedHttpServer::requestReceived);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        env.insert("TMPDIR", tempDir);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TOLVANE_CLI_PATH),
                      {"--service-root", server.root(), "upload", video.fileName(), "2"});
        QVERIFY(received.wait(10000));
        const QStringList during = QDir(tempDir).entryList(QDir::Files);
        const qint64 pid = process.processId();
        QVERIFY(pid > 0);
        ::kill(static_cast<pid_t>(pid), signal);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(during, QStringList());
        QCOMPARE(QDir(tempDir).entryList(QDir::Files), QStringList());
    }

    // A refused picture ends the command before anything is sent or saved.
    void refusedPictureIsNeitherSentNorSaved_data() {
        QTest::addColumn<QStringList>("command");
        QTest::newRow("chat") << QStringList{"chat", "hi"};
        QTest::newRow("conversation send") << QStringList{"conversation", "send", "hi"};
    }
    void refusedPictureIsNeitherSentNorSaved() {
        QFETCH(QStringList, command);
        QTemporaryDir home;
        QFile noise(home.filePath("noise.png"));
        QVERIFY(noise.open(QIODevice::WriteOnly));
        QByteArray bytes(300 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>((i * 7919) >> 3);
        }
        noise.write(bytes);
        noise.close();
        ScriptedHttpServer server;
        server.on("/inapp/stream",
                  Script::streamHead().write("event: final\ndata: {\"reply\":\"Noted.\"}\n\n"));
        const auto [code, lines] =
            run(server, command + QStringList{"--image", noise.fileName()}, home.path());
        QCOMPARE(code, 1);
        QCOMPARE(lines.last(),
                 QJsonObject(
                     {{"error", "Can't attach noise.png: it is not a picture Tolvane can read."}}));
        for (const auto& request : server.requests()) {
            QVERIFY(!request.path.startsWith("/inapp/stream"));
        }
        QVERIFY(QDir(home.filePath("data/Tolvane")).entryList({"transcript-*"}).isEmpty());
    }

private:
    // `fileSizeLimit` (bytes, 0 for none) is the tool's RLIMIT_FSIZE.
    std::pair<int, QList<QJsonObject>> run(ScriptedHttpServer& server, const QStringList& args,
                                           const QString& home = {}, rlim_t fileSizeLimit = 0) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QDir homeDir(home.isEmpty() ? m_home.path() : home);
        env.insert("XDG_CONFIG_HOME", homeDir.filePath("config"));
        env.insert("XDG_DATA_HOME", homeDir.filePath("data"));
        process.setProcessEnvironment(env);
        if (fileSizeLimit > 0) {
            process.setChildProcessModifier([fileSizeLimit] {
                ::signal(SIGXFSZ, SIG_IGN);
                rlimit limit{};
                ::getrlimit(RLIMIT_FSIZE, &limit);
                limit.rlim_cur = fileSizeLimit;
                ::setrlimit(RLIMIT_FSIZE, &limit);
            });
        }
        process.start(QStringLiteral(TOLVANE_CLI_PATH),
                      QStringList{"--service-root", server.root()} + args);
        QSignalSpy finished(&process, &QProcess::finished);
        if (!finished.wait(20000)) {
            process.kill();
            return {-1, {}};
        }
        QList<QJsonObject> lines;
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            if (!line.isEmpty()) {
                lines.append(QJsonDocument::fromJson(line).object());
            }
        }
        return {process.exitCode(), lines};
    }

    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
