// Dictation speed, in one run:
//   - the speech engine's first-use load time,
//   - the time from the stop of a 5 s dictation to its text in the composer
//     with the engine warm (the median of five), against the 1.0 s goal: a
//     sentence, then quiet until the stop, as when a user finishes speaking
//     and reaches for the button;
//   - the same when the speech runs without a pause right up to the stop, the
//     worst case for decoding while the user speaks.
// The microphone is a flite sentence played through the capture layer.

#include "conversation/conversationstore.h"
#include "platform/speechworker.h"
#include "service/appsettings.h"
#include "ui/chat/chatviewmodel.h"
#include "ui/chat/dictationviewmodel.h"

#include "speechfixtures.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <QCoro/QCoroTask>

#include <cstdio>
#include <ctime>
#include <optional>

using namespace Qt::StringLiterals;
using namespace tolvane;

namespace {

constexpr double goalSeconds = 1.0;
constexpr double clipSeconds = 5.0;

// Processor time of the whole process, in seconds: what the work costs when
// no other program competes for the processors.
double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;

    // A sentence padded with silence to five seconds.
    const auto spoken = test::speak(u"slt"_s, test::fixtureSentences().at(1));
    if (!spoken) {
        std::fprintf(stderr, "flite is not installed\n");
        return 1;
    }
    QByteArray clip = *spoken;
    clip.append(
        QByteArray(std::max<qsizetype>(0, qsizetype(clipSeconds * 32000) - clip.size()), '\0'));
    const QString wav = dir.filePath(u"clip.wav"_s);
    test::writeWav(wav, clip);

    QElapsedTimer clock;
    clock.start();
    SpeechWorker::shared().preload();
    SpeechWorker::shared().recognize(QByteArray(3200, '\0')).waitForFinished();
    std::printf("speech engine first-use load: %.2f s\n", SpeechWorker::shared().loadSeconds());
    std::fflush(stdout);

    AppSettings settings(
        std::make_unique<QSettings>(dir.filePath(u"s.ini"_s), QSettings::IniFormat));
    ConversationStore store(settings, dir.path(),
                            ServiceEndpoints::forRoot(u"http://127.0.0.1:9/"_s));
    ChatViewModel chat(store, settings, ServiceEndpoints::forRoot(u"http://127.0.0.1:9/"_s));
    DictationViewModel dictation(chat);

    // Stops after `seconds` of `clip` and times the stop to the text; the
    // median of five and its processor time.
    auto measure = [&](const QString& microphoneClip,
                       double seconds) -> std::optional<QPair<double, double>> {
        dictation.recorder().setMicrophone(u"lavfi:amovie=%1,apad"_s.arg(microphoneClip));
        QList<double> times;
        QList<double> cpu;
        for (int run = 0; run < 5; ++run) {
            chat.setDraft(QString());
            QCoro::waitFor(dictation.press());
            if (!dictation.isRecording()) {
                std::fprintf(stderr, "recording did not start: %s\n",
                             qPrintable(dictation.voiceError()));
                return std::nullopt;
            }
            QTest::qWait(int(seconds * 1000));
            clock.restart();
            const double cpuBefore = cpuSeconds();
            QCoro::waitFor(dictation.press());
            times << double(clock.nsecsElapsed()) / 1e9;
            cpu << cpuSeconds() - cpuBefore;
            if (chat.draft().isEmpty()) {
                std::fprintf(stderr, "no text: %s\n", qPrintable(dictation.voiceError()));
                return std::nullopt;
            }
        }
        return QPair<double, double>{test::percentile(times, 0.5), test::percentile(cpu, 0.5)};
    };

    // The user finishes a sentence and reaches for the button.
    const auto paused = measure(wav, clipSeconds);
    if (!paused) {
        return 1;
    }
    std::printf("dictation stop to text, 5 s clip, engine warm: %.2f s (goal <= %.1f s)\n",
                paused->first, goalSeconds);
    std::printf("dictation stop to text against the goal: %.2fx\n", paused->first / goalSeconds);
    std::printf("dictation stop to text, processor time: %.2f s\n", paused->second);
    std::fflush(stdout);

    // The worst case: speech without a pause right up to the stop, so that
    // nothing could be decoded before it. Two sentences back to back.
    const auto first = test::speak(u"slt"_s, test::fixtureSentences().at(0));
    if (!first) {
        return 1;
    }
    const QString unbroken = dir.filePath(u"unbroken.wav"_s);
    test::writeWav(unbroken, *first + *spoken);
    const double speaking = double(first->size() + spoken->size()) / 32000;
    const auto busy = measure(unbroken, speaking);
    if (!busy) {
        return 1;
    }
    std::printf("dictation stop to text, %.1f s of speech up to the stop: %.2f s\n", speaking,
                busy->first);
    return 0;
}
