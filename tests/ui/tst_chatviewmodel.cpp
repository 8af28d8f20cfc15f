#include "conversation/conversationstore.h"
#include "imagebytes.h"
#include "scriptedhttpserver.h"
#include "service/appsettings.h"
#include "service/imageattachment.h"
#include "ui/chat/chatviewmodel.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

using namespace tolvane;
using namespace tolvane::test;

namespace {

QStringList names(const QList<SlashCommand>& commands) {
    QStringList result;
    for (const SlashCommand& command : commands) {
        result.append(command.name);
    }
    return result;
}

QStringList names(const QVariantList& rows) {
    QStringList result;
    for (const QVariant& row : rows) {
        result.append(row.toMap().value(u"name"_s).toString());
    }
    return result;
}

const QStringList allCommands{"/menu",   "/styles",    "/campaigns", "/carousel", "/schedule",
                              "/trends", "/analytics", "/clear",     "/link",     "/forgetme"};

} // namespace

class TestChatViewModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(m_dir->filePath("s.ini"), QSettings::IniFormat));
        m_server = std::make_unique<ScriptedHttpServer>();
        // Replies never come: a send stays running until it is cancelled.
        m_server->on("/inapp/stream", Script::streamHead().stall());
        const auto endpoints = ServiceEndpoints::forRoot(m_server->root());
        m_store = std::make_unique<ConversationStore>(*m_settings, m_dir->path(), endpoints);
        m_chat = std::make_unique<ChatViewModel>(*m_store, *m_settings, endpoints);
        m_png = encoded(picture(Qt::red), "PNG");
    }
    void cleanup() {
        m_chat.reset();
        m_store.reset();
        m_server.reset();
    }

    void slashMatches_data() {
        QTest::addColumn<QString>("draft");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("lone slash lists all") << "/" << allCommands;
        QTest::newRow("prefix") << "/sc" << QStringList{"/schedule"};
        QTest::newRow("upper case") << "/CL" << QStringList{"/clear"};
        QTest::newRow("several, in table order")
            << "/c" << QStringList{"/campaigns", "/carousel", "/clear"};
        QTest::newRow("full name") << "/forgetme" << QStringList{"/forgetme"};
        QTest::newRow("longer than a name") << "/forgetmenot" << QStringList{};
        QTest::newRow("command with an argument") << "/clear more" << QStringList{};
        QTest::newRow("line break") << "/clear\n" << QStringList{};
        QTest::newRow("unknown") << "/x" << QStringList{};
        QTest::newRow("no leading slash") << " /menu" << QStringList{};
        QTest::newRow("plain text") << "menu" << QStringList{};
        QTest::newRow("empty") << "" << QStringList{};
    }
    void slashMatches() {
        QFETCH(QString, draft);
        QFETCH(QStringList, expected);
        m_chat->setDraft(draft);
        QCOMPARE(names(m_chat->matches()), expected);
        QCOMPARE(names(m_chat->slashMatches()), expected);
        QCOMPARE(m_chat->highlightedIndex(), expected.isEmpty() ? -1 : 0);
    }

    void highlightStaysWithinTheMatches() {
        QSignalSpy highlight(m_chat.get(), &ChatViewModel::highlightChanged);
        m_chat->setDraft("/");
        QVERIFY(m_chat->moveUp());
        QCOMPARE(m_chat->highlightedIndex(), 0);
        for (int i = 0; i < 12; ++i) {
            QVERIFY(m_chat->moveDown());
        }
        QCOMPARE(m_chat->highlightedIndex(), 9);
        QVERIFY(!highlight.isEmpty());
        // One Up from the clamped end moves to the ninth row at once.
        QVERIFY(m_chat->moveUp());
        QCOMPARE(m_chat->highlightedIndex(), 8);

        // Every draft change starts again at the first row.
        highlight.clear();
        m_chat->setDraft("/c");
        QCOMPARE(m_chat->highlightedIndex(), 0);
        QCOMPARE(highlight.size(), 1);
        QVERIFY(m_chat->moveDown());
        m_chat->setDraft("/ca");
        QCOMPARE(m_chat->highlightedIndex(), 0);
    }

    void keysPassWithoutMatches() {
        m_chat->setDraft("hello");
        QVERIFY(!m_chat->moveUp());
        QVERIFY(!m_chat->moveDown());
        QVERIFY(!m_chat->escape());
        QCOMPARE(m_chat->draft(), QString("hello"));

        m_chat->setDraft("/sc");
        QVERIFY(m_chat->escape());
        QCOMPARE(m_chat->draft(), QString());
        QVERIFY(m_chat->matches().isEmpty());
    }

    void sendingAllowed_data() {
        QTest::addColumn<QString>("draft");
        QTest::addColumn<bool>("attached");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("spaces") << "   " << false << false;
        QTest::newRow("tabs and spaces") << "\t \t" << false << false;
        QTest::newRow("text") << "hi" << false << true;
        QTest::newRow("line break counts as text") << "\n" << false << true;
        QTest::newRow("line break among spaces") << " \n " << false << true;
        QTest::newRow("attachment alone") << "" << true << true;
        QTest::newRow("spaces with attachment") << "   " << true << true;
    }
    void sendingAllowed() {
        QFETCH(QString, draft);
        QFETCH(bool, attached);
        QFETCH(bool, allowed);
        QSignalSpy changed(m_chat.get(), &ChatViewModel::sendingAllowedChanged);
        m_chat->setDraft(draft);
        if (attached) {
            m_chat->setAttachment(m_png);
        }
        QCOMPARE(m_chat->sendingAllowed(), allowed);
        QCOMPARE(changed.size(), allowed ? 1 : 0);
    }

    void submit_data() {
        QTest::addColumn<QString>("draft");
        QTest::addColumn<int>("downs");
        QTest::addColumn<bool>("attached");
        QTest::addColumn<QString>("sentText");
        QTest::addColumn<bool>("sentImage");
        QTest::newRow("highlighted command, not the draft")
            << "/sched" << 0 << false << "/schedule" << false;
        QTest::newRow("command moved to") << "/" << 2 << false << "/campaigns" << false;
        QTest::newRow("command drops the attachment") << "/cl" << 0 << true << "/clear" << false;
        QTest::newRow("no match sends the draft") << "/x" << 0 << false << "/x" << false;
        QTest::newRow("text with attachment")
            << "look at this" << 0 << true << "look at this" << true;
        QTest::newRow("spaces with attachment") << "   " << 0 << true << "image" << true;
    }
    void submit() {
        QFETCH(QString, draft);
        QFETCH(int, downs);
        QFETCH(bool, attached);
        QFETCH(QString, sentText);
        QFETCH(bool, sentImage);
        QSignalSpy scrolled(m_chat.get(), &ChatViewModel::scrollToBottom);
        m_chat->setDraft(draft);
        for (int i = 0; i < downs; ++i) {
            m_chat->moveDown();
        }
        if (attached) {
            m_chat->setAttachment(m_png);
        }
        m_chat->submit();

        QVERIFY(m_store->isSending());
        QCOMPARE(m_store->messages().size(), 2); // the user's message and the pending reply
        const ChatMessage& sent = m_store->messages().first();
        QCOMPARE(sent.text, sentText);
        QCOMPARE(sent.imageData.has_value(), sentImage);
        if (sentImage) {
            QCOMPARE(*sent.imageData, m_png);
        }
        QCOMPARE(m_chat->draft(), QString());
        QVERIFY(!m_chat->hasAttachment());
        QCOMPARE(m_chat->attachmentSource(), QString());
        QCOMPARE(scrolled.size(), 1);
    }

    void submitWithNothingToSendKeepsTheDraft() {
        m_chat->setDraft(" \t ");
        m_chat->submit();
        QVERIFY(m_store->messages().isEmpty());
        QCOMPARE(m_chat->draft(), QString(" \t "));
    }

    void nothingIsSentWhileASendRuns() {
        QSignalSpy allowed(m_chat.get(), &ChatViewModel::sendingAllowedChanged);
        m_chat->setDraft("first");
        m_chat->submit();
        QVERIFY(m_store->isSending());
        QVERIFY(m_chat->isSending());
        QVERIFY(!allowed.isEmpty());

        for (const QString& draft : {QString("second"), QString("/sc")}) {
            m_chat->setDraft(draft);
            QVERIFY(!m_chat->sendingAllowed());
            m_chat->submit();
            QCOMPARE(m_store->messages().size(), 2);
            QCOMPARE(m_chat->draft(), draft);
        }

        // The stop button ends the send; the draft can go now.
        m_chat->setDraft("second");
        m_chat->stop();
        QTRY_VERIFY(!m_store->isSending());
        QVERIFY(m_chat->sendingAllowed());
    }

    void dictationAndRecordingLockTheComposer() {
        m_chat->setDraft("hello");
        m_chat->setCaptureBusy(true);
        QVERIFY(!m_chat->sendingAllowed());
        QMimeData data;
        data.setData("image/png", m_png);
        QVERIFY(!m_chat->paste(&data));
        QVERIFY(!m_chat->hasAttachment());
        m_chat->setCaptureBusy(false);
        QVERIFY(m_chat->sendingAllowed());
    }

    void runCommandSendsTheClickedRow() {
        m_chat->setDraft("/c");
        m_chat->setAttachment(m_png);
        m_chat->runCommand(3); // past the end: nothing
        QVERIFY(m_store->messages().isEmpty());
        QCOMPARE(m_chat->draft(), QString("/c"));

        m_chat->runCommand(1);
        QCOMPARE(m_store->messages().first().text, QString("/carousel"));
        QVERIFY(!m_store->messages().first().imageData);
        QCOMPARE(m_chat->draft(), QString());
        QVERIFY(!m_chat->hasAttachment());
    }

    void pasteAttachesPngUnchanged() {
        // Stored without compression: any re-encoding would change the bytes.
        const QImage image = picture(Qt::blue, {40, 30});
        const QByteArray png = encoded(image, "PNG", 100);
        QVERIFY(png != encoded(image, "PNG"));
        QMimeData data;
        data.setData("image/png", png);
        data.setImageData(picture(Qt::green));
        data.setText("caption");
        QVERIFY(m_chat->paste(&data));
        QCOMPARE(m_chat->attachment(), png);
        QVERIFY(!m_chat->attachmentSource().isEmpty());
        QVERIFY(m_chat->sendingAllowed());
    }

    void pasteReencodes_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("encoding"); // how `format` is written; empty: none
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("imageObject");
        QTest::addColumn<QString>("expected"); // which picture ends up attached
        QTest::newRow("tiff data") << "image/tiff"
                                   << "tiff" << QStringList{} << false << "data";
        QTest::newRow("bmp data") << "image/bmp"
                                  << "bmp" << QStringList{} << false << "data";
        QTest::newRow("jpeg data over an image object")
            << "image/jpeg"
            << "jpeg" << QStringList{} << true << "data";
        QTest::newRow("first image file")
            << ""
            << "" << QStringList{"notes.txt", "shot.bmp", "other.png"} << false << "file";
        QTest::newRow("image object") << ""
                                      << "" << QStringList{} << true << "object";
        QTest::newRow("broken image file gives way to the object")
            << ""
            << "" << QStringList{"broken.png"} << true << "object";
        QTest::newRow("undecodable data gives way to the file")
            << "image/bmp"
            << "junk" << QStringList{"shot.bmp"} << false << "file";
        QTest::newRow("plain text") << "text/plain"
                                    << "text" << QStringList{} << false << "";
        QTest::newRow("text file") << ""
                                   << "" << QStringList{"notes.txt"} << false << "";
        QTest::newRow("broken image file alone") << ""
                                                 << "" << QStringList{"broken.png"} << false << "";
    }
    void pasteReencodes() {
        QFETCH(QString, format);
        QFETCH(QString, encoding);
        QFETCH(QStringList, files);
        QFETCH(bool, imageObject);
        QFETCH(QString, expected);
        if (encoding != "junk" && encoding != "text" && !encoding.isEmpty() &&
            !QImageReader::supportedImageFormats().contains(encoding.toLatin1())) {
            QSKIP("this Qt has no reader for the format");
        }
        // Lossless pictures of one colour each, so JPEG stays exact enough.
        const QImage dataPicture =
            QImage(picture(Qt::red, {8, 8})).convertToFormat(QImage::Format_RGB32);
        const QImage filePicture = picture(Qt::yellow);
        const QImage objectPicture = picture(Qt::cyan);

        QMimeData data;
        if (!format.isEmpty()) {
            const QByteArray payload = encoding == "junk" ? QByteArray("not an image")
                                       : encoding == "text"
                                           ? QByteArray("just words")
                                           : encoded(dataPicture, encoding.toLatin1(), 100);
            data.setData(format, payload);
        }
        QTemporaryDir folder;
        QList<QUrl> urls;
        for (const QString& name : files) {
            const QString path = folder.filePath(name);
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (name == "shot.bmp") {
                file.write(encoded(filePicture, "BMP"));
            } else if (name == "other.png") {
                file.write(encoded(objectPicture, "PNG"));
            } else {
                file.write("no picture here");
            }
            file.close();
            urls.append(QUrl::fromLocalFile(path));
        }
        if (!urls.isEmpty()) {
            data.setUrls(urls);
        }
        if (imageObject) {
            data.setImageData(objectPicture);
        }

        const QByteArray png = clipboardImageAsPng(data);
        QCOMPARE(m_chat->paste(&data), !expected.isEmpty());
        QCOMPARE(m_chat->attachment(), png);
        if (expected.isEmpty()) {
            QVERIFY(png.isEmpty());
            QVERIFY(!m_chat->hasAttachment());
            return;
        }
        QVERIFY(isPng(png));
        if (expected == "data") {
            const QImage decoded = QImage::fromData(png);
            QCOMPARE(decoded.size(), dataPicture.size());
            QVERIFY(qRed(decoded.pixel(5, 5)) > 200 && qGreen(decoded.pixel(5, 5)) < 50);
        } else {
            QVERIFY(samePixels(png, expected == "file" ? filePicture : objectPicture));
        }
        QVERIFY(!m_chat->attachmentSource().isEmpty());
    }

    // A chosen file is checked before it is read in full: only a regular file
    // within the size cap that decodes as a picture is attached, unchanged. A
    // refused one leaves the attachment as it was and says why.
    void attachFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        const QByteArray jpeg = encoded(picture(Qt::magenta), "JPEG");
        const QByteArray png = encoded(picture(Qt::blue, {400, 300}), "PNG");
        QTest::newRow("picture") << "file" << jpeg << "";
        QTest::newRow("not a picture")
            << "file" << QByteArray("%PDF-1.4 not a picture")
            << "Can't attach chosen.jpg: it is not a picture Tolvane can read.";
        QTest::newRow("cut-off picture")
            << "file" << png.left(png.size() / 2)
            << "Can't attach chosen.jpg: it is not a picture Tolvane can read.";
        QTest::newRow("just below the cap") << "padded" << jpeg << "";
        QTest::newRow("over the cap")
            << "sparse" << QByteArray()
            << "Can't attach chosen.jpg: it is 10.0 MB, and a picture can be at most 10.0 MB.";
        QTest::newRow("named pipe")
            << "fifo" << QByteArray() << "Can't attach chosen.jpg: it is not a regular file.";
        QTest::newRow("device") << "device" << QByteArray()
                                << "Can't attach zero: it is not a regular file.";
        QTest::newRow("folder") << "folder" << QByteArray()
                                << "Can't attach chosen.jpg: it is not a regular file.";
        QTest::newRow("missing") << "missing" << QByteArray()
                                 << "Can't attach chosen.jpg: No such file or directory.";
    }
    void attachFile() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QString path = m_dir->filePath("chosen.jpg");
        if (kind == "file" || kind == "padded" || kind == "sparse") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
            if (kind == "padded") {
                // JPEG readers stop at the end marker; what follows is kept.
                file.write(QByteArray(imageattachment::maxBytes - bytes.size(), '\0'));
                bytes += QByteArray(imageattachment::maxBytes - bytes.size(), '\0');
            } else if (kind == "sparse") {
                QVERIFY(file.resize(imageattachment::maxBytes + 1));
            }
        } else if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == "device") {
            path = "/dev/zero";
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(path));
        }
        const QByteArray previous = encoded(picture(Qt::green), "PNG");
        m_chat->setAttachment(previous);
        QSignalSpy changed(m_chat.get(), &ChatViewModel::attachmentChanged);
        m_chat->attachFile(QUrl::fromLocalFile(path));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(m_chat->attachmentError(), error);
        QCOMPARE(m_chat->attachment(), error.isEmpty() ? bytes : previous);
        QVERIFY(!m_chat->attachmentSource().isEmpty());

        // Clearing the attachment clears the message too.
        m_chat->clearAttachment();
        QVERIFY(!m_chat->hasAttachment());
        QCOMPARE(m_chat->attachmentError(), QString());
    }

    // A pasted picture over the cap is not attached; the paste goes on to the
    // text field and the composer says why.
    void pasteOverTheCapIsRefused() {
        // Noise compresses badly, so a modest picture makes a large PNG.
        QImage noise(1900, 1900, QImage::Format_RGB32);
        quint32 seed = 7;
        for (int y = 0; y < noise.height(); ++y) {
            auto* line = reinterpret_cast<quint32*>(noise.scanLine(y));
            for (int x = 0; x < noise.width(); ++x) {
                seed = seed * 1664525u + 1013904223u;
                line[x] = seed;
            }
        }
        const QByteArray png = encoded(noise, "PNG");
        QVERIFY(png.size() > imageattachment::maxBytes);
        QMimeData data;
        data.setData("image/png", png);
        QVERIFY(!m_chat->paste(&data));
        QVERIFY(!m_chat->hasAttachment());
        QVERIFY(m_chat->attachmentError().startsWith("Can't attach the pasted picture: it is 1"));
    }

    // The log button shows for {"debug":true}; every other answer hides it.
    void debugStatus_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("not offered") << 200 << QByteArray(R"({"debug":false})");
        QTest::newRow("server error") << 500 << QByteArray(R"({"debug":true})");
        QTest::newRow("not json") << 200 << QByteArray("<html>");
        QTest::newRow("field missing") << 200 << QByteArray("{}");
    }
    void debugStatus() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        m_server->on("/api/debug/status", Script::respond(200, R"({"debug":true})"));
        QVERIFY(!m_chat->debugAvailable());
        m_chat->loadDebugStatus();
        QTRY_VERIFY(m_chat->debugAvailable());

        m_server->on("/api/debug/status", Script::respond(status, body));
        m_chat->loadDebugStatus();
        QTRY_VERIFY(!m_chat->debugAvailable());
        QCOMPARE(m_server->requests().size(), 2);
        QCOMPARE(m_server->requests().at(1).path, QByteArray("/api/debug/status"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<ConversationStore> m_store;
    std::unique_ptr<ChatViewModel> m_chat;
    QByteArray m_png;
};

QTEST_MAIN(TestChatViewModel)
#include "tst_chatviewmodel.moc"
