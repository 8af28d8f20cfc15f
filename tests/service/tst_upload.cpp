#include "scriptedhttpserver.h"
#include "service/apiclient.h"
#include "service/appsettings.h"
#include "service/videoupload.h"

#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;
using tolvane::test::Script;
using tolvane::test::ScriptedHttpServer;

namespace {

QStringList leftoverBodies() {
    return QDir(QDir::tempPath()).entryList({"tolvane-upload-*"}, QDir::Files);
}

// A "Vm...:" line of /proc/self/status in KiB, or -1.
qint64 statusKiB(const QByteArray& key) {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key + ':')) {
            return line.mid(key.size() + 1).trimmed().split(' ').first().toLongLong();
        }
    }
    return -1;
}

} // namespace

class TestUpload : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // A temporary folder of this test's own, so other programs' files
        // neither count nor get removed.
        QVERIFY(m_tmp.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
        QCOMPARE(QDir::tempPath(), QDir(m_tmp.path()).canonicalPath());
        m_settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(m_dir.filePath("s.ini"), QSettings::IniFormat));
        m_before = leftoverBodies();
    }

    void bodyIsByteExact_data() {
        QTest::addColumn<double>("duration");
        QTest::addColumn<QByteArray>("durationText");
        QTest::addColumn<QByteArray>("video");
        QTest::newRow("12.5 s") << 12.5 << QByteArray("12.50")
                                << QByteArray("\x00\x01mp4\r\n--", 8);
        QTest::newRow("3 s, empty file") << 3.0 << QByteArray("3.00") << QByteArray();
        QTest::newRow("larger than a chunk")
            << 0.126 << QByteArray("0.13") << QByteArray(3 * 1024 * 1024 + 17, 'v');
    }
    void bodyIsByteExact() {
        QFETCH(double, duration);
        QFETCH(QByteArray, durationText);
        QFETCH(QByteArray, video);
        const QString path = m_dir.filePath("short.mp4");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(video);
        file.close();

        ScriptedHttpServer server;
        server.on("/inapp/video", Script::respond(200, R"({"video_id":42})"));
        const APIClient client(*m_settings, ServiceEndpoints::forRoot(server.root()));
        QList<double> progress;
        const auto id = QCoro::waitFor(
            client.uploadVideo(path, duration, "", [&progress](double p) { progress.append(p); }));
        QVERIFY(id);
        QCOMPARE(*id, 42);

        const auto& request = server.requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QVERIFY(request.header("authorization").isEmpty());
        const QByteArray contentType = request.header("content-type");
        QVERIFY(contentType.startsWith("multipart/form-data; boundary=tolvane-"));
        const QByteArray boundary = contentType.mid(contentType.indexOf('=') + 1);
        QCOMPARE(boundary.size(), 8 + 36);
        QCOMPARE(boundary, boundary.toUpper().replace("TOLVANE-", "tolvane-"));
        const QByteArray expected =
            "--" + boundary + "\r\nContent-Disposition: form-data; name=\"user_id\"\r\n\r\n" +
            m_settings->userID().toUtf8() + "\r\n--" + boundary +
            "\r\nContent-Disposition: form-data; name=\"duration\"\r\n\r\n" + durationText +
            "\r\n--" + boundary +
            "\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\n\r\n--" + boundary +
            "\r\nContent-Disposition: form-data; name=\"video\"; filename=\"short.mp4\"\r\n"
            "Content-Type: video/mp4\r\n\r\n" +
            video + "\r\n--" + boundary + "--\r\n";
        QCOMPARE(request.body.size(), expected.size());
        QVERIFY(request.body == expected);

        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last(), 1.0);
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        QCOMPARE(leftoverBodies(), m_before);
    }

    void failuresLeaveNoBodyBehind_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("description");
        QTest::newRow("string id") << QByteArray(R"({"video_id":"42"})") << 200
                                   << "Could not read the server response: unexpected video "
                                      "upload reply";
        QTest::newRow("no id") << QByteArray("{}") << 200
                               << "Could not read the server response: unexpected video upload "
                                  "reply";
        QTest::newRow("status") << QByteArray(R"({"error":"too long"})") << 413
                                << "Server error 413: too long";
    }
    void failuresLeaveNoBodyBehind() {
        QFETCH(QByteArray, reply);
        QFETCH(int, status);
        QFETCH(QString, description);
        const QString path = m_dir.filePath("clip.mp4");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("abc");
        file.close();
        ScriptedHttpServer server;
        server.on("/inapp/video", Script::respond(status, reply));
        const APIClient client(*m_settings, ServiceEndpoints::forRoot(server.root()));
        const auto id = QCoro::waitFor(client.uploadVideo(path, 1, "t", {}));
        QVERIFY(!id);
        QCOMPARE(id.error().description(), description);
        QCOMPARE(leftoverBodies(), m_before);
    }

    void unreadableVideoAndLostConnection() {
        ScriptedHttpServer server;
        const APIClient client(*m_settings, ServiceEndpoints::forRoot(server.root()));
        const auto missing =
            QCoro::waitFor(client.uploadVideo(m_dir.filePath("missing.mp4"), 1, "", {}));
        QVERIFY(!missing);
        QCOMPARE(missing.error().kind, APIError::Kind::file);
        QVERIFY(missing.error().description().contains("missing.mp4"));
        QVERIFY(server.requests().isEmpty());
        QCOMPARE(leftoverBodies(), m_before);

        const QString path = m_dir.filePath("clip.mp4");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1000, 'x'));
        file.close();
        server.on("/inapp/video", Script().abort());
        const auto lost = QCoro::waitFor(client.uploadVideo(path, 1, "", {}));
        QVERIFY(!lost);
        QCOMPARE(lost.error().kind, APIError::Kind::transport);
        QCOMPARE(leftoverBodies(), m_before);
    }

    // The body is read from the video as it is sent: at no time is a copy of
    // the video written to the temporary folder, so an upload that is killed
    // leaves nothing behind.
    void noCopyWhileSending() {
        const QString path = m_dir.filePath("long.mp4");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(8 * 1024 * 1024));
        file.close();
        ScriptedHttpServer server;
        server.on("/inapp/video", Script().stall());
        QSignalSpy received(&server, &ScriptedHttpServer::requestReceived);
        const APIClient client(*m_settings, ServiceEndpoints::forRoot(server.root()));
        const CancelHandle cancel = CancelToken::create();
        auto task = client.uploadVideo(path, 1, "", {}, cancel);
        QVERIFY(received.wait(10000));
        const QStringList during = QDir(QDir::tempPath()).entryList(QDir::Files);
        cancel->cancel();
        const auto result = QCoro::waitFor(std::move(task));
        QVERIFY(!result);
        QCOMPARE(during, QStringList());
    }

    // A 1 GiB video goes out whole while the process's peak memory grows by
    // less than 32 MiB: the body is read from the file as the socket takes it.
    void largeVideoKeepsMemoryBounded() {
        const qint64 size = qint64(1) << 30;
        const QString path = m_dir.filePath("sparse.mp4");
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(size)); // sparse: takes no disk space
        }
        const auto removeVideo = qScopeGuard([&] { QFile::remove(path); });
        ScriptedHttpServer server;
        server.setBodyRecordLimit(0);
        server.on("/inapp/video", Script::respond(200, R"({"video_id":5})"));
        const APIClient client(*m_settings, ServiceEndpoints::forRoot(server.root()));

        // Starts the peak over from what the process holds now.
        {
            QFile clear(u"/proc/self/clear_refs"_s);
            QVERIFY(clear.open(QIODevice::WriteOnly));
            QCOMPARE(clear.write("5"), qint64(1));
        }
        const qint64 before = statusKiB("VmRSS");
        QVERIFY(before > 0);
        const auto id = QCoro::waitFor(client.uploadVideo(path, 60, "", {}));
        const qint64 peak = statusKiB("VmHWM");
        QVERIFY2(id, qPrintable(id ? QString() : id.error().description()));
        QCOMPARE(*id, qint64(5));
        QVERIFY(server.lastBodySize() > size);
