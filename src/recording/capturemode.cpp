#include "recording/capturemode.h"

using namespace Qt::StringLiterals;

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
        return u"camera"_s;
    case CaptureMode::screen:
        return u"screen"_s;
    case CaptureMode::combo:
        return u"combo"_s;
    }
    return {};
}

} // namespace tolvane
