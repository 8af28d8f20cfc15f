#include "studio/videoeditormodel.h"

#include "conversation/conversationstore.h"
#include "platform/filereveal.h"
#include "service/appsettings.h"
#include "studio/videostudiocontroller.h"
#include "video/captiongenerator.h"
#include "video/hookimage.h"
#include "video/videoeditmodel.h"
#include "video/videorenderer.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoro/QCoroFuture>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

// The play/pause button restarts a preview that stands this close to its end.
constexpr double endTolerance = 0.05;
// previewProgress never divides by less.
constexpr double shortestStretch = 0.001;
constexpr qint64 copyChunk = 1 << 20;

const QString saveDomain = u"VideoSaver"_s;

MediaError saveError(const QString& destination, const QString& reason) {
    return MediaError{saveDomain, 1,
                      u"Couldn't save the video as \u201c%1\u201d: %2"_s.arg(
                          QFileInfo(destination).fileName(), reason)};
}

// Copies the exported short to `destination` through a temporary file beside
// it that replaces any file there only once complete, so a full disk or a
// cancel never costs the user the file they chose to overwrite. The export is
// removed in every case. Blocking.
Expected<Done, MediaError> replaceWithExport(const QString& exported, const QString& destination,
                                             const CancelHandle& task) {
    const auto finish = [&exported](Expected<Done, MediaError> result) {
        QFile::remove(exported);
        return result;
    };
    QFile source(exported);
    if (!source.open(QIODevice::ReadOnly)) {
        return finish(Unexpected(saveError(destination, source.errorString())));
    }
    QSaveFile target(destination);
    target.setDirectWriteFallback(false);
    if (!target.open(QIODevice::WriteOnly)) {
        return finish(Unexpected(saveError(destination, target.errorString())));
    }
    QByteArray buffer;
    while (!source.atEnd()) {
        if (isCancelled(task)) {
            target.cancelWriting();
            return finish(Unexpected(MediaError::cancelled()));
        }
        buffer = source.read(copyChunk);
        if (buffer.isEmpty() && source.error() != QFileDevice::NoError) {
            target.cancelWriting();
            return finish(Unexpected(saveError(destination, source.errorString())));
        }
        if (target.write(buffer) != buffer.size()) {
            const QString reason = target.errorString();
            target.cancelWriting();
            return finish(Unexpected(saveError(destination, reason)));
        }
    }
    if (!target.commit()) {
        return finish(Unexpected(saveError(destination, target.errorString())));
    }
    return finish(Done{});
}

QString htmlEscaped(const QString& text) {
    return text.toHtmlEscaped();
}

} // namespace

VideoEditorModel::VideoEditorModel(VideoStudioController& studio, ConversationStore& conversation,
                                   AppSettings& settings, ServiceEndpoints endpoints,
                                   QObject* parent)
    : QObject(parent)
    , m_studio(studio)
    , m_conversation(conversation)
    , m_settings(&settings)
    , m_endpoints(std::move(endpoints))
    , m_captionRunner(&CaptionGenerator::generate)
    , m_revealer([](const QString& path) { revealInFileViewer(path); }) {
    m_observer.setInterval(observerIntervalMs);
    connect(&m_observer, &QTimer::timeout, this, [this] {
        if (m_player) {
            observe(double(m_player->position()) / 1000.0);
        }
    });
    connect(&m_studio, &VideoStudioController::editModelChanged, this,
            &VideoEditorModel::followModel);
    connect(&m_studio, &VideoStudioController::phaseChanged, this, &VideoEditorModel::busyChanged);
    connect(this, &VideoEditorModel::exportProgressChanged, this, &VideoEditorModel::busyChanged);
    followModel();
}

VideoEditorModel::~VideoEditorModel() {
    // Work still running finds itself cancelled and this object gone.
    for (const CancelHandle& task : {m_exportTask, m_captionTask, m_saveTask}) {
        if (task) {
            task->cancel();
        }
    }
}

