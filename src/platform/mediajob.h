#pragma once

#include "platform/cancellation.h"
#include "platform/expected.h"
#include "platform/mediaerror.h"

#include <QFuture>
#include <QThread>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroTask>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace tolvane {

// What the work of a media job sees of its job: whether the owner cancelled it
// (checked between frames or buffers) and where to put its progress.
class JobControl {
public:
    explicit JobControl(CancelHandle cancel)
        : m_cancel(std::move(cancel)) {}

    bool isCancelled() const { return tolvane::isCancelled(m_cancel); }
    const CancelHandle& cancelHandle() const { return m_cancel; }

    // A fraction 0...1; cheap enough to call for every frame.
    void setProgress(double fraction) {
        m_progress.store(std::clamp(fraction, 0.0, 1.0), std::memory_order_relaxed);
    }
    double progress() const { return m_progress.load(std::memory_order_relaxed); }

private:
    CancelHandle m_cancel;
    std::atomic<double> m_progress{0.0};
};

template <typename T>
using JobResult = Expected<T, MediaError>;

template <typename T>
using JobWork = std::function<JobResult<T>(JobControl&)>;

namespace detail {
// Jobs get threads of their own, so a long render never waits behind short
// work on the shared pool (and never holds that pool's threads).
QThreadPool& mediaJobPool();
} // namespace detail

// How often progress reaches the main thread.
inline constexpr std::chrono::milliseconds jobProgressInterval{250};

// Runs one long media operation (render, background replacement, transcription,
// validation) on a worker thread and resumes on the caller's thread with its
// value or error, exactly once. While it runs, `progress` is called on the
// caller's thread with the work's latest fraction, sampled every 0.25 s and only
// when it changed, and once more at a successful end if it changed since. Cancelling `cancel` makes
// the work stop at its next check; a job cancelled before it started ends with
// MediaError::cancelled() at once.
template <typename T>
QCoro::Task<JobResult<T>> runMediaJob(JobWork<T> work, std::function<void(double)> progress = {},
                                      CancelHandle cancel = {}) {
    auto control = std::make_shared<JobControl>(cancel ? cancel : CancelToken::create());
    if (control->isCancelled()) {
        co_return JobResult<T>(Unexpected(MediaError::cancelled()));
    }
    QTimer sampler;
    double last = -1.0;
    if (progress) {
        sampler.setInterval(jobProgressInterval);
        QObject::connect(&sampler, &QTimer::timeout, [&last, &progress, control] {
            const double now = control->progress();
            if (now != last) {
                last = now;
                progress(now);
            }
        });
        sampler.start();
    }
    QFuture<JobResult<T>> future = QtConcurrent::run(
        &detail::mediaJobPool(), [control, work = std::move(work)] { return work(*control); });
    JobResult<T> result = co_await future;
    sampler.stop();
    // Work shorter than one interval still shows how far it got.
    if (progress && result) {
        if (const double now = control->progress(); now != last) {
            progress(now);
        }
    }
    co_return result;
}

} // namespace tolvane
