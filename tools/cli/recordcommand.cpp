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

namespace tolvane::cli {

namespace {

const QString usage = QStringLiteral("usage: media record OUT_DIR --seconds N");

QCoro::Task<int> record(QString outDir, double seconds) {
    CameraRecorder recorder;
    auto starting = recorder.start();
    const bool started = co_await starting;
    if (!started) {
        co_return fail(QStringLiteral("Couldn't open the camera or microphone. Check that they "
                                      "are connected and not used by another app."));
    }
    CancellableSleep wait(std::chrono::milliseconds(qint64(seconds * 1000)), CancelHandle());
    co_await wait;
    const double elapsed = recorder.elapsed();
    auto stopping = recorder.stop();
    const std::optional<QUrl> file = co_await stopping;
    if (!file) {
        co_return fail(QStringLiteral("The recording didn't produce a usable file."));
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
            co_return fail(QStringLiteral("could not write ") + target);
        }
        QFile::remove(recorded);
    }
    printLine(QJsonObject{{QStringLiteral("file"), QFileInfo(target).absoluteFilePath()},
                          {QStringLiteral("duration"), std::max(checked.value(), elapsed)}});
    co_return 0;
}

} // namespace

int runRecordCommand(const QStringList& args) {
    if (args.size() != 3 || args.at(1) != QLatin1String("--seconds")) {
        return fail(usage);
    }
    bool ok = false;
    const double seconds = args.at(2).toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds <= 0) {
        return fail(usage);
    }
    const QString outDir = args.at(0);
    if (!QDir().mkpath(outDir)) {
        return fail(QStringLiteral("could not create ") + outDir);
    }
    return QCoro::waitFor(record(outDir, seconds));
}

} // namespace tolvane::cli
