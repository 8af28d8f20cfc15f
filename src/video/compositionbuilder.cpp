#include "video/compositionbuilder.h"

#include "video/fonts.h"
#include "video/hookimage.h"
#include "video/jumpcuts.h"

#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cmath>
#include <malloc.h>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

MediaError builderError(VideoCompositionBuilder::ErrorCode code, const QString& description) {
    return MediaError{VideoCompositionBuilder::errorDomain, code, description};
}

// A picture drawn at 2 pixels per point, halved once to the size it is shown
// at: the renderer then converts it without scaling, and a short keeps a
// quarter of the pixels in memory.
QImage shownAt(const QImage& drawn, const QRectF& frame) {
    const QSize size = frame.size().toSize();
    return drawn.size() == size
               ? drawn
               : drawn.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The pop of a caption or the hook as it appears.
Keyframes popScale(double begin, double duration) {
    return Keyframes{{0.85, 1.03, 1.0}, {0.0, 0.6, 1.0}, begin, duration, 1.0, false};
}

} // namespace

double VideoCompositionBuilder::fadeLength(double duration) {
    return std::min(0.25 * duration, 0.5);
}

double VideoCompositionBuilder::contentEnd(double duration, bool fades) {
    return fades ? std::max(duration - fadeLength(duration), 0.1) : duration;
}

CropTransform VideoCompositionBuilder::transform(const QSizeF& upright, double cropCenterX,
                                                 double zoom) {
    const double width = upright.width();
    const double height = upright.height();
    if (!(width > 0.0) || !(height > 0.0)) {
        return {};
    }
    const double z = std::max(zoom, 1.0);
    const double scale = renderHeight / height * z;
    const double visible = renderWidth / scale;
    const double maxX = std::max(0.0, width - visible);
    const double desired = width * cropCenterX - visible / 2;
    const double x = desired > 0.0 ? std::min(desired, maxX) : 0.0;
    const double excess = height - renderHeight / scale;
    const double y = excess >= 0.0 ? excess / 2 : 0.0;
    return {scale, QPointF(x, y)};
}

QList<double> VideoCompositionBuilder::punchStepTimes(const QList<double>& captionStarts,
                                                      double duration) {
    if (captionStarts.size() >= 2) {
        return captionStarts;
    }
    QList<double> times;
    for (int i = 0; i * punchInterval < duration; ++i) {
        times.append(i * punchInterval);
    }
    return times;
}

TransformTimeline VideoCompositionBuilder::transformTimeline(const QSizeF& upright,
                                                             double cropCenterX, double cropZoom,
                                                             const EffectOptions& options,
                                                             const QList<double>& captionStarts,
                                                             double duration) {
    using Mode = TransformTimeline::Mode;
    const CropTransform base = transform(upright, cropCenterX, cropZoom);
    if (options.punchIn) {
        const CropTransform punch = transform(upright, cropCenterX, cropZoom * punchFactor);
        TransformTimeline timeline{Mode::steps, {}};
        const QList<double> times = punchStepTimes(captionStarts, duration);
        for (qsizetype i = 0; i < times.size(); ++i) {
            timeline.keys.append({times[i], i % 2 == 0 ? base : punch});
        }
        if (timeline.keys.isEmpty()) {
            timeline.keys.append({0.0, base});
        }
        return timeline;
    }
    if (options.kenBurns) {
        return {
            Mode::ramp,
            {{0.0, base}, {duration, transform(upright, cropCenterX, cropZoom * kenBurnsFactor)}}};
    }
    return {Mode::fixed, {{0.0, base}}};
}

QList<Ramp> VideoCompositionBuilder::fadeRamps(double duration, bool fades) {
    if (!fades) {
        return {};
    }
    const double length = fadeLength(duration);
    return {Ramp{0.0, length, 0.0, 1.0}, Ramp{duration - length, length, 1.0, 0.0}};
}

QRectF VideoCompositionBuilder::captionFrame(const QSize& pixelSize, CaptionStyle style) {
    const double width = pixelSize.width() / 2.0;
    const double height = pixelSize.height() / 2.0;
    const double x = (renderWidth - width) / 2;
    // Placed from the bottom edge: low for bubbles, a third up for bold captions.
    const double fromBottom = style == CaptionStyle::bubble ? 130.0 : (renderHeight - height) / 3;
    return {x, renderHeight - fromBottom - height, width, height};
}

