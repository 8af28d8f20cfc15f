// Uploads a large sparse video file to a loopback sink and prints the peak
// resident memory next to the file size: the upload must stay bounded by the
// network stack's reads, whatever the file's size.
//
// usage: bench_upload_memory [GiB]   (default 2)

#include "scriptedhttpserver.h"
#include "service/apiclient.h"
#include "service/appsettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

double peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double gib = argc > 1 ? QByteArray(argv[1]).toDouble() : 2.0;
    const qint64 size = static_cast<qint64>(gib * 1024 * 1024 * 1024);

    QTemporaryDir dir;
    QFile video(dir.filePath("big.mp4"));
    if (!video.open(QIODevice::WriteOnly) || !video.resize(size)) {
        std::fprintf(stderr, "could not make a %lld byte sparse file\n",
                     static_cast<long long>(size));
        return 1;
    }
    video.close();

    tolvane::test::ScriptedHttpServer sink;
    sink.setBodyRecordLimit(0);
    sink.on("/inapp/video", tolvane::test::Script::respond(200, R"({"video_id":1})"));
    tolvane::AppSettings settings(
        std::make_unique<QSettings>(dir.filePath("s.ini"), QSettings::IniFormat));
    const tolvane::APIClient client(settings, tolvane::ServiceEndpoints::forRoot(sink.root()));

    const double before = peakRssMiB();
    QElapsedTimer timer;
    timer.start();
    const auto id = QCoro::waitFor(client.uploadVideo(video.fileName(), 60, {}, {}));
    const double seconds = timer.elapsed() / 1000.0;
    const double peak = peakRssMiB();
    if (!id) {
        std::fprintf(stderr, "upload failed: %s\n", qPrintable(id.error().description()));
        return 1;
    }
    const double fileMiB = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("file size           %10.1f MiB\n", fileMiB);
    std::printf("body received       %10.1f MiB\n",
                static_cast<double>(sink.lastBodySize()) / (1024.0 * 1024.0));
    std::printf("peak RSS before     %10.1f MiB\n", before);
    std::printf("peak RSS after      %10.1f MiB\n", peak);
    std::printf("RSS growth / file   %10.4f\n", (peak - before) / fileMiB);
    std::printf("throughput          %10.1f MiB/s\n", fileMiB / seconds);
    return 0;
}
