#pragma once

#include "platform/cancellation.h"
#include "recording/camerarecorder.h"
#include "recording/capturemode.h"
#include "recording/recordingresult.h"
#include "recording/recordingvalidation.h"
#include "video/backgroundreplacer.h"

#include <QCoro/QCoroTask>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace tolvane {

class VideoEditModel;

// The studio's visible state, from the record action to the open editor. One
// shared object for the whole run, on the main thread. The chat composer
// starts recordings through it, the editor moves it through exporting and
// uploading, and the root window opens the studio window when it reaches
// `preparing` or `editing`.
class VideoStudioController : public QObject {
    Q_OBJECT
    Q_MOC_INCLUDE("video/videoeditmodel.h")
    Q_PROPERTY(PhaseCase phase READ phaseCase NOTIFY phaseChanged)
    // The progress of `preparing` and `uploading`, 0...1; 0 otherwise.
    Q_PROPERTY(double phaseProgress READ phaseProgress NOTIFY phaseChanged)
    // The message of `error`; empty otherwise.
    Q_PROPERTY(QString phaseMessage READ phaseMessage NOTIFY phaseChanged)
    // The number shown during the countdown; undefined outside it.
    Q_PROPERTY(QVariant countdown READ countdownValue NOTIFY countdownChanged)
    Q_PROPERTY(tolvane::VideoEditModel* editModel READ editModel NOTIFY editModelChanged)
    Q_PROPERTY(double maxDuration READ maxDuration NOTIFY limitChanged)
    Q_PROPERTY(bool userLimited READ userLimited NOTIFY limitChanged)
    // The recorder of the current attempt (its live picture and seconds).
    Q_PROPERTY(CameraRecorder* camera READ camera NOTIFY cameraChanged)
    // Whether the recording window is up: from the start of the countdown
    // until the recording stops, fails to start or is discarded.
    Q_PROPERTY(bool hudVisible READ hudVisible NOTIFY hudVisibleChanged)

public:
    // Upper-case, so the views can name them (`Studio.Preparing`).
    enum class PhaseCase {
        Idle,
        CountingDown, // camera warm, HUD shown, counting 3-2-1
        Recording,
        Preparing, // stopping, validating, background processing
        Editing,
        Exporting,
        Uploading,
        Error, // the last attempt failed; the message is shown
    };
    Q_ENUM(PhaseCase)

    // A phase with its payload. Two phases are equal when their cases are and,
    // for `preparing` and `uploading`, their progress, and for `error`, their
    // messages.
    class Phase {
    public:
        Phase() = default;
        static Phase idle() { return Phase(PhaseCase::Idle); }
        static Phase countingDown() { return Phase(PhaseCase::CountingDown); }
        static Phase recording() { return Phase(PhaseCase::Recording); }
        static Phase preparing(double progress) { return Phase(PhaseCase::Preparing, progress); }
        static Phase editing() { return Phase(PhaseCase::Editing); }
        static Phase exporting() { return Phase(PhaseCase::Exporting); }
        static Phase uploading(double progress) { return Phase(PhaseCase::Uploading, progress); }
        static Phase error(QString message) {
            return Phase(PhaseCase::Error, 0, std::move(message));
        }

        PhaseCase kind() const { return m_case; }
        double progress() const { return m_progress; }
        const QString& message() const { return m_message; }

        friend bool operator==(const Phase& a, const Phase& b) {
            return a.m_case == b.m_case && a.m_progress == b.m_progress &&
                   a.m_message == b.m_message;
        }

    private:
        explicit Phase(PhaseCase c, double progress = 0, QString message = {})
            : m_case(c)
            , m_progress(progress)
            , m_message(std::move(message)) {}

        PhaseCase m_case = PhaseCase::Idle;
        double m_progress = 0;
        QString m_message;
    };

    // Both the default limit of a recording and its ceiling, in seconds.
    static constexpr double maximumDuration = 600;

    explicit VideoStudioController(QObject* parent = nullptr);
    ~VideoStudioController() override;

    const Phase& phase() const { return m_phase; }
    PhaseCase phaseCase() const { return m_phase.kind(); }
    // The phase's case by name ("idle", "countingDown", ... "error").
    QString phaseName() const;
    double phaseProgress() const { return m_phase.progress(); }
    QString phaseMessage() const { return m_phase.message(); }
    // Setting a phase equal to the current one publishes nothing.
    void setPhase(Phase phase);

