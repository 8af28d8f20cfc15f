#include "recording/ondevicetranscriber.h"

#include "platform/mediaasset.h"
#include "platform/speechworker.h"
#include "recording/audioextractor.h"

#include <QLocale>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoro/QCoroFuture>

#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace tolvane::OnDeviceTranscriber {

namespace {

QString languageOf(const QString& bcp47) {
    const QString language = bcp47.section(u'-', 0, 0);
    return language == "und"_L1 ? QString() : language;
}

QString normalized(QString locale) {
    locale.replace(u'_', u'-');
    if (locale == "C"_L1 || locale == "POSIX"_L1) {
        return {};
    }
    return locale;
}

// The 16-bit samples of a whole file at the engine's rate.
Expected<QByteArray, MediaError> readSamples(const QString& path, const CancelHandle& task) {
    const MediaAsset asset(path);
    auto info = asset.load();
    if (!info) {
        return Unexpected(info.error());
    }
    // A little past the end: the container's duration may round down.
    const auto range = MediaTimeRange::fromSeconds(0.0, info->duration + 1.0);
    auto wav = AudioExtractor::extractBlocking(asset, range, task);
    if (!wav) {
        return Unexpected(wav.error());
    }
    return wav->mid(AudioExtractor::wavHeaderSize);
}

// Engine times are whole frames; this keeps sums and differences of them from
// showing binary noise (0.15000000000000002).
double tidy(double seconds) {
    return std::round(seconds * 1e6) / 1e6;
}

MediaError engineFailure(const MediaError& error) {
    if (error.domain == SpeechEngine::errorDomain && error.code == SpeechEngine::modelUnavailable) {
        return makeError(TranscriptionError::dictationDisabled);
    }
    return error;
}

// What the engine's dictionary knows a written word as: lower case, without
// the punctuation around it ("Hello," -> "hello", "don't" stays).
QString dictionaryForm(const QString& word) {
    static const QRegularExpression edges(u"^[^\\w']+|[^\\w']+$"_s,
                                          QRegularExpression::UseUnicodePropertiesOption);
    return QString(word).remove(edges).toLower();
}

} // namespace

QString description(TranscriptionError error) {
    switch (error) {
    case TranscriptionError::denied:
        return u"Speech recognition permission was denied. Allow it in Settings → "
               "Privacy → Speech Recognition."_s;
    case TranscriptionError::dictationDisabled:
        return u"Turn on on-device speech recognition to enable transcription: "
               "install the English speech model (pocketsphinx-en-us)."_s;
    case TranscriptionError::unavailable:
        return u"On-device speech recognition isn't available for your language yet."_s;
    case TranscriptionError::empty:
        return u"Couldn't make out any speech in that clip."_s;
    }
    return {};
}

MediaError makeError(TranscriptionError error) {
    return MediaError{errorDomain, int(error), description(error)};
}

bool isError(const MediaError& error, TranscriptionError which) {
    return error.domain == errorDomain && error.code == int(which);
}

QStringList supportedLocales() {
    return {u"en-US"_s};
}

std::optional<QString> chooseLocale(const QString& requested, const QStringList& supported) {
    const QString wanted = normalized(requested);
    for (const QString& locale : supported) {
        if (normalized(locale) == wanted) {
            return locale;
        }
    }
    const QString language = languageOf(wanted);
    for (const QString& locale : supported) {
        if (languageOf(normalized(locale)) == language) {
            return locale;
        }
    }
    for (const QString& locale : supported) {
        if (normalized(locale) == "en-US"_L1) {
            return locale;
        }
    }
    for (const QString& locale : supported) {
        if (languageOf(normalized(locale)) == "en"_L1) {
            return locale;
        }
    }
    return std::nullopt;
}

QString currentLocale() {
    return normalized(QLocale::system().name());
}

QList<Segment> readable(const QList<Segment>& segments, double pause) {
    static const QRegularExpression pronounI(u"^i('[a-z]+)?$"_s);
    QList<Segment> out = segments;
    const auto pauseBefore = [&](qsizetype i) {
        if (i == 0) {
            return true;
        }
        const Segment& previous = segments.at(i - 1);
        return segments.at(i).start - (previous.start + previous.duration) >= pause;
    };
    for (qsizetype i = 0; i < out.size(); ++i) {
        QString& text = out[i].text;
        if (text.isEmpty()) {
            continue;
        }
        if (pronounI.match(text).hasMatch() || pauseBefore(i)) {
            text[0] = text.at(0).toUpper();
        }
        const bool sentenceEnds = i + 1 == out.size() || pauseBefore(i + 1);
        if (sentenceEnds && !text.endsWith(u'.') && !text.endsWith(u'!') && !text.endsWith(u'?')) {
            text += u'.';
        }
    }
    return out;
}

QString transcriptOf(const QList<Segment>& segments) {
    QStringList words;
    for (const Segment& s : segments) {
        words << s.text;
    }
    return words.join(u' ');
}

Expected<Transcription, MediaError> transcribeBlocking(const QString& path, const QString& locale,
                                                       const CancelHandle& task) {
    return transcribeBlocking(SpeechWorker::shared(), path, locale, task);
}

