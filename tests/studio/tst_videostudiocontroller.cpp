#include "studio/videostudiocontroller.h"
#include "video/videoeditmodel.h"

#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;

using Phase = VideoStudioController::Phase;
using PhaseCase = VideoStudioController::PhaseCase;

class TestVideoStudioController : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsIdleWithTheCeilingAsLimit() {
        VideoStudioController studio;
        QCOMPARE(studio.phaseCase(), PhaseCase::Idle);
        QCOMPARE(studio.phaseName(), QString("idle"));
        QCOMPARE(studio.maxDuration(), 600.0);
        QVERIFY(!studio.userLimited());
        QVERIFY(!studio.countdown());
        QVERIFY(!studio.countdownValue().isValid());
        QVERIFY(!studio.editModel());
        QVERIFY(!studio.result());
    }

    // Progress and messages are part of a phase's identity; an equal phase
    // publishes nothing, so views and the window rule see real changes only.
    void phaseChangesArePublishedOnlyWhenDifferent() {
        VideoStudioController studio;
        QSignalSpy changed(&studio, &VideoStudioController::phaseChanged);
        studio.setPhase(Phase::idle());
        QCOMPARE(changed.size(), 0);
        studio.setPhase(Phase::preparing(0.08));
        studio.setPhase(Phase::preparing(0.08));
        QCOMPARE(changed.size(), 1);
        studio.setPhase(Phase::preparing(0.45));
        QCOMPARE(changed.size(), 2);
        QCOMPARE(studio.phaseProgress(), 0.45);
        QCOMPARE(studio.phaseName(), QString("preparing"));
        studio.setPhase(Phase::uploading(0.45));
        QCOMPARE(changed.size(), 3);
        studio.setPhase(Phase::error("a"));
        studio.setPhase(Phase::error("a"));
        studio.setPhase(Phase::error("b"));
        QCOMPARE(changed.size(), 5);
        QCOMPARE(studio.phaseMessage(), QString("b"));
        QVERIFY(Phase::uploading(0.5) != Phase::preparing(0.5));
    }

    void limits_data() {
        QTest::addColumn<int>("maxSeconds");
        QTest::addColumn<double>("maxDuration");
        QTest::addColumn<bool>("userLimited");
        QTest::newRow("no limit") << 0 << 600.0 << false;
        QTest::newRow("negative") << -5 << 600.0 << false;
        QTest::newRow("45 s") << 45 << 45.0 << true;
        QTest::newRow("the ceiling itself") << 600 << 600.0 << true;
        QTest::newRow("above the ceiling") << 900 << 600.0 << true;
    }
    void limits() {
        QFETCH(int, maxSeconds);
        QFETCH(double, maxDuration);
        QFETCH(bool, userLimited);
        VideoStudioController studio;
        studio.applyLimit(30); // a previous attempt's limit does not stick
        studio.applyLimit(maxSeconds);
        QCOMPARE(studio.maxDuration(), maxDuration);
        QCOMPARE(studio.userLimited(), userLimited);
    }

    void countdownIsUndefinedOutsideTheCountdown() {
        VideoStudioController studio;
        QSignalSpy changed(&studio, &VideoStudioController::countdownChanged);
        studio.setCountdown(3);
        studio.setCountdown(3);
        QCOMPARE(studio.countdownValue(), QVariant(3));
        studio.setCountdown(std::nullopt);
        QVERIFY(!studio.countdownValue().isValid());
        QCOMPARE(changed.size(), 2);
    }

    void dismissingLeavesOnlyAnErrorForIdle() {
        VideoStudioController studio;
        studio.setPhase(Phase::recording());
        studio.dismissError();
        QCOMPARE(studio.phaseCase(), PhaseCase::Recording);
        studio.setPhase(Phase::error("The camera failed to start recording — try again."));
        studio.dismissError();
        QCOMPARE(studio.phaseCase(), PhaseCase::Idle);
    }

    void openAndCloseARecording_data() {
        QTest::addColumn<bool>("deleteFiles");
        QTest::newRow("keeping the files") << false;
        QTest::newRow("deleting the files") << true;
    }
    void openAndCloseARecording() {
        QFETCH(bool, deleteFiles);
        QTemporaryDir dir;
        const QString movie = dir.filePath("take.mov");
        {
            QFile file(movie);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(2048, 'x'));
        }
        VideoStudioController studio;
        QSignalSpy models(&studio, &VideoStudioController::editModelChanged);
        RecordingResult result;
        result.cameraURL = QUrl::fromLocalFile(movie);
        result.duration = 12.5;
        studio.openRecording(result);
        QCOMPARE(studio.phaseCase(), PhaseCase::Editing);
        QVERIFY(studio.editModel());
        QCOMPARE(studio.editModel()->result().cameraURL, result.cameraURL);
        QCOMPARE(models.size(), 1);

        const QPointer<VideoEditModel> model = studio.editModel();
        studio.setPhase(Phase::uploading(0.3));
        studio.closeEditor(deleteFiles);
        QCOMPARE(studio.phaseCase(), PhaseCase::Idle);
        QVERIFY(!studio.editModel());
        QVERIFY(!studio.result());
        QCOMPARE(models.size(), 2);
        QCOMPARE(QFile::exists(movie), !deleteFiles);
        // The model goes once the views had their chance to let go of it.
        QVERIFY(model);
        QTRY_VERIFY(!model);

        // Opening another recording over an open one replaces the model; the
        // old one also goes only once the views have let go.
        studio.openRecording(result);
        const QPointer<VideoEditModel> replaced = studio.editModel();
        RecordingResult next = result;
        next.duration = 4;
        studio.openRecording(next);
        QVERIFY(replaced);
        QVERIFY(studio.editModel() != replaced.data());
        QCOMPARE(studio.editModel()->result().duration, 4.0);
        QTRY_VERIFY(!replaced);
        studio.closeEditor(false);

        // Closing with nothing open only returns to idle.
        studio.setPhase(Phase::error("x"));
        studio.closeEditor(true);
        QCOMPARE(studio.phaseCase(), PhaseCase::Idle);
        QCOMPARE(models.size(), 5);
    }
};

QTEST_GUILESS_MAIN(TestVideoStudioController)
#include "tst_videostudiocontroller.moc"
