#include "imagebytes.h"
#include "scriptedhttpserver.h"
#include "service/appsettings.h"
#include "ui/chat/draftpreview.h"
#include "ui/chat/imagestore.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;
using namespace tolvane::test;
using namespace std::chrono_literals;

// Retry waits are real (0.4 + 0.8 + 1.2 s for a load that uses all four
// attempts), so only the cases that need them wait for them.
class TestDraftPreview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(m_dir->filePath("s.ini"), QSettings::IniFormat));
        m_server = std::make_unique<ScriptedHttpServer>();
        DraftPreview::setDefaults(m_settings.get(), ServiceEndpoints::forRoot(m_server->root()));
    }
    void cleanup() {
        DraftPreview::setDefaults(nullptr, ServiceEndpoints::builtIn());
        m_server.reset();
    }

    // Error status, an answer that is no picture, a missing page, then the
    // picture: the fourth attempt shows it. The attempts are spaced out more
    // and more, so a struggling server is not hammered.
    void showsThePictureAfterThreeFailures() {
        const QImage served = picture(Qt::darkGreen, {30, 20});
        int seen = 0;
        QElapsedTimer clock;
        clock.start();
        QList<qint64> arrivals;
        m_server->setHandler([&](const RecordedRequest&) {
            arrivals.append(clock.elapsed());
            switch (seen++) {
            case 0:
                return Script::respond(500, "{}");
            case 1:
                return Script::respond(200, "<html>not a picture</html>", "text/html");
            case 2:
                return Script::respond(404, "gone", "text/plain");
            default:
                return Script::respond(200, encoded(served, "PNG"), "image/png");
            }
        });
        DraftPreview preview;
        QSignalSpy state(&preview, &DraftPreview::stateChanged);
        preview.setToken("tok 1");
        QVERIFY(preview.loading());
        QTRY_VERIFY_WITH_TIMEOUT(!preview.imageSource().isEmpty() || preview.failed(), 8000);

        QVERIFY(!preview.failed());
        QVERIFY(!preview.loading());
        QCOMPARE(m_server->requests().size(), 4);
        for (const RecordedRequest& request : m_server->requests()) {
            QCOMPARE(request.path, QByteArray("/api/draft/tok%201/preview.png"));
        }
        // Waits of 0.4, 0.8 and 1.2 s; timers may fire a little early.
        QCOMPARE(arrivals.size(), 4);
        QVERIFY2(arrivals[1] - arrivals[0] >= 350, qPrintable(QString::number(arrivals[1])));
        QVERIFY2(arrivals[2] - arrivals[1] >= 700, qPrintable(QString::number(arrivals[2])));
        QVERIFY2(arrivals[3] - arrivals[2] >= 1100, qPrintable(QString::number(arrivals[3])));
        const QImage shown = ImageStore::shared().image(preview.imageSource());
        QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32),
                 served.convertToFormat(QImage::Format_ARGB32));
    }

    void fourFailuresShowTheFailureViewOnlyForShownLoads() {
        m_server->setHandler([](const RecordedRequest&) { return Script::respond(503, "busy"); });
        DraftPreview preview;
        preview.setToken("tok");
        QTRY_VERIFY_WITH_TIMEOUT(preview.failed(), 8000);
        QCOMPARE(m_server->requests().size(), 4);
        QVERIFY(!preview.loading());

        // The app became active again: a quiet load clears the failure view
        // while it tries, and its own failures do not bring it back.
        preview.load(false);
        QVERIFY(!preview.failed());
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 8, 8000);
        QTRY_COMPARE(m_server->openConnections(), 0);
        QTest::qWait(300); // lets the last answer reach the preview
        QVERIFY(!preview.failed());
        QCOMPARE(m_server->requests().size(), 8);
    }

    // The app becoming active while a shown load retries must not turn it
    // into a quiet one: the failure view still comes when it gives up.
    void quietLoadLeavesAShownLoadBe() {
        m_server->setHandler([](const RecordedRequest&) { return Script::respond(503, "busy"); });
        DraftPreview preview;
        preview.setToken("tok");
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 2, 5000);
        preview.load(false);
        QTRY_VERIFY_WITH_TIMEOUT(preview.failed(), 8000);
        QCOMPARE(m_server->requests().size(), 4);
    }

    void newTokenSupersedesTheRunningLoad() {
        const QImage oldPicture = picture(Qt::red);
        const QImage newPicture = picture(Qt::blue);
        m_server->on("/api/draft/old/preview.png",
                     Script::respondWhenReleased(200, encoded(oldPicture, "PNG"), "image/png"));
        m_server->on("/api/draft/new/preview.png",
                     Script::respond(200, encoded(newPicture, "PNG"), "image/png"));
        DraftPreview preview;
        QSignalSpy held(m_server.get(), &ScriptedHttpServer::connectionHeld);
        preview.setToken("old");
        QVERIFY(held.wait(5000));
        preview.setToken("new");
        QVERIFY(preview.loading());
        QTRY_VERIFY(!preview.imageSource().isEmpty());

        // The old answer comes late and changes nothing.
        m_server->release();
        QTRY_COMPARE(m_server->openConnections(), 0);
        QTest::qWait(200);
        QVERIFY(!preview.failed());
        QCOMPARE(ImageStore::shared()
                     .image(preview.imageSource())
                     .convertToFormat(QImage::Format_ARGB32),
                 newPicture.convertToFormat(QImage::Format_ARGB32));
        QCOMPARE(m_server->requests().size(), 2);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<ScriptedHttpServer> m_server;
};

QTEST_MAIN(TestDraftPreview)
#include "tst_draftpreview.moc"
