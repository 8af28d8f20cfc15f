#pragma once

#include <QStringList>

namespace tolvane::cli {

// media record OUT_DIR --seconds N: records the camera and the microphone
// (TOLVANE_CAMERA / TOLVANE_MICROPHONE or the default devices) with the app's
// own recorder and prints {"file", "duration"}.
int runRecordCommand(const QStringList& args);

} // namespace tolvane::cli
