#pragma once

#include <QString>
#include <QUrl>

namespace tolvane {

// The folder "tolvane-video" in the system's temporary directory, where every
// movie file of the studio lives so they can be cleaned up together. Created
// (with its parents) each time it is resolved, since the system may purge the
// temporary directory while the app runs; a failure to create it shows up in
// the file operation that follows.
QUrl recordingsDirectory();

// A new file name in the recordings directory: prefix + "-" + UUID + suffix,
// e.g. "tolvane-cam" and ".mov".
QUrl newRecordingFile(const QString& prefix, const QString& suffix);

} // namespace tolvane