VideoEditorModel::PlayAction
VideoEditorModel::playAction(bool playing, std::optional<double> duration, double position) {
    if (playing) {
        return PlayAction::pause;
    }
    if (duration && std::isfinite(*duration) && position >= *duration - endTolerance) {
        return PlayAction::restartAndPlay;
    }
    return PlayAction::play;
}

std::optional<QRectF> VideoEditorModel::croppedFrame(QSizeF video, QSizeF view, double cropCenterX,
                                                     double cropZoom) {
    const double w = video.width();
    const double h = video.height();
    if (!(w > 0 && h > 0 && view.height() > 0)) {
        return std::nullopt;
    }
    const double z = std::max(cropZoom, 1.0);
    const double s = z * (view.height() / h);
    const double width = w * s;
    const double height = h * s;
    const double maxX = std::max(0.0, width - view.width());
    const double desired = width * cropCenterX - view.width() / 2;
    const double x = desired <= 0 ? 0.0 : -std::min(desired, maxX);
    const double excess = (height - view.height()) / 2;
    const double y = excess >= 0 ? -excess : 0.0;
    return QRectF(x, y, width, height);
}

double VideoEditorModel::leadingHandleTrim(double x, double width, double duration,
                                           double trimEnd) {
    const double t = width > 0 ? duration * x / width : 0.0;
    // A recording shorter than the minimum gap cannot keep it; the start
    // still never goes below 0.
    return std::max(0.0, std::min(std::max(t, 0.0), trimEnd - minimumKeptLength));
}

double VideoEditorModel::trailingHandleTrim(double x, double width, double duration,
                                            double trimStart) {
    const double t = width > 0 ? duration * x / width : duration;
    return std::min(duration, std::max(std::min(t, duration), trimStart + minimumKeptLength));
}

double VideoEditorModel::progressAt(double t, double trimStart, double trimEnd) {
    const double length = std::max(trimEnd - trimStart, shortestStretch);
    return std::clamp((t - trimStart) / length, 0.0, 1.0);
}

bool VideoEditorModel::isPlaying() const {
    return m_player && m_player->playbackState() == QMediaPlayer::PlayingState;
}

bool VideoEditorModel::progressBarVisible() const {
    return m_model && m_model->effectProgressBar();
}

QString VideoEditorModel::captionHtml() const {
    if (!m_currentCaption) {
        return {};
    }
    const QStringList words = m_currentCaption->text.split(u' ', Qt::SkipEmptyParts);
    QStringList shown;
    shown.reserve(words.size());
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString word = htmlEscaped(words.at(i));
        shown.append(m_currentCaption->highlightedWord == int(i)
                         ? u"<span style=\"color:#FFD60A\">"_s + word + u"</span>"_s
                         : word);
    }
    return shown.join(u' ');
}

bool VideoEditorModel::captionBubble() const {
    return m_model && m_model->captionStyle() == CaptionStyle::bubble;
}

void VideoEditorModel::setPreviewBoxSize(QSizeF size) {
    if (size == m_boxSize) {
        return;
    }
    m_boxSize = size;
    Q_EMIT playerFrameChanged();
}

QRectF VideoEditorModel::playerFrame() const {
    if (m_model) {
        if (auto frame = croppedFrame(m_model->videoSize(), m_boxSize, m_model->cropCenterX(),
                                      m_model->cropZoom())) {
            return *frame;
        }
    }
    return QRectF(QPointF(0, 0), m_boxSize);
}

bool VideoEditorModel::playerFillsBox() const {
    return !m_model || !croppedFrame(m_model->videoSize(), m_boxSize, m_model->cropCenterX(),
                                     m_model->cropZoom());
}

double VideoEditorModel::trimStartFraction() const {
    return m_model && m_model->duration() > 0 ? m_model->trimStart() / m_model->duration() : 0.0;
}

double VideoEditorModel::trimEndFraction() const {
    return m_model && m_model->duration() > 0 ? m_model->trimEnd() / m_model->duration() : 1.0;
}