#if defined(__SANITIZE_ADDRESS__)
        // The sanitizer keeps freed memory in quarantine and adds shadow
        // memory, so the peak says nothing about the upload there.
        qInfo("peak growth under the sanitizer: %lld KiB", peak - before);
#else
        QVERIFY2(peak - before < 32 * 1024,
                 qPrintable(QString("peak grew by %1 KiB").arg(peak - before)));
#endif
    }

    // A video over the coach's upload limit is refused before anything is
    // sent, naming both sizes.
    void videoOverTheLimitIsNotSent() {
        const QString path = m_dir.filePath("huge.mp4");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(upload::maxBodyBytes));
        file.close();
        ScriptedHttpServer server;
        server.on("/inapp/video", Script::respond(200, R"({"video_id":1})"));
        const APIClient client(*m_settings, ServiceEndpoints::forRoot(server.root()));
        const auto id = QCoro::waitFor(client.uploadVideo(path, 1, "", {}));
        QFile::remove(path);
        QVERIFY(!id);
        QCOMPARE(id.error().description(),
                 QString("The video is 2.0 GB; the coach takes videos up to 2.0 GB."));
        QVERIFY(server.requests().isEmpty());
    }

    // Bodies a killed upload left (older than a day) go when an upload starts;
    // younger ones may belong to an upload still running.
    void staleBodiesAreSwept() {
        QDir temp(QDir::tempPath());
        const auto make = [&temp](const QString& name, int ageHours) {
            QFile file(temp.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("body");
            file.flush();
            QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-ageHours * 3600),
                                     QFileDevice::FileModificationTime));
        };
        make("tolvane-upload-0A1B.tmp", 25);
        make("tolvane-upload-2C3D.tmp", 23);
        make("tolvane-card-4E5F.png", 48);
        ScriptedHttpServer server;
        server.on("/inapp/video", Script::respond(200, R"({"video_id":1})"));
        const APIClient client(*m_settings, ServiceEndpoints::forRoot(server.root()));
        const QString path = m_dir.filePath("clip.mp4");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(QCoro::waitFor(client.uploadVideo(path, 1, "", {})));
        QStringList left = temp.entryList(QDir::Files);
        left.sort();
        QCOMPARE(left, QStringList({"tolvane-card-4E5F.png", "tolvane-upload-2C3D.tmp"}));
        for (const QString& name : left) {
            QVERIFY(temp.remove(name));
        }
    }

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_tmp;
    std::unique_ptr<AppSettings> m_settings;
    QStringList m_before;
};

QTEST_GUILESS_MAIN(TestUpload)
#include "tst_upload.moc"
