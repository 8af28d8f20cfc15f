#include "awaittask.h"
#include "conversation/conversationstore.h"
#include "mediafixtures.h"
#include "platform/mediajob.h"
#include "recording/recordingsdirectory.h"
#include "service/appsettings.h"
#include "studio/videoeditormodel.h"
#include "studio/videostudiocontroller.h"
#include "video/videoeditmodel.h"

#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;
using Case = VideoStudioController::PhaseCase;
using PlayAction = VideoEditorModel::PlayAction;

namespace {

const ServiceEndpoints nowhere = ServiceEndpoints::forRoot(u"http://127.0.0.1:9/"_s);

// Lets background jobs end and delivers what they posted back.
void settle() {
    detail::mediaJobPool().waitForDone();
    QThreadPool::globalInstance()->waitForDone();
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

QStringList exports() {
    return QDir(recordingsDirectory().toLocalFile()).entryList({u"tolvane-short-*"_s}, QDir::Files);
}

} // namespace

// The editor's rules without a window: handles, framing, progress, the
// play/pause rule, automatic captions, and closing during an export.
class TestVideoEditorModel : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<ConversationStore> m_store;
    std::unique_ptr<VideoStudioController> m_studio;
    std::unique_ptr<VideoEditorModel> m_editor;
    int m_captionRuns = 0;
    std::optional<MediaError> m_captionFailure;

