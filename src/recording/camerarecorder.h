#pragma once

#include "platform/capturebackend.h"
#include "platform/mediatime.h"
#include "recording/waiterslot.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

namespace tolvane {

class SerialQueue;

// Records the camera and the microphone into one QuickTime movie in the
// recordings directory, supplies the live picture and counts the seconds.
// One recorder per attempt, on the main thread. The capture layer reports from
// its own threads; each report is moved to the main thread and completes the
// matching waiter, and every wait has a fixed time-out, so no operation hangs.
class CameraRecorder : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(double elapsed READ elapsed NOTIFY elapsedChanged)
    // True while warm: the live picture is available.
    Q_PROPERTY(bool hasPreview READ hasPreview NOTIFY previewChanged)
    Q_PROPERTY(bool recordingFailed READ recordingFailed NOTIFY recordingFailedChanged)

public:
    struct Timeouts {
        std::chrono::milliseconds warmUp{8000};
        std::chrono::milliseconds start{4000};
        std::chrono::milliseconds stop{10000};
    };

    // Records from the real capture layer.
    explicit CameraRecorder(QObject* parent = nullptr);
    CameraRecorder(std::shared_ptr<CaptureBackend> backend, Timeouts timeouts,
                   QObject* parent = nullptr);
    ~CameraRecorder() override;

    bool isRecording() const { return m_isRecording; }
    double elapsed() const { return m_elapsed; }
    bool hasPreview() const { return m_previewLayer != nullptr; }
    // The live picture; empty unless warm.
    std::shared_ptr<PreviewFrames> previewLayer() const { return m_previewLayer; }
    // Host-clock (monotonic) time at which the file's recording began.
    std::optional<MediaTime> startHostTime() const { return m_startHostTime; }
    std::optional<QUrl> fileURL() const { return m_fileURL; }
    bool recordingFailed() const { return m_recordingFailed; }

    // Opens the camera and the microphone and starts them: true when running.
    QCoro::Task<bool> warmUp();
    // Warms up if needed and starts recording to a new file: true once the
    // capture layer confirmed the start.
    QCoro::Task<bool> start();
    // The finished file, or nothing when no usable file exists.
    QCoro::Task<std::optional<QUrl>> stop();
    // Abandons everything at once: pending operations end, a running
    // recording stops and its file is deleted.
    void discard();
    void teardown();

    // Now on the host clock, as startHostTime() reads it.
    static MediaTime hostTime();

Q_SIGNALS:
    void isRecordingChanged();
    void elapsedChanged();
    void previewChanged();
    void recordingFailedChanged();

private:
    void setIsRecording(bool value);
    void setElapsed(double value);
    void onStarted(MediaTime hostTime);
    void onFinished(const QString& path, qint64 size);
    template <typename T>
    void armTimeout(std::chrono::milliseconds after, WaiterSlot<T>& slot,
                    const WaiterSlot<T>& waiter, T value);

    bool m_isRecording = false;
    double m_elapsed = 0;
    std::shared_ptr<PreviewFrames> m_previewLayer;
    std::optional<MediaTime> m_startHostTime;
    std::shared_ptr<CaptureBackend> m_session;
    std::unique_ptr<SerialQueue> m_sessionQueue;
    std::optional<QUrl> m_fileURL;
    QTimer* m_elapsedTimer = nullptr;
    // Monotonic, so a change of the system clock never bends the count.
    std::optional<std::chrono::steady_clock::time_point> m_startedAt;
    WaiterSlot<bool> m_warmUpContinuation;
    WaiterSlot<bool> m_startContinuation;
    WaiterSlot<std::optional<QUrl>> m_stopContinuation;
    bool m_recordingFailed = false;
    Timeouts m_timeouts;
    // Set by discard(): a file the capture layer finishes afterwards is
    // deleted as soon as it is closed.
    std::shared_ptr<std::atomic_bool> m_discarded = std::make_shared<std::atomic_bool>(false);
};

} // namespace tolvane
