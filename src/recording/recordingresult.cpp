#include "recording/recordingresult.h"

#include <QFile>

namespace tolvane {

void RecordingResult::cleanup() const {
    for (const std::optional<QUrl>& url : {cameraURL, screenURL}) {
        // Only local files are ours to delete.
        if (url && url->isLocalFile()) {
            QFile::remove(url->toLocalFile());
        }
    }
}

} // namespace tolvane
