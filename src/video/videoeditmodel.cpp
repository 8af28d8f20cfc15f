#include "video/videoeditmodel.h"

#include "platform/mediajob.h"
#include "video/compositionbuilder.h"
#include "video/filmstrip.h"

#include <QFutureWatcher>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoro/QCoroFuture>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

// The shortest duration a model works with; a recording reported as empty
// still gets a usable timeline.
constexpr double shortestDuration = 0.1;

const QString noSourcePath = u"/dev/null"_s;

QUrl sourceUrlOf(const RecordingResult& result) {
    if (result.screenURL) {
        return *result.screenURL;
    }
    if (result.cameraURL) {
        return *result.cameraURL;
    }
    return QUrl::fromLocalFile(noSourcePath);
}

double usableDuration(double seconds) {
    return std::isfinite(seconds) && seconds > shortestDuration ? seconds : shortestDuration;
}

} // namespace

VideoEditModel::VideoEditModel(RecordingResult result, QObject* parent)
    : QObject(parent)
    , m_result(std::move(result))
    , m_sourceUrl(sourceUrlOf(m_result))
    , m_asset(m_sourceUrl.isLocalFile() ? m_sourceUrl.toLocalFile() : QString())
    , m_duration(usableDuration(m_result.duration))
    , m_trimEnd(m_duration)
    , m_playerItem(m_sourceUrl) {}

VideoEditModel::~VideoEditModel() {
    // Lets a running generation stop at its next frame instead of finishing
    // for nobody.
    if (m_filmstripTask) {
        m_filmstripTask->cancel();
    }
}

template <typename T>
void VideoEditModel::assign(T& member, const T& value, void (VideoEditModel::*changed)()) {
    if (member == value) {
        return;
    }
    member = value;
    Q_EMIT(this->*changed)();
}

void VideoEditModel::setDuration(double value) {
    assign(m_duration, value, &VideoEditModel::durationChanged);
}
void VideoEditModel::setTrimStart(double value) {
    assign(m_trimStart, value, &VideoEditModel::trimStartChanged);
}
void VideoEditModel::setTrimEnd(double value) {
    assign(m_trimEnd, value, &VideoEditModel::trimEndChanged);
}
void VideoEditModel::setCropCenterX(double value) {
    assign(m_cropCenterX, value, &VideoEditModel::cropCenterXChanged);
}
void VideoEditModel::setCropZoom(double value) {
    assign(m_cropZoom, value, &VideoEditModel::cropZoomChanged);
}
void VideoEditModel::setCaptionText(const QString& value) {
    assign(m_captionText, value, &VideoEditModel::captionTextChanged);
}
void VideoEditModel::setCaptionSegments(const QList<OnDeviceTranscriber::Segment>& value) {
    assign(m_captionSegments, value, &VideoEditModel::captionSegmentsChanged);
}
void VideoEditModel::setCaptionTranscript(const QString& value) {
    assign(m_captionTranscript, value, &VideoEditModel::captionTranscriptChanged);
}
void VideoEditModel::setCaptionTrimStart(double value) {
    assign(m_captionTrimStart, value, &VideoEditModel::captionTrimStartChanged);
}
void VideoEditModel::setCaptionTrimEnd(double value) {
    assign(m_captionTrimEnd, value, &VideoEditModel::captionTrimEndChanged);
}
void VideoEditModel::setCaptionsAutoRequested(bool value) {
    assign(m_captionsAutoRequested, value, &VideoEditModel::captionsAutoRequestedChanged);
}
void VideoEditModel::setCaptionsEnabled(bool value) {
    assign(m_captionsEnabled, value, &VideoEditModel::captionsEnabledChanged);
}
void VideoEditModel::setKaraokeHighlight(bool value) {
    assign(m_karaokeHighlight, value, &VideoEditModel::karaokeHighlightChanged);
}
void VideoEditModel::setEffectFades(bool value) {
    assign(m_effectFades, value, &VideoEditModel::effectFadesChanged);
}
void VideoEditModel::setEffectKenBurns(bool value) {
    assign(m_effectKenBurns, value, &VideoEditModel::effectKenBurnsChanged);
}
void VideoEditModel::setEffectProgressBar(bool value) {
    assign(m_effectProgressBar, value, &VideoEditModel::effectProgressBarChanged);
}
void VideoEditModel::setEffectJumpCuts(bool value) {
    assign(m_effectJumpCuts, value, &VideoEditModel::effectJumpCutsChanged);
}
void VideoEditModel::setEffectPunchIn(bool value) {
    assign(m_effectPunchIn, value, &VideoEditModel::effectPunchInChanged);
}
void VideoEditModel::setEffectHook(bool value) {
    assign(m_effectHook, value, &VideoEditModel::effectHookChanged);
}
void VideoEditModel::setHookText(const QString& value) {
    assign(m_hookText, value, &VideoEditModel::hookTextChanged);
}
void VideoEditModel::setCaptionStyle(CaptionStyle value) {
    assign(m_captionStyle, value, &VideoEditModel::captionStyleChanged);
}
void VideoEditModel::setPlayerItem(const QUrl& value) {
    assign(m_playerItem, value, &VideoEditModel::playerItemChanged);
}
void VideoEditModel::setLoadError(const QString& value) {
    // Null and empty both mean "no error"; keep them one value.
    assign(m_loadError, value.isEmpty() ? QString() : value, &VideoEditModel::loadErrorChanged);
}
void VideoEditModel::setVideoSize(const QSizeF& value) {
    assign(m_videoSize, value, &VideoEditModel::videoSizeChanged);
}
void VideoEditModel::setFilmstrip(const QList<QImage>& value) {
    assign(m_filmstrip, value, &VideoEditModel::filmstripChanged);
}