QStringList VideoEditorModel::captionStyleLabels() const {
    return {Captions::label(CaptionStyle::tiktok), Captions::label(CaptionStyle::bubble)};
}

int VideoEditorModel::captionStyleIndex() const {
    return captionBubble() ? 1 : 0;
}

void VideoEditorModel::setCaptionStyleIndex(int index) {
    if (m_model) {
        m_model->setCaptionStyle(index == 1 ? CaptionStyle::bubble : CaptionStyle::tiktok);
    }
}

QString VideoEditorModel::busyText() const {
    switch (m_studio.phaseCase()) {
    case VideoStudioController::PhaseCase::Exporting:
        return u"Exporting\u2026"_s;
    case VideoStudioController::PhaseCase::Uploading:
        return u"Uploading\u2026"_s;
    default:
        return {};
    }
}

double VideoEditorModel::busyProgress() const {
    switch (m_studio.phaseCase()) {
    case VideoStudioController::PhaseCase::Exporting:
        return m_exportProgress;
    case VideoStudioController::PhaseCase::Uploading:
        return m_studio.phaseProgress();
    default:
        return 0.0;
    }
}

QString VideoEditorModel::proposedFileName() const {
    return u"tolvane-video.mp4"_s;
}

QUrl VideoEditorModel::proposedSaveUrl() const {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QDir::homePath();
    }
    return QUrl::fromLocalFile(QDir(folder).filePath(proposedFileName()));
}

void VideoEditorModel::followModel() {
    VideoEditModel* next = m_studio.editModel();
    if (next == m_model) {
        return;
    }
    if (m_model) {
        disconnect(m_model, nullptr, this, nullptr);
        // Work for the recording that went belongs to nobody now.
        cancelTasks();
    }
    m_model = next;
    m_time = 0.0;
    if (m_model) {
        const auto trim = [this] {
            Q_EMIT trimChanged();
            refreshOverlays();
        };
        connect(m_model, &VideoEditModel::trimStartChanged, this, trim);
        connect(m_model, &VideoEditModel::trimEndChanged, this, trim);
        connect(m_model, &VideoEditModel::durationChanged, this, trim);
        for (auto changed :
             {&VideoEditModel::captionTextChanged, &VideoEditModel::captionSegmentsChanged,
              &VideoEditModel::captionTranscriptChanged, &VideoEditModel::captionsEnabledChanged,
              &VideoEditModel::karaokeHighlightChanged, &VideoEditModel::effectHookChanged,
              &VideoEditModel::hookTextChanged, &VideoEditModel::effectProgressBarChanged}) {
            connect(m_model, changed, this, &VideoEditorModel::refreshOverlays);
        }
        connect(m_model, &VideoEditModel::captionStyleChanged, this, [this] {
            Q_EMIT captionStyleIndexChanged();
            refreshOverlays();
            // The look changes even when the caption does not.
            Q_EMIT overlaysChanged();
        });
        for (auto changed : {&VideoEditModel::videoSizeChanged, &VideoEditModel::cropCenterXChanged,
                             &VideoEditModel::cropZoomChanged}) {
            connect(m_model, changed, this, &VideoEditorModel::playerFrameChanged);
        }
        connect(m_model, &VideoEditModel::playerItemChanged, this,
                &VideoEditorModel::onPlayerItemChanged);
    } else {
        m_observer.stop();
        stopPlayer();
    }
    Q_EMIT modelChanged();
    Q_EMIT trimChanged();
    Q_EMIT playerFrameChanged();
    Q_EMIT captionStyleIndexChanged();
    refreshOverlays();
    Q_EMIT overlaysChanged();
}

void VideoEditorModel::observe(double t) {
    m_time = t;
    refreshOverlays();
}