std::optional<OverlayLayer> VideoCompositionBuilder::captionLayer(const CaptionPictures& caption,
                                                                  CaptionStyle style,
                                                                  bool highlight) {
    const double a = caption.start;
    const double d = caption.end - caption.start;
    if (caption.base.isNull() || !(d > 0.0)) {
        return std::nullopt;
    }
    OverlayLayer layer;
    layer.kind = OverlayLayer::Kind::caption;
    layer.frame = captionFrame(caption.base.size(), style);
    const qsizetype words = std::min(caption.wordImages.size(), caption.wordStarts.size());
    if (highlight && words >= 2) {
        for (qsizetype i = 0; i < words; ++i) {
            layer.images.append(shownAt(caption.wordImages[i], layer.frame));
            layer.imageKeyTimes.append((caption.wordStarts[i] - a) / d);
        }
        layer.imageKeyTimes.append(1.0);
        layer.imageBegin = a;
        layer.imageDuration = d;
    } else {
        layer.images.append(shownAt(caption.base, layer.frame));
    }
    const double fadeIn = std::min(0.5 * d, 0.25);
    layer.opacity = Keyframes{{0.0, 1.0, 1.0}, {0.0, fadeIn / d, 1.0}, a, d, 0.0, false};
    layer.scale = popScale(a, fadeIn);
    return layer;
}

QRectF VideoCompositionBuilder::hookFrame(const QSize& pixelSize) {
    const double width = pixelSize.width() / 2.0;
    const double height = pixelSize.height() / 2.0;
    return {(renderWidth - width) / 2, renderHeight - 800.0 - height, width, height};
}

std::optional<OverlayLayer> VideoCompositionBuilder::hookLayer(const QImage& image,
                                                               double contentEnd) {
    if (image.isNull() || !(contentEnd > 0.0)) {
        return std::nullopt;
    }
    OverlayLayer layer;
    layer.kind = OverlayLayer::Kind::hook;
    layer.frame = hookFrame(image.size());
    layer.images.append(shownAt(image, layer.frame));
    layer.opacity = Keyframes{
        {0.0, 1.0, 1.0}, {0.0, std::min(0.25 / contentEnd, 0.5), 1.0}, 0.0, contentEnd, 0.0, false};
    layer.scale = popScale(0.0, std::min(0.5 * contentEnd, 0.3));
    return layer;
}

std::optional<OverlayLayer> VideoCompositionBuilder::progressBarLayer(double duration) {
    if (!(duration > 0.0)) {
        return std::nullopt;
    }
    OverlayLayer layer;
    layer.kind = OverlayLayer::Kind::progressBar;
    layer.frame = QRectF(0, renderHeight - progressBarHeight, renderWidth, progressBarHeight);
    layer.color = progressBarColor;
    layer.barDuration = duration;
    return layer;
}

Expected<VideoCompositionBuilder::Timeline, MediaError>
VideoCompositionBuilder::timeline(const MediaAsset& asset, const MediaTimeRange& trimRange,
                                  bool jumpCuts, const CancelHandle& cancel) {
    auto info = asset.load();
    if (!info) {
        return Unexpected(std::move(info).error());
    }
    if (info->videoTracks.isEmpty()) {
        return Unexpected(builderError(noVideoTrack, u"recording has no video track"_s));
    }
    Timeline result;
    result.info = std::move(*info);
    const double start = std::max(0.0, trimRange.startSeconds());
    const double end = std::min(result.info.duration, trimRange.endSeconds());
    if (!(end > start)) {
        return Unexpected(
            builderError(emptyRange, u"the trimmed stretch lies outside the recording"_s));
    }
    result.trimStart = trimRange.startSeconds();
    const MediaTimeRange effective = MediaTimeRange::fromSeconds(start, end);
    QList<MediaTimeRange> kept{effective};
    if (jumpCuts) {
        auto speech = JumpCuts::speechRangesBlocking(asset, effective, JumpCuts::defaultWindow,
                                                     JumpCuts::defaultMinGap,
                                                     JumpCuts::defaultMargin, cancel);
        if (speech) {
            kept = std::move(*speech);
            result.cut = true;
        } else if (speech.error().isCancelled()) {
            return Unexpected(std::move(speech).error());
        }
    }
    double cursor = 0.0;
    for (const MediaTimeRange& range : kept) {
        const double length = std::max(0.0, range.durationSeconds());
        if (length <= 0.0) {
            continue;
        }
        result.ranges.append({range.startSeconds(), range.endSeconds(), cursor});
        cursor += length;
    }
    result.duration = cursor;
    return result;
}

Composition VideoCompositionBuilder::compose(const MediaAsset& asset, const Timeline& timeline,
                                             QList<OverlayLayer> captionLayers,
                                             const QList<double>& captionStarts,
                                             const QImage& hookImage, const EffectOptions& options,
                                             double cropCenterX, double cropZoom) {
    Composition composition;
    composition.asset = asset;
    const VideoTrackInfo& video = timeline.info.videoTracks.first();
    composition.naturalSize = video.naturalSize;
    composition.uprightSize = video.uprightSize();
    composition.hasAudio = !timeline.info.audioTracks.isEmpty();
    composition.ranges = timeline.ranges;
    composition.duration = timeline.duration;
    const double duration = timeline.duration;

    composition.transform = transformTimeline(composition.uprightSize, cropCenterX, cropZoom,
                                              options, captionStarts, duration);
    composition.opacityRamps = fadeRamps(duration, options.fades);
    if (composition.hasAudio) {
        composition.volumeRamps = composition.opacityRamps;
    }

    composition.overlays = std::move(captionLayers);
    if (auto layer = hookLayer(hookImage, contentEnd(duration, options.fades))) {
        composition.overlays.append(std::move(*layer));
    }
    if (options.progressBar) {
        if (auto layer = progressBarLayer(duration)) {
            composition.overlays.append(std::move(*layer));
        }
    }
    return composition;
}

