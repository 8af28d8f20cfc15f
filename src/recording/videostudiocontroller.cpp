#include "recording/videostudiocontroller.h"

#include "video/videoeditmodel.h"

#include <QLoggingCategory>
#include <QMetaEnum>

namespace tolvane {

namespace {
Q_LOGGING_CATEGORY(lcVideo, "tolvane.video")
} // namespace

VideoStudioController::VideoStudioController(QObject* parent)
    : QObject(parent) {}

VideoStudioController::~VideoStudioController() = default;

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
