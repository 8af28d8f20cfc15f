#include "mediacommands.h"

#include "backgroundcommand.h"
#include "captioncommands.h"
#include "output.h"
#include "platform/mediaasset.h"
#include "recordcommand.h"
#include "recording/audioextractor.h"
#include "rendercommand.h"
#include "video/filmstrip.h"
#include "video/jumpcuts.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QSaveFile>

#include <cmath>
#include <optional>

namespace tolvane::cli {

namespace {

const QString usage =
    QStringLiteral("usage: media info FILE | extract-audio FILE START END OUT.wav | "
                   "jumpcuts FILE [--start S] [--end E] | filmstrip FILE OUT_DIR [--count N]");

std::optional<double> parseSeconds(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0) {
        return std::nullopt;
    }
    return value;
}

// Options "--name value" after the positional arguments.
std::optional<QString> option(const QStringList& args, const QString& name) {
    const qsizetype at = args.indexOf(name);
    if (at < 0 || at + 1 >= args.size()) {
        return std::nullopt;
    }
    return args.at(at + 1);
}

bool onlyKnownOptions(const QStringList& args, qsizetype positional, const QStringList& names) {
    for (qsizetype i = positional; i < args.size(); i += 2) {
        if (!names.contains(args.at(i)) || i + 1 >= args.size()) {
            return false;
        }
    }
    return true;
}

int info(const QStringList& args) {
    if (args.size() != 1) {
        return fail(usage);
    }
    auto loaded = MediaAsset(args.at(0)).load();
    if (!loaded) {
        return fail(loaded.error().description);
    }
    QJsonObject out{{QStringLiteral("duration"), loaded->duration}};
    if (loaded->videoTracks.isEmpty()) {
        out.insert(QStringLiteral("video"), QJsonValue::Null);
    } else {
        const VideoTrackInfo& video = loaded->videoTracks.first();
        const QSizeF upright = video.uprightSize();
        out.insert(QStringLiteral("video"),
                   QJsonObject{{QStringLiteral("width"), video.naturalSize.width()},
                               {QStringLiteral("height"), video.naturalSize.height()},
                               {QStringLiteral("upright_width"), qRound(upright.width())},
                               {QStringLiteral("upright_height"), qRound(upright.height())},
                               {QStringLiteral("fps"), video.frameRate}});
    }
    if (loaded->audioTracks.isEmpty()) {
        out.insert(QStringLiteral("audio"), QJsonValue::Null);
    } else {
        const AudioTrackInfo& audio = loaded->audioTracks.first();
        out.insert(QStringLiteral("audio"),
                   QJsonObject{{QStringLiteral("sample_rate"), audio.sampleRate},
                               {QStringLiteral("channels"), audio.channels}});
    }
    printLine(out);
    return 0;
}

int extractAudio(const QStringList& args) {
    if (args.size() != 4) {
        return fail(usage);
    }
    const auto start = parseSeconds(args.at(1));
    const auto end = parseSeconds(args.at(2));
    if (!start || !end || *end < *start) {
        return fail(QStringLiteral("START and END must be seconds with START <= END"));
    }
    auto wav = AudioExtractor::extractBlocking(MediaAsset(args.at(0)),
                                               MediaTimeRange::fromSeconds(*start, *end));
    if (!wav) {
        return fail(wav.error().description);
    }
    QSaveFile out(args.at(3));
    if (!out.open(QIODevice::WriteOnly) || out.write(*wav) != wav->size() || !out.commit()) {
        return fail(QStringLiteral("could not write ") + args.at(3) + QStringLiteral(": ") +
                    out.errorString());
    }
    printLine(QJsonObject{{QStringLiteral("bytes"), wav->size()}});
    return 0;
}

int jumpcuts(const QStringList& args) {
    if (args.isEmpty() ||
        !onlyKnownOptions(args, 1, {QStringLiteral("--start"), QStringLiteral("--end")})) {
        return fail(usage);
    }
    const MediaAsset asset(args.at(0));
    auto loaded = asset.load();
    if (!loaded) {
        return fail(loaded.error().description);
    }
    const auto startText = option(args, QStringLiteral("--start"));
    const auto endText = option(args, QStringLiteral("--end"));
    const auto start = startText ? parseSeconds(*startText) : std::optional<double>(0.0);
    const auto end = endText ? parseSeconds(*endText) : std::optional<double>(loaded->duration);
    if (!start || !end || *end <= *start) {
        return fail(QStringLiteral("--start and --end must be seconds with start < end"));
    }
    auto ranges = JumpCuts::speechRangesBlocking(asset, MediaTimeRange::fromSeconds(*start, *end));
    if (!ranges) {
        return fail(ranges.error().description);
    }
    QJsonArray list;
    for (const MediaTimeRange& range : *ranges) {
        list.append(QJsonArray{range.startSeconds(), range.endSeconds()});
    }
    printLine(QJsonObject{{QStringLiteral("ranges"), list}});
    return 0;
}

int filmstrip(const QStringList& args) {
    if (args.size() < 2 || !onlyKnownOptions(args, 2, {QStringLiteral("--count")})) {
        return fail(usage);
    }
    const MediaAsset asset(args.at(0));
    int count = 24;
    if (const auto countText = option(args, QStringLiteral("--count"))) {
        bool ok = false;
        count = countText->toInt(&ok);
        if (!ok || count < 1 || count > 1000) {
            return fail(QStringLiteral("--count must be a whole number from 1 to 1000"));
        }
    }
    auto loaded = asset.load();
    if (!loaded) {
        return fail(loaded.error().description);
    }
    if (loaded->videoTracks.isEmpty()) {
        return fail(QStringLiteral("the file has no video track"));
    }
    const QDir dir(args.at(1));
    if (!QDir().mkpath(dir.absolutePath())) {
        return fail(QStringLiteral("could not create ") + dir.absolutePath());
    }
    const QList<QImage> images = Filmstrip::generate(asset, count, loaded->duration);
    for (qsizetype i = 0; i < images.size(); ++i) {
        const QString name =
            dir.filePath(QStringLiteral("frame-%1.png").arg(i, 3, 10, QLatin1Char('0')));
        if (!images.at(i).save(name, "PNG")) {
            return fail(QStringLiteral("could not write ") + name);
        }
    }
    printLine(QJsonObject{{QStringLiteral("frames"), images.size()}});
    return 0;
}

} // namespace

int runMediaCommand(const QStringList& args) {
    if (args.isEmpty()) {
        return fail(usage);
    }
    const QString command = args.first();
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("info")) {
        return info(rest);
    }
    if (command == QLatin1String("extract-audio")) {
        return extractAudio(rest);
    }
    if (command == QLatin1String("jumpcuts")) {
        return jumpcuts(rest);
    }
    if (command == QLatin1String("filmstrip")) {
        return filmstrip(rest);
    }
    if (command == QLatin1String("render")) {
        return runRenderCommand(rest);
    }
    if (command == QLatin1String("background")) {
        return runBackgroundCommand(rest);
    }
    if (command == QLatin1String("record")) {
        return runRecordCommand(rest);
    }
    if (const int code = runCaptionCommand(command, rest); code >= 0) {
        return code;
    }
    return fail(QStringLiteral("unknown media command: ") + command + QStringLiteral("\n") + usage);
}

} // namespace tolvane::cli
