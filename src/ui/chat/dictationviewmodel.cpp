#include "dictationviewmodel.h"

#include "chatviewmodel.h"
#include "platform/speechworker.h"
#include "recording/livetranscriber.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tolvane {

DictationViewModel::Transcriber DictationViewModel::Transcriber::onDevice() {
    // Decodes each finished sentence while the user goes on speaking.
    auto live = std::make_shared<LiveTranscriber>();
    return {[live] {
                SpeechWorker::shared().preload();
                live->begin();
            },
            [live](QString path) {
                return live->finishFile(std::move(path), OnDeviceTranscriber::currentLocale());
            },
            [live](const QByteArray& samples) { live->hear(samples); }};
}

DictationViewModel::DictationViewModel(ChatViewModel& chat, Transcriber transcriber,
                                       QObject* parent)
    : QObject(parent)
    , m_chat(&chat)
    , m_transcriber(std::move(transcriber)) {
    connect(&m_recorder, &VoiceRecorder::isRecordingChanged, this,
            &DictationViewModel::updateState);
    connect(&m_recorder, &VoiceRecorder::levelChanged, this, &DictationViewModel::levelChanged);
    connect(&m_recorder, &VoiceRecorder::elapsedChanged, this, &DictationViewModel::elapsedChanged);
    // The button follows the chat's sending state.
    connect(&chat, &ChatViewModel::sendingAllowedChanged, this, &DictationViewModel::stateChanged);
    m_listening.setInterval(250);
    connect(&m_listening, &QTimer::timeout, this, [this] {
        if (const QByteArray samples = m_recorder.takeNewSamples(); !samples.isEmpty()) {
            m_transcriber.hear(samples);
        }
    });
}

bool DictationViewModel::micEnabled() const {
    return m_chat && !m_chat->isSending();
}

QString DictationViewModel::micIcon() const {
    return isRecording() ? u"stop.circle.fill"_s : u"mic.fill"_s;
}

QString DictationViewModel::micTip() const {
    return isRecording() ? u"Stop & transcribe"_s : u"Dictate a message"_s;
}

QString DictationViewModel::elapsedText(double seconds) {
    const auto whole = static_cast<qint64>(std::floor(std::max(0.0, seconds)));
    return u"%1:%2"_s.arg(whole / 60).arg(whole % 60, 2, 10, QChar(u'0'));
}

QString DictationViewModel::appended(const QString& draft, const QString& text) {
    return draft.isEmpty() ? text : draft + u' ' + text;
}

void DictationViewModel::toggle() {
    press();
}

QCoro::Task<void> DictationViewModel::press() {
    // The spinner stands in for the button while a clip is transcribed, and a
    // second press while the microphone opens has nothing to add.
    if (m_starting || m_transcribing) {
        co_return;
    }
    if (isRecording()) {
        auto stopping = stopAndTranscribe();
        co_await stopping;
    } else {
        auto starting = startRecording();
        co_await starting;
    }
}

void DictationViewModel::discard() {
    m_listening.stop();
    m_recorder.cancel();
    updateState();
}

QCoro::Task<void> DictationViewModel::startRecording() {
    QPointer<DictationViewModel> self(this);
    setVoiceError(QString());
    m_starting = true;
    updateState();
    // The engine loads while the user speaks, so the text follows the stop quickly.
    if (m_transcriber.warmUp) {
        m_transcriber.warmUp();
    }
    auto starting = m_recorder.start();
    const bool recording = co_await starting;
    if (!self) {
        co_return;
    }
    m_starting = false;
    if (!recording) {
        // Empty when Discard came first: nothing went wrong then.
        setVoiceError(m_recorder.lastError());
    } else if (m_transcriber.hear) {
        m_listening.start();
    }
    updateState();
}

QCoro::Task<void> DictationViewModel::stopAndTranscribe() {
    QPointer<DictationViewModel> self(this);
    setVoiceError(QString());
    // The spinner shows from the press on: the file is finished first.
    m_transcribing = true;
    m_listening.stop();
    auto stopping = m_recorder.stop();
    updateState();
    const std::optional<QByteArray> bytes = co_await stopping;
    if (!self) {
        co_return;
    }
    if (!bytes) {
        const QString reason = m_recorder.lastError();
        setVoiceError(reason.isEmpty() ? noAudioText : reason);
        setTranscribing(false);
        co_return;
    }
    const QString path =
        QDir(QDir::tempPath())
            .filePath(u"tolvane-stt-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces) +
                      u".wav"_s);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
            file.write(*bytes) != bytes->size() || !file.flush()) {
            const QString reason = file.errorString();
            file.close();
            QFile::remove(path);
            setVoiceError(u"Couldn't save the recording: "_s + reason);
            setTranscribing(false);
            co_return;
        }
    }
    auto transcribing = m_transcriber.transcribe(path);
    const Transcription result = co_await transcribing;
    QFile::remove(path);
    if (!self) {
        co_return;
    }
    if (!result) {
        if (!result.error().isCancelled()) {
            setVoiceError(result.error().description);
        }
    } else if (const QString text = result->transcript.trimmed(); text.isEmpty()) {
        setVoiceError(nothingRecognisedText);
    } else if (m_chat) {
        m_chat->setDraft(appended(m_chat->draft(), text));
    }
    setTranscribing(false);
}

void DictationViewModel::setVoiceError(const QString& text) {
    if (m_voiceError != text) {
        m_voiceError = text;
        Q_EMIT voiceErrorChanged();
    }
}

void DictationViewModel::setTranscribing(bool transcribing) {
    m_transcribing = transcribing;
    updateState();
}

void DictationViewModel::updateState() {
    if (m_chat) {
        m_chat->setCaptureBusy(busy());
    }
    Q_EMIT stateChanged();
}

} // namespace tolvane
