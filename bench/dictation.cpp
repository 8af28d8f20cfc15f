// Dictation speed, in one run:
//   - the speech engine's first-use load time,
//   - the time from the stop of a 5 s dictation to its text in the composer
//     with the engine warm (the median of five), against the 1.0 s goal.
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
    dictation.recorder().setMicrophone(u"lavfi:amovie=%1,apad"_s.arg(wav));

    QList<double> times;
    QList<double> cpu;
    for (int run = 0; run < 5; ++run) {
        chat.setDraft(QString());
        QCoro::waitFor(dictation.press());
        if (!dictation.isRecording()) {
            std::fprintf(stderr, "recording did not start: %s\n",
                         qPrintable(dictation.voiceError()));
            return 1;
        }
        QTest::qWait(int(clipSeconds * 1000));
        clock.restart();
        const double cpuBefore = cpuSeconds();
        QCoro::waitFor(dictation.press());
        times << double(clock.nsecsElapsed()) / 1e9;
        cpu << cpuSeconds() - cpuBefore;
        if (chat.draft().isEmpty()) {
            std::fprintf(stderr, "no text: %s\n", qPrintable(dictation.voiceError()));
            return 1;
        }
    }
    const double median = test::percentile(times, 0.5);
    std::printf("dictation stop to text, 5 s clip, engine warm: %.2f s (goal <= %.1f s)\n", median,
                goalSeconds);
    std::printf("dictation stop to text against the goal: %.2fx\n", median / goalSeconds);
    std::printf("dictation stop to text, processor time: %.2f s\n", test::percentile(cpu, 0.5));
    return 0;
}
