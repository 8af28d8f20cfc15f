#pragma once

#include "platform/capturebackend.h"

#include <QSize>
#include <QString>

#include <memory>

namespace tolvane {

// Where a capture session reads from: an FFmpeg input format (empty to guess
// from a file), its URL, and whether it must be paced at its native rate
// because it does not deliver in real time by itself (files, lavfi graphs).
struct CaptureSource {
    QString format;
    QString url;
    bool paced = false;

    friend bool operator==(const CaptureSource&, const CaptureSource&) = default;
};

// How a source named in TOLVANE_CAMERA or TOLVANE_MICROPHONE is read:
// "/dev/videoN" (camera), "alsa:DEVICE", "pulse:SOURCE" (microphone),
// "lavfi:GRAPH" or the path of a media file.
CaptureSource cameraSource(const QString& name);
CaptureSource microphoneSource(const QString& name);

// The capture layer on FFmpeg's libavdevice: one camera and one microphone
// recorded into a QuickTime movie on one clock (the monotonic time at which
// each frame arrived), with a scaled-down live picture.
//
// The camera is TOLVANE_CAMERA or else the first /dev/video* that opens as a
// capture device, asked for 1920x1080 at 30 fps (the driver picks the closest
// mode), preferring its MJPEG stream, which goes into the file as it is; other
// pictures are encoded with libx264 (ultrafast). The microphone is
// TOLVANE_MICROPHONE or else PulseAudio's default source, then ALSA's
// "default"; its sound is encoded as AAC.
class CaptureSession : public CaptureBackend {
public:
    struct Options {
        // Empty: from the environment, else the default devices.
        QString camera;
        QString microphone;
        // The box the live picture is scaled into, keeping its shape.
        QSize previewSize{360, 360};
    };

    CaptureSession();
    explicit CaptureSession(Options options);
    ~CaptureSession() override;

    bool startRunning() override;
    bool isRunning() const override;
    void stopRunning() override;
    void startRecording(const QString& path, Callbacks callbacks) override;
    void stopRecording() override;
    bool isRecording() const override;
    std::shared_ptr<PreviewFrames> preview() const override;

    // What the last failed startRunning() could not open; for diagnostics.
    QString lastError() const;
    // True while the camera's MJPEG is copied into the file as it is.
    bool copiesVideo() const;

    struct Private;

private:
    std::unique_ptr<Private> d;
};

} // namespace tolvane
