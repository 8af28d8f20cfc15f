#pragma once

#include "platform/mediatime.h"
#include "recording/capturemode.h"

#include <QUrl>

#include <optional>

namespace tolvane {

// What one recording produced and where its movie files are.
struct RecordingResult {
    CaptureMode mode = CaptureMode::camera;
    // The camera movie (after background replacement, the replaced one).
    std::optional<QUrl> cameraURL;
    // Always empty: the studio records no screen.
    std::optional<QUrl> screenURL;
    // Host-clock time at which the camera file's recording began.
    std::optional<MediaTime> cameraStartHostTime;
    std::optional<MediaTime> screenStartHostTime;
    // Seconds.
    double duration = 0.0;

    // Deletes the recording's movie files, ignoring every failure. An exported
    // short is not among them: the chat still plays it.
    void cleanup() const;
};

} // namespace tolvane
