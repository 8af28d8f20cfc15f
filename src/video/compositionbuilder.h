#pragma once

#include "platform/cancellation.h"
#include "platform/expected.h"
#include "platform/mediaasset.h"
#include "platform/mediaerror.h"
#include "platform/mediatime.h"
#include "video/captions.h"
#include "video/captionstyle.h"
#include "video/composition.h"
#include "video/effectoptions.h"

#include <QImage>
#include <QList>

#include <optional>

namespace tolvane {

// Turns an edit's settings into the plain description of the vertical short
// (Composition). Every number of the description comes from a small function
// here, so each can be checked without rendering.
class VideoCompositionBuilder {
public:
    static inline const QString errorDomain = QStringLiteral("VideoCompositionBuilder");
    enum ErrorCode {
        noVideoTrack = 1,
        noVideoComposition = 2,
        // The trimmed stretch holds no part of the recording.
        emptyRange = 3,
    };

    static constexpr double kenBurnsFactor = 1.05;
    static constexpr double punchFactor = 1.15;
    static constexpr double punchInterval = 2.5;
    static constexpr double progressBarHeight = 12.0;
    static inline const QColor progressBarColor = QColor(10, 102, 194);

    // Fade length and the end of the content (captions, hook) for a short of
    // `duration` seconds.
    static double fadeLength(double duration);
    static double contentEnd(double duration, bool fades);

    // The placement of an upright source picture for a zoom factor: its height
    // fills the frame, then zooms about the vertical centre; the crop window is
    // centred at cropCenterX of the width where the picture allows.
    static CropTransform transform(const QSizeF& upright, double cropCenterX, double zoom);

    // The times the punch-in steps switch: the caption starts when there are at
    // least two captions, else every 2.5 s below the duration.
    static QList<double> punchStepTimes(const QList<double>& captionStarts, double duration);

    static TransformTimeline transformTimeline(const QSizeF& upright, double cropCenterX,
                                               double cropZoom, const EffectOptions& options,
                                               const QList<double>& captionStarts, double duration);

    // The fade of picture and sound alike; empty without fades.
    static QList<Ramp> fadeRamps(double duration, bool fades);

    // One caption as pictures and times, ready for its layer: the caption
    // without highlight and, for the spoken-word highlight, one picture per word
    // with the word's start (output seconds). Pictures are drawn at 2 pixels per
    // point, premultiplied ARGB.
    struct CaptionPictures {
        double start = 0.0;
        double end = 0.0;
        QImage base;
        QList<QImage> wordImages;
        QList<double> wordStarts;
    };

    // Where a caption picture of this pixel size is shown (output pixels, top
    // left origin); a picture is shown at half its pixel size.
    static QRectF captionFrame(const QSize& pixelSize, CaptionStyle style);
    static std::optional<OverlayLayer> captionLayer(const CaptionPictures& caption,
                                                    CaptionStyle style, bool highlight);
    static QRectF hookFrame(const QSize& pixelSize);
    static std::optional<OverlayLayer> hookLayer(const QImage& image, double contentEnd);
    static std::optional<OverlayLayer> progressBarLayer(double duration);

    // The source facts and the stretches that play. Blocking: reads the file
    // and, with jump cuts, its audio.
    struct Timeline {
        AssetInfo info;
        QList<KeptRange> ranges;
        double duration = 0.0;
        // Jump cuts ran and their ranges are used (captions must be moved).
        bool cut = false;
        double trimStart = 0.0;
    };
    static Expected<Timeline, MediaError> timeline(const MediaAsset& asset,
                                                   const MediaTimeRange& trimRange, bool jumpCuts,
                                                   const CancelHandle& cancel = {});

    // The description from a timeline, the caption layers with the start times
    // of the captions (on the output's time, ending by contentEnd; the punch-in
    // steps follow them) and the hook picture (null for none).
    static Composition compose(const MediaAsset& asset, const Timeline& timeline,
                               QList<OverlayLayer> captionLayers,
                               const QList<double>& captionStarts, const QImage& hookImage,
                               const EffectOptions& options, double cropCenterX, double cropZoom);

    // The captions the overlay shows, on the output's time: timed chunks moved
    // past the cut pauses (when jump cuts ran) and ended by contentEnd, or, without
    // them, the caption text spread evenly up to contentEnd.
    static QList<CaptionChunk> overlayChunks(const std::optional<QList<CaptionChunk>>& timedChunks,
                                             const QString& captionText, const Timeline& timeline,
                                             double contentEnd, CaptionStyle style);

    // Each chunk drawn, and with the highlight one picture per spoken word; a
    // chunk that cannot be drawn (or one of whose pictures cannot) is left out.
    static QList<CaptionPictures> captionPictures(const QList<CaptionChunk>& chunks,
                                                  CaptionStyle style, bool highlight);

    // The layers of the captions, in the chunks' order; two chunks are drawn at
    // a time, each one's full-resolution pictures gone once its layer is made.
    static QList<OverlayLayer> captionLayers(const QList<CaptionChunk>& chunks, CaptionStyle style,
                                             bool highlight);

    // What the edit hands over.
    struct Inputs {
        MediaAsset asset;
        MediaTimeRange trimRange;
        // Trimmed; empty with captions off.
        QString captionText;
        std::optional<QList<CaptionChunk>> timedChunks;
        EffectOptions options;
        double cropCenterX = 0.5;
        double cropZoom = 1.0;
    };

    // The whole build. Blocking (reads the file, analyses the sound for jump
    // cuts, draws the pictures): run it as a media job.
    static Expected<Composition, MediaError> build(const Inputs& inputs,
                                                   const CancelHandle& cancel = {});
};

} // namespace tolvane
