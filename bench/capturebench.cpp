// Plays a camera from files to the capture layer and checks that recording
// keeps every frame and holds picture and sound together: a 1080p30 MJPEG
// camera (copied into the file) and a raw YUYV 1080p30 camera (encoded live),
// each with a tone as the microphone. Each recording is a child process
// (tolvane-cli media record), so its CPU time is its own.
//
//   bench_capture [--seconds N]   (60 by default)
//
// Prints, per camera, the share of the expected frames that reached the file,
// the picture/sound drift at the end in milliseconds and the CPU use in cores.

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>

using namespace Qt::StringLiterals;

extern char** environ;

namespace {

bool makeMedia(const QStringList& args) {
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s, QStringList{u"-y"_s, u"-loglevel"_s, u"error"_s} + args);
    return ffmpeg.waitForFinished(-1) && ffmpeg.exitCode() == 0;
}

struct Run {
    QByteArray output;
    double cpuSeconds = 0;
    double wallSeconds = 0;
};

// Runs the recorder in a child and reads its CPU time from wait4.
Run record(const QString& cli, const QString& outDir, int seconds, const QString& camera,
           const QString& microphone) {
    qputenv("TOLVANE_CAMERA", camera.toUtf8());
    qputenv("TOLVANE_MICROPHONE", microphone.toUtf8());
    const QString outFile = outDir + u"/result.json"_s;
    const QByteArray command = u"exec '%1' media record '%2' --seconds %3 > '%4'"_s
                                   .arg(cli, outDir, QString::number(seconds), outFile)
                                   .toUtf8();
    const char* argv[] = {"/bin/sh", "-c", command.constData(), nullptr};
    timeval begin{};
    gettimeofday(&begin, nullptr);
    pid_t child = 0;
    Run run;
    if (posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        return run;
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    timeval end{};
    gettimeofday(&end, nullptr);
    run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.wallSeconds = double(end.tv_sec - begin.tv_sec) + double(end.tv_usec - begin.tv_usec) / 1e6;
    QFile file(outFile);
    if (file.open(QIODevice::ReadOnly)) {
        run.output = file.readAll();
    }
    return run;
}

struct Streams {
    qint64 videoFrames = 0;
    double videoEnd = 0;
    double audioEnd = 0;
};

Streams probe(const QString& movie) {
    QProcess ffprobe;
    ffprobe.start(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-show_entries"_s,
                                 u"stream=codec_type,nb_frames,start_time,duration"_s, u"-of"_s,
                                 u"json"_s, movie});
    ffprobe.waitForFinished(-1);
    Streams streams;
    const QJsonObject root = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    for (const auto& value : root.value(u"streams"_s).toArray()) {
        const QJsonObject stream = value.toObject();
        const double end = stream.value(u"start_time"_s).toString().toDouble() +
                           stream.value(u"duration"_s).toString().toDouble();
        if (stream.value(u"codec_type"_s).toString() == "video"_L1) {
            streams.videoFrames = stream.value(u"nb_frames"_s).toString().toLongLong();
            streams.videoEnd = end;
        } else {
            streams.audioEnd = end;
        }
    }
    return streams;
}

void measure(const char* name, const QString& cli, const QString& dir, int seconds,
             const QString& camera) {
    const QString outDir = dir + QLatin1Char('/') + QLatin1String(name);
    QDir().mkpath(outDir);
    const Run run = record(cli, outDir, seconds, camera, u"lavfi:sine=frequency=440"_s);
    const QJsonObject result = QJsonDocument::fromJson(run.output).object();
    const QString movie = result.value(u"file"_s).toString();
    if (movie.isEmpty()) {
        std::printf("%s: failed: %s\n", name, run.output.constData());
        return;
    }
    const Streams streams = probe(movie);
    // Frames expected over the span the picture covers, at 30 fps.
    const double expected = streams.videoEnd * 30.0;
    std::printf("%s frames kept: %.3fx\n", name, double(streams.videoFrames) / expected);
    std::printf("%s A/V drift at the end: %.1f ms\n", name,
                1000.0 * std::abs(streams.videoEnd - streams.audioEnd));
    std::printf("%s CPU: %.3fx of one core\n", name, run.cpuSeconds / run.wallSeconds);
    std::fflush(stdout);
    QFile::remove(movie);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int seconds = 60;
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(u"--seconds"_s); at > 0 && at + 1 < args.size()) {
        seconds = args.at(at + 1).toInt();
    }
    const QString cli = QCoreApplication::applicationDirPath() + u"/tolvane-cli"_s;
    QTemporaryDir dir;
    // Ten seconds of each camera; the capture layer loops a file.
    const QString mjpeg = dir.filePath(u"camera-mjpeg.avi"_s);
    const QString yuyv = dir.filePath(u"camera-yuyv.nut"_s);
    if (!makeMedia({"-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30:duration=10", "-c:v",
                    "mjpeg", "-q:v", "4", mjpeg}) ||
        !makeMedia({"-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30:duration=2", "-c:v",
                    "rawvideo", "-pix_fmt", "yuyv422", yuyv})) {
        std::printf("could not make the camera files\n");
        return 1;
    }
    measure("mjpeg 1080p30 copied", cli, dir.path(), seconds, mjpeg);
    measure("yuyv 1080p30 encoded", cli, dir.path(), seconds, yuyv);
    return 0;
}
