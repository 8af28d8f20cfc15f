#pragma once

#include "platform/expected.h"
#include "platform/mediaasset.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <chrono>
#include <functional>

namespace tolvane {

// Why a recorded file cannot be used; `message` is what the user sees.
struct RecordedVideoError {
    QString message;

    const QString& description() const { return message; }
    friend bool operator==(const RecordedVideoError&, const RecordedVideoError&) = default;
};

struct RecordingValidationOptions {
    // How long loading the file may take.
    std::chrono::milliseconds deadline{6000};
    // Reads the file's facts (blocking, off the main thread); MediaAsset's
    // loading unless replaced.
    std::function<Expected<AssetInfo, MediaError>(const QString& path)> load;
};

// Checks that a recorded file is a usable movie and gives its duration in
// seconds: at least 1025 bytes, a video track, a finite duration above 0.1 s,
// all read within the deadline.
QCoro::Task<Expected<double, RecordedVideoError>>
validateRecording(QString path, RecordingValidationOptions options = {});

} // namespace tolvane
