#pragma once

#include "platform/cancellation.h"
#include "platform/expected.h"
#include "platform/mediaerror.h"
#include "service/apiclient.h"
#include "video/captions.h"
#include "video/videoeditmodel.h"

#include <QCoro/QCoroTask>

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>

class QAudioOutput;
class QMediaPlayer;

namespace tolvane {

class AppSettings;
class ConversationStore;
class VideoStudioController;

// The editor window's rules: the preview's framing, overlays and play/pause,
// the trim handles, caption generation, and the "Download" and
// "Export & Send" flows with their cancellation. It follows the studio's open
// edit model and owns the preview player; the view only draws what it says
// and forwards the user's actions. Main thread only.
class VideoEditorModel : public QObject {
    Q_OBJECT
    Q_MOC_INCLUDE("video/videoeditmodel.h")
    Q_PROPERTY(tolvane::VideoEditModel* model READ model NOTIFY modelChanged)
    Q_PROPERTY(bool playing READ isPlaying NOTIFY playingChanged)
    Q_PROPERTY(double previewProgress READ previewProgress NOTIFY overlaysChanged)
    Q_PROPERTY(bool hookVisible READ hookVisible NOTIFY overlaysChanged)
    Q_PROPERTY(QStringList hookLines READ hookLines NOTIFY overlaysChanged)
    Q_PROPERTY(bool progressBarVisible READ progressBarVisible NOTIFY overlaysChanged)
    Q_PROPERTY(bool captionVisible READ captionVisible NOTIFY overlaysChanged)
    // The caption as rich text: its words joined by single spaces, the spoken
    // one in yellow.
    Q_PROPERTY(QString captionHtml READ captionHtml NOTIFY overlaysChanged)
    Q_PROPERTY(bool captionBubble READ captionBubble NOTIFY overlaysChanged)
    // Changes whenever a different caption comes on, so the view can replay
    // its entrance.
    Q_PROPERTY(int captionKey READ captionKey NOTIFY overlaysChanged)
    // The player's picture inside the preview box (set by the view).
    Q_PROPERTY(
        QSizeF previewBoxSize READ previewBoxSize WRITE setPreviewBoxSize NOTIFY playerFrameChanged)
    Q_PROPERTY(QRectF playerFrame READ playerFrame NOTIFY playerFrameChanged)
    // Without a known picture size the picture fills the box, cropped.
    Q_PROPERTY(bool playerFillsBox READ playerFillsBox NOTIFY playerFrameChanged)
    // The trim handles' positions as fractions of the bar.
    Q_PROPERTY(double trimStartFraction READ trimStartFraction NOTIFY trimChanged)
    Q_PROPERTY(double trimEndFraction READ trimEndFraction NOTIFY trimChanged)
    Q_PROPERTY(QStringList captionStyleLabels READ captionStyleLabels CONSTANT)
    Q_PROPERTY(int captionStyleIndex READ captionStyleIndex WRITE setCaptionStyleIndex NOTIFY
                   captionStyleIndexChanged)
    Q_PROPERTY(double exportProgress READ exportProgress NOTIFY exportProgressChanged)
    Q_PROPERTY(bool working READ working NOTIFY workingChanged)
    Q_PROPERTY(bool generatingCaptions READ generatingCaptions NOTIFY generatingCaptionsChanged)
    Q_PROPERTY(QString errorMsg READ errorMsg NOTIFY errorMsgChanged)
    // "Exporting…" or "Uploading…" while the studio does either; empty otherwise.
    Q_PROPERTY(QString busyText READ busyText NOTIFY busyChanged)
    Q_PROPERTY(double busyProgress READ busyProgress NOTIFY busyChanged)
    Q_PROPERTY(QString proposedFileName READ proposedFileName CONSTANT)
    // Where the save dialog starts: the proposed name in the user's videos
    // folder (or home folder).
    Q_PROPERTY(QUrl proposedSaveUrl READ proposedSaveUrl CONSTANT)

public:
    // What the play/pause button does.
    enum class PlayAction { pause, play, restartAndPlay };

    // The shortest stretch the trim handles keep, in seconds.
    static constexpr double minimumKeptLength = 0.5;
    // How often the overlays follow playback.
    static constexpr int observerIntervalMs = 100;

    // Test seams: how captions are generated, how a saved file is shown, and
    // how the short is rendered.
    using CaptionRunner = std::function<QCoro::Task<Expected<Done, MediaError>>(
        QPointer<VideoEditModel>, CancelHandle, std::function<bool(const VideoEditModel*)>)>;
    using Revealer = std::function<void(const QString& path)>;

    VideoEditorModel(VideoStudioController& studio, ConversationStore& conversation,
                     AppSettings& settings, ServiceEndpoints endpoints, QObject* parent = nullptr);
    ~VideoEditorModel() override;

    // The rules, free of any player or window.
    static PlayAction playAction(bool playing, std::optional<double> duration, double position);
    // The picture's rectangle in a box of `view` for a source of upright size
    // `video`, so the crop window of the rendered short shows; none when the
    // size is unknown (the picture then fills the box, cropped).
    static std::optional<QRectF> croppedFrame(QSizeF video, QSizeF view, double cropCenterX,
                                              double cropZoom);
    // The trim a handle dragged to x on a bar `width` wide gives.
    static double leadingHandleTrim(double x, double width, double duration, double trimEnd);
    static double trailingHandleTrim(double x, double width, double duration, double trimStart);
    // Position in the trimmed stretch, 0...1, at source time t.
    static double progressAt(double t, double trimStart, double trimEnd);

