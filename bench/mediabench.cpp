// Times the studio's media work against the ffmpeg command line doing the same
// decoding, side by side in one run on one file, and prints the ratios.
//
//   tolvane-mediabench [--minutes N] [--file MOVIE]
//
// Without --file it makes an N-minute (default 10) 1080p H.264 + AAC movie of
// phrases and pauses in a temporary directory first.

#include "platform/mediaasset.h"
#include "recording/audioextractor.h"
#include "video/filmstrip.h"
#include "video/jumpcuts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

using namespace tolvane;

namespace {

constexpr int rounds = 3;

bool runFfmpeg(const QStringList& args) {
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.setStandardOutputFile(QProcess::nullDevice());
    ffmpeg.start(u"ffmpeg"_s, QStringList{u"-v"_s, u"error"_s, u"-nostdin"_s, u"-y"_s} + args);
    return ffmpeg.waitForFinished(-1) && ffmpeg.exitStatus() == QProcess::NormalExit &&
           ffmpeg.exitCode() == 0;
}

// Best of a few rounds, in seconds: the file is in the page cache after the
// first and both sides are measured alike.
double best(const std::function<bool()>& work) {
    double fastest = 1e300;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!work()) {
            return -1;
        }
        fastest = std::min(fastest, timer.nsecsElapsed() / 1e9);
    }
    return fastest;
}

void report(const char* what, double ours, double reference, const char* goal) {
    if (ours < 0 || reference < 0) {
        std::printf("%-22s failed\n", what);
        return;
    }
    std::printf("%-22s ours %7.3f s   ffmpeg %7.3f s   ratio %5.2f   %s\n", what, ours, reference,
                ours / reference, goal);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int minutes = 10;
    QString file;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == "--minutes"_L1) {
            minutes = std::max(1, args.at(i + 1).toInt());
        } else if (args.at(i) == "--file"_L1) {
            file = args.at(i + 1);
        }
    }

    QTemporaryDir dir;
    if (file.isEmpty()) {
        file = dir.filePath(u"bench.mp4"_s);
        const int seconds = minutes * 60;
        std::printf("making a %d-minute 1080p H.264 + AAC movie...\n", minutes);
        std::fflush(stdout);
        // Phrases of 2.5 s with pauses of 1.5 s, over a moving test picture.
        if (!runFfmpeg({"-f",
                        "lavfi",
                        "-i",
                        u"testsrc2=size=1920x1080:rate=30:d=%1"_s.arg(seconds),
                        "-f",
                        "lavfi",
                        "-i",
                        u"aevalsrc='lt(mod(t,4),2.5)*0.4*sin(2*PI*220*t)'"
                        ":s=48000:d=%1"_s.arg(seconds),
                        "-c:v",
                        "libx264",
                        "-preset",
                        "ultrafast",
                        "-crf",
                        "30",
                        "-pix_fmt",
                        "yuv420p",
                        "-c:a",
                        "aac",
                        "-b:a",
                        "128k",
                        file})) {
            std::fprintf(stderr, "could not make the movie\n");
            return 1;
        }
    }
    const MediaAsset asset(file);
    auto info = asset.load();
    if (!info) {
        std::fprintf(stderr, "%s\n", qPrintable(info.error().description));
        return 1;
    }
    const double duration = info->duration;
    std::printf("file: %.1f s, best of %d rounds\n", duration, rounds);

    // What every ffmpeg measurement below pays before decoding anything.
    const double startup = best([&] {
        return runFfmpeg({"-f", "lavfi", "-i", "anullsrc=d=0.01", "-f", "null", "-"});
    });
    std::printf("ffmpeg process start and exit: %.3f s (included in the ffmpeg times)\n", startup);

    const double jumpOurs = best([&] {
        return bool(
            JumpCuts::speechRangesBlocking(asset, MediaTimeRange::fromSeconds(0, duration)));
    });
    const double jumpFloor = best([&] {
        return runFfmpeg({"-i", file, "-map", "0:a", "-f", "null", "-"});
    });
    report("jump-cut analysis", jumpOurs, jumpFloor, "(goal <= 1.5)");

    const double from = std::min(120.0, std::max(0.0, duration - 60));
    const double extractOurs = best([&] {
        return bool(
            AudioExtractor::extractBlocking(asset, MediaTimeRange::fromSeconds(from, from + 60)));
    });
    const double extractFloor = best([&] {
        return runFfmpeg({"-ss", QString::number(from), "-i", file, "-t", "60", "-map", "0:a",
                          "-ac", "1", "-ar", "16000", "-f", "wav", "-"});
    });
    report("extract 60 s of audio", extractOurs, extractFloor, "(goal <= 1.5)");

    const QList<double> times = Filmstrip::times(24, duration);
    const double stripOurs =
        best([&] { return Filmstrip::generate(asset, 24, duration).size() == 24; });
    const double stripFloor = best([&] {
        for (double t : times) {
            if (!runFfmpeg({"-ss", QString::number(t), "-i", file, "-frames:v", "1", "-vf",
                            "scale=160:-2", "-f", "image2", "-c:v", "png", "-"})) {
                return false;
            }
        }
        return true;
    });
    report("filmstrip of 24", stripOurs, stripFloor,
           "(ffmpeg: one process per frame, seek + decode + scale)");
    return 0;
}
