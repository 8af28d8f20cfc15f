#include "app/windowplacement.h"
#include "app/windowsize.h"
#include "conversation/conversationstore.h"
#include "service/appsettings.h"
#include "studio/videostudiocontroller.h"
#include "ui/shell/rootviewmodel.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;

class TestAppShell : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initialWindowSize_data() {
        QTest::addColumn<bool>("hasScreen");
        QTest::addColumn<QSizeF>("available");
        QTest::addColumn<QSize>("size");
        QTest::newRow("small screen meets the minimum")
            << true << QSizeF(700, 500) << QSize(720, 560);
        QTest::newRow("rounded nine tenths") << true << QSizeF(1512, 945) << QSize(1361, 851);
        QTest::newRow("fractional area") << true << QSizeF(1000.5, 700.4) << QSize(900, 630);
        QTest::newRow("only the width is small") << true << QSizeF(600, 1000) << QSize(720, 900);
        QTest::newRow("only the height is small") << true << QSizeF(2000, 600) << QSize(1800, 560);
        QTest::newRow("no screen") << false << QSizeF() << QSize(1296, 810);
    }
    void initialWindowSize() {
        QFETCH(bool, hasScreen);
        QFETCH(QSizeF, available);
        QFETCH(QSize, size);
        QCOMPARE(tolvane::initialWindowSize(hasScreen ? std::optional(available) : std::nullopt),
                 size);
    }

    void centredPlacement_data() {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("place");
        QTest::newRow("centred") << QRect(0, 0, 1920, 1080) << QSize(460, 460) << QPoint(730, 310);
        QTest::newRow("below a top panel")
            << QRect(0, 32, 1920, 1048) << QSize(980, 720) << QPoint(470, 196);
        QTest::newRow("second screen at the right")
            << QRect(1920, 0, 1280, 1024) << QSize(460, 460) << QPoint(2330, 282);
        QTest::newRow("larger than the screen keeps its title bar on it")
            << QRect(0, 27, 800, 573) << QSize(980, 720) << QPoint(0, 27);
    }
    void centredPlacement() {
        QFETCH(QRect, available);
        QFETCH(QSize, size);
        QFETCH(QPoint, place);
        QCOMPARE(tolvane::centredPlacement(available, size), place);
    }

    void updateBanner_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("shownUrl");
        QTest::addColumn<QString>("shownNotes");
        QTest::newRow("everything") << "https://example.com/download/tolvane-2.1.tar.gz"
                                    << "Faster drafts."
                                    << "https://example.com/download/tolvane-2.1.tar.gz"
                                    << "Faster drafts.";
        QTest::newRow("empty notes") << "https://example.com/d"
                                     << ""
                                     << "https://example.com/d"
                                     << "";
        QTest::newRow("blank notes") << "https://example.com/d"
                                     << " \n "
                                     << "https://example.com/d"
                                     << "";
        QTest::newRow("address with spaces") << "https://example.com/a b"
                                             << "n"
                                             << ""
                                             << "n";
        QTest::newRow("not an address") << "::not a url::"
                                        << "n"
                                        << ""
                                        << "n";
        QTest::newRow("empty address") << ""
                                       << "n"
                                       << ""
                                       << "n";
    }
    void updateBanner() {
        QFETCH(QString, url);
        QFETCH(QString, notes);
        QFETCH(QString, shownUrl);
        QFETCH(QString, shownNotes);
        RootViewModel root("https://example.com/");
        QVERIFY(!root.updateVisible());
        QSignalSpy changed(&root, &RootViewModel::updateChanged);
        root.setUpdate("2.1", url, notes);
        QCOMPARE(changed.size(), 1);
        QVERIFY(root.updateVisible());
        QCOMPARE(root.updateTitle(), QString("Tolvane 2.1 is available."));
        QCOMPARE(root.updateUrl(), shownUrl);
        QCOMPARE(root.updateNotes(), shownNotes);
    }

    void dismissHidesTheUpdateForGood() {
        RootViewModel root("https://example.com/");
        root.setUpdate("2.1", "https://example.com/d", "notes");
        QSignalSpy dismissed(&root, &RootViewModel::updateDismissed);
        root.dismissUpdate();
        QVERIFY(!root.updateVisible());
        QCOMPARE(root.updateUrl(), QString());
        QCOMPARE(root.updateNotes(), QString());
        QCOMPARE(dismissed.size(), 1);
        root.dismissUpdate();
        QCOMPARE(dismissed.size(), 1);
    }

    // A conversation that can't be saved shows one banner with the reason,
    // however many saves fail, until a save succeeds.
    void saveBannerFollowsTheStore() {
        QTemporaryDir home;
        AppSettings settings(
            std::make_unique<QSettings>(home.filePath("s.ini"), QSettings::IniFormat));
        // A file where the folder should be: no save can succeed.
        const QString folder = home.filePath("data");
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        ConversationStore store(settings, folder, ServiceEndpoints::forRoot("http://127.0.0.1:1/"));
        RootViewModel root("https://example.com/");
        root.followSaves(&store);
        QSignalSpy changed(&root, &RootViewModel::saveChanged);
        for (int i = 0; i < 3; ++i) {
            store.appendVideo(QUrl::fromLocalFile("/tmp/v.mp4"));
            store.flush();
        }
        QVERIFY(root.saveBannerVisible());
        QCOMPARE(root.saveBannerText(),
                 "Tolvane can't save this conversation: " + qt_error_string(ENOTDIR));
        QCOMPARE(changed.size(), 1);

        QVERIFY(QFile::remove(folder));
        store.appendVideo(QUrl::fromLocalFile("/tmp/w.mp4"));
        store.flush();
        QVERIFY(!root.saveBannerVisible());
        QCOMPARE(changed.size(), 2);
    }

    void serverBanner() {
        RootViewModel root("https://example.com/");
        QVERIFY(!root.serverBannerVisible());
        int retries = 0;
        root.retryServer(); // no handler yet: nothing happens
        root.setRetryHandler([&] { ++retries; });
        QSignalSpy changed(&root, &RootViewModel::serverChanged);
        root.setServerBanner("Port 8000 is taken by another program.");
        QVERIFY(root.serverBannerVisible());
        QCOMPARE(root.serverBannerText(), QString("Port 8000 is taken by another program."));
        root.retryServer();
        QCOMPARE(retries, 1);
        root.setServerBanner("");
        QVERIFY(!root.serverBannerVisible());
        QCOMPARE(changed.size(), 2);
    }

    // The studio window opens (or comes forward) when a recording is being
    // finalized or is ready to edit, never for the countdown or the recording
    // itself, and not for the phase the studio had before it was followed.
    void studioWindowFollowsThePhase() {
        using Phase = VideoStudioController::Phase;
        VideoStudioController studio;
        studio.setPhase(Phase::editing());
        RootViewModel root("https://example.com/");
        QSignalSpy requested(&root, &RootViewModel::studioWindowRequested);
        root.followStudio(&studio);
        QCOMPARE(requested.size(), 0);

        studio.setPhase(Phase::idle());
        studio.setPhase(Phase::countingDown());
        studio.setPhase(Phase::recording());
        QCOMPARE(requested.size(), 0);
        studio.setPhase(Phase::preparing(0.08));
        QCOMPARE(requested.size(), 1);
        studio.setPhase(Phase::preparing(0.45));
        QCOMPARE(requested.size(), 2);
        studio.setPhase(Phase::preparing(0.45)); // unchanged: no new request
        studio.setPhase(Phase::editing());
        QCOMPARE(requested.size(), 3);
        studio.setPhase(Phase::exporting());
        studio.setPhase(Phase::uploading(0.5));
        studio.setPhase(Phase::error("failed"));
        QCOMPARE(requested.size(), 3);
        studio.setPhase(Phase::editing());
        QCOMPARE(requested.size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestAppShell)
#include "tst_appshell.moc"
