#pragma once

#include "platform/cancellation.h"
#include "platform/expected.h"
#include "platform/mediaerror.h"
#include "platform/mediajob.h"
#include "video/composition.h"

#include <QString>

#include <QCoro/QCoroTask>

#include <functional>

namespace tolvane {

// How a render uses the machine.
struct RenderSettings {
    // Encoder and decoder threads; 0 lets the libraries choose (one per core).
    int threads = 0;
};

struct RenderResult {
    QString path;
    int frames = 0;
    double duration = 0.0;
};

// Plays a composition frame by frame at 30 fps into 1080 x 1920 and writes
// H.264 (libx264, preset veryfast, CRF 21, BT.709) with 48 kHz stereo AAC into
// an MP4 laid out for progressive playback. veryfast was measured as the best
// size/quality/speed point here: slower presets gain little quality for their
// time, ultrafast doubles the file at equal quality.
class VideoRenderer {
public:
    // Blocking: run it as a media job. Decoding, composing and encoding run as
    // a pipeline on their own threads. A failed or cancelled render leaves no
    // file at `outputPath`.
    static Expected<RenderResult, MediaError> render(const Composition& composition,
                                                     const QString& outputPath, JobControl& control,
                                                     const RenderSettings& settings = {});
};

// Renders the edited short into the recordings directory.
class VideoExporter {
public:
    static inline const QString errorDomain = QStringLiteral("VideoExporter");
    enum ErrorCode { noExportSession = 1 };

    // Returns the new file "tolvane-short-<UUID>.mp4". `progress` gets values
    // 0...1 while it runs, sampled every 0.25 s, and 1.0 once at the end;
    // cancelling removes the partial file and ends with MediaError::cancelled().
    static QCoro::Task<Expected<QString, MediaError>>
    exportVideo(Composition composition, std::function<void(double)> progress = {},
                CancelHandle cancel = {}, RenderSettings settings = {});
};

} // namespace tolvane