void VideoEditorModel::refreshOverlays() {
    std::optional<ActiveCaption> caption;
    double progress = 0.0;
    bool hook = false;
    QStringList lines;
    if (m_model) {
        caption = m_model->activeCaption(m_time);
        const double start = m_model->trimStart();
        const double length = std::max(m_model->trimEnd() - start, shortestStretch);
        progress = progressAt(m_time, start, m_model->trimEnd());
        const QString hookText = m_model->hookText().trimmed();
        const double local = m_time - start;
        hook = m_model->effectHook() && !hookText.isEmpty() && local >= 0 && local <= length;
        if (hook) {
            lines = HookImage::lines(hookText);
        }
    }
    const bool changed = caption != m_currentCaption || progress != m_previewProgress ||
                         hook != m_hookVisible || lines != m_hookLines;
    if (!changed) {
        return;
    }
    if (caption && (!m_currentCaption || caption->text != m_currentCaption->text)) {
        ++m_captionKey;
    }
    m_currentCaption = std::move(caption);
    m_previewProgress = progress;
    m_hookVisible = hook;
    m_hookLines = std::move(lines);
    Q_EMIT overlaysChanged();
}

void VideoEditorModel::open() {
    // The view may be created by the very change of the studio's model that
    // this object has not been told about yet (QML bindings hear first).
    followModel();
    if (!m_model) {
        return;
    }
    if (!m_player) {
        m_player = new QMediaPlayer(this);
        m_player->setVideoOutput(m_videoOutput.data());
        // With no sound device the picture plays alone: an audio path with
        // nothing to write to stalls the player.
        if (!QMediaDevices::audioOutputs().isEmpty()) {
            m_audio = new QAudioOutput(this);
            m_player->setAudioOutput(m_audio);
        }
        connect(m_player, &QMediaPlayer::playbackStateChanged, this, [this] {
            if (isPlaying()) {
                m_observer.start();
            } else {
                m_observer.stop();
            }
            Q_EMIT playingChanged();
        });
        // Seeks while paused move the overlays too.
        connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 ms) {
            if (!isPlaying()) {
                observe(double(ms) / 1000.0);
            }
        });
    }
    runOpen(m_model);
}

QCoro::Task<void> VideoEditorModel::runOpen(QPointer<VideoEditModel> model) {
    const QPointer<VideoEditorModel> self(this);
    auto loading = model->load();
    co_await loading;
    if (!self || !model || m_model != model) {
        co_return;
    }
    m_player->setSource(model->playerItem());
    m_player->setPosition(0);
    if (!model->playerItem().isEmpty()) {
        m_player->play();
    }
    // Once per recording: the flag lives in the model, so opening the view
    // again does not transcribe again.
    if (model->captionsEnabled() && !model->captionsAutoRequested() &&
        model->captionText().trimmed().isEmpty()) {
        model->setCaptionsAutoRequested(true);
        regenerateCaptions();
    }
}

void VideoEditorModel::setVideoOutput(QObject* output) {
    m_videoOutput = output;
    if (m_player) {
        m_player->setVideoOutput(output);
    }
}

void VideoEditorModel::onPlayerItemChanged() {
    if (!m_player || !m_model) {
        return;
    }
    const qint64 position = m_player->position();
    m_player->setSource(m_model->playerItem());
    if (!m_model->playerItem().isEmpty()) {
        m_player->setPosition(position);
        m_player->play();
    }
}

void VideoEditorModel::togglePlayback() {
    if (!m_player) {
        return;
    }
    const qint64 duration = m_player->duration();
    const auto action = playAction(
        isPlaying(), duration > 0 ? std::optional<double>(double(duration) / 1000.0) : std::nullopt,
        double(m_player->position()) / 1000.0);
    switch (action) {
    case PlayAction::pause:
        m_player->pause();
        return;
    case PlayAction::restartAndPlay:
        m_player->setPosition(0);
        break;
    case PlayAction::play:
        break;
    }
    m_player->play();
}

void VideoEditorModel::dragLeadingHandle(double x, double width) {
    if (m_model && width > 0) {
        m_model->setTrimStart(leadingHandleTrim(x, width, m_model->duration(), m_model->trimEnd()));
    }
}

void VideoEditorModel::dragTrailingHandle(double x, double width) {
    if (m_model && width > 0) {
        m_model->setTrimEnd(
            trailingHandleTrim(x, width, m_model->duration(), m_model->trimStart()));
    }
}

