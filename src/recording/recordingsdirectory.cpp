#include "recording/recordingsdirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace tolvane {

QUrl recordingsDirectory() {
    const QString path = QDir(QDir::tempPath()).filePath(u"tolvane-video"_s);
    QDir().mkpath(path);
    return QUrl::fromLocalFile(path);
}

QUrl newRecordingFile(const QString& prefix, const QString& suffix) {
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString name = prefix + QLatin1Char('-') + uuid + suffix;
    return QUrl::fromLocalFile(QDir(recordingsDirectory().toLocalFile()).filePath(name));
}

} // namespace tolvane

namespace tolvane {

int purgeStaleRecordings(double maxAgeSeconds, const QDateTime& now) {
    const QDir directory(recordingsDirectory().toLocalFile());
    int deleted = 0;
    const QFileInfoList entries = directory.entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                          QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QDateTime modified = entry.lastModified().toUTC();
        if (!modified.isValid()) {
            continue;
        }
        const double age = static_cast<double>(modified.msecsTo(now)) / 1000.0;
        if (age <= maxAgeSeconds) {
            continue;
        }
        const bool removed = entry.isDir() && !entry.isSymLink()
                                 ? QDir(entry.absoluteFilePath()).removeRecursively()
                                 : QFile::remove(entry.absoluteFilePath());
        deleted += removed ? 1 : 0;
    }
    return deleted;
}

} // namespace tolvane
