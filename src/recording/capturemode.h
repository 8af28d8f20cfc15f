#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace tolvane {

// What a recording captures. Only the camera is recorded by the studio; the
// other modes exist so stored values stay readable.
enum class CaptureMode {
    camera, // camera and microphone
    screen,
    combo, // camera plus screen
};

// The mode whose text value is exactly the text ("camera", "screen", "combo").
std::optional<CaptureMode> captureModeFromText(QStringView text);
QString captureModeText(CaptureMode mode);

} // namespace tolvane
