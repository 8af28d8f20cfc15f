#pragma once

#include "platform/expected.h"
#include "platform/mediaerror.h"
#include "recording/ondevicetranscriber.h"
#include "recording/voicerecorder.h"
#include "ui/shell/sharedobjects.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include <QCoro/QCoroTask>

#include <functional>

class QJSEngine;

namespace tolvane {

class ChatViewModel;

// Dictation into the composer: the microphone button, the dictation bar and
// the line that says what went wrong. While it records or transcribes, the
// composer does not send and a paste does not attach (the chat view-model's
// capture lock). The recognised text is added to the draft after one space.
class DictationViewModel : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Dictation)
    QML_SINGLETON
    // The dictation bar replaces the message field while this holds.
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY stateChanged)
    // A spinner replaces the microphone button while this holds.
    Q_PROPERTY(bool transcribing READ transcribing NOTIFY stateChanged)
    // Recording, about to or transcribing: other ways of adding to the
    // message (attaching, recording a video) wait.
    Q_PROPERTY(bool busy READ busy NOTIFY stateChanged)
    Q_PROPERTY(bool micEnabled READ micEnabled NOTIFY stateChanged)
    Q_PROPERTY(QString micIcon READ micIcon NOTIFY stateChanged)
    Q_PROPERTY(QString micTip READ micTip NOTIFY stateChanged)
    // 0 to 1, for the level capsule.
    Q_PROPERTY(double level READ level NOTIFY levelChanged)
    // Minutes and two-digit seconds ("0:07").
    Q_PROPERTY(QString elapsedText READ elapsedText NOTIFY elapsedChanged)
    // The last dictation failure, shown above the composer; empty when none.
    Q_PROPERTY(QString voiceError READ voiceError NOTIFY voiceErrorChanged)

public:
    using Transcription = Expected<OnDeviceTranscriber::Transcription, MediaError>;

    // How recorded speech becomes text: the on-device engine, or a stand-in
    // in tests.
    struct Transcriber {
        // Gets the engine ready in the background; called when recording starts.
        std::function<void()> warmUp;
        std::function<QCoro::Task<Transcription>(QString path)> transcribe;
        // The samples recorded since the last call, a few times a second while
        // recording, so that the work can start before the stop; may be empty.
        std::function<void(const QByteArray& samples)> hear;

        static Transcriber onDevice();
    };

    static inline const QString noAudioText = QStringLiteral("Didn't catch any audio — try again.");
    static inline const QString nothingRecognisedText =
        QStringLiteral("Couldn't make out that clip.");

    // The instance the view host shares with the views.
    static DictationViewModel* create(QQmlEngine* engine, QJSEngine*) {
        return sharedWithViews<DictationViewModel>(engine);
    }

    explicit DictationViewModel(ChatViewModel& chat,
                                Transcriber transcriber = Transcriber::onDevice(),
                                QObject* parent = nullptr);

    VoiceRecorder& recorder() { return m_recorder; }

    bool isRecording() const { return m_recorder.isRecording(); }
    bool transcribing() const { return m_transcribing; }
    bool busy() const { return m_starting || isRecording() || m_transcribing; }
    bool micEnabled() const;
    QString micIcon() const;
    QString micTip() const;
    double level() const { return m_recorder.level(); }
    QString elapsedText() const { return elapsedText(m_recorder.elapsed()); }
    QString voiceError() const { return m_voiceError; }

    static QString elapsedText(double seconds);
    // The draft with recognised text added: after one space, or as the whole
    // draft when it is empty.
    static QString appended(const QString& draft, const QString& text);

    // The microphone button: starts recording, or stops it and transcribes.
    Q_INVOKABLE void toggle();
    // The dictation bar's Discard: throws the recording away untranscribed.
    Q_INVOKABLE void discard();

    // toggle() as a task that ends when the press's work is done: recording
    // runs (or failed to start), or the text is in the draft (or the error is
    // shown).
    QCoro::Task<void> press();

Q_SIGNALS:
    void stateChanged();
    void levelChanged();
    void elapsedChanged();
    void voiceErrorChanged();

private:
    QCoro::Task<void> startRecording();
    QCoro::Task<void> stopAndTranscribe();
    void setVoiceError(const QString& text);
    void setTranscribing(bool transcribing);
    void updateState();

    QPointer<ChatViewModel> m_chat;
    Transcriber m_transcriber;
    VoiceRecorder m_recorder;
    // Hands what was recorded to the transcriber while the user speaks.
    QTimer m_listening;
    bool m_starting = false;
    bool m_transcribing = false;
    QString m_voiceError;
};

} // namespace tolvane
