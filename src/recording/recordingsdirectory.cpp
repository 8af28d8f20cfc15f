#include "recording/recordingsdirectory.h"

#include <QDir>
#include <QUuid>

namespace tolvane {

QUrl recordingsDirectory() {
    const QString path = QDir(QDir::tempPath()).filePath(QStringLiteral("tolvane-video"));
    QDir().mkpath(path);
    return QUrl::fromLocalFile(path);
}

QUrl newRecordingFile(const QString& prefix, const QString& suffix) {
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString name = prefix + QLatin1Char('-') + uuid + suffix;
    return QUrl::fromLocalFile(QDir(recordingsDirectory().toLocalFile()).filePath(name));
}

} // namespace tolvane
