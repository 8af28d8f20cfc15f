#include "recording/capturemode.h"

namespace tolvane {

std::optional<CaptureMode> captureModeFromText(QStringView text) {
    for (CaptureMode mode : {CaptureMode::camera, CaptureMode::screen, CaptureMode::combo}) {
        if (text == captureModeText(mode)) {
            return mode;
        }
    }
    return std::nullopt;
}

QString captureModeText(CaptureMode mode) {
    switch (mode) {
    case CaptureMode::camera:
        return QStringLiteral("camera");
    case CaptureMode::screen:
        return QStringLiteral("screen");
    case CaptureMode::combo:
        return QStringLiteral("combo");
    }
    return {};
}

} // namespace tolvane
