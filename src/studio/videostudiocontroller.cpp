#include "studio/videostudiocontroller.h"

#include "recording/videolog.h"
#include "video/videoeditmodel.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaEnum>
#include <QPointer>

#include <algorithm>

namespace tolvane {

namespace {

const char* const screenMessage =
    "Screen recording lands in the next milestone \u2014 camera only for now.";
const char* const accessMessage =
    "Couldn't open the camera or microphone. Check that they are connected and not used by "
    "another app.";
const char* const startMessage = "The camera failed to start recording \u2014 try again.";
const char* const noFileMessage = "The recording didn't produce a usable file \u2014 try again.";

QString text(const char* message) {
    return QString::fromUtf8(message);
}

} // namespace

VideoStudioController::VideoStudioController(QObject* parent)
    : QObject(parent) {}

VideoStudioController::~VideoStudioController() {
    cancelCapTask();
    if (m_backgroundTask) {
        m_backgroundTask->cancel();
    }
    if (m_camera) {
        m_camera->discard();
        delete m_camera;
    }
}

void VideoStudioController::setCamera(CameraRecorder* camera) {
    if (camera == m_camera) {
        return;
    }
    m_camera = camera;
    Q_EMIT cameraChanged();
}

void VideoStudioController::releaseCamera() {
    if (CameraRecorder* old = m_camera) {
        setCamera(nullptr);
        // Views bound to it let go first.
        old->deleteLater();
    }
}

void VideoStudioController::setHudVisible(bool visible) {
    if (visible != m_hudVisible) {
        m_hudVisible = visible;
        Q_EMIT hudVisibleChanged();
    }
}

void VideoStudioController::cancelCapTask() {
    if (m_capTask) {
        m_capTask->cancel();
        m_capTask.reset();
    }
}

QCoro::Task<void> VideoStudioController::runCapTask(CancelHandle cancel, double seconds) {
    QPointer<VideoStudioController> self(this);
    CancellableSleep wait(std::chrono::milliseconds(qint64(seconds * 1000)), cancel);
    const bool cancelled = co_await wait;
    if (cancelled || !self) {
        co_return;
    }
    auto stopping = self->stopAndEdit();
    co_await stopping;
}

QCoro::Task<void> VideoStudioController::begin(CaptureMode mode, int maxSeconds) {
    if (m_phase.kind() != PhaseCase::Idle && m_phase.kind() != PhaseCase::Error) {
        co_return;
    }
    if (mode != CaptureMode::camera) {
        setPhase(Phase::error(text(screenMessage)));
        co_return;
    }
    m_mode = CaptureMode::camera;
    applyLimit(maxSeconds);
    QPointer<VideoStudioController> self(this);

    CameraRecorder* recorder = m_recorderFactory ? m_recorderFactory() : new CameraRecorder();
    recorder->setParent(this);
    setCamera(recorder);
    QPointer<CameraRecorder> camera(recorder);
    auto warming = recorder->warmUp();
    const bool warm = co_await warming;
    if (!self) {
        co_return;
    }
    if (!warm) {
        if (m_camera == camera) {
            releaseCamera();
            setPhase(Phase::error(text(accessMessage)));
        }
        co_return;
    }
    if (m_camera != camera) {
        // Discarded while warming up.
        co_return;
    }
    setPhase(Phase::countingDown());
    setHudVisible(true);

    for (int value = 3; value >= 1; --value) {
        setCountdown(value);
        CancellableSleep tick(std::chrono::milliseconds(1000), CancelHandle());
        co_await tick;
        if (!self) {
            co_return;
        }
        if (m_phase.kind() != PhaseCase::CountingDown) {
            setCountdown(std::nullopt);
            co_return;
        }
    }
    setCountdown(std::nullopt);

    auto starting = recorder->start();
    const bool started = co_await starting;
    if (!self) {
        co_return;
    }
    if (!started || m_camera != camera) {
        // A discard while the start was pending lands here too: the attempt
        // ends with the start message in place of `idle`.
        setHudVisible(false);
        if (m_camera == camera) {
            releaseCamera();
        }
        setPhase(Phase::error(text(startMessage)));
        co_return;
    }
    setPhase(Phase::recording());
    cancelCapTask();
    m_capTask = CancelToken::create();
    runCapTask(m_capTask, m_maxDuration);
}

QCoro::Task<void> VideoStudioController::stopAndEdit() {
    if (m_phase.kind() != PhaseCase::Recording || !m_camera) {
        co_return;
    }
    QPointer<VideoStudioController> self(this);
    cancelCapTask();
    setHudVisible(false);
    QPointer<CameraRecorder> camera(m_camera);
    const double elapsed = m_camera->elapsed();
    const std::optional<MediaTime> startHostTime = m_camera->startHostTime();

    setPhase(Phase::preparing(0.08));
    auto stopping = m_camera->stop();
    const std::optional<QUrl> file = co_await stopping;
    if (!self || m_camera != camera) {
        // Discarded meanwhile.
        co_return;
    }
    if (!file) {
        releaseCamera();
        setPhase(Phase::error(text(noFileMessage)));
        co_return;
    }
    setPhase(Phase::preparing(0.45));
    const QString path = file->toLocalFile();
    qCInfo(lcVideo, "TOLVANE-VIDEO validation start: %s", qPrintable(QFileInfo(path).fileName()));
    auto validating = validateRecording(path, m_validation);
    const Expected<double, RecordedVideoError> validation = co_await validating;
    if (!self || m_camera != camera) {
        co_return;
    }
    if (!validation) {
        const QString message = validation.error().description();
        qCInfo(lcVideo, "TOLVANE-VIDEO validation failed: %s", qPrintable(message));
        QFile::remove(path);
        releaseCamera();
        setPhase(Phase::error(message));
        co_return;
    }
    const double duration = validation.value();
    qCInfo(lcVideo, "TOLVANE-VIDEO validation ok, duration=%f", duration);
    releaseCamera();

    QUrl movie = *file;
    const std::optional<BackgroundReplacer::Mode> background =
        m_backgroundChoice ? m_backgroundChoice() : std::nullopt;
    if (background) {
        auto replacing = replaceBackground(movie, *background);
        const std::optional<QUrl> replaced = co_await replacing;
        if (!self || !replaced) {
            co_return;
        }
        movie = *replaced;
    }

    setPhase(Phase::preparing(0.95));
    RecordingResult result;
    result.mode = m_mode;
    result.cameraURL = movie;
    result.cameraStartHostTime = startHostTime;
    result.duration = std::max(duration, elapsed);
    openRecording(std::move(result));
}

QCoro::Task<std::optional<QUrl>>
VideoStudioController::replaceBackground(QUrl movie, BackgroundReplacer::Mode mode) {
    QPointer<VideoStudioController> self(this);
    qCInfo(lcVideo, "TOLVANE-VIDEO background processing start");
    // In place before the phase is published: a discard may come from any
    // view that sees it.
    const CancelHandle cancel = CancelToken::create();
    m_backgroundTask = cancel;
    setPhase(Phase::preparing(0.5));
    auto progress = [self, cancel](double p) {
        if (self && !cancel->isCancelled() && self->m_phase.kind() == PhaseCase::Preparing) {
            self->setPhase(Phase::preparing(0.5 + 0.45 * std::clamp(p, 0.0, 1.0)));
        }
    };
    auto processing =
        BackgroundReplacer::process(movie, std::move(mode), progress, cancel, m_backgroundOptions);
    const JobResult<QUrl> replaced = co_await processing;
    if (!self || cancel->isCancelled()) {
        // Discarded: the replacement removed its partial file; the recording
        // has no owner left but this attempt.
        if (replaced) {
            QFile::remove(replaced->toLocalFile());
        }
        QFile::remove(movie.toLocalFile());
        co_return std::nullopt;
    }
    m_backgroundTask.reset();
    if (!replaced) {
        qCInfo(lcVideo, "TOLVANE-VIDEO background processing failed: %s",
               qPrintable(replaced.error().description));
        co_return std::optional<QUrl>(movie);
    }
    qCInfo(lcVideo, "TOLVANE-VIDEO background processing done");
    // The editor works on the replaced file from now on, and the result's
    // clean-up knows only that one: the recording would stay behind.
    QFile::remove(movie.toLocalFile());
    co_return std::optional<QUrl>(*replaced);
}

void VideoStudioController::discardRecording() {
    cancelCapTask();
    if (m_backgroundTask) {
        m_backgroundTask->cancel();
        m_backgroundTask.reset();
    }
    setHudVisible(false);
    if (m_camera) {
        m_camera->discard();
        releaseCamera();
    }
    setCountdown(std::nullopt);
    setPhase(Phase::idle());
}

void VideoStudioController::recordCamera(int maxSeconds) {
    begin(CaptureMode::camera, maxSeconds);
}

void VideoStudioController::stop() {
    stopAndEdit();
}

QString VideoStudioController::phaseName() const {
    QString name = QString::fromLatin1(
        QMetaEnum::fromType<PhaseCase>().valueToKey(static_cast<int>(m_phase.kind())));
    name[0] = name[0].toLower();
    return name;
}

void VideoStudioController::setPhase(Phase phase) {
    if (phase == m_phase) {
        return;
    }
    m_phase = std::move(phase);
    Q_EMIT phaseChanged();
}

void VideoStudioController::setCountdown(std::optional<int> value) {
    if (value == m_countdown) {
        return;
    }
    m_countdown = value;
    Q_EMIT countdownChanged();
}

void VideoStudioController::applyLimit(int maxSeconds) {
    const bool limited = maxSeconds > 0;
    const double duration =
        limited && maxSeconds <= maximumDuration ? double(maxSeconds) : maximumDuration;
    if (limited == m_userLimited && duration == m_maxDuration) {
        return;
    }
    m_userLimited = limited;
    m_maxDuration = duration;
    Q_EMIT limitChanged();
}

void VideoStudioController::openRecording(RecordingResult result) {
    m_result = std::move(result);
    if (m_editModel) {
        m_editModel.release()->deleteLater();
    }
    m_editModel = std::make_unique<VideoEditModel>(*m_result);
    Q_EMIT editModelChanged();
    setPhase(Phase::editing());
    qCInfo(lcVideo, "TOLVANE-VIDEO editor opened");
}

void VideoStudioController::closeEditor(bool deleteFiles) {
    if (deleteFiles && m_result) {
        m_result->cleanup();
    }
    m_result.reset();
    // The editor's views may still hold the model while this signal is
    // delivered; it goes once they have let go.
    if (m_editModel) {
        m_editModel.release()->deleteLater();
        Q_EMIT editModelChanged();
    }
    setPhase(Phase::idle());
}

void VideoStudioController::dismissError() {
    if (m_phase.kind() == PhaseCase::Error) {
        setPhase(Phase::idle());
    }
}

} // namespace tolvane
