#include "recording/recordingvalidation.h"

#include "platform/cancellation.h"
#include "platform/mediajob.h"
#include "recording/waiterslot.h"

#include <QFileInfo>
#include <QTimer>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

using Validation = Expected<double, RecordedVideoError>;

RecordedVideoError failure(const char* message) {
    return RecordedVideoError{QString::fromUtf8(message)};
}

// The loading half of the race: completes `outcome` with the duration or
// with why there is none.
QCoro::Task<void> load(QString path, RecordingValidationOptions options, CancelHandle cancel,
                       std::shared_ptr<PendingWaiter<std::optional<Validation>>> outcome) {
    auto loader = options.load;
    JobWork<double> work = [path, loader](JobControl&) -> JobResult<double> {
        Expected<AssetInfo, MediaError> info = loader ? loader(path) : MediaAsset(path).load();
        if (!info) {
            return Unexpected(info.error());
        }
        if (info->videoTracks.isEmpty()) {
            return Unexpected(MediaError{u"Recording"_s, 1, QString()});
        }
        return info->duration;
    };
    auto job = runMediaJob<double>(std::move(work), {}, cancel);
    JobResult<double> result = co_await job;
    if (!result) {
        if (result.error().isCancelled()) {
            outcome->complete(std::nullopt);
        } else if (result.error().domain == "Recording"_L1) {
            outcome->complete(Validation(
                Unexpected(failure("The recording did not contain a video track. Please try "
                                   "again."))));
        } else {
            // The media layer's own description, unchanged.
            outcome->complete(
                Validation(Unexpected(RecordedVideoError{result.error().description})));
        }
        co_return;
    }
    const double seconds = result.value();
    if (std::isfinite(seconds) && seconds > 0.1) {
        outcome->complete(Validation(seconds));
    } else {
        outcome->complete(Validation(
            Unexpected(failure("The recording duration was not readable. Please try again."))));
    }
}

} // namespace

QCoro::Task<Expected<double, RecordedVideoError>>
validateRecording(QString path, RecordingValidationOptions options) {
    const QFileInfo file(path);
    if (!file.exists() || !file.isFile() || file.size() < 1025) {
        co_return Validation(
            Unexpected(failure("The recording file was empty. Please try recording again.")));
    }
    // Loading races the deadline; the first to finish decides and the other
    // is called off (a load already running is left to end on its own).
    auto outcome = std::make_shared<PendingWaiter<std::optional<Validation>>>();
    CancelHandle cancel = CancelToken::create();
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [outcome] {
        outcome->complete(Validation(Unexpected(
            failure("The recording file did not become readable in time. Please try again."))));
    });
    deadline.start(options.deadline);
    load(path, options, cancel, outcome);
    auto waiting = outcome->wait();
    std::optional<Validation> decided = co_await waiting;
    deadline.stop();
    cancel->cancel();
    if (!decided) {
        co_return Validation(
            Unexpected(failure("The recording file was not readable. Please try again.")));
    }
    Validation value = std::move(*decided);
    co_return value;
}

} // namespace tolvane
