#include "conversation/conversationstore.h"
#include "imagebytes.h"
#include "scriptedhttpserver.h"
#include "service/appsettings.h"
#include "ui/chat/imagestore.h"
#include "ui/chat/messagelistmodel.h"

#include <QAbstractItemModelTester>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;
using namespace tolvane::test;
using Role = MessageListModel::Role;

Q_DECLARE_METATYPE(tolvane::TurnDebug)

namespace {

ChatMessage message(ChatMessage::Role role, const QString& text) {
    ChatMessage result;
    result.role = role;
    result.text = text;
    return result;
}

TurnDebug usage(const QString& model, qint64 in, qint64 out, qint64 cache, double cost) {
    TurnDebug debug;
    debug.model = model;
    debug.inputTokens = in;
    debug.outputTokens = out;
    debug.cacheReadTokens = cache;
    debug.costUSD = cost;
    return debug;
}

} // namespace

class TestMessageListModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(m_dir->filePath("s.ini"), QSettings::IniFormat));
        m_server = std::make_unique<ScriptedHttpServer>();
        m_store = std::make_unique<ConversationStore>(*m_settings, m_dir->path(),
                                                      ServiceEndpoints::forRoot(m_server->root()));
        m_model = std::make_unique<MessageListModel>(m_store.get());
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    void cleanup() {
        m_tester.reset();
        m_model.reset();
        m_store.reset();
        m_server.reset();
    }

    void rowsFollowTheStore() {
        m_store->appendMessage(message(ChatMessage::Role::user, "hello"));
        ChatMessage picture = message(ChatMessage::Role::coach, "a chart");
        picture.imageData = encoded(test::picture(QColor(1, 2, 3)), "PNG");
        m_store->appendMessage(picture);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(ids(), storeIds());
        const QString chart = data(1, Role::ImageRole).toString();
        QVERIFY(!ImageStore::shared().image(chart).isNull());

        // A reset command: the reply's status line is inserted above the
        // pending row, the pending row changes, then every other row goes.
        m_server->on(
            "/inapp/stream",
            Script::streamHead()
                .write("event: status\ndata: {\"text\":\"Clearing\"}\n\n")
                .write("event: final\ndata: {\"reply\":\"Fresh start.\",\"images\":[]}\n\n"));
        QSignalSpy finished(m_store.get(), &ConversationStore::sendFinished);
        QSignalSpy changed(m_model.get(), &QAbstractItemModel::dataChanged);
        m_store->send("/clear");
        QCOMPARE(ids(), storeIds());
        QVERIFY(data(3, Role::IsPendingRole).toBool());
        QVERIFY(finished.wait(10000));
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(!changed.isEmpty());
        QCOMPARE(ids(), storeIds());
        QCOMPARE(m_model->rowCount(), 1);
        QCOMPARE(data(0, Role::PlainTextRole).toString(), QString("Fresh start."));
        QVERIFY(!data(0, Role::IsPendingRole).toBool());
        // The removed row gave its picture back.
        QVERIFY(ImageStore::shared().image(chart).isNull());

        // A cancelled send: its pending row is removed on its own.
        m_server->on("/inapp/stream", Script::streamHead().stall());
        m_store->send("second");
        QCOMPARE(m_model->rowCount(), 3);
        m_store->cancelSend();
        QVERIFY(finished.wait(10000));
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(ids(), storeIds());
        QCOMPARE(m_model->rowCount(), 2);
    }

    void startsFromTheLoadedRowsAndEmptiesWhenTheStoreGoes() {
        ChatMessage kept = message(ChatMessage::Role::user, "kept");
        kept.imageData = encoded(picture(QColor(4, 5, 6)), "PNG");
        m_store->appendMessage(kept);
        m_store->appendMessage(message(ChatMessage::Role::coach, "also kept"));
        const QString source = data(0, Role::ImageRole).toString();
        QVERIFY(!ImageStore::shared().image(source).isNull());
        m_store.reset(); // saves on the way out
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(m_model->rowCount(), 0);
        QVERIFY(ImageStore::shared().image(source).isNull());
        m_store = std::make_unique<ConversationStore>(*m_settings, m_dir->path(),
                                                      ServiceEndpoints::forRoot(m_server->root()));
        MessageListModel model(m_store.get());
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.data(model.index(1), Role::PlainTextRole).toString(), QString("also kept"));
    }

    void textActionsAndVideo() {
        ChatMessage reply =
            message(ChatMessage::Role::coach, "**Ready.** [Edit](https://app.example/edit/tok-1)");
        reply.actions.append(ChatAction{ChatAction::Kind::editDraft, "Edit post",
                                        QUrl("https://app.example/edit/tok-1"), "tok-1"});
        m_store->appendMessage(reply);
        ChatMessage pointer = message(ChatMessage::Role::user, "\U0001F447");
        pointer.videoURL = QUrl::fromLocalFile("/videos/clip.mov");
        m_store->appendMessage(pointer);

        QCOMPARE(data(0, Role::PlainTextRole).toString(), QString("**Ready.**"));
        QVERIFY(data(0, Role::HtmlRole).toString().contains("<b>Ready.</b>"));
        QVERIFY(!data(0, Role::IsUserRole).toBool());
        const QVariantList actions = data(0, Role::ActionsRole).toList();
        QCOMPARE(actions.size(), 1);
        QCOMPARE(actions.first().toMap().value("url").toString(),
                 QString("https://app.example/edit/tok-1"));
        QCOMPARE(actions.first().toMap().value("token").toString(), QString("tok-1"));
        QCOMPARE(data(0, Role::VideoRole).toString(), QString());

        // Nothing left to show: no text block at all.
        QCOMPARE(data(1, Role::PlainTextRole).toString(), QString());
        QCOMPARE(data(1, Role::HtmlRole).toString(), QString());
        QVERIFY(data(1, Role::IsUserRole).toBool());
        QCOMPARE(data(1, Role::VideoRole).toString(), QString("file:///videos/clip.mov"));
    }

    void imagesThatDecode_data() {
        QTest::addColumn<QList<QByteArray>>("gallery");
        QTest::addColumn<QByteArray>("single");
        QTest::addColumn<QList<QColor>>("galleryShown");
        QTest::addColumn<bool>("singleShown");
        const QByteArray red = encoded(picture(QColor(200, 0, 0)), "PNG");
        const QByteArray green = encoded(picture(QColor(0, 200, 0)), "JPEG", 100);
        const QByteArray junk("not an image");
        QTest::newRow("gallery skips the broken")
            << QList<QByteArray>{red, junk, green} << red
            << QList<QColor>{QColor(200, 0, 0), QColor(0, 200, 0)} << false;
        QTest::newRow("broken gallery shows nothing")
            << QList<QByteArray>{junk} << red << QList<QColor>{} << false;
        QTest::newRow("single image") << QList<QByteArray>{} << red << QList<QColor>{} << true;
        QTest::newRow("broken single image")
            << QList<QByteArray>{} << junk << QList<QColor>{} << false;
        QTest::newRow("no image") << QList<QByteArray>{} << QByteArray() << QList<QColor>{}
                                  << false;
    }
    void imagesThatDecode() {
        QFETCH(QList<QByteArray>, gallery);
        QFETCH(QByteArray, single);
        QFETCH(QList<QColor>, galleryShown);
        QFETCH(bool, singleShown);
        ChatMessage shown = message(ChatMessage::Role::coach, "pictures");
        shown.gallery = gallery;
        if (!single.isNull()) {
            shown.imageData = single;
        }
        m_store->appendMessage(shown);

        const QStringList sources = data(0, Role::GalleryRole).toStringList();
        QCOMPARE(sources.size(), galleryShown.size());
        for (int i = 0; i < sources.size(); ++i) {
            const QImage image = ImageStore::shared().image(sources.at(i));
            QVERIFY(!image.isNull());
            const QColor centre = image.pixelColor(3, 2);
            QVERIFY2(qAbs(centre.red() - galleryShown.at(i).red()) < 8 &&
                         qAbs(centre.green() - galleryShown.at(i).green()) < 8,
                     qPrintable(centre.name()));
        }
        const QString source = data(0, Role::ImageRole).toString();
        QCOMPARE(!source.isEmpty(), singleShown);
        if (singleShown) {
            QVERIFY(samePixels(single, ImageStore::shared().image(source)));
        }
    }

    void footer_data() {
        QTest::addColumn<TurnDebug>("debug");
        QTest::addColumn<QString>("text");
        QTest::newRow("no cache reads")
            << usage("m", 1, 2, 0, 0.0012) << QString("m · in 1 · out 2 · $0.0012");
        QTest::newRow("one cache read")
            << usage("m", 1, 2, 1, 0.0012) << QString("m · in 1 · out 2 · cache 1 · $0.0012");
        QTest::newRow("four decimals, rounded")
            << usage("coach-large", 12034, 845, 9000, 1.23456)
            << QString("coach-large · in 12034 · out 845 · cache 9000 · $1.2346");
        QTest::newRow("free") << usage("m", 0, 0, 0, 0) << QString("m · in 0 · out 0 · $0.0000");
    }
    void footer() {
        QFETCH(TurnDebug, debug);
        QFETCH(QString, text);
        QCOMPARE(MessageListModel::footerText(debug), text);
        ChatMessage reply = message(ChatMessage::Role::coach, "hi");
        reply.debug = debug;
        m_store->appendMessage(reply);
        m_store->appendMessage(message(ChatMessage::Role::coach, "no record"));
        QCOMPARE(data(0, Role::FooterRole).toString(), text);
        QCOMPARE(data(1, Role::FooterRole).toString(), QString());
    }

private:
    QVariant data(int row, Role role) const { return m_model->data(m_model->index(row), role); }
    QStringList ids() const {
        QStringList result;
        for (int row = 0; row < m_model->rowCount(); ++row) {
            result.append(data(row, Role::IdRole).toString());
        }
        return result;
    }
    QStringList storeIds() const {
        QStringList result;
        for (const ChatMessage& message : m_store->messages()) {
            result.append(message.id.toString(QUuid::WithoutBraces));
        }
        return result;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<ConversationStore> m_store;
    std::unique_ptr<MessageListModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

QTEST_MAIN(TestMessageListModel)
#include "tst_messagelistmodel.moc"