    std::optional<int> countdown() const { return m_countdown; }
    QVariant countdownValue() const { return m_countdown ? QVariant(*m_countdown) : QVariant(); }
    void setCountdown(std::optional<int> value);

    CaptureMode mode() const { return m_mode; }
    double maxDuration() const { return m_maxDuration; }
    bool userLimited() const { return m_userLimited; }
    // Applies the user's length setting to the next attempt: above 0 limits
    // the recording, to at most the ceiling; 0 or below means the ceiling.
    void applyLimit(int maxSeconds);

    const std::optional<RecordingResult>& result() const { return m_result; }
    VideoEditModel* editModel() const { return m_editModel.get(); }

    CameraRecorder* camera() const { return m_camera; }
    bool hudVisible() const { return m_hudVisible; }

    // Starts an attempt: warm-up, the 3-2-1 countdown, then recording until
    // stopAndEdit(), the length limit or discardRecording(). Only from `idle`
    // or `error`; only camera capture is offered.
    QCoro::Task<void> begin(CaptureMode mode, int maxSeconds);
    // Stops the recording, checks the file and opens it in the editor.
    QCoro::Task<void> stopAndEdit();
    // Abandons the attempt at any moment and returns to `idle`.
    Q_INVOKABLE void discardRecording();
    // The composer's "Record Camera" and the HUD's stop button.
    Q_INVOKABLE void recordCamera(int maxSeconds);
    Q_INVOKABLE void stop();

    // Test seams: how recorders are made and how files are checked.
    using RecorderFactory = std::function<CameraRecorder*()>;
    void setRecorderFactory(RecorderFactory factory) { m_recorderFactory = std::move(factory); }
    void setValidationOptions(RecordingValidationOptions options) {
        m_validation = std::move(options);
    }
    // Where the background chosen for recordings is read; without one every
    // recording goes to the editor as recorded.
    using BackgroundChoice = std::function<std::optional<BackgroundReplacer::Mode>()>;
    void setBackgroundChoice(BackgroundChoice choice) { m_backgroundChoice = std::move(choice); }
    void setBackgroundOptions(BackgroundReplacer::Options options) {
        m_backgroundOptions = std::move(options);
    }

    // Opens a validated recording in the editor: keeps it, makes its edit
    // state and moves to `editing`.
    void openRecording(RecordingResult result);
    // Drops the open recording (deleting its movie files when asked) and
    // returns to `idle`.
    Q_INVOKABLE void closeEditor(bool deleteFiles);
    // The chat's error row: clicking it returns an `error` to `idle`.
    Q_INVOKABLE void dismissError();

Q_SIGNALS:
    void phaseChanged();
    void countdownChanged();
    void editModelChanged();
    void limitChanged();
    void cameraChanged();
    void hudVisibleChanged();

private:
    void setCamera(CameraRecorder* camera);
    void releaseCamera();
    void setHudVisible(bool visible);
    void cancelCapTask();
    QCoro::Task<void> runCapTask(CancelHandle cancel, double seconds);
    // The background replacement of a validated recording: the replaced file,
    // the recording itself when replacement fails, or nothing when the
    // attempt was discarded meanwhile (both files are gone then).
    QCoro::Task<std::optional<QUrl>> replaceBackground(QUrl movie, BackgroundReplacer::Mode mode);

    Phase m_phase;
    std::optional<int> m_countdown;
    CaptureMode m_mode = CaptureMode::camera;
    std::optional<RecordingResult> m_result;
    std::unique_ptr<VideoEditModel> m_editModel;
    double m_maxDuration = maximumDuration;
    bool m_userLimited = false;
    CameraRecorder* m_camera = nullptr;
    bool m_hudVisible = false;
    CancelHandle m_capTask;
    RecorderFactory m_recorderFactory;
    RecordingValidationOptions m_validation;
    BackgroundChoice m_backgroundChoice;
    BackgroundReplacer::Options m_backgroundOptions;
    // Cancelled by a discard while the background is replaced.
    CancelHandle m_backgroundTask;
};

} // namespace tolvane