QList<CaptionChunk>
VideoCompositionBuilder::overlayChunks(const std::optional<QList<CaptionChunk>>& timedChunks,
                                       const QString& captionText, const Timeline& timeline,
                                       double contentEnd, CaptionStyle style) {
    if (!timedChunks || timedChunks->isEmpty()) {
        return Captions::chunks(captionText, contentEnd, Captions::maxChars(style));
    }
    QList<CaptionChunk> chunks = *timedChunks;
    if (timeline.cut) {
        QList<JumpCuts::Range> kept;
        for (const KeptRange& range : timeline.ranges) {
            kept.append({range.sourceStart, range.sourceEnd});
        }
        chunks = Captions::mapChunks(chunks, kept, timeline.trimStart);
    }
    QList<CaptionChunk> shown;
    for (CaptionChunk chunk : chunks) {
        if (!(chunk.start < contentEnd)) {
            continue;
        }
        chunk.end = std::min(chunk.end, contentEnd);
        if (chunk.start < chunk.end) {
            shown.append(std::move(chunk));
        }
    }
    return shown;
}

QList<VideoCompositionBuilder::CaptionPictures>
VideoCompositionBuilder::captionPictures(const QList<CaptionChunk>& chunks, CaptionStyle style,
                                         bool highlight) {
    QList<CaptionPictures> pictures;
    for (const CaptionChunk& chunk : chunks) {
        if (chunk.text.isEmpty() || !(chunk.start < chunk.end)) {
            continue;
        }
        CaptionPictures caption{chunk.start, chunk.end, {}, {}, {}};
        const QList<CaptionChunk::Word> words = chunk.timedWords();
        QList<std::optional<int>> highlights{std::nullopt};
        if (highlight && words.size() >= 2) {
            for (qsizetype i = 0; i < words.size(); ++i) {
                highlights.append(int(i));
            }
        }
        QList<QImage> images = Captions::renderCaptionImages(chunk.text, highlights, style);
        if (images.isEmpty() || images.first().isNull()) {
            continue;
        }
        caption.base = images.takeFirst();
        for (qsizetype i = 0; i < images.size(); ++i) {
            caption.wordImages.append(std::move(images[i]));
            caption.wordStarts.append(words[i].start);
        }
        pictures.append(std::move(caption));
    }
    return pictures;
}

QList<OverlayLayer> VideoCompositionBuilder::captionLayers(const QList<CaptionChunk>& chunks,
                                                           CaptionStyle style, bool highlight) {
    // Drawing is most of the time before a render's first frame, so two chunks
    // are drawn side by side; no more, because each holds some 20 MB of
    // full-resolution pictures while it is drawn.
    QThreadPool pool;
    pool.setMaxThreadCount(std::min(2, std::max(1, QThread::idealThreadCount())));
    const QList<std::optional<OverlayLayer>> drawn = QtConcurrent::blockingMapped(
        &pool, chunks,
        [style, highlight](const CaptionChunk& chunk) -> std::optional<OverlayLayer> {
            const QList<CaptionPictures> pictures = captionPictures({chunk}, style, highlight);
            return pictures.isEmpty() ? std::nullopt
                                      : captionLayer(pictures.first(), style, highlight);
        });
    // The drawing threads kept what they freed in their own heaps, and that
    // memory would stay resident through the whole render.
    malloc_trim(0);
    QList<OverlayLayer> layers;
    for (const std::optional<OverlayLayer>& layer : drawn) {
        if (layer) {
            layers.append(*layer);
        }
    }
    return layers;
}

Expected<Composition, MediaError> VideoCompositionBuilder::build(const Inputs& inputs,
                                                                 const CancelHandle& cancel) {
    auto plan = timeline(inputs.asset, inputs.trimRange, inputs.options.jumpCuts, cancel);
    if (!plan) {
        return Unexpected(std::move(plan).error());
    }
    if (isCancelled(cancel)) {
        return Unexpected(MediaError::cancelled());
    }
    const EffectOptions& options = inputs.options;
    const double end = contentEnd(plan->duration, options.fades);
    const QList<CaptionChunk> chunks =
        overlayChunks(inputs.timedChunks, inputs.captionText, *plan, end, options.captionStyle);
    QList<double> starts;
    for (const CaptionChunk& chunk : chunks) {
        starts.append(chunk.start);
    }
    const QImage hook =
        HookImage::render(options.hookText, HookImage::defaultMaxWidth, Fonts::heavyFont(58));
    return compose(inputs.asset, *plan,
                   captionLayers(chunks, options.captionStyle, options.karaokeHighlight), starts,
                   hook, options, inputs.cropCenterX, inputs.cropZoom);
}

} // namespace tolvane
