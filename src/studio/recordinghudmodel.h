#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

namespace tolvane {

class CameraRecorder;
class PreviewFrames;
class VideoStudioController;

// What the floating recording window shows of the studio: the live picture,
// the countdown, the running time and which buttons are offered. Lives on the
// main thread; the pictures themselves reach the view through an image
// provider, this model only says when a new one is there.
class RecordingHudModel : public QObject {
    Q_OBJECT
    // From the start of the countdown until the recording stops, fails to
    // start or is discarded.
    Q_PROPERTY(bool visible READ visible NOTIFY visibleChanged)
    Q_PROPERTY(bool countingDown READ countingDown NOTIFY countdownChanged)
    // The number shown during the countdown; 0 outside it.
    Q_PROPERTY(int countdown READ countdown NOTIFY countdownChanged)
    // Offered only once the countdown is over.
    Q_PROPERTY(bool stopVisible READ stopVisible NOTIFY countdownChanged)
    // True once the camera delivered a picture; the view shows the video
    // symbol until then.
    Q_PROPERTY(bool hasPicture READ hasPicture NOTIFY pictureChanged)
    // The latest picture's address; a new one for every picture.
    Q_PROPERTY(QString pictureSource READ pictureSource NOTIFY pictureChanged)
    // "%d:%02d": the time left when the user set a limit, else the time
    // recorded.
    Q_PROPERTY(QString timeText READ timeText NOTIFY timeTextChanged)

public:
    static inline const QString providerId = QStringLiteral("recordingPreview");
    static constexpr QSize windowSize{240, 320};

    explicit RecordingHudModel(VideoStudioController& studio, QObject* parent = nullptr);
    ~RecordingHudModel() override;

    bool visible() const;
    bool countingDown() const;
    int countdown() const;
    bool stopVisible() const { return !countingDown(); }
    bool hasPicture() const { return m_hasPicture; }
    QString pictureSource() const;
    QString timeText() const { return m_timeText; }

    // The live pictures of the current recorder; empty when there is none.
    std::shared_ptr<PreviewFrames> previewFrames() const;

    // Whole seconds as minutes and two-digit seconds; the fraction is dropped.
    static QString clockText(double seconds);
    // The seconds the window shows: what is left of the limit (never below
    // 0) when the user set one, else the seconds recorded.
    static double shownSeconds(double elapsed, double maxDuration, bool userLimited);
    // Where the window goes so it is centred on `visibleFrame`; nothing when
    // there is no screen.
    static std::optional<QPoint> centredOrigin(std::optional<QRect> visibleFrame);
    // The origin on the primary screen's visible area; undefined when there
    // is no screen, and the window stays where it was made.
    Q_INVOKABLE QVariant placement() const;

    Q_INVOKABLE void discard();
    Q_INVOKABLE void stop();

Q_SIGNALS:
    void visibleChanged();
    void countdownChanged();
    void pictureChanged();
    void timeTextChanged();
    // Another recorder (or none): its pictures replace the old ones.
    void previewFramesChanged();

private:
    void followCamera();
    void followPreview();
    void updateTime();

    VideoStudioController& m_studio;
    CameraRecorder* m_camera = nullptr;
    QMetaObject::Connection m_cameraPreview;
    QMetaObject::Connection m_cameraElapsed;
    QMetaObject::Connection m_frames;
    std::shared_ptr<PreviewFrames> m_preview;
    bool m_hasPicture = false;
    // Never reset, so each picture's address differs from every earlier one.
    quint64 m_serial = 0;
    QString m_timeText;
};

} // namespace tolvane
