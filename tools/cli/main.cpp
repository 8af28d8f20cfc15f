#include "conversationcommands.h"
#include "mediacommands.h"
#include "output.h"
#include "service/httptransport.h"
#include "servicecommands.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const char* const usage = R"(usage: tolvane-cli [--service-root URL] COMMAND [ARGS...]

Talks to the coach service with the same client code and settings as the app.
Every command prints one JSON object per line; failures end with {"error": ...}
and exit code 1. --service-root replaces the built-in service address (the
contact endpoint becomes that root + "api/contact").

media commands (local files, no service):
  media info FILE                          duration, video and audio facts
  media extract-audio FILE START END OUT   16 kHz mono WAV of a range; {"bytes": N}
  media jumpcuts FILE [--start S] [--end E]  speech ranges kept by jump cuts
  media filmstrip FILE OUT_DIR [--count N] thumbnails as PNG; {"frames": N}
  media transcribe FILE [--start S] [--end E]  spoken words with times, on the device
  media captions FILE [--start S] [--end E] [--style tiktok|bubble] [--jump-cuts]
        [--text TEXT] [--align] [--images DIR] [--highlight] [--srt F] [--vtt F]
                                           caption chunks; pictures and subtitles
  media render FILE OUT.mp4 [--trim S E] [--crop-x X] [--zoom Z] [--fades]
        [--ken-burns] [--punch-in] [--progress-bar] [--jump-cuts] [--hook TEXT]
        [--captions TEXT] [--style tiktok|bubble] [--highlight] [--threads N]
                                           renders the 1080x1920 short; progress lines,
                                           then {"file", "duration", "frames"}; Ctrl+C
                                           cancels and removes the partial file
  media background FILE OUT.mov --blur | --preset NAME | --image PICTURE
        [--codec mjpeg|h264] [--no-smoothing] [--threads N]
                                           replaces what is behind the person; progress
                                           lines, then {"file", "frames", ...}
  media record OUT_DIR --seconds N         records the camera and microphone
                                           (TOLVANE_CAMERA, TOLVANE_MICROPHONE) for N s;
                                           {"file", "duration"}

)";

} // namespace

int main(int argc, char** argv) {
    // Media commands draw captions, which needs a GUI application; without a
    // display it runs on the offscreen platform. It is given no arguments:
    // it would take options such as --style for itself.
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    const bool media = args.contains("media"_L1);
    if (media && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int guiArgc = 1;
    std::unique_ptr<QCoreApplication> application =
        media ? std::make_unique<QGuiApplication>(guiArgc, argv)
              : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setOrganizationName(u"Tolvane"_s);
    QCoreApplication::setApplicationName(u"Tolvane"_s);

    QString serviceRoot;
    if (const qsizetype at = args.indexOf(u"--service-root"_s); at >= 0) {
        if (at + 1 >= args.size()) {
            return tolvane::cli::fail(u"--service-root needs a URL"_s);
        }
        serviceRoot = args.at(at + 1);
        args.remove(at, 2);
    }
    if (args.isEmpty() || args.first() == "--help"_L1 || args.first() == "-h"_L1) {
        std::fputs(usage, stdout);
        std::fputs(tolvane::cli::serviceUsage, stdout);
        std::fputs(tolvane::cli::conversationUsage, stdout);
        return args.isEmpty() ? 2 : 0;
    }
    if (args.first() == "media"_L1) {
        return tolvane::cli::runMediaCommand(args.mid(1));
    }

    int code = QCoro::waitFor(tolvane::cli::runConversationCommand(args, serviceRoot));
    if (code < 0) {
        code = QCoro::waitFor(tolvane::cli::runServiceCommand(args, serviceRoot));
    }
    tolvane::releaseSharedNetwork();
    if (code >= 0) {
        return code;
    }
    return tolvane::cli::fail(u"unknown command: "_s + args.first());
}