MediaTimeRange VideoEditModel::trimRange() const {
    return MediaTimeRange::fromSeconds(m_trimStart,
                                       std::max(m_trimEnd, m_trimStart + shortestDuration));
}

EffectOptions VideoEditModel::effectOptions() const {
    return EffectOptions{m_effectFades,       m_effectKenBurns,
                         m_effectProgressBar, m_karaokeHighlight,
                         m_effectJumpCuts,    m_effectPunchIn,
                         m_captionStyle,      m_effectHook ? m_hookText : QString()};
}

std::optional<QList<CaptionChunk>> VideoEditModel::timedChunks() const {
    // The words' times hold only for the text and the stretch they came from.
    // A move of 0.05 s counts as moved even when the subtraction comes out a hair
    // below it (4.05 - 4.0 = 0.04999...).
    const auto moved = [](double a, double b) { return !(std::abs(a - b) < 0.05 - 1e-9); };
    if (m_captionSegments.isEmpty() || m_captionText.trimmed() != m_captionTranscript.trimmed() ||
        moved(m_trimStart, m_captionTrimStart) || moved(m_trimEnd, m_captionTrimEnd)) {
        return std::nullopt;
    }
    return Captions::chunks(m_captionSegments, Captions::maxChars(m_captionStyle));
}

QList<CaptionChunk> VideoEditModel::captionChunks() const {
    if (!m_captionsEnabled) {
        return {};
    }
    if (auto timed = timedChunks()) {
        return *timed;
    }
    const double length = m_trimEnd - m_trimStart;
    return Captions::chunks(m_captionText, length <= 0.1 ? 0.1 : length,
                            Captions::maxChars(m_captionStyle));
}

std::optional<ActiveCaption> VideoEditModel::activeCaption(double t) const {
    if (!m_captionsEnabled) {
        return std::nullopt;
    }
    const QList<CaptionChunk> chunks = captionChunks();
    const double u = t - m_trimStart;
    for (const CaptionChunk& chunk : chunks) {
        if (!(chunk.start <= u && u < chunk.end)) {
            continue;
        }
        ActiveCaption active{chunk.text, std::nullopt};
        if (m_karaokeHighlight) {
            const QList<CaptionChunk::Word> words = chunk.timedWords();
            if (!words.isEmpty()) {
                active.highlightedWord = int(words.size()) - 1;
                for (qsizetype i = 0; i < words.size(); ++i) {
                    if (words.at(i).start <= u && u < words.at(i).end) {
                        active.highlightedWord = int(i);
                        break;
                    }
                }
            }
        }
        return active;
    }
    return std::nullopt;
}

void VideoEditModel::generateFilmstrip(int count) {
    if (m_filmstripTask) {
        m_filmstripTask->cancel();
    }
    const CancelHandle task = CancelToken::create();
    m_filmstripTask = task;
    Q_EMIT filmstripTaskChanged();

    const double length = usableDuration(m_duration);
    // The watcher is a child: when the model goes, so does the delivery.
    auto* watcher = new QFutureWatcher<QList<QImage>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, task] {
        watcher->deleteLater();
        if (!task->isCancelled()) {
            setFilmstrip(watcher->result());
        }
    });
    watcher->setFuture(QtConcurrent::run([asset = m_asset, count, length, task] {
        return Filmstrip::generate(asset, count, length, task);
    }));
}

QCoro::Task<void> VideoEditModel::load() {
    QPointer<VideoEditModel> self(this);
    if (m_playerItem.isEmpty()) {
        setPlayerItem(m_sourceUrl);
    }
    if (m_filmstrip.isEmpty()) {
        generateFilmstrip(filmstripFrameCount);
    }
    if (m_videoSize.isValid()) {
        co_return;
    }
    QFuture<Expected<AssetInfo, MediaError>> work =
        QtConcurrent::run([asset = m_asset] { return asset.load(); });
    const Expected<AssetInfo, MediaError> info = co_await work;
    if (!self) {
        co_return;
    }
    if (!info) {
        // Without a recording there is nothing to report; a recording that
        // cannot be read is worth saying so instead of an empty preview.
        if (m_sourceUrl != QUrl::fromLocalFile(noSourcePath)) {
            setLoadError(info.error().description);
        }
        co_return;
    }
    if (info->videoTracks.isEmpty()) {
        co_return;
    }
    setVideoSize(info->videoTracks.first().uprightSize());
}

QCoro::Task<Expected<Composition, MediaError>>
VideoEditModel::buildComposition(CancelHandle cancel) {
    VideoCompositionBuilder::Inputs inputs;
    inputs.asset = m_asset;
    inputs.trimRange = trimRange();
    if (m_captionsEnabled) {
        inputs.captionText = m_captionText.trimmed();
        inputs.timedChunks = timedChunks();
    }
    inputs.options = effectOptions();
    inputs.cropCenterX = m_cropCenterX;
    inputs.cropZoom = m_cropZoom;
    JobWork<Composition> work = [inputs](JobControl& control) {
        return VideoCompositionBuilder::build(inputs, control.cancelHandle());
    };
    auto result = co_await runMediaJob<Composition>(std::move(work), {}, std::move(cancel));
    co_return result;
}

} // namespace tolvane