    VideoEditModel* model() const { return m_model; }
    QMediaPlayer* player() const { return m_player; }
    bool isPlaying() const;
    double previewProgress() const { return m_previewProgress; }
    bool hookVisible() const { return m_hookVisible; }
    QStringList hookLines() const { return m_hookLines; }
    bool progressBarVisible() const;
    const std::optional<ActiveCaption>& currentCaption() const { return m_currentCaption; }
    bool captionVisible() const { return m_currentCaption.has_value(); }
    QString captionHtml() const;
    bool captionBubble() const;
    int captionKey() const { return m_captionKey; }
    QSizeF previewBoxSize() const { return m_boxSize; }
    void setPreviewBoxSize(QSizeF size);
    QRectF playerFrame() const;
    bool playerFillsBox() const;
    double trimStartFraction() const;
    double trimEndFraction() const;
    QStringList captionStyleLabels() const;
    int captionStyleIndex() const;
    void setCaptionStyleIndex(int index);
    double exportProgress() const { return m_exportProgress; }
    bool working() const { return m_working; }
    bool generatingCaptions() const { return m_generatingCaptions; }
    QString errorMsg() const { return m_errorMsg; }
    QString busyText() const;
    double busyProgress() const;
    QString proposedFileName() const;
    QUrl proposedSaveUrl() const;
    bool hasExportTask() const { return m_exportTask != nullptr; }
    bool hasCaptionTask() const { return m_captionTask != nullptr; }
    bool hasSaveTask() const { return m_saveTask != nullptr; }

    void setCaptionRunner(CaptionRunner runner) { m_captionRunner = std::move(runner); }
    void setRevealer(Revealer revealer) { m_revealer = std::move(revealer); }

    // The view appeared: prepares the model, starts playing from the start
    // and, once per model, generates captions when there is no text yet.
    Q_INVOKABLE void open();
    // Where the player draws (a VideoOutput); null detaches it.
    Q_INVOKABLE void setVideoOutput(QObject* output);
    Q_INVOKABLE void togglePlayback();
    Q_INVOKABLE void dragLeadingHandle(double x, double width);
    Q_INVOKABLE void dragTrailingHandle(double x, double width);
    // Runs the caption generation, replacing a running one.
    Q_INVOKABLE void regenerateCaptions();
    // Renders, uploads and posts the short into the chat.
    Q_INVOKABLE void exportAndSend();
    // Renders the short and saves it at `destination` (chosen in the save
    // dialog), replacing a file there.
    Q_INVOKABLE void saveTo(const QUrl& destination);
    // Cancels everything, drops the recording with its files and asks for
    // the window to close.
    Q_INVOKABLE void discard();
    // The window was closed: as discard, when a recording is still open.
    Q_INVOKABLE void windowClosed();

    // The overlays for source time t (the player's observer calls it).
    void observe(double t);

Q_SIGNALS:
    void modelChanged();
    void playingChanged();
    void overlaysChanged();
    void playerFrameChanged();
    void trimChanged();
    void captionStyleIndexChanged();
    void exportProgressChanged();
    void workingChanged();
    void generatingCaptionsChanged();
    void errorMsgChanged();
    void busyChanged();
    // The window should close.
    void dismissRequested();

private:
    void followModel();
    void refreshOverlays();
    void onPlayerItemChanged();
    void cancelTasks();
    void stopPlayer();
    void setExportProgress(double value);
    void setWorking(bool value);
    void setGeneratingCaptions(bool value);
    void setErrorMsg(const QString& value);
    bool isOpen(const VideoEditModel* model) const;
    QCoro::Task<void> runOpen(QPointer<VideoEditModel> model);
    QCoro::Task<void> runCaptions(QPointer<VideoEditModel> model, CancelHandle task);
    QCoro::Task<void> runSend(QPointer<VideoEditModel> model, CancelHandle task);
    QCoro::Task<void> runSave(QPointer<VideoEditModel> model, CancelHandle task,
                              QString destination);
    // Builds the composition and renders it; the exported file's path.
    QCoro::Task<Expected<QString, MediaError>> render(QPointer<VideoEditModel> model,
                                                      CancelHandle task);

    VideoStudioController& m_studio;
    ConversationStore& m_conversation;
    QPointer<AppSettings> m_settings;
    ServiceEndpoints m_endpoints;
    QPointer<VideoEditModel> m_model;
    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_audio = nullptr;
    QPointer<QObject> m_videoOutput;
    QTimer m_observer;
    double m_time = 0.0;
    std::optional<ActiveCaption> m_currentCaption;
    int m_captionKey = 0;
    double m_previewProgress = 0.0;
    bool m_hookVisible = false;
    QStringList m_hookLines;
    QSizeF m_boxSize;
    double m_exportProgress = 0.0;
    bool m_working = false;
    bool m_generatingCaptions = false;
    QString m_errorMsg;
    CancelHandle m_exportTask;
    CancelHandle m_captionTask;
    CancelHandle m_saveTask;
    CaptionRunner m_captionRunner;
    Revealer m_revealer;
};

} // namespace tolvane
