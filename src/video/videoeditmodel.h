#pragma once

#include "platform/cancellation.h"
#include "platform/expected.h"
#include "platform/mediaasset.h"
#include "platform/mediatime.h"
#include "recording/ondevicetranscriber.h"
#include "recording/recordingresult.h"
#include "video/captions.h"
#include "video/captionstyle.h"
#include "video/composition.h"
#include "video/effectoptions.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QSizeF>
#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <optional>

namespace tolvane {

// The edit state of one recording: the trimmed stretch, the crop window, the
// captions and the effects, plus what the editor shows of the source (preview
// source, picture size, filmstrip). Lives on the main thread. Setters store
// what they are given; the editor's controls keep the limits (a kept length of
// at least 0.5 s, crop centre 0...1, zoom 1...3). Assigning an unchanged value
// emits nothing.
class VideoEditModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(double duration READ duration WRITE setDuration NOTIFY durationChanged)
    Q_PROPERTY(double trimStart READ trimStart WRITE setTrimStart NOTIFY trimStartChanged)
    Q_PROPERTY(double trimEnd READ trimEnd WRITE setTrimEnd NOTIFY trimEndChanged)
    Q_PROPERTY(double cropCenterX READ cropCenterX WRITE setCropCenterX NOTIFY cropCenterXChanged)
    Q_PROPERTY(double cropZoom READ cropZoom WRITE setCropZoom NOTIFY cropZoomChanged)
    Q_PROPERTY(QString captionText READ captionText WRITE setCaptionText NOTIFY captionTextChanged)
    Q_PROPERTY(QString captionTranscript READ captionTranscript WRITE setCaptionTranscript NOTIFY
                   captionTranscriptChanged)
    Q_PROPERTY(double captionTrimStart READ captionTrimStart WRITE setCaptionTrimStart NOTIFY
                   captionTrimStartChanged)
    Q_PROPERTY(double captionTrimEnd READ captionTrimEnd WRITE setCaptionTrimEnd NOTIFY
                   captionTrimEndChanged)
    Q_PROPERTY(bool captionsAutoRequested READ captionsAutoRequested WRITE setCaptionsAutoRequested
                   NOTIFY captionsAutoRequestedChanged)
    Q_PROPERTY(bool captionsEnabled READ captionsEnabled WRITE setCaptionsEnabled NOTIFY
                   captionsEnabledChanged)
    Q_PROPERTY(bool karaokeHighlight READ karaokeHighlight WRITE setKaraokeHighlight NOTIFY
                   karaokeHighlightChanged)
    Q_PROPERTY(bool effectFades READ effectFades WRITE setEffectFades NOTIFY effectFadesChanged)
    Q_PROPERTY(bool effectKenBurns READ effectKenBurns WRITE setEffectKenBurns NOTIFY
                   effectKenBurnsChanged)
    Q_PROPERTY(bool effectProgressBar READ effectProgressBar WRITE setEffectProgressBar NOTIFY
                   effectProgressBarChanged)
    Q_PROPERTY(bool effectJumpCuts READ effectJumpCuts WRITE setEffectJumpCuts NOTIFY
                   effectJumpCutsChanged)
    Q_PROPERTY(
        bool effectPunchIn READ effectPunchIn WRITE setEffectPunchIn NOTIFY effectPunchInChanged)
    Q_PROPERTY(bool effectHook READ effectHook WRITE setEffectHook NOTIFY effectHookChanged)
    Q_PROPERTY(QString hookText READ hookText WRITE setHookText NOTIFY hookTextChanged)
    Q_PROPERTY(QUrl playerItem READ playerItem WRITE setPlayerItem NOTIFY playerItemChanged)
    Q_PROPERTY(QString loadError READ loadError WRITE setLoadError NOTIFY loadErrorChanged)
    Q_PROPERTY(QSizeF videoSize READ videoSize WRITE setVideoSize NOTIFY videoSizeChanged)

public:
    static constexpr int filmstripFrameCount = 24;

    explicit VideoEditModel(RecordingResult result, QObject* parent = nullptr);
    ~VideoEditModel() override;

    const RecordingResult& result() const { return m_result; }
    const MediaAsset& asset() const { return m_asset; }
    // The screen file when there is one, else the camera file, else /dev/null.
    const QUrl& sourceUrl() const { return m_sourceUrl; }

    double duration() const { return m_duration; }
    double trimStart() const { return m_trimStart; }
    double trimEnd() const { return m_trimEnd; }
    double cropCenterX() const { return m_cropCenterX; }
    double cropZoom() const { return m_cropZoom; }
    QString captionText() const { return m_captionText; }
    // Times relative to captionTrimStart.
    const QList<OnDeviceTranscriber::Segment>& captionSegments() const { return m_captionSegments; }
    QString captionTranscript() const { return m_captionTranscript; }
    double captionTrimStart() const { return m_captionTrimStart; }
    double captionTrimEnd() const { return m_captionTrimEnd; }
    bool captionsAutoRequested() const { return m_captionsAutoRequested; }
    bool captionsEnabled() const { return m_captionsEnabled; }
    bool karaokeHighlight() const { return m_karaokeHighlight; }
    bool effectFades() const { return m_effectFades; }
    bool effectKenBurns() const { return m_effectKenBurns; }
    bool effectProgressBar() const { return m_effectProgressBar; }
    bool effectJumpCuts() const { return m_effectJumpCuts; }
    bool effectPunchIn() const { return m_effectPunchIn; }
    bool effectHook() const { return m_effectHook; }
    QString hookText() const { return m_hookText; }
    CaptionStyle captionStyle() const { return m_captionStyle; }
    // What the preview plays; empty for none.
    QUrl playerItem() const { return m_playerItem; }
    // A loading problem the editor shows instead of the preview; null for none.
    QString loadError() const { return m_loadError; }
    // Upright display size once known; invalid until then.
    QSizeF videoSize() const { return m_videoSize; }
    const QList<QImage>& filmstrip() const { return m_filmstrip; }
    const CancelHandle& filmstripTask() const { return m_filmstripTask; }

