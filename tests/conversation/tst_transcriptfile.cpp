#include "conversation/conversationowner.h"
#include "conversation/conversationstore.h"
#include "conversation/linkdetector.h"
#include "conversation/transcriptfile.h"
#include "scratchfs.h"
#include "service/appsettings.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tolvane;

class TestTranscriptFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(m_dir->filePath("s.ini"), QSettings::IniFormat));
    }

    void links_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("urls");
        QTest::newRow("plain") << "See https://example.com/edit/abc."
                               << QStringList{"https://example.com/edit/abc"};
        QTest::newRow("bare www") << "visit www.example.com/x, then"
                                  << QStringList{"http://www.example.com/x"};
        QTest::newRow("markdown") << "[edit](http://127.0.0.1:20511/edit/t1) now"
                                  << QStringList{"http://127.0.0.1:20511/edit/t1"};
        QTest::newRow("balanced parens") << "https://en.example.org/wiki/A_(b) ok"
                                         << QStringList{"https://en.example.org/wiki/A_(b)"};
        QTest::newRow("two") << "a http://x.example/1 b HTTPS://y.example/2!"
                             << QStringList{"http://x.example/1", "https://y.example/2"};
        QTest::newRow("none") << "no links at all, example dot com" << QStringList{};
        QTest::newRow("email is not a link") << "mail me@www.example.com" << QStringList{};
    }
    void links() {
        QFETCH(QString, text);
        QFETCH(QStringList, urls);
        QStringList found;
        for (const DetectedLink& link : detectLinks(text)) {
            found.append(link.url.toString());
        }
        QCOMPARE(found, urls);
    }

    void editActions() {
        const QString link = "http://127.0.0.1:20511/edit/abc123";
        auto actions = extractEditActions("Go here to edit the post: " + link + "\nor " + link);
        QCOMPARE(actions.size(), 1);
        QCOMPARE(actions.first().label, QString("Edit post"));
        QCOMPARE(actions.first().token, QString("abc123"));
        QCOMPARE(actions.first().url, QUrl(link));
        QVERIFY(extractEditActions("http://example.com/posts/edit").isEmpty());
        QVERIFY(extractEditActions("http://example.com/posts/edit/").isEmpty());
        QVERIFY(extractEditActions("http://example.com/Edit/abc").isEmpty());
        actions =
            extractEditActions("https://a.example/x/edit/t1/more and https://a.example/edit/t%2F2");
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions[0].token, QString("t1"));
        QCOMPARE(actions[1].token, QString("t/2"));
    }

    void encodingRules() {
        ChatMessage plain;
        plain.text = "hi";
        // A quarter second after a whole minute.
        plain.timestamp = QDateTime(QDate(2026, 3, 1), QTime(9, 30, 0, 250), QTimeZone::utc());
        const QByteArray element = transcript::encodeMessage(plain);
        const QJsonObject object = QJsonDocument::fromJson(element).object();
        QCOMPARE(object.keys(), QStringList({"role", "text", "timestamp"}));
        const double seconds = object.value("timestamp").toDouble();
        QCOMPARE(seconds - std::floor(seconds), 0.25);
        QCOMPARE(transcript::fromReferenceSeconds(seconds), plain.timestamp);
        QCOMPARE(transcript::toReferenceSeconds(
                     QDateTime(QDate(2001, 1, 1), QTime(0, 1), QTimeZone::utc())),
                 60.0);

        ChatMessage withImages;
        withImages.role = ChatMessage::Role::coach;
        withImages.imageData = QByteArray("\x00\x01\xff", 3);
        withImages.gallery = {"a", "bc"};
        const QJsonObject images =
            QJsonDocument::fromJson(transcript::encodeMessage(withImages)).object();
        QCOMPARE(images.value("imageB64").toString(), QString("AAH/"));
        QCOMPARE(images.value("galleryB64").toArray(), QJsonArray({"YQ==", "YmM="}));
        QCOMPARE(images.value("role").toString(), QString("coach"));
    }

    void decodingRules() {
        auto ok = transcript::decode(
            R"([)"
            R"({"role":"user","text":"a","timestamp":60.5},)"
            R"({"role":"User","text":"Go here: https://a.example/edit/tok","timestamp":0,)"
            R"("imageB64":"not base64!","galleryB64":["YQ==","%%%","YmM="]}])");
        QVERIFY(ok);
        QCOMPARE(ok->size(), 2);
        QCOMPARE(ok->at(0).role, ChatMessage::Role::user);
        QCOMPARE(ok->at(1).role, ChatMessage::Role::coach);
        QVERIFY(!ok->at(1).imageData);
        QCOMPARE(ok->at(1).gallery, QList<QByteArray>({"a", "bc"}));
        QCOMPARE(ok->at(1).actions.size(), 1);
        QVERIFY(ok->at(0).id != ok->at(1).id);

        QVERIFY(!transcript::decode(R"([{"role":"user","text":"a","timestamp":1},)"
                                    R"({"role":"user","text":"b"}])"));
        QVERIFY(!transcript::decode(R"([{"role":"user","text":"a","timestamp":"1"}])"));
        QVERIFY(!transcript::decode(R"([{"role":"user","text":"a","timestamp":1,"imageB64":5}])"));
        QVERIFY(!transcript::decode(R"({"role":"user"})"));
        QVERIFY(!transcript::decode("[{]"));
        QVERIFY(transcript::decode("[]"));
    }

    // What the store writes is what it reads back after a restart.
    void storeRoundTrip() {
        QString path;
        {
            ConversationStore store(*m_settings, m_dir->path(),
                                    ServiceEndpoints::forRoot("http://127.0.0.1:1/"));
            store.appendMessage(message(ChatMessage::Role::user, "hello"));
            ChatMessage pending = message(ChatMessage::Role::coach, "");
            pending.isPending = true;
            store.appendMessage(pending);
            store.appendVideo(QUrl::fromLocalFile("/tmp/short.mp4"));
            ChatMessage reply =
                message(ChatMessage::Role::coach, "Draft: http://h.example/edit/d1");
            reply.gallery = {"x", "y"};
            store.appendMessage(reply);
            path = store.filePath();
            // Destroying the store writes the unsaved last message too.
        }
        const QJsonArray saved = QJsonDocument::fromJson(readFile(path)).array();
        QCOMPARE(saved.size(), 3);
        QCOMPARE(saved.at(1).toObject().value("text").toString(),
                 QString("Recorded a short video"));
        QVERIFY(!saved.at(1).toObject().contains("imageB64"));
        QVERIFY(!saved.at(1).toObject().contains("galleryB64"));

        ConversationStore again(*m_settings, m_dir->path());
        QCOMPARE(again.messages().size(), 3);
        QCOMPARE(again.messages().at(0).text, QString("hello"));
        QVERIFY(!again.messages().at(1).videoURL);
        QCOMPARE(again.messages().at(2).gallery, QList<QByteArray>({"x", "y"}));
        QCOMPARE(again.messages().at(2).actions.first().token, QString("d1"));
        QCOMPARE(QDir(m_dir->path()).entryList({"*.json*"}, QDir::Files).size(), 1);
    }

    void unreadableFileIsKept() {
        const QString path = transcript::filePath(m_dir->path(), m_settings->userID());
        writeFile(path, R"([{"role":"user","text":"a","timestamp":1},{"role":"user","text":"b"}])");
        {
            ConversationStore store(*m_settings, m_dir->path());
            QVERIFY(store.messages().isEmpty());
            store.appendVideo(QUrl::fromLocalFile("/tmp/v.mp4"));
        }
        const QStringList kept =
            QDir(m_dir->path()).entryList({"transcript-*.json.unreadable-*"}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY(readFile(m_dir->filePath(kept.first())).contains("\"text\":\"b\""));
        QCOMPARE(QJsonDocument::fromJson(readFile(path)).array().size(), 1);
    }

    void fileFollowsTheUserId() {
        ConversationStore store(*m_settings, m_dir->path());
        store.appendVideo(QUrl::fromLocalFile("/tmp/a.mp4"));
        store.flush();
        const QString first = store.filePath();
        const QByteArray before = readFile(first);
        m_settings->setUserID("srv-7");
        store.appendVideo(QUrl::fromLocalFile("/tmp/b.mp4"));
        store.flush();
        QVERIFY(store.filePath().endsWith("transcript-srv-7.json"));
        QCOMPARE(QJsonDocument::fromJson(readFile(store.filePath())).array().size(), 2);
        QCOMPARE(readFile(first), before);
    }

    // Many saves in a row end with the latest state on disk and no stray
    // temporary files.
    void rapidSavesEndWithTheLatestState() {
        ConversationStore store(*m_settings, m_dir->path());
        for (int i = 0; i < 200; ++i) {
            store.appendVideo(QUrl::fromLocalFile(QString("/tmp/%1.mp4").arg(i)));
        }
        store.flush();
        QCOMPARE(QJsonDocument::fromJson(readFile(store.filePath())).array().size(), 200);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 2);
    }

    // A save that can't be completed (disk full, file too large for the
    // process's limit, folder read-only) leaves the previous file byte for
    // byte, is reported once in the system's words, and the next save that
    // can succeed clears the report.
    void failedSaveKeepsThePreviousFile_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("disk full") << "full" << qt_error_string(ENOSPC);
        QTest::newRow("file size limit") << "fsize" << qt_error_string(EFBIG);
        QTest::newRow("read-only folder")
            << "readonly" << qt_error_string(::geteuid() == 0 ? EROFS : EACCES);
    }
    void failedSaveKeepsThePreviousFile() {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        const QString folder = m_dir->filePath("data");
        QVERIFY(QDir().mkpath(folder));
        const bool root = ::geteuid() == 0;
        if (fault == "full" || (fault == "readonly" && root)) {
            if (const QString why = scratchfs::mountTmpfs(folder, 256); !why.isEmpty()) {
                QSKIP(qPrintable("needs a small file system: " + why));
            }
        }
        const auto unmount = qScopeGuard([&] {
            if (root) {
                scratchfs::unmount(folder);
            }
        });

        ConversationStore store(*m_settings, folder);
        QSignalSpy reported(&store, &ConversationStore::saveErrorChanged);
        // About 10 KB: small enough to sit in a write buffer until the end.
        for (int i = 0; i < 40; ++i) {
            store.appendMessage(
                message(ChatMessage::Role::user, QString(240, QChar('a' + i % 26))));
        }
        store.appendVideo(QUrl::fromLocalFile("/tmp/first.mp4"));
        store.flush();
        QVERIFY(store.saveError().isEmpty());
        const QByteArray before = readFile(store.filePath());
        QVERIFY(before.size() > 9000);

        rlimit oldLimit{};
        const auto breakDisk = [&] {
            if (fault == "full") {
                scratchfs::fill(folder);
            } else if (fault == "fsize") {
                ::getrlimit(RLIMIT_FSIZE, &oldLimit);
                rlimit small = oldLimit;
                small.rlim_cur = 4096;
                std::signal(SIGXFSZ, SIG_IGN);
                ::setrlimit(RLIMIT_FSIZE, &small);
            } else if (root) {
                QCOMPARE(scratchfs::setReadOnly(folder, true), QString());
            } else {
                QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            }
        };
        const auto repairDisk = [&] {
            if (fault == "full") {
                QVERIFY(QFile::remove(QDir(folder).filePath("filler")));
            } else if (fault == "fsize") {
                ::setrlimit(RLIMIT_FSIZE, &oldLimit);
            } else if (root) {
                QCOMPARE(scratchfs::setReadOnly(folder, false), QString());
            } else {
                QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ExeOwner));
            }
        };

        breakDisk();
        store.appendVideo(QUrl::fromLocalFile("/tmp/second.mp4"));
        store.flush();
        const QString failure = store.saveError();
        const QByteArray afterFirst = readFile(store.filePath());
        store.appendVideo(QUrl::fromLocalFile("/tmp/third.mp4"));
        store.flush();
        const QByteArray after = readFile(store.filePath());
        const QStringList left = QDir(folder).entryList({"transcript-*"}, QDir::Files);
        repairDisk();

        QCOMPARE(afterFirst.size(), before.size());
        QCOMPARE(afterFirst, before);
        QCOMPARE(after, before);
        QCOMPARE(left, QStringList{QFileInfo(store.filePath()).fileName()});
        QCOMPARE(failure, reason);
        QCOMPARE(store.saveError(), reason);
        QCOMPARE(reported.size(), 1);

        store.appendVideo(QUrl::fromLocalFile("/tmp/fourth.mp4"));
        store.flush();
        QCOMPARE(store.saveError(), QString());
        QCOMPARE(reported.size(), 2);
        QCOMPARE(QJsonDocument::fromJson(readFile(store.filePath())).array().size(), 44);
    }

    // A temporary file a killed writer left beside the conversation file goes
    // when the folder is next claimed; other files stay.
    void leftoversAreRemovedOnClaim() {
        const QString folder = m_dir->filePath("left");
        QVERIFY(QDir().mkpath(folder));
        const QDir dir(folder);
        writeFile(dir.filePath("transcript-u1.json"), "[]");
        writeFile(dir.filePath("transcript-u1.json.Ab12Cd"), "[");
        writeFile(dir.filePath("transcript-u1.json.unreadable-20260101T000000Z"), "x");
        writeFile(dir.filePath("notes.json.Ab12Cd"), "x");
        {
            ConversationOwner owner(folder);
            QVERIFY(owner.claim());
        }
        QStringList names = dir.entryList({"*.json*"}, QDir::Files);
        names.sort();
        QCOMPARE(names, QStringList({"notes.json.Ab12Cd", "transcript-u1.json",
                                     "transcript-u1.json.unreadable-20260101T000000Z"}));
    }

private:
    static ChatMessage message(ChatMessage::Role role, const QString& text) {
        ChatMessage m;
        m.role = role;
        m.text = text;
        return m;
    }
    static QByteArray readFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppSettings> m_settings;
};

int main(int argc, char** argv) {
    tolvane::scratchfs::enterPrivateMounts();
    QCoreApplication app(argc, argv);
    TestTranscriptFile test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_transcriptfile.moc"
