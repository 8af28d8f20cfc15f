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

using namespace Qt::StringLiterals;

namespace tolvane::cli {

namespace {

const QString usage = u"usage: media info FILE | extract-audio FILE START END OUT.wav | "
                      "jumpcuts FILE [--start S] [--end E] | filmstrip FILE OUT_DIR [--count N]"_s;

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
    QJsonObject out{{u"duration"_s, loaded->duration}};
    if (loaded->videoTracks.isEmpty()) {
        out.insert(u"video"_s, QJsonValue::Null);
    } else {
        const VideoTrackInfo& video = loaded->videoTracks.first();
        const QSizeF upright = video.uprightSize();
        out.insert(u"video"_s, QJsonObject{{u"width"_s, video.naturalSize.width()},
                                           {u"height"_s, video.naturalSize.height()},
                                           {u"upright_width"_s, qRound(upright.width())},
                                           {u"upright_height"_s, qRound(upright.height())},
                                           {u"fps"_s, video.frameRate}});
    }
    if (loaded->audioTracks.isEmpty()) {
        out.insert(u"audio"_s, QJsonValue::Null);
    } else {
        const AudioTrackInfo& audio = loaded->audioTracks.first();
        out.insert(u"audio"_s, QJsonObject{{u"sample_rate"_s, audio.sampleRate},
                                           {u"channels"_s, audio.channels}});
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
        return fail(u"START and END must be seconds with START <= END"_s);
    }
    auto wav = AudioExtractor::extractBlocking(MediaAsset(args.at(0)),
                                               MediaTimeRange::fromSeconds(*start, *end));
    if (!wav) {
        return fail(wav.error().description);
    }
    QSaveFile out(args.at(3));
    if (!out.open(QIODevice::WriteOnly) || out.write(*wav) != wav->size() || !out.commit()) {
        return fail(u"could not write "_s + args.at(3) + u": "_s + out.errorString());
    }
    printLine(QJsonObject{{u"bytes"_s, wav->size()}});
    return 0;
}

int jumpcuts(const QStringList& args) {
    if (args.isEmpty() || !onlyKnownOptions(args, 1, {u"--start"_s, u"--end"_s})) {
        return fail(usage);
    }
    const MediaAsset asset(args.at(0));
    auto loaded = asset.load();
    if (!loaded) {
        return fail(loaded.error().description);
    }
    const auto startText = option(args, u"--start"_s);
    const auto endText = option(args, u"--end"_s);
    const auto start = startText ? parseSeconds(*startText) : std::optional<double>(0.0);
    const auto end = endText ? parseSeconds(*endText) : std::optional<double>(loaded->duration);
    if (!start || !end || *end <= *start) {
        return fail(u"--start and --end must be seconds with start < end"_s);
    }
    auto ranges = JumpCuts::speechRangesBlocking(asset, MediaTimeRange::fromSeconds(*start, *end));
    if (!ranges) {
        return fail(ranges.error().description);
    }
    QJsonArray list;
    for (const MediaTimeRange& range : *ranges) {
        list.append(QJsonArray{range.startSeconds(), range.endSeconds()});
    }
    printLine(QJsonObject{{u"ranges"_s, list}});
    return 0;
}

int filmstrip(const QStringList& args) {
    if (args.size() < 2 || !onlyKnownOptions(args, 2, {u"--count"_s})) {
        return fail(usage);
    }
    const MediaAsset asset(args.at(0));
    int count = 24;
    if (const auto countText = option(args, u"--count"_s)) {
        bool ok = false;
        count = countText->toInt(&ok);
        if (!ok || count < 1 || count > 1000) {
            return fail(u"--count must be a whole number from 1 to 1000"_s);
        }
    }
    auto loaded = asset.load();
    if (!loaded) {
        return fail(loaded.error().description);
    }
    if (loaded->videoTracks.isEmpty()) {
        return fail(u"the file has no video track"_s);
    }
    const QDir dir(args.at(1));
    if (!QDir().mkpath(dir.absolutePath())) {
        return fail(u"could not create "_s + dir.absolutePath());
    }
    const QList<QImage> images = Filmstrip::generate(asset, count, loaded->duration);
    for (qsizetype i = 0; i < images.size(); ++i) {
        const QString name = dir.filePath(u"frame-%1.png"_s.arg(i, 3, 10, QLatin1Char('0')));
        if (!images.at(i).save(name, "PNG")) {
            return fail(u"could not write "_s + name);
        }
    }
    printLine(QJsonObject{{u"frames"_s, images.size()}});
    return 0;
}

} // namespace

int runMediaCommand(const QStringList& args) {
    if (args.isEmpty()) {
        return fail(usage);
    }
    const QString command = args.first();
    const QStringList rest = args.mid(1);
    if (command == "info"_L1) {
        return info(rest);
    }
    if (command == "extract-audio"_L1) {
        return extractAudio(rest);
    }
    if (command == "jumpcuts"_L1) {
        return jumpcuts(rest);
    }
    if (command == "filmstrip"_L1) {
        return filmstrip(rest);
    }
    if (command == "render"_L1) {
        return runRenderCommand(rest);
    }
    if (command == "background"_L1) {
        return runBackgroundCommand(rest);
    }
    if (command == "record"_L1) {
        return runRecordCommand(rest);
    }
    if (const int code = runCaptionCommand(command, rest); code >= 0) {
        return code;
    }
    return fail(u"unknown media command: "_s + command + u"\n"_s + usage);
}

} // namespace tolvane::cli
