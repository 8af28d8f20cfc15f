#include "recording/camerarecorder.h"

#include "platform/capturesession.h"
#include "platform/serialqueue.h"
#include "recording/recordingsdirectory.h"
#include "recording/videolog.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <time.h>

using namespace Qt::StringLiterals;

namespace tolvane {

Q_LOGGING_CATEGORY(lcVideo, "com.tolvane.app.video")

namespace {

// Runs `work` on the main thread, unless the recorder is gone by then.
template <typename F>
void onMainThread(QPointer<CameraRecorder> recorder, F work) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [recorder, work = std::move(work)]() mutable {
            if (recorder) {
                work(recorder.data());
            }
        },
        Qt::QueuedConnection);
}

} // namespace

CameraRecorder::CameraRecorder(QObject* parent)
    : CameraRecorder(std::make_shared<CaptureSession>(), Timeouts{}, parent) {}

CameraRecorder::CameraRecorder(std::shared_ptr<CaptureBackend> backend, Timeouts timeouts,
                               QObject* parent)
    : QObject(parent)
    , m_session(std::move(backend))
    , m_sessionQueue(std::make_unique<SerialQueue>("tolvane.camera.session"))
    , m_timeouts(timeouts) {}

CameraRecorder::~CameraRecorder() {
    // Nobody is left waiting on a recorder that is gone.
    resolve(m_warmUpContinuation, false);
    resolve(m_startContinuation, false);
    resolve(m_stopContinuation, std::optional<QUrl>());
    if (m_session->isRunning() || m_session->isRecording()) {
        m_sessionQueue->async([session = m_session] { session->stopRunning(); });
    }
    // The queue's destructor runs what is queued: the session is stopped and a
    // recording in progress is closed before the recorder is gone.
}

MediaTime CameraRecorder::hostTime() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Microseconds: fine enough, and small enough that comparing two times
    // (which multiplies across timescales) cannot overflow.
    return MediaTime{qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000, 1000000};
}

void CameraRecorder::setIsRecording(bool value) {
    if (value != m_isRecording) {
        m_isRecording = value;
        Q_EMIT isRecordingChanged();
    }
}

void CameraRecorder::setElapsed(double value) {
    if (value != m_elapsed) {
        m_elapsed = value;
        Q_EMIT elapsedChanged();
    }
}

template <typename T>
void CameraRecorder::armTimeout(std::chrono::milliseconds after, WaiterSlot<T>& slot,
                                const WaiterSlot<T>& waiter, T value) {
    // Never cancelled: once the operation is done the slot no longer holds
    // this waiter and the time-out changes nothing.
    std::weak_ptr<PendingWaiter<T>> weak = waiter;
    QTimer::singleShot(after, this, [&slot, weak, value]() mutable {
        resolveIfCurrent(slot, weak, std::move(value));
    });
}

QCoro::Task<bool> CameraRecorder::warmUp() {
    // No permission prompt on Linux: a camera or microphone that is missing,
    // busy or not ours to open fails the opening below instead.
    if (m_previewLayer) {
        co_return true;
    }
    QPointer<CameraRecorder> self(this);
    m_previewLayer = m_session->preview();
    Q_EMIT previewChanged();

    auto waiter = std::make_shared<PendingWaiter<bool>>();
    resolve(m_warmUpContinuation, false);
    m_warmUpContinuation = waiter;
    m_sessionQueue->async([session = m_session, self] {
        const bool running = session->startRunning() && session->isRunning();
        onMainThread(self, [running](CameraRecorder* recorder) {
            resolve(recorder->m_warmUpContinuation, running);
        });
    });
    armTimeout(m_timeouts.warmUp, m_warmUpContinuation, waiter, false);
    auto waiting = waiter->wait();
    const bool running = co_await waiting;
    if (!self) {
        co_return false;
    }
    if (!running) {
        teardown();
    }
    co_return running;
}