bool VideoEditorModel::isOpen(const VideoEditModel* model) const {
    return model && m_studio.editModel() == model;
}

void VideoEditorModel::regenerateCaptions() {
    if (!m_model) {
        return;
    }
    if (m_captionTask) {
        m_captionTask->cancel();
    }
    m_captionTask = CancelToken::create();
    setGeneratingCaptions(true);
    setErrorMsg({});
    runCaptions(m_model, m_captionTask);
}

QCoro::Task<void> VideoEditorModel::runCaptions(QPointer<VideoEditModel> model, CancelHandle task) {
    const QPointer<VideoEditorModel> self(this);
    auto generating = m_captionRunner(
        model, task, [self](const VideoEditModel* m) { return self && self->isOpen(m); });
    const Expected<Done, MediaError> result = co_await generating;
    if (!self) {
        co_return;
    }
    if (!result && !result.error().isCancelled() && !isCancelled(task) && isOpen(model)) {
        setErrorMsg(result.error().description);
    }
    // A newer generation owns the flag now.
    if (m_captionTask == task) {
        m_captionTask.reset();
        setGeneratingCaptions(false);
    }
}

QCoro::Task<Expected<QString, MediaError>> VideoEditorModel::render(QPointer<VideoEditModel> model,
                                                                    CancelHandle task) {
    // Taken before the first suspension: this object may be gone after it.
    const QPointer<VideoEditorModel> self(this);
    if (!model || isCancelled(task)) {
        co_return Unexpected(MediaError::cancelled());
    }
    auto building = model->buildComposition(task);
    Expected<Composition, MediaError> composition = co_await building;
    if (!composition) {
        co_return Unexpected(composition.error());
    }
    auto exporting = VideoExporter::exportVideo(
        std::move(*composition),
        [self, task](double p) {
            if (self && (self->m_exportTask == task || self->m_saveTask == task)) {
                self->setExportProgress(p);
            }
        },
        task);
    Expected<QString, MediaError> path = co_await exporting;
    co_return path;
}

void VideoEditorModel::exportAndSend() {
    if (!m_model || m_working) {
        return;
    }
    setWorking(true);
    setErrorMsg({});
    setExportProgress(0);
    m_exportTask = CancelToken::create();
    runSend(m_model, m_exportTask);
}

QCoro::Task<void> VideoEditorModel::runSend(QPointer<VideoEditModel> model, CancelHandle task) {
    const QPointer<VideoEditorModel> self(this);
    std::optional<QString> failure;
    bool cancelled = isCancelled(task);
    if (!cancelled) {
        m_studio.setPhase(VideoStudioController::Phase::exporting());
        auto rendering = render(model, task);
        const Expected<QString, MediaError> exported = co_await rendering;
        if (!self) {
            if (exported) {
                QFile::remove(*exported);
            }
            co_return;
        }
        if (!exported) {
            cancelled = exported.error().isCancelled() || isCancelled(task);
            failure = exported.error().description;
        } else if (isCancelled(task) || !model || !m_settings) {
            QFile::remove(*exported);
            cancelled = true;
        } else {
            m_studio.setPhase(VideoStudioController::Phase::uploading(0));
            const double duration = model->trimEnd() - model->trimStart();
            const APIClient client(*m_settings, m_endpoints);
            auto uploading = client.uploadVideo(
                *exported, duration, QString(),
                [self, task](double p) {
                    if (self && !isCancelled(task) &&
                        self->m_studio.phaseCase() == VideoStudioController::PhaseCase::Uploading) {
                        self->m_studio.setPhase(VideoStudioController::Phase::uploading(p));
                    }
                },
                task);
            const APIResult<qint64> uploaded = co_await uploading;
            if (!self) {
                QFile::remove(*exported);
                co_return;
            }
            if (!uploaded || isCancelled(task)) {
                // Nothing in the chat points at the export; it is ours to remove.
                QFile::remove(*exported);
                cancelled = isCancelled(task) || (!uploaded && uploaded.error().cancelled);
                if (!uploaded) {
                    failure = uploaded.error().description();
                }
            } else {
                m_conversation.appendVideo(QUrl::fromLocalFile(*exported));
                if (isOpen(model)) {
                    stopPlayer();
                    // The export stays: the chat's bubble plays it.
                    m_studio.closeEditor(true);
                }
                Q_EMIT dismissRequested();
            }
        }
    }
    if (cancelled) {
        if (isOpen(model)) {
            stopPlayer();
            m_studio.closeEditor(true);
        }
    } else if (failure && isOpen(model)) {
        setErrorMsg(*failure);
        m_studio.setPhase(VideoStudioController::Phase::editing());
    }
    if (m_exportTask == task) {
        m_exportTask.reset();
        setWorking(false);
    }
}

