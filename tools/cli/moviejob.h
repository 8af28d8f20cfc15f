#pragma once

#include "common/shutdownsignal.h"
#include "output.h"
#include "platform/expected.h"
#include "platform/mediaasset.h"
#include "platform/mediajob.h"

#include <QFile>
#include <QJsonObject>
#include <QString>

#include <QCoro/QCoroTask>

#include <csignal>

namespace tolvane::cli {

// The checks every command that turns one movie into another file makes
// first: the input is a movie with a video track, and OUT can be written
// without touching the input.
Expected<AssetInfo, QString> checkMovieToFile(const QString& input, const QString& output);

// A hidden name beside OUT, so OUT is never half-written and an existing OUT
// survives a failed run.
QString partialBeside(const QString& output, const QString& prefix, const QString& suffix);

// Runs `work`, which writes `partial`, as a media job: progress lines while it
// runs, SIGINT and SIGTERM cancel it. On success `partial` becomes `output`;
// otherwise it is removed and the reason returned.
template <typename T>
QCoro::Task<Expected<T, QString>> runToFile(JobWork<T> work, QString partial, QString output,
                                            QString cancelledText) {
    auto cancel = CancelToken::create();
    ShutdownSignal interrupt({SIGINT, SIGTERM});
    QObject::connect(&interrupt, &ShutdownSignal::received, cancel.get(), &CancelToken::cancel);
    double shown = -1.0;
    auto report = [&shown](double p) {
        shown = p;
        printLine(QJsonObject{{QStringLiteral("progress"), p}});
    };
    auto job = runMediaJob<T>(std::move(work), report, cancel);
    auto result = co_await job;
    const auto failed = [&partial](QString why) -> Expected<T, QString> {
        QFile::remove(partial);
        return Unexpected(std::move(why));
    };
    if (cancel->isCancelled() || (!result && result.error().isCancelled())) {
        co_return failed(cancelledText);
    }
    if (!result) {
        co_return failed(result.error().description);
    }
    if (QFile::exists(output) && !QFile::remove(output)) {
        co_return failed(QStringLiteral("could not replace %1").arg(output));
    }
    if (!QFile::rename(partial, output)) {
        co_return failed(QStringLiteral("could not write %1").arg(output));
    }
    if (shown < 1.0) {
        report(1.0);
    }
    co_return std::move(*result);
}

} // namespace tolvane::cli
