#pragma once

#include <QImage>
#include <QMutex>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace tolvane {

// The latest live picture of a capture session, already scaled down to the
// size the recording window shows. Written on the capture thread, read on the
// main thread; `frameReady` is queued to the receiver's thread so nothing of a
// picture is touched on the main thread but the finished QImage.
class PreviewFrames : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Safe from any thread.
    void publish(QImage image);
    QImage latest() const;
    qint64 count() const;

Q_SIGNALS:
    // Emitted on the publishing thread; connect queued.
    void frameReady();

private:
    mutable QMutex m_mutex;
    QImage m_latest;
    qint64 m_count = 0;
};

// What the camera recorder needs of a capture layer: sources that start and
// stop running, a movie output that records to a file and reports through two
// callbacks from its own threads, and the live picture.
class CaptureBackend {
public:
    struct Callbacks {
        // The file's header is written and frames are going into it.
        std::function<void()> started;
        // The file is closed (or never opened); `error` is empty on success.
        std::function<void(QString path, QString error)> finished;
    };

    virtual ~CaptureBackend() = default;

    // Blocking, on the recorder's session queue: opens the camera and the
    // microphone and starts delivering frames. Gives whether it is running.
    virtual bool startRunning() = 0;
    virtual bool isRunning() const = 0;
    // Blocking, on the session queue; finishes a recording in progress first.
    virtual void stopRunning() = 0;

    // Return at once; the callbacks follow from a capture thread.
    virtual void startRecording(const QString& path, Callbacks callbacks) = 0;
    virtual void stopRecording() = 0;
    virtual bool isRecording() const = 0;

    virtual std::shared_ptr<PreviewFrames> preview() const = 0;
};

} // namespace tolvane
