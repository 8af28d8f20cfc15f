#include "app/viewhost.h"
#include "conversation/conversationstore.h"
#include "service/appsettings.h"
#include "studio/recordinghudmodel.h"
#include "studio/videostudiocontroller.h"
#include "ui/chat/videomenumodel.h"

#include <QGuiApplication>
#include <QImage>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;
using Phase = VideoStudioController::Phase;
using Case = VideoStudioController::PhaseCase;

namespace {

QQuickItem* findItem(QQuickItem* item, const QString& name) {
    if (item->objectName() == name) {
        return item;
    }
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = findItem(child, name)) {
            return found;
        }
    }
    return nullptr;
}

QStringList column(const QVariantList& rows, const char* key) {
    QStringList values;
    for (const QVariant& row : rows) {
        values.append(row.toMap().value(QString::fromLatin1(key)).toString());
    }
    return values;
}

} // namespace

// The recording window and the composer's video menu: their rules, and their
// views loaded with the app's module against a real studio.
class TestRecordingViews : public QObject {
    Q_OBJECT

    QTemporaryDir m_temp;

    // A fresh settings file and conversation per view, so no choice of one
    // case leaks into the next.
    struct Host {
        Host()
            : settings(std::make_unique<QSettings>(dir.filePath("s.ini"), QSettings::IniFormat))
            , store(settings, dir.path(), ServiceEndpoints::forRoot("http://127.0.0.1:1/"))
            , views(settings, store, studio, ServiceEndpoints::forRoot("http://127.0.0.1:1/"),
                    QSize(900, 700)) {}
        QTemporaryDir dir;
        AppSettings settings;
        ConversationStore store;
        VideoStudioController studio;
        ViewHost views;
    };

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_temp.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
        qputenv("TOLVANE_CAMERA", "lavfi:testsrc2=size=320x240:rate=30");
        qputenv("TOLVANE_MICROPHONE", "lavfi:sine=frequency=440");
    }

    void shownTime_data() {
        QTest::addColumn<double>("elapsed");
        QTest::addColumn<double>("limit");
        QTest::addColumn<bool>("limited");
        QTest::addColumn<QString>("text");
        QTest::newRow("counts up, fraction dropped") << 7.5 << 600.0 << false << "0:07";
        QTest::newRow("minutes") << 61.99 << 600.0 << false << "1:01";
        QTest::newRow("ten minutes") << 600.0 << 600.0 << false << "10:00";
        QTest::newRow("counts down from the limit") << 0.0 << 45.0 << true << "0:45";
        QTest::newRow("left, rounded down") << 14.2 << 45.0 << true << "0:30";
        QTest::newRow("never below zero") << 50.0 << 45.0 << true << "0:00";
    }
    void shownTime() {
        QFETCH(double, elapsed);
        QFETCH(double, limit);
        QFETCH(bool, limited);
        QFETCH(QString, text);
        QCOMPARE(
            RecordingHudModel::clockText(RecordingHudModel::shownSeconds(elapsed, limit, limited)),
            text);
    }

    void centredOnTheScreen() {
        QCOMPARE(RecordingHudModel::centredOrigin(QRect(0, 25, 1600, 975)), QPoint(680, 352));
        QCOMPARE(RecordingHudModel::centredOrigin(QRect(1920, 0, 1280, 1024)), QPoint(2440, 352));
        QVERIFY(!RecordingHudModel::centredOrigin(std::nullopt));
    }

    void menuChoicesStoreTheSettings() {
        QTemporaryDir dir;
        AppSettings settings(
            std::make_unique<QSettings>(dir.filePath("s.ini"), QSettings::IniFormat));
        ConversationStore store(settings, dir.path(),
                                ServiceEndpoints::forRoot("http://127.0.0.1:1/"));
        VideoStudioController studio;
        VideoMenuModel menu(settings, store, studio);

        QCOMPARE(column(menu.maxLengths(), "label"),
                 (QStringList{"No limit", "30 seconds", "60 seconds", "3 minutes"}));
        QCOMPARE(column(menu.maxLengths(), "checked"),
                 (QStringList{"true", "false", "false", "false"}));
        menu.chooseMaxLength(180);
        QCOMPARE(settings.videoMaxSeconds(), 180);
        QCOMPARE(column(menu.maxLengths(), "checked"),
                 (QStringList{"false", "false", "false", "true"}));

        QCOMPARE(column(menu.presets(), "label"),
                 (QStringList{"Midnight", "Sunset", "Neon Glow", "Studio Dark", "Mint Wave"}));
        QCOMPARE(column(menu.presets(), "swatch").first(), "image://backgroundSwatch/midnight");
        QVERIFY(menu.noneChecked());
        menu.choosePreset("neon");
        QCOMPARE(settings.videoBackgroundMode(), "preset");
        QCOMPARE(settings.videoBackgroundPreset(), "neon");
        QCOMPARE(column(menu.presets(), "checked"),
                 (QStringList{"false", "false", "true", "false", "false"}));
        QVERIFY(!menu.noneChecked());
        menu.choosePreset("aurora");
        QCOMPARE(settings.videoBackgroundPreset(), "neon");
        menu.chooseBlur();
        QVERIFY(menu.blurChecked());
        QCOMPARE(column(menu.presets(), "checked").count("true"), 0);

        // No picture stored yet: no "Image:" row, and picking it does nothing.
        QCOMPARE(menu.imageLabel(), QString());
        menu.chooseStoredImage();
        QCOMPARE(settings.videoBackgroundMode(), "blur");
        // A file that is not a picture is refused and nothing is stored.
        const QString text = dir.filePath("notes.png");
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
        file.close();
        QSignalSpy error(&menu, &VideoMenuModel::errorChanged);
        menu.chooseImageFile(QUrl::fromLocalFile(text));
        QVERIFY(menu.errorText().contains("isn't a picture"));
        QCOMPARE(settings.videoBackgroundMode(), "blur");
        QCOMPARE(settings.videoBackgroundImagePath(), QString());
        const QString photo = dir.filePath("beach photo.png");
        QImage(32, 24, QImage::Format_RGB32).save(photo);
        menu.chooseImageFile(QUrl::fromLocalFile(photo));
        QCOMPARE(menu.errorText(), QString());
        QCOMPARE(error.size(), 2);
        QCOMPARE(settings.videoBackgroundMode(), "image");
        QCOMPARE(settings.videoBackgroundImagePath(), photo);
        QCOMPARE(menu.imageLabel(), "Image: beach photo.png");
        QVERIFY(menu.imageChecked());
        menu.chooseNone();
        QCOMPARE(settings.videoBackgroundMode(), "off");
        QVERIFY(menu.noneChecked());
        menu.chooseStoredImage();
        QVERIFY(menu.imageChecked());
        // The keys are stored where the next run reads them.
        QSettings stored(dir.filePath("s.ini"), QSettings::IniFormat);
        QCOMPARE(stored.value("videoBackgroundMode").toString(), "image");
        QCOMPARE(stored.value("videoMaxSeconds").toInt(), 180);
    }

    void menuEnabledStates_data() {
        QTest::addColumn<int>("phase");
        QTest::addColumn<bool>("dictating");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("idle") << int(Case::Idle) << false << true;
        QTest::newRow("counting down") << int(Case::CountingDown) << false << false;
        QTest::newRow("recording") << int(Case::Recording) << false << false;
        QTest::newRow("preparing") << int(Case::Preparing) << false << true;
        QTest::newRow("editing") << int(Case::Editing) << false << true;
        QTest::newRow("error") << int(Case::Error) << false << true;
        QTest::newRow("dictating") << int(Case::Idle) << true << false;
    }
    void menuEnabledStates() {
        QFETCH(int, phase);
        QFETCH(bool, dictating);
        QFETCH(bool, enabled);
        Host host;
        QQuickWindow* window = host.views.load();
        QVERIFY(window);
        QQuickItem* button = findItem(window->contentItem(), "videoMenuButton");
        QVERIFY(button);
        QVERIFY(button->isEnabled());
        const QList<Phase> phases{Phase::idle(),         Phase::countingDown(), Phase::recording(),
                                  Phase::preparing(0.5), Phase::editing(),      Phase::exporting(),
                                  Phase::uploading(0.2), Phase::error("x")};
        host.studio.setPhase(phases[phase]);
        host.views.videoMenu.setDictationBusy(dictating);
        QCOMPARE(button->isEnabled(), enabled);
    }

    // The menu's rows as the view builds them from the model.
    void menuRows() {
        Host host;
        QQuickWindow* window = host.views.load();
        QVERIFY(window);
        QObject* menu = window->findChild<QObject*>("videoMenu");
        QObject* backgrounds = window->findChild<QObject*>("backgroundMenu");
        QObject* lengths = window->findChild<QObject*>("maxLengthMenu");
        QVERIFY(menu && backgrounds && lengths);
        QCOMPARE(menu->property("count").toInt(), 6);
        QCOMPARE(lengths->property("count").toInt(), 4);
        // None, Blur, divider, five presets, divider, "Image: …", "Choose Image…".
        QCOMPARE(backgrounds->property("count").toInt(), 11);
        QMetaObject::invokeMethod(menu, "open");
        QMetaObject::invokeMethod(backgrounds, "open");
        auto* stored = window->findChild<QQuickItem*>("storedImageItem");
        QVERIFY(stored);
        QTRY_VERIFY(backgrounds->property("opened").toBool());
        QVERIFY(!stored->isVisible());
        host.settings.setVideoBackgroundImagePath(m_temp.filePath("office.jpg"));
        QVERIFY(stored->isVisible());
        QCOMPARE(stored->property("text").toString(), "Image: office.jpg");
        // Picking a length re-marks the rows without losing any.
        host.views.videoMenu.chooseMaxLength(60);
        QCOMPARE(lengths->property("count").toInt(), 4);
        QQuickItem* third = nullptr;
        QMetaObject::invokeMethod(lengths, "itemAt", Q_RETURN_ARG(QQuickItem*, third),
                                  Q_ARG(int, 2));
        QVERIFY(third);
        QCOMPARE(third->property("text").toString(), "60 seconds");
        QVERIFY(third->property("marked").toBool());
    }

    void errorRowDismissesTheError() {
        Host host;
        QQuickWindow* window = host.views.load();
        QVERIFY(window);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QQuickItem* row = findItem(window->contentItem(), "videoErrorRow");
        QVERIFY(row);
        QVERIFY(!row->isVisible());
        host.studio.setPhase(Phase::error("The camera failed to start recording — try again."));
        QTRY_VERIFY(row->isVisible());
        QTRY_VERIFY(row->height() > 0);
        const QPointF centre = row->mapToScene(QPointF(row->width() / 2, row->height() / 2));
        QTest::mouseClick(window, Qt::LeftButton, {}, centre.toPoint());
        QTRY_COMPARE(host.studio.phaseCase(), Case::Idle);
        QVERIFY(!row->isVisible());
    }

    // A real attempt on virtual sources: the window shows the countdown, then
    // the live picture and the time; stopping hides it and opens the studio.
    void hudFollowsTheRecording() {
        Host host;
        QQuickWindow* window = host.views.load();
        QVERIFY(window);
        auto* hud = window->findChild<QQuickWindow*>("recordingHud");
        auto* studioWindow = window->findChild<QQuickWindow*>("studioWindow");
        QVERIFY(hud && studioWindow);
        QVERIFY(!hud->isVisible());
        QVERIFY(hud->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
        QVERIFY(hud->flags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(hud->flags().testFlag(Qt::FramelessWindowHint));

        host.views.videoMenu.recordCamera();
        QTRY_COMPARE_WITH_TIMEOUT(host.studio.phaseCase(), Case::CountingDown, 8000);
        QVERIFY(hud->isVisible());
        QCOMPARE(hud->size(), QSize(240, 320));
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QCOMPARE(hud->position(),
                     *RecordingHudModel::centredOrigin(screen->availableGeometry()));
        }
        QQuickItem* root = hud->contentItem();
        QQuickItem* number = findItem(root, "hudCountdown");
        QVERIFY(number && number->isVisible());
        QCOMPARE(number->property("text").toString(), "3");
        QVERIFY(findItem(root, "hudGetReady")->isVisible());
        QVERIFY(!findItem(root, "hudStop")->isVisible());
        QVERIFY(findItem(root, "hudDiscard")->isVisible());
        QCOMPARE(findItem(root, "hudDiscard")->property("tip").toString(), "Discard recording");

        QTRY_COMPARE_WITH_TIMEOUT(host.studio.phaseCase(), Case::Recording, 8000);
        QVERIFY(!number->isVisible());
        QVERIFY(!findItem(root, "hudGetReady")->isVisible());
        QQuickItem* stop = findItem(root, "hudStop");
        QVERIFY(stop->isVisible());
        QCOMPARE(stop->property("tip").toString(), "Stop and edit");
        // The live picture comes through the provider, not the symbol.
        QQuickItem* picture = findItem(root, "hudPicture");
        QTRY_VERIFY(picture->isVisible());
        QVERIFY(!findItem(root, "hudSymbol")->isVisible());
        QTRY_COMPARE(picture->property("status").toInt(), 1); // Image.Ready
        QVERIFY(picture->property("sourceSize").toSize().width() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(findItem(root, "hudTime")->property("text").toString(), "0:01",
                                  3000);

        QMetaObject::invokeMethod(stop, "clicked");
        QVERIFY(!hud->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(host.studio.phaseCase(), Case::Editing, 10000);
        QVERIFY(studioWindow->isVisible());
        host.studio.closeEditor(true);
    }
};

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle("Basic");
    TestRecordingViews test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordingviews.moc"
