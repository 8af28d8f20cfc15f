#pragma once

#include "platform/cancellation.h"
#include "platform/mediajob.h"
#include "platform/personsegmenter.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>

class QSettings;

namespace tolvane {

// Replaces everything behind the person in a recorded camera video: with a
// picture, a generated colour backdrop or a blurred copy of the recording.
// Each frame is segmented on the device; the mask is smoothed over time and
// feathered, scaled up bilinearly and the frame blended over the background.
class BackgroundReplacer {
public:
    enum class Preset { midnight, sunset, neon, studio, mint };

    struct Mode {
        enum class Kind { image, preset, blur };
        Kind kind = Kind::blur;
        QUrl url;                         // image
        Preset preset = Preset::midnight; // preset

        static Mode image(QUrl url) { return Mode{Kind::image, std::move(url), Preset::midnight}; }
        static Mode fromPreset(Preset preset) { return Mode{Kind::preset, QUrl(), preset}; }
        static Mode blur() { return Mode{}; }
        friend bool operator==(const Mode&, const Mode&) = default;
    };

    // Settings keys and the mode values stored under the first.
    static inline const QString modeKey = QStringLiteral("videoBackgroundMode");
    static inline const QString imagePathKey = QStringLiteral("videoBackgroundImagePath");
    static inline const QString presetKey = QStringLiteral("videoBackgroundPreset");
    static inline const QString blurModeValue = QStringLiteral("blur");
    static inline const QString imageModeValue = QStringLiteral("image");
    static inline const QString presetModeValue = QStringLiteral("preset");

    static inline const QString errorDomain = QStringLiteral("BackgroundReplacer");
    // 1 and 2 as the platform reports them; 3 when the segmentation model
    // itself is missing or unusable (its text says which and what to do).
    static MediaError imageLoadError();
    static MediaError startError();

    // Presets in picker order.
    static const QList<Preset>& allPresets();
    static QString rawValue(Preset preset);
    static std::optional<Preset> presetFromRawValue(const QString& raw);
    static QString label(Preset preset);

    // The mode the settings describe; none when the recording stays as it is.
    static std::optional<Mode> currentMode(const QSettings& settings);

    // The generated backdrop of a preset for a frame of `size`.
    static QImage backdrop(Preset preset, QSize size);
    // The 120x76 backdrop shown beside a preset's label in pickers; made once
    // per preset and kept for the life of the process.
    static QImage presetSwatch(Preset preset);
    static inline constexpr QSize swatchSize{120, 76};

    // A picture scaled to cover `size`, centred, cropped to it.
    static QImage coverImage(const QImage& picture, QSize size);

    struct Options {
        enum class Codec { h264, mjpeg };
        // MJPEG at near-lossless quality: the file is an intermediate that the
        // renderer decodes again. On noisy 1080p camera frames it encoded in
        // about a third of the CPU time of libx264 veryfast (the encoder is
        // the floor of the whole step), came out smaller than libx264
        // ultrafast, decodes faster and is intra-only; it is 1.5-5x the size
        // of libx264 veryfast.
        Codec codec = Codec::mjpeg;
        // Per-pixel smoothing of the mask between frames, reset at cuts.
        bool temporalSmoothing = true;
        // Encoder threads; 0 lets the encoder choose.
        int threads = 0;
        // The segmentation model; empty means the installed one.
        QString modelPath;
        // When set, segments each frame in place of the model: gets the
        // frame's index and its picture at the model's input size, fills the
        // mask and returns false when it cannot.
        std::function<bool(int frame, const QImage& picture, PersonMask& mask)> segment;
    };

    struct Result {
        QString file;
        int frames = 0;
        // Frames whose segmentation failed and that were kept unchanged.
        int passedThrough = 0;
        double duration = 0.0;
        // Mean absolute change of the final mask (0...1) between consecutive
        // frames: how much the edges flicker.
        double meanMaskChange = 0.0;
        // Time spent in segmentation per frame, milliseconds.
        double segmentationMs = 0.0;
    };

    // Renders `input` with its background replaced into `output` (a QuickTime
    // movie), blocking: the work of a media job. The partial file is removed
    // when it fails or is cancelled. `picture` is the loaded picture of an
    // image mode. H.264 takes only even frame sizes, so an odd last column or
    // row is left out of its output.
    static JobResult<Result> replace(const QString& input, const Mode& mode, const QImage& picture,
                                     const QString& output, JobControl& control,
                                     const Options& options);

    // The whole step: loads the picture of an image mode (code 1 when it
    // cannot be read), renders into a new "tolvane-bg-<UUID>.mov" in the
    // recordings directory on a worker thread and returns its URL. `progress`
    // gets fractions 0...1 on the caller's thread.
    static QCoro::Task<JobResult<QUrl>> process(QUrl url, Mode mode,
                                                std::function<void(double)> progress,
                                                CancelHandle cancel, Options options);
};

} // namespace tolvane
