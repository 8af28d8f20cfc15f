#pragma once

#include "platform/cancellation.h"
#include "platform/expected.h"
#include "platform/mediaerror.h"
#include "platform/speechengine.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <optional>

namespace tolvane {
class SpeechWorker;
}

namespace tolvane::OnDeviceTranscriber {

// One timed piece of recognised text; times in seconds from the start of the
// transcribed audio.
struct Segment {
    QString text;
    double start = 0.0;
    double duration = 0.0;

    friend bool operator==(const Segment&, const Segment&) = default;
};

// The transcript (trimmed, never empty) and its words in order.
struct Transcription {
    QString transcript;
    QList<Segment> segments;
    friend bool operator==(const Transcription&, const Transcription&) = default;
};

// The transcriber's own failures. They reach callers as MediaError values of
// errorDomain with the case as code and the description below.
enum class TranscriptionError {
    denied = 1,
    dictationDisabled = 2,
    unavailable = 3,
    empty = 4,
};

inline const QString errorDomain = QStringLiteral("OnDeviceTranscriber");
QString description(TranscriptionError error);
MediaError makeError(TranscriptionError error);
bool isError(const MediaError& error, TranscriptionError which);

// The locales the engine can transcribe, in its order.
QStringList supportedLocales();

// The supported locale to use for `requested` (a BCP 47 name such as "en-GB";
// "en_GB" is read the same): the same name, else the same language, else
// "en-US", else any English; none when nothing fits.
std::optional<QString> chooseLocale(const QString& requested, const QStringList& supported);

// The user's locale as a BCP 47 name.
QString currentLocale();

// Makes the engine's lower-case words readable: a capital after a pause of
// `pause` seconds or more and at the start, a capital "I" (and "I'm", "I'll",
// ...), and "." ending the word before such a pause and the last word. Times
// stay unchanged.
QList<Segment> readable(const QList<Segment>& segments, double pause = 0.6);

// The segments' texts joined with single spaces.
QString transcriptOf(const QList<Segment>& segments);

// The transcription of the words an engine recognised (times from the start of
// the audio), made as transcribe() makes it: readable text, `empty` when there
// is none, `dictationDisabled` when the engine has no model.
Expected<Transcription, MediaError>
fromRecognized(const Expected<QList<SpeechWord>, MediaError>& words);

// Transcribes an audio file (any format the media layer reads; the editor
// hands 16 kHz mono WAV) on the device. Fails with `empty` when no speech is
// made out, `unavailable` when the locale rules leave no supported locale,
// `dictationDisabled` when the speech model is not installed, and with the
// media layer's error when the file cannot be read. Blocking: it waits for the
// speech worker; call it off the main thread.
Expected<Transcription, MediaError> transcribeBlocking(const QString& path, const QString& locale,
                                                       const CancelHandle& task = {});
Expected<Transcription, MediaError> transcribeBlocking(SpeechWorker& worker, const QString& path,
                                                       const QString& locale,
                                                       const CancelHandle& task = {});

// The same, resuming on the caller's thread.
QCoro::Task<Expected<Transcription, MediaError>> transcribe(QString path, QString locale,
                                                            CancelHandle task = {});

// Times the words of `text`, which the user may have corrected, against the
// audio file: the result has the shape of a fresh transcription, with `text`
// (trimmed) as transcript and one segment per word of it in the user's
// spelling. Fails when the words cannot be matched to the speech.
Expected<Transcription, MediaError> alignBlocking(const QString& path, const QString& text,
                                                  const CancelHandle& task = {});
Expected<Transcription, MediaError> alignBlocking(SpeechWorker& worker, const QString& path,
                                                  const QString& text,
                                                  const CancelHandle& task = {});
QCoro::Task<Expected<Transcription, MediaError>> align(QString path, QString text,
                                                       CancelHandle task = {});

} // namespace tolvane::OnDeviceTranscriber