    void setDuration(double value);
    void setTrimStart(double value);
    void setTrimEnd(double value);
    void setCropCenterX(double value);
    void setCropZoom(double value);
    void setCaptionText(const QString& value);
    void setCaptionSegments(const QList<OnDeviceTranscriber::Segment>& value);
    void setCaptionTranscript(const QString& value);
    void setCaptionTrimStart(double value);
    void setCaptionTrimEnd(double value);
    void setCaptionsAutoRequested(bool value);
    void setCaptionsEnabled(bool value);
    void setKaraokeHighlight(bool value);
    void setEffectFades(bool value);
    void setEffectKenBurns(bool value);
    void setEffectProgressBar(bool value);
    void setEffectJumpCuts(bool value);
    void setEffectPunchIn(bool value);
    void setEffectHook(bool value);
    void setHookText(const QString& value);
    void setCaptionStyle(CaptionStyle value);
    void setPlayerItem(const QUrl& value);
    void setLoadError(const QString& value);
    void setVideoSize(const QSizeF& value);
    void setFilmstrip(const QList<QImage>& value);

    // The trimmed stretch with timescale 600; never shorter than 0.1 s, even
    // when the trim values cross.
    MediaTimeRange trimRange() const;

    EffectOptions effectOptions() const;

    // The captions of the current state, derived on each call. timedChunks: the
    // transcription's timed words grouped into chunks, while they still fit (the
    // text unedited and the trim moved less than 0.05 s since); none otherwise.
    std::optional<QList<CaptionChunk>> timedChunks() const;
    // Empty with captions off; else timedChunks, or the caption text spread
    // evenly over the trimmed stretch. Times relative to trimStart.
    QList<CaptionChunk> captionChunks() const;
    // The caption shown at source time t and, with karaokeHighlight, the word
    // being spoken (in a gap between words, the last one); none between chunks.
    std::optional<ActiveCaption> activeCaption(double t) const;

    // Prepares what the editor shows: the preview source, the filmstrip and the
    // picture size, each only when still missing.
    QCoro::Task<void> load();

    // The description of the short for the current settings (trim, crop,
    // captions when enabled, effects), built on a worker thread: the file is
    // read, the sound analysed for jump cuts and the pictures drawn there.
    QCoro::Task<Expected<Composition, MediaError>> buildComposition(CancelHandle cancel = {});

    // Replaces any running generation. The images of frames at the centres of
    // `count` equal slices of the duration arrive all at once in filmstrip; a
    // generation that was replaced or whose model is gone assigns nothing.
    void generateFilmstrip(int count);

Q_SIGNALS:
    void durationChanged();
    void trimStartChanged();
    void trimEndChanged();
    void cropCenterXChanged();
    void cropZoomChanged();
    void captionTextChanged();
    void captionSegmentsChanged();
    void captionTranscriptChanged();
    void captionTrimStartChanged();
    void captionTrimEndChanged();
    void captionsAutoRequestedChanged();
    void captionsEnabledChanged();
    void karaokeHighlightChanged();
    void effectFadesChanged();
    void effectKenBurnsChanged();
    void effectProgressBarChanged();
    void effectJumpCutsChanged();
    void effectPunchInChanged();
    void effectHookChanged();
    void hookTextChanged();
    void captionStyleChanged();
    void playerItemChanged();
    void loadErrorChanged();
    void videoSizeChanged();
    void filmstripChanged();
    void filmstripTaskChanged();

private:
    template <typename T>
    void assign(T& member, const T& value, void (VideoEditModel::*changed)());

    const RecordingResult m_result;
    QUrl m_sourceUrl;
    MediaAsset m_asset;
    double m_duration = 0.1;
    double m_trimStart = 0.0;
    double m_trimEnd = 0.1;
    double m_cropCenterX = 0.5;
    double m_cropZoom = 1.0;
    QString m_captionText;
    QList<OnDeviceTranscriber::Segment> m_captionSegments;
    QString m_captionTranscript;
    double m_captionTrimStart = 0.0;
    double m_captionTrimEnd = 0.0;
    bool m_captionsAutoRequested = false;
    bool m_captionsEnabled = true;
    bool m_karaokeHighlight = true;
    bool m_effectFades = true;
    bool m_effectKenBurns = true;
    bool m_effectProgressBar = true;
    bool m_effectJumpCuts = true;
    bool m_effectPunchIn = true;
    bool m_effectHook = true;
    QString m_hookText;
    CaptionStyle m_captionStyle = CaptionStyle::tiktok;
    QUrl m_playerItem;
    QString m_loadError;
    QSizeF m_videoSize;
    QList<QImage> m_filmstrip;
    CancelHandle m_filmstripTask;
};

} // namespace tolvane