QCoro::Task<bool> CameraRecorder::start() {
    if (m_isRecording) {
        co_return true;
    }
    QPointer<CameraRecorder> self(this);
    auto warming = warmUp();
    const bool warm = co_await warming;
    if (!self || !warm) {
        co_return false;
    }
    m_fileURL = newRecordingFile(u"tolvane-cam"_s, u".mov"_s);
    if (m_recordingFailed) {
        m_recordingFailed = false;
        Q_EMIT recordingFailedChanged();
    }
    m_discarded->store(false);

    auto waiter = std::make_shared<PendingWaiter<bool>>();
    resolve(m_startContinuation, false);
    m_startContinuation = waiter;
    CaptureBackend::Callbacks callbacks;
    callbacks.started = [self] {
        // Read on the capture thread, before any hop, so the time is the
        // file's start and not the main thread's next turn.
        const MediaTime now = hostTime();
        onMainThread(self, [now](CameraRecorder* recorder) { recorder->onStarted(now); });
    };
    callbacks.finished = [self, discarded = m_discarded](QString path, QString error) {
        const qint64 size = QFileInfo(path).size();
        qCInfo(lcVideo, "TOLVANE-VIDEO didFinishRecordingTo %s size=%lld error=%s",
               qPrintable(QFileInfo(path).fileName()), static_cast<long long>(size),
               error.isEmpty() ? "nil" : qPrintable(error));
        if (discarded->load()) {
            // Closed after a discard: the file must not outlive the attempt.
            QFile::remove(path);
        }
        onMainThread(self,
                     [path, size](CameraRecorder* recorder) { recorder->onFinished(path, size); });
    };
    m_session->startRecording(m_fileURL->toLocalFile(), std::move(callbacks));
    armTimeout(m_timeouts.start, m_startContinuation, waiter, false);
    auto waiting = waiter->wait();
    const bool started = co_await waiting;
    if (!self) {
        co_return false;
    }
    if (!started) {
        m_sessionQueue->async([session = m_session] {
            if (session->isRecording()) {
                session->stopRecording();
            }
        });
        teardown();
        co_return false;
    }
    m_startedAt = std::chrono::steady_clock::now();
    setElapsed(0);
    setIsRecording(true);
    if (!m_elapsedTimer) {
        m_elapsedTimer = new QTimer(this);
        m_elapsedTimer->setInterval(100);
        connect(m_elapsedTimer, &QTimer::timeout, this, [this] {
            if (!m_isRecording) {
                return;
            }
            setElapsed(m_startedAt ? std::chrono::duration<double>(
                                         std::chrono::steady_clock::now() - *m_startedAt)
                                         .count()
                                   : 0.0);
        });
    }
    m_elapsedTimer->start();
    co_return true;
}

QCoro::Task<std::optional<QUrl>> CameraRecorder::stop() {
    qCInfo(lcVideo, "TOLVANE-VIDEO stop requested (isRecording: %s)",
           m_isRecording ? "true" : "false");
    if (!m_isRecording) {
        teardown();
        co_return std::nullopt;
    }
    QPointer<CameraRecorder> self(this);
    auto waiter = std::make_shared<PendingWaiter<std::optional<QUrl>>>();
    resolve(m_stopContinuation, std::optional<QUrl>());
    m_stopContinuation = waiter;
    m_sessionQueue->async([session = m_session, self] {
        if (!session->isRecording()) {
            onMainThread(self, [](CameraRecorder* recorder) {
                resolve(recorder->m_stopContinuation, std::optional<QUrl>());
            });
            return;
        }
        session->stopRecording();
    });
    armTimeout(m_timeouts.stop, m_stopContinuation, waiter, std::optional<QUrl>());
    auto waiting = waiter->wait();
    std::optional<QUrl> file = co_await waiting;
    if (!self) {
        co_return std::nullopt;
    }
    teardown();
    co_return file;
}

void CameraRecorder::onStarted(MediaTime hostTime) {
    m_startHostTime = hostTime;
    resolve(m_startContinuation, true);
}

void CameraRecorder::onFinished(const QString& path, qint64 size) {
    // A finish before the start confirmation ends that start as failed.
    resolve(m_startContinuation, false);
    // The error itself decides nothing: a file with content is kept.
    resolve(m_stopContinuation,
            size >= 1 ? std::optional<QUrl>(QUrl::fromLocalFile(path)) : std::nullopt);
}

void CameraRecorder::discard() {
    resolve(m_warmUpContinuation, false);
    resolve(m_startContinuation, false);
    resolve(m_stopContinuation, std::optional<QUrl>());
    m_discarded->store(true);
    if (m_isRecording || m_session->isRecording()) {
        m_sessionQueue->async([session = m_session] {
            if (session->isRecording()) {
                session->stopRecording();
            }
        });
    }
    if (m_fileURL) {
        QFile::remove(m_fileURL->toLocalFile());
        m_fileURL.reset();
    }
    teardown();
}

void CameraRecorder::teardown() {
    if (m_elapsedTimer) {
        m_elapsedTimer->stop();
    }
    m_startedAt.reset();
    setIsRecording(false);
    const bool hadPreview = m_previewLayer != nullptr;
    m_previewLayer.reset();
    if (hadPreview) {
        Q_EMIT previewChanged();
    }
    m_sessionQueue->async([session = m_session] {
        session->stopRunning();
        qCInfo(lcVideo, "TOLVANE-VIDEO teardown complete (session stopped)");
    });
}

} // namespace tolvane