    void openRecording(const QString& file, double duration) {
        RecordingResult result;
        if (!file.isEmpty()) {
            result.cameraURL = QUrl::fromLocalFile(file);
        }
        result.duration = duration;
        m_studio->openRecording(result);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_dir.path()));
        m_settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(m_dir.filePath("s.ini"), QSettings::IniFormat));
    }

    void init() {
        m_store = std::make_unique<ConversationStore>(*m_settings, m_dir.path(), nowhere);
        m_studio = std::make_unique<VideoStudioController>();
        m_editor = std::make_unique<VideoEditorModel>(*m_studio, *m_store, *m_settings, nowhere);
        m_captionRuns = 0;
        m_captionFailure.reset();
        m_editor->setCaptionRunner([this](QPointer<VideoEditModel>, CancelHandle,
                                          std::function<bool(const VideoEditModel*)>)
                                       -> QCoro::Task<Expected<Done, MediaError>> {
            ++m_captionRuns;
            if (m_captionFailure) {
                co_return Unexpected(*m_captionFailure);
            }
            co_return Done{};
        });
        m_editor->setRevealer([](const QString&) {});
    }

    void cleanup() {
        m_editor.reset();
        m_studio.reset();
        m_store.reset();
        settle();
    }

    void trimHandles_data() {
        QTest::addColumn<bool>("leading");
        QTest::addColumn<double>("x"); // of a 100-point bar
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("expectedStart");
        QTest::addColumn<double>("expectedEnd");
        // The trim starts at 2 and ends at 8 of 10 seconds.
        QTest::newRow("leading inside") << true << 30.0 << 10.0 << 3.0 << 8.0;
        QTest::newRow("leading past trailing") << true << 95.0 << 10.0 << 7.5 << 8.0;
        QTest::newRow("leading before the bar") << true << -40.0 << 10.0 << 0.0 << 8.0;
        QTest::newRow("trailing inside") << false << 50.0 << 10.0 << 2.0 << 5.0;
        QTest::newRow("trailing past the end") << false << 140.0 << 10.0 << 2.0 << 10.0;
        QTest::newRow("trailing before leading") << false << 10.0 << 10.0 << 2.0 << 2.5;
        // A recording shorter than the gap keeps its trim inside 0...duration.
        QTest::newRow("short, leading") << true << 90.0 << 0.3 << 0.0 << 0.3;
        QTest::newRow("short, trailing") << false << 0.0 << 0.3 << 0.0 << 0.3;
    }
    void trimHandles() {
        QFETCH(bool, leading);
        QFETCH(double, x);
        QFETCH(double, duration);
        QFETCH(double, expectedStart);
        QFETCH(double, expectedEnd);
        openRecording({}, duration);
        VideoEditModel* model = m_editor->model();
        QVERIFY(model);
        if (duration > 8) {
            model->setTrimStart(2);
            model->setTrimEnd(8);
        }
        if (leading) {
            m_editor->dragLeadingHandle(x, 100);
        } else {
            m_editor->dragTrailingHandle(x, 100);
        }
        QCOMPARE(model->trimStart(), expectedStart);
        QCOMPARE(model->trimEnd(), expectedEnd);
        QCOMPARE(m_editor->trimStartFraction(), expectedStart / duration);
        QCOMPARE(m_editor->trimEndFraction(), expectedEnd / duration);
    }

    void previewProgress_data() {
        QTest::addColumn<double>("trimStart");
        QTest::addColumn<double>("trimEnd");
        QTest::addColumn<double>("t");
        QTest::addColumn<double>("expected");
        QTest::newRow("middle") << 2.0 << 6.0 << 3.0 << 0.25;
        QTest::newRow("before the trim") << 2.0 << 6.0 << 1.0 << 0.0;
        QTest::newRow("after the trim") << 2.0 << 6.0 << 7.0 << 1.0;
        QTest::newRow("empty stretch divides by 0.001") << 4.0 << 4.0 << 4.0005 << 0.5;
        QTest::newRow("crossed trim") << 4.0 << 3.0 << 4.0002 << 0.2;
    }
    void previewProgress() {
        QFETCH(double, trimStart);
        QFETCH(double, trimEnd);
        QFETCH(double, t);
        QFETCH(double, expected);
        QVERIFY(qAbs(VideoEditorModel::progressAt(t, trimStart, trimEnd) - expected) < 1e-9);
        openRecording({}, 10);
        m_editor->model()->setTrimStart(trimStart);
        m_editor->model()->setTrimEnd(trimEnd);
        m_editor->observe(t);
        QVERIFY(qAbs(m_editor->previewProgress() - expected) < 1e-9);
    }

    void croppedFrame_data() {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<double>("center");
        QTest::addColumn<QRectF>("expected");
        // A 1920 x 1080 source in a 360 x 640 box: at zoom 1 the picture is
        // 1137.78 x 640, at zoom 2 twice that and centred vertically.
        const double w1 = 1920.0 * 640 / 1080;
        QTest::newRow("zoom 1, left") << 1.0 << 0.0 << QRectF(0, 0, w1, 640);
        QTest::newRow("zoom 1, centre") << 1.0 << 0.5 << QRectF(-(w1 / 2 - 180), 0, w1, 640);
        QTest::newRow("zoom 1, right") << 1.0 << 1.0 << QRectF(-(w1 - 360), 0, w1, 640);
        QTest::newRow("zoom 2, left") << 2.0 << 0.0 << QRectF(0, -320, 2 * w1, 1280);
        QTest::newRow("zoom 2, centre") << 2.0 << 0.5 << QRectF(-(w1 - 180), -320, 2 * w1, 1280);
        QTest::newRow("zoom 2, right") << 2.0 << 1.0 << QRectF(-(2 * w1 - 360), -320, 2 * w1, 1280);
        QTest::newRow("zoom below 1 counts as 1") << 0.5 << 0.0 << QRectF(0, 0, w1, 640);
    }
    void croppedFrame() {
        QFETCH(double, zoom);
        QFETCH(double, center);
        QFETCH(QRectF, expected);
        const auto frame =
            VideoEditorModel::croppedFrame(QSizeF(1920, 1080), QSizeF(360, 640), center, zoom);
        QVERIFY(frame);
        QVERIFY2(qAbs(frame->x() - expected.x()) < 1e-6 && qAbs(frame->y() - expected.y()) < 1e-6 &&
                     qAbs(frame->width() - expected.width()) < 1e-6 &&
                     qAbs(frame->height() - expected.height()) < 1e-6,
                 qPrintable(u"%1 %2 %3 %4"_s.arg(frame->x())
                                .arg(frame->y())
                                .arg(frame->width())
                                .arg(frame->height())));
    }

    void croppedFrameNeedsASize() {
        QVERIFY(!VideoEditorModel::croppedFrame(QSizeF(), QSizeF(360, 640), 0.5, 1));
        QVERIFY(!VideoEditorModel::croppedFrame(QSizeF(1920, 1080), QSizeF(360, 0), 0.5, 1));
        // The view follows the model: the box is filled until the size is known.
        openRecording({}, 5);
        m_editor->setPreviewBoxSize(QSizeF(360, 640));
        QVERIFY(m_editor->playerFillsBox());
        QSignalSpy frames(m_editor.get(), &VideoEditorModel::playerFrameChanged);
        m_editor->model()->setVideoSize(QSizeF(1920, 1080));
        m_editor->model()->setCropCenterX(1.0);
        QCOMPARE(frames.size(), 2);
        QVERIFY(!m_editor->playerFillsBox());
        QCOMPARE(m_editor->playerFrame().x(), -(1920.0 * 640 / 1080 - 360));
    }

    void playAction_data() {
        QTest::addColumn<bool>("playing");
        QTest::addColumn<double>("duration"); // below 0: unknown
        QTest::addColumn<double>("position");
        QTest::addColumn<PlayAction>("expected");
        QTest::newRow("playing pauses") << true << 5.0 << 4.99 << PlayAction::pause;
        QTest::newRow("paused mid-way plays") << false << 5.0 << 2.0 << PlayAction::play;
        QTest::newRow("just before the end tolerance") << false << 5.0 << 4.94 << PlayAction::play;
        QTest::newRow("within 0.05 s of the end restarts")
            << false << 5.0 << 4.96 << PlayAction::restartAndPlay;
        QTest::newRow("at the end restarts") << false << 5.0 << 5.0 << PlayAction::restartAndPlay;
        QTest::newRow("unknown duration plays") << false << -1.0 << 9.0 << PlayAction::play;
    }
    void playAction() {
        QFETCH(bool, playing);
        QFETCH(double, duration);
        QFETCH(double, position);
        QFETCH(PlayAction, expected);
        QCOMPARE(
            VideoEditorModel::playAction(
                playing, duration < 0 ? std::nullopt : std::optional<double>(duration), position),
            expected);
    }

    void overlaysFollowTimeAndEdits() {
        openRecording({}, 10);
        VideoEditModel* model = m_editor->model();
        model->setTrimStart(1);
        model->setTrimEnd(5);
        model->setCaptionText(u"Ship <b> it"_s);
        model->setHookText(u"  The mistake: killing your posts "_s);
        m_editor->observe(1.2);
        QVERIFY(m_editor->captionVisible());
        // The first word is spoken; markup in the text stays text.
        QCOMPARE(m_editor->captionHtml(),
                 u"<span style=\"color:#FFD60A\">Ship</span> &lt;b&gt; it"_s);
        QVERIFY(m_editor->hookVisible());
        QCOMPARE(m_editor->hookLines().size(), 2);
        const int key = m_editor->captionKey();
        // Past the trim: no caption, no hook, a full bar.
        m_editor->observe(5.5);
        QVERIFY(!m_editor->captionVisible());
        QVERIFY(!m_editor->hookVisible());
        QCOMPARE(m_editor->previewProgress(), 1.0);
        // Switching the hook off or emptying it hides it while paused.
        m_editor->observe(2);
        QVERIFY(m_editor->hookVisible());
        QVERIFY(m_editor->captionKey() != key);
        model->setHookText(u"   "_s);
        QVERIFY(!m_editor->hookVisible());
        model->setHookText(u"Hook"_s);
        model->setEffectHook(false);
        QVERIFY(!m_editor->hookVisible());
        model->setKaraokeHighlight(false);
        QVERIFY(!m_editor->captionHtml().contains(u"span"_s));
        model->setCaptionsEnabled(false);
        QVERIFY(!m_editor->captionVisible());
    }

    void automaticCaptions_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("expectedRuns");
        QTest::newRow("no text") << QString() << true << 1;
        QTest::newRow("only spaces") << u" \n "_s << true << 1;
        QTest::newRow("text already set") << u"hello"_s << true << 0;
        QTest::newRow("captions off") << QString() << false << 0;
    }
    void automaticCaptions() {
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        QFETCH(int, expectedRuns);
        openRecording({}, 3);
        VideoEditModel* model = m_editor->model();
        model->setCaptionText(text);
        model->setCaptionsEnabled(enabled);
        m_editor->open();
        QTRY_COMPARE(m_captionRuns, expectedRuns);
        QVERIFY(!m_editor->generatingCaptions());
        // Opening the view again for the same recording does not transcribe again.
        m_editor->open();
        QTest::qWait(100);
        settle();
        QCOMPARE(m_captionRuns, expectedRuns);
        QCOMPARE(model->captionsAutoRequested(), expectedRuns == 1);
        // A new recording is a new model: its captions are generated again.
        if (expectedRuns == 1) {
            openRecording({}, 3);
            m_editor->open();
            QTRY_COMPARE(m_captionRuns, 2);
        }
    }

    void captionErrorsShowExceptCancellation_data() {
        QTest::addColumn<MediaError>("error");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty transcript")
            << MediaError{u"OnDeviceTranscriber"_s, 3, u"transcription came back empty"_s}
            << u"transcription came back empty"_s;
        QTest::newRow("cancelled") << MediaError::cancelled() << QString();
    }
    void captionErrorsShowExceptCancellation() {
        QFETCH(MediaError, error);
        QFETCH(QString, shown);
        openRecording({}, 3);
        m_captionFailure = error;
        m_editor->regenerateCaptions();
        QTRY_VERIFY(!m_editor->generatingCaptions());
        QCOMPARE(m_editor->errorMsg(), shown);
        QVERIFY(!m_editor->hasCaptionTask());
    }

    void closingDuringAnExportCancelsAndDeletes_data() {
        QTest::addColumn<bool>("byDiscard");
        QTest::newRow("window closed") << false;
        QTest::newRow("discard") << true;
    }
    void closingDuringAnExportCancelsAndDeletes() {
        QFETCH(bool, byDiscard);
        const QString clip = m_dir.filePath(u"take.mp4"_s);
        QVERIFY(test::makeMedia(clip, {u"-f"_s, u"lavfi"_s, u"-i"_s,
                                       u"testsrc2=size=640x360:rate=30:duration=12"_s,
                                       u"-pix_fmt"_s, u"yuv420p"_s}));
        openRecording(clip, 12);
        m_store->flush();
        const int messages = m_store->count();
        QSignalSpy dismissed(m_editor.get(), &VideoEditorModel::dismissRequested);
        m_editor->exportAndSend();
        QVERIFY(m_editor->working());
        QCOMPARE(m_studio->phaseCase(), Case::Exporting);
        QCOMPARE(m_editor->busyText(), u"Exporting\u2026"_s);
        QTRY_VERIFY_WITH_TIMEOUT(m_editor->exportProgress() > 0, 60000);

        if (byDiscard) {
            m_editor->discard();
            QCOMPARE(dismissed.size(), 1);
        } else {
            m_editor->windowClosed();
        }
        QVERIFY(!m_editor->working());
        QVERIFY(!m_editor->hasExportTask());
        QCOMPARE(m_studio->phaseCase(), Case::Idle);
        QVERIFY(!m_studio->editModel());
        QVERIFY(!QFile::exists(clip));
        // The render stops and leaves no partial short behind.
        settle();
        QTRY_VERIFY(exports().isEmpty());
        QCOMPARE(m_store->count(), messages);
        QCOMPARE(m_studio->phaseCase(), Case::Idle);
    }
};

QTEST_MAIN(TestVideoEditorModel)
#include "tst_videoeditormodel.moc"
