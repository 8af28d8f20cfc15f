// The video editor while it plays a recording with caption, hook and progress
// overlays: the longest time the main thread is blocked, during plain playback
// and while the crop, zoom and trim are dragged every frame. Run under a
// display (xvfb-run).

#include "app/viewhost.h"
#include "conversation/conversationstore.h"
#include "service/appsettings.h"
#include "studio/videoeditormodel.h"
#include "studio/videostudiocontroller.h"
#include "video/videoeditmodel.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMediaPlayer>
#include <QProcess>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>

using namespace Qt::StringLiterals;
using namespace tolvane;

namespace {

const ServiceEndpoints nowhere = ServiceEndpoints::forRoot(u"http://127.0.0.1:9/"_s);

double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct Stall {
    // How late the 2 ms timer fired at worst (wall clock; includes time the
    // system gave to other processes).
    double wall = 0;
    // The most CPU time the main thread itself spent between two ticks: the
    // part of a stall that is this program's own work.
    double busy = 0;
};

// Runs the event loop for `ms` while a 2 ms timer notes how late it fires;
// `each` runs once per tick.
Stall longestStall(int ms, const std::function<void(qint64)>& each = {}) {
    constexpr int interval = 2;
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    double lastCpu = threadCpuMs();
    Stall worst;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(interval);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const double cpu = threadCpuMs();
        worst.wall = std::max(worst.wall, double(now - last) / 1e6 - interval);
        worst.busy = std::max(worst.busy, cpu - lastCpu);
        last = now;
        lastCpu = cpu;
        if (each) {
            each(now / 1000000);
        }
    });
    ticker.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return worst;
}

} // namespace

int main(int argc, char** argv) {
    preferFfmpegMedia();
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(u"Basic"_s);
    QTemporaryDir home;
    const QString take = home.filePath(u"take.mp4"_s);
    QProcess::execute(u"ffmpeg"_s, {u"-v"_s,
                                    u"error"_s,
                                    u"-y"_s,
                                    u"-f"_s,
                                    u"lavfi"_s,
                                    u"-i"_s,
                                    u"testsrc2=size=1920x1080:rate=30:duration=20"_s,
                                    u"-f"_s,
                                    u"lavfi"_s,
                                    u"-i"_s,
                                    u"sine=frequency=440:duration=20"_s,
                                    u"-c:v"_s,
                                    u"libx264"_s,
                                    u"-preset"_s,
                                    u"veryfast"_s,
                                    u"-pix_fmt"_s,
                                    u"yuv420p"_s,
                                    u"-c:a"_s,
                                    u"aac"_s,
                                    u"-shortest"_s,
                                    take});

    AppSettings settings(std::make_unique<QSettings>(home.filePath("s.ini"), QSettings::IniFormat));
    ConversationStore store(settings, home.path(), nowhere);
    VideoStudioController studio;
    ViewHost views(settings, store, studio, nowhere, QSize(1200, 820));
    QQuickWindow* window = views.load();
    auto* studioWindow = window ? window->findChild<QQuickWindow*>(u"studioWindow"_s) : nullptr;
    if (!studioWindow) {
        std::fputs("the studio window did not load\n", stderr);
        return 1;
    }
    RecordingResult result;
    result.cameraURL = QUrl::fromLocalFile(take);
    result.duration = 20;
    studio.openRecording(result);
    VideoEditModel* model = studio.editModel();
    model->setCaptionText(u"Ship small and show the work every single week, then ask one question "
                          u"and listen to what comes back"_s);
    model->setHookText(u"The mistake: killing your posts"_s);
    studioWindow->resize(980, 720);
    studioWindow->show();

    VideoEditorModel& editor = views.editor;
    QElapsedTimer waiting;
    waiting.start();
    while (!editor.isPlaying() && waiting.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    if (!editor.isPlaying()) {
        std::fputs("the preview did not start playing\n", stderr);
        return 1;
    }
    // Let the first frames and the filmstrip settle.
    longestStall(1000);

    // The same window held still: what the machine itself adds.
    editor.togglePlayback();
    const Stall still = longestStall(3000);
    editor.togglePlayback();
    longestStall(500);

    const qint64 before = editor.player()->position();
    int updates = 0;
    const auto counting = QObject::connect(&editor, &VideoEditorModel::overlaysChanged, &editor,
                                           [&updates] { ++updates; });
    const Stall playing = longestStall(5000);
    const double played = double(editor.player()->position() - before) / 1000.0;
    QObject::disconnect(counting);

    int sources = 0;
    QObject::connect(editor.player(), &QMediaPlayer::sourceChanged, &editor,
                     [&sources] { ++sources; });
    const Stall dragging = longestStall(5000, [model](qint64 ms) {
        // One step per frame: the crop sweeps, the zoom breathes, the trim moves.
        const double phase = double(ms % 2000) / 2000.0;
        model->setCropCenterX(phase);
        model->setCropZoom(1.0 + 2.0 * std::abs(std::sin(phase * 3.14159)));
        model->setTrimStart(phase * 4.0);
        model->setTrimEnd(12.0 + phase * 4.0);
    });

    std::printf("played %.1f s of a 1920x1080 recording; overlays updated %d times\n", played,
                updates);
    std::printf("main thread, longest stall (wall clock / own CPU time within it):\n");
    std::printf("  window held still:               %6.1f ms / %5.1f ms (machine noise)\n",
                still.wall, still.busy);
    std::printf("  playback with overlays:          %6.1f ms / %5.1f ms (goal <= 16 ms)\n",
                playing.wall, playing.busy);
    std::printf("  dragging crop, zoom and trim:    %6.1f ms / %5.1f ms (goal <= 16 ms)\n",
                dragging.wall, dragging.busy);
    std::printf("player sources set while dragging: %d (goal 0)\n", sources);
    return 0;
}
