#include "recordcommand.h"

#include "output.h"
#include "platform/cancellation.h"
#include "recording/camerarecorder.h"
#include "recording/recordingvalidation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <QCoro/QCoroTask>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tolvane::cli {

namespace {

const QString usage = u"usage: media record OUT_DIR --seconds N"_s;

QCoro::Task<int> record(QString outDir, double seconds) {
    CameraRecorder recorder;
    auto starting = recorder.start();
    const bool started = co_await starting;
    if (!started) {
        co_return fail(u"Couldn't open the camera or microphone. Check that they "
                       "are connected and not used by another app."_s);
    }
    CancellableSleep wait(std::chrono::milliseconds(qint64(seconds * 1000)), CancelHandle());
    co_await wait;
    const double elapsed = recorder.elapsed();
    auto stopping = recorder.stop();
    const std::optional<QUrl> file = co_await stopping;
    if (!file) {
        co_return fail(u"The recording didn't produce a usable file."_s);
    }
    const QString recorded = file->toLocalFile();
    auto validating = validateRecording(recorded);
    const Expected<double, RecordedVideoError> checked = co_await validating;
    if (!checked) {
        QFile::remove(recorded);
        co_return fail(checked.error().description());
    }
    const QString target = QDir(outDir).filePath(QFileInfo(recorded).fileName());
    if (!QFile::rename(recorded, target)) {
        // Another file system: copy, then let go of the original.
        if (!QFile::copy(recorded, target)) {
            QFile::remove(recorded);
            co_return fail(u"could not write "_s + target);
        }
        QFile::remove(recorded);
    }
    printLine(QJsonObject{{u"file"_s, QFileInfo(target).absoluteFilePath()},
                          {u"duration"_s, std::max(checked.value(), elapsed)}});
    co_return 0;
}

} // namespace

int runRecordCommand(const QStringList& args) {
    if (args.size() != 3 || args.at(1) != "--seconds"_L1) {
        return fail(usage);
    }
    bool ok = false;
    const double seconds = args.at(2).toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds <= 0) {
        return fail(usage);
    }
    const QString outDir = args.at(0);
    if (!QDir().mkpath(outDir)) {
        return fail(u"could not create "_s + outDir);
    }
    return QCoro::waitFor(record(outDir, seconds));
}

} // namespace tolvane::cli