void VideoEditorModel::saveTo(const QUrl& destination) {
    if (!m_model || m_working || !destination.isLocalFile()) {
        return;
    }
    setWorking(true);
    setErrorMsg({});
    setExportProgress(0);
    if (m_player) {
        m_player->pause();
    }
    m_saveTask = CancelToken::create();
    runSave(m_model, m_saveTask, destination.toLocalFile());
}

QCoro::Task<void> VideoEditorModel::runSave(QPointer<VideoEditModel> model, CancelHandle task,
                                            QString destination) {
    const QPointer<VideoEditorModel> self(this);
    m_studio.setPhase(VideoStudioController::Phase::exporting());
    auto rendering = render(model, task);
    const Expected<QString, MediaError> exported = co_await rendering;
    Expected<Done, MediaError> saved = Unexpected(MediaError::cancelled());
    if (!exported) {
        saved = Unexpected(exported.error());
    } else {
        QFuture<Expected<Done, MediaError>> copying =
            QtConcurrent::run([source = *exported, destination, task] {
                return replaceWithExport(source, destination, task);
            });
        saved = co_await copying;
    }
    if (!self) {
        co_return;
    }
    if (isOpen(model)) {
        m_studio.setPhase(VideoStudioController::Phase::editing());
        if (saved) {
            m_revealer(destination);
        } else if (!saved.error().isCancelled() && !isCancelled(task)) {
            setErrorMsg(saved.error().description);
        }
    }
    if (m_saveTask == task) {
        m_saveTask.reset();
        setWorking(false);
    }
}

void VideoEditorModel::cancelTasks() {
    for (CancelHandle* task : {&m_exportTask, &m_captionTask, &m_saveTask}) {
        if (*task) {
            (*task)->cancel();
            task->reset();
        }
    }
    setWorking(false);
    setGeneratingCaptions(false);
}

void VideoEditorModel::stopPlayer() {
    if (m_player) {
        m_player->pause();
        m_player->setSource(QUrl());
    }
}

void VideoEditorModel::discard() {
    cancelTasks();
    m_observer.stop();
    stopPlayer();
    m_studio.closeEditor(true);
    Q_EMIT dismissRequested();
}

void VideoEditorModel::windowClosed() {
    m_observer.stop();
    if (m_studio.editModel()) {
        cancelTasks();
        stopPlayer();
        m_studio.closeEditor(true);
    }
}

void VideoEditorModel::setExportProgress(double value) {
    if (value != m_exportProgress) {
        m_exportProgress = value;
        Q_EMIT exportProgressChanged();
    }
}

void VideoEditorModel::setWorking(bool value) {
    if (value != m_working) {
        m_working = value;
        Q_EMIT workingChanged();
    }
}

void VideoEditorModel::setGeneratingCaptions(bool value) {
    if (value != m_generatingCaptions) {
        m_generatingCaptions = value;
        Q_EMIT generatingCaptionsChanged();
    }
}

void VideoEditorModel::setErrorMsg(const QString& value) {
    if (value != m_errorMsg) {
        m_errorMsg = value;
        Q_EMIT errorMsgChanged();
    }
}

} // namespace tolvane
