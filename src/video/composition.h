#pragma once

#include "platform/mediaasset.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QSizeF>

namespace tolvane {

// The finished short's geometry.
inline constexpr int renderWidth = 1080;
inline constexpr int renderHeight = 1920;
inline constexpr int renderFrameRate = 30;

// How the upright source picture is placed in the output: a source point p
// (upright pixels) lands at (p - origin) * scale. The visible part of the
// source is therefore a rectangle at `origin` of the output's size / scale.
struct CropTransform {
    double scale = 1.0;
    QPointF origin;

    QRectF visibleRect() const {
        return {origin, QSizeF(renderWidth / scale, renderHeight / scale)};
    }
    friend bool operator==(const CropTransform&, const CropTransform&) = default;
};

// A transform set at a time.
struct TransformKey {
    double time = 0.0;
    CropTransform transform;
    friend bool operator==(const TransformKey&, const TransformKey&) = default;
};

// The transform over the output's time: fixed (one key), a linear ramp between
// two keys (the matrices are interpolated, so scale and scaled offset move
// linearly), or steps that each hold until the next.
struct TransformTimeline {
    enum class Mode { fixed, ramp, steps };
    Mode mode = Mode::fixed;
    QList<TransformKey> keys;

    CropTransform at(double time) const;
};

// A linear change of a value over [start, start + duration]. Before the first
// ramp the value is the first ramp's `from`; after a ramp it holds that ramp's
// `to` until the next one begins.
struct Ramp {
    double start = 0.0;
    double duration = 0.0;
    double from = 1.0;
    double to = 1.0;
    friend bool operator==(const Ramp&, const Ramp&) = default;
};

// The value of a list of ramps (in time order) at a time; 1 without ramps.
double rampValue(const QList<Ramp>& ramps, double time);

// A keyframed value active over [begin, begin + duration). Outside that window
// the layer's own value applies, except that `holdsAfter` keeps the last value
// once the animation has ended (a forwards fill).
struct Keyframes {
    QList<double> values;
    QList<double> keyTimes; // fractions of the duration, one per value
    double begin = 0.0;
    double duration = 0.0;
    double layerValue = 1.0;
    bool holdsAfter = false;

    bool isEmpty() const { return values.isEmpty(); }
    double at(double time) const;
};

// A picture (or bar) drawn over the video.
struct OverlayLayer {
    enum class Kind { caption, hook, progressBar };
    Kind kind = Kind::caption;
    // Output pixels, origin at the top left; the rectangle the pictures are
    // shown in at scale 1.
    QRectF frame;

    // Premultiplied ARGB pictures at the frame's size (drawn at 2 pixels per
    // point, then halved once). With more than one,
    // picture i shows from imageKeyTimes[i] to imageKeyTimes[i + 1] (fractions
    // of [imageBegin, imageBegin + imageDuration]); the first before, the last
    // after.
    QList<QImage> images;
    QList<double> imageKeyTimes;
    double imageBegin = 0.0;
    double imageDuration = 0.0;

    Keyframes opacity;
    // Scale about the frame's centre.
    Keyframes scale;

    // The progress bar: a strip of `color` whose width grows linearly from 0 to
    // the frame's width over [0, barDuration] and then stays.
    QColor color;
    double barDuration = 0.0;

    // What the layer shows at an output time.
    struct State {
        double opacity = 0.0;
        // The rectangle drawn in, output pixels; empty when nothing shows.
        QRectF rect;
        int imageIndex = -1;
        bool isVisible() const { return opacity > 0.0 && !rect.isEmpty(); }
    };
    State at(double time) const;
};

// A stretch of the source played in the output, in source seconds, starting at
// `outputStart` of the output.
struct KeptRange {
    double sourceStart = 0.0;
    double sourceEnd = 0.0;
    double outputStart = 0.0;

    double duration() const { return sourceEnd - sourceStart; }
    friend bool operator==(const KeptRange&, const KeptRange&) = default;
};

// Everything the renderer needs to make the short, as plain data: which
// stretches of the source play back to back, how the picture is placed, the
// fades and the overlays. Built by VideoCompositionBuilder.
struct Composition {
    MediaAsset asset;
    // The first video track's picture as stored and upright.
    QSize naturalSize;
    QSizeF uprightSize;
    bool hasAudio = false;

    QList<KeptRange> ranges;
    // The sum of the kept ranges, seconds.
    double duration = 0.0;

    TransformTimeline transform;
    // Picture opacity over black, and sound volume; empty means 1 throughout.
    QList<Ramp> opacityRamps;
    QList<Ramp> volumeRamps;
    QList<OverlayLayer> overlays;

    // Frames at 30 per second covering the duration.
    int frameCount() const;
};

} // namespace tolvane