Expected<Transcription, MediaError> fromRecognized(const SpeechResult& words) {
    if (!words) {
        return Unexpected(engineFailure(words.error()));
    }
    QList<Segment> segments;
    for (const SpeechWord& w : *words) {
        const QString text = w.text.trimmed();
        if (!text.isEmpty()) {
            segments << Segment{text, tidy(w.start), tidy(w.end - w.start)};
        }
    }
    segments = readable(segments);
    const QString transcript = transcriptOf(segments).trimmed();
    if (transcript.isEmpty()) {
        return Unexpected(makeError(TranscriptionError::empty));
    }
    return Transcription{transcript, segments};
}

namespace {

// The words of the user's text as written, and those that are spoken as the
// dictionary knows them. A token of punctuation alone ("-", "...") is not
// spoken: it is not aligned and shares the time of the word before it.
struct Written {
    QString transcript;
    QStringList words;
    QStringList spoken;
    QList<qsizetype> spokenAt; // index into words of each spoken word
};

Written written(const QString& text) {
    static const QRegularExpression space(u"\\s+"_s);
    Written out;
    out.transcript = text.trimmed();
    out.words = out.transcript.split(space, Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < out.words.size(); ++i) {
        if (const QString form = dictionaryForm(out.words.at(i)); !form.isEmpty()) {
            out.spoken << form;
            out.spokenAt << i;
        }
    }
    return out;
}

Expected<Transcription, MediaError> fromAligned(const SpeechResult& words, const Written& text) {
    if (!words) {
        return Unexpected(engineFailure(words.error()));
    }
    if (words->size() != text.spoken.size()) {
        return Unexpected(MediaError{SpeechEngine::errorDomain, SpeechEngine::failed,
                                     u"the words do not match the speech"_s});
    }
    QList<std::optional<SpeechWord>> timed(text.words.size());
    for (qsizetype k = 0; k < words->size(); ++k) {
        timed[text.spokenAt.at(k)] = words->at(k);
    }
    QList<Segment> segments;
    for (qsizetype i = 0; i < text.words.size(); ++i) {
        std::optional<SpeechWord> w = timed.at(i);
        for (qsizetype back = i - 1; !w && back >= 0; --back) {
            w = timed.at(back);
        }
        for (qsizetype ahead = i + 1; !w && ahead < timed.size(); ++ahead) {
            w = timed.at(ahead);
        }
        segments << Segment{text.words.at(i), tidy(w->start), tidy(w->end - w->start)};
    }
    return Transcription{text.transcript, segments};
}

} // namespace

Expected<Transcription, MediaError> transcribeBlocking(SpeechWorker& worker, const QString& path,
                                                       const QString& locale,
                                                       const CancelHandle& task) {
    if (!chooseLocale(locale, supportedLocales())) {
        return Unexpected(makeError(TranscriptionError::unavailable));
    }
    auto samples = readSamples(path, task);
    if (!samples) {
        return Unexpected(samples.error());
    }
    QFuture<SpeechResult> future = worker.recognize(*samples, task);
    future.waitForFinished();
    return fromRecognized(future.result());
}

QCoro::Task<Expected<Transcription, MediaError>> transcribe(QString path, QString locale,
                                                            CancelHandle task) {
    if (!chooseLocale(locale, supportedLocales())) {
        co_return Unexpected(makeError(TranscriptionError::unavailable));
    }
    // Reading on the thread pool, decoding on the speech worker; no thread
    // waits for the other.
    QFuture<Expected<QByteArray, MediaError>> reading =
        QtConcurrent::run([path, task] { return readSamples(path, task); });
    const auto samples = co_await reading;
    if (!samples) {
        co_return Unexpected(samples.error());
    }
    QFuture<SpeechResult> recognizing = SpeechWorker::shared().recognize(*samples, task);
    const SpeechResult words = co_await recognizing;
    co_return fromRecognized(words);
}

Expected<Transcription, MediaError> alignBlocking(const QString& path, const QString& text,
                                                  const CancelHandle& task) {
    return alignBlocking(SpeechWorker::shared(), path, text, task);
}

Expected<Transcription, MediaError> alignBlocking(SpeechWorker& worker, const QString& path,
                                                  const QString& text, const CancelHandle& task) {
    const Written words = written(text);
    if (words.spoken.isEmpty()) {
        return Unexpected(makeError(TranscriptionError::empty));
    }
    auto samples = readSamples(path, task);
    if (!samples) {
        return Unexpected(samples.error());
    }
    QFuture<SpeechResult> future = worker.align(*samples, words.spoken, task);
    future.waitForFinished();
    return fromAligned(future.result(), words);
}

QCoro::Task<Expected<Transcription, MediaError>> align(QString path, QString text,
                                                       CancelHandle task) {
    const Written words = written(text);
    if (words.spoken.isEmpty()) {
        co_return Unexpected(makeError(TranscriptionError::empty));
    }
    QFuture<Expected<QByteArray, MediaError>> reading =
        QtConcurrent::run([path, task] { return readSamples(path, task); });
    const auto samples = co_await reading;
    if (!samples) {
        co_return Unexpected(samples.error());
    }
    QFuture<SpeechResult> aligning = SpeechWorker::shared().align(*samples, words.spoken, task);
    const SpeechResult result = co_await aligning;
    co_return fromAligned(result, words);
}

} // namespace tolvane::OnDeviceTranscriber
