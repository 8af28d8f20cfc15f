#include "studio/recordinghudmodel.h"

#include "platform/capturebackend.h"
#include "recording/camerarecorder.h"
#include "studio/videostudiocontroller.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tolvane {

RecordingHudModel::RecordingHudModel(VideoStudioController& studio, QObject* parent)
    : QObject(parent)
    , m_studio(studio) {
    connect(&studio, &VideoStudioController::hudVisibleChanged, this,
            &RecordingHudModel::visibleChanged);
    connect(&studio, &VideoStudioController::countdownChanged, this,
            &RecordingHudModel::countdownChanged);
    connect(&studio, &VideoStudioController::cameraChanged, this, &RecordingHudModel::followCamera);
    connect(&studio, &VideoStudioController::limitChanged, this, &RecordingHudModel::updateTime);
    followCamera();
}

RecordingHudModel::~RecordingHudModel() {
    disconnect(m_frames);
}

bool RecordingHudModel::visible() const {
    return m_studio.hudVisible();
}

bool RecordingHudModel::countingDown() const {
    return m_studio.countdown().has_value();
}

int RecordingHudModel::countdown() const {
    return m_studio.countdown().value_or(0);
}

QString RecordingHudModel::pictureSource() const {
    if (!m_hasPicture) {
        return QString();
    }
    return u"image://%1/%2"_s.arg(providerId).arg(m_serial);
}

std::shared_ptr<PreviewFrames> RecordingHudModel::previewFrames() const {
    return m_preview;
}

void RecordingHudModel::followCamera() {
    CameraRecorder* camera = m_studio.camera();
    if (camera != m_camera) {
        disconnect(m_cameraPreview);
        disconnect(m_cameraElapsed);
        m_camera = camera;
        if (camera) {
            m_cameraPreview = connect(camera, &CameraRecorder::previewChanged, this,
                                      &RecordingHudModel::followPreview);
            m_cameraElapsed = connect(camera, &CameraRecorder::elapsedChanged, this,
                                      &RecordingHudModel::updateTime);
        }
    }
    followPreview();
    updateTime();
}

void RecordingHudModel::followPreview() {
    std::shared_ptr<PreviewFrames> frames = m_camera ? m_camera->previewLayer() : nullptr;
    if (frames == m_preview) {
        return;
    }
    disconnect(m_frames);
    m_preview = std::move(frames);
    const bool hadPicture = m_hasPicture;
    m_hasPicture = false;
    if (m_preview) {
        // Published on the capture thread; queued here, so the main thread
        // only learns that a picture is ready and never touches its pixels.
        m_frames = connect(m_preview.get(), &PreviewFrames::frameReady, this, [this] {
            m_hasPicture = true;
            ++m_serial;
            Q_EMIT pictureChanged();
        });
    }
    Q_EMIT previewFramesChanged();
    if (hadPicture) {
        Q_EMIT pictureChanged();
    }
}

void RecordingHudModel::updateTime() {
    const double elapsed = m_camera ? m_camera->elapsed() : 0.0;
    const QString text =
        clockText(shownSeconds(elapsed, m_studio.maxDuration(), m_studio.userLimited()));
    if (text != m_timeText) {
        m_timeText = text;
        Q_EMIT timeTextChanged();
    }
}

QString RecordingHudModel::clockText(double seconds) {
    const qint64 whole = std::isfinite(seconds) && seconds > 0 ? qint64(seconds) : 0;
    return QString::asprintf("%d:%02d", int(whole / 60), int(whole % 60));
}

double RecordingHudModel::shownSeconds(double elapsed, double maxDuration, bool userLimited) {
    return userLimited ? std::max(0.0, maxDuration - elapsed) : elapsed;
}

std::optional<QPoint> RecordingHudModel::centredOrigin(std::optional<QRect> visibleFrame) {
    if (!visibleFrame) {
        return std::nullopt;
    }
    const int centreX = visibleFrame->x() + visibleFrame->width() / 2;
    const int centreY = visibleFrame->y() + visibleFrame->height() / 2;
    return QPoint(centreX - windowSize.width() / 2, centreY - windowSize.height() / 2);
}

QVariant RecordingHudModel::placement() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const auto origin =
        centredOrigin(screen ? std::optional(screen->availableGeometry()) : std::nullopt);
    return origin ? QVariant(*origin) : QVariant();
}

void RecordingHudModel::discard() {
    m_studio.discardRecording();
}

void RecordingHudModel::stop() {
    m_studio.stop();
}

} // namespace tolvane
