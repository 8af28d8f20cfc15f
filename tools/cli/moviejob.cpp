#include "moviejob.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace tolvane::cli {

Expected<AssetInfo, QString> checkMovieToFile(const QString& input, const QString& output) {
    const QFileInfo in(input);
    if (!in.exists()) {
        return Unexpected(u"%1 does not exist"_s.arg(input));
    }
    const QFileInfo out(output);
    if (!out.absoluteDir().exists()) {
        return Unexpected(u"the folder %1 does not exist"_s.arg(out.absolutePath()));
    }
    if (out.exists() && out.canonicalFilePath() == in.canonicalFilePath()) {
        return Unexpected(u"OUT must not be the input file"_s);
    }
    if (out.isDir()) {
        return Unexpected(u"%1 is a folder"_s.arg(output));
    }
    auto info = MediaAsset(in.absoluteFilePath()).load();
    if (!info) {
        return Unexpected(u"%1 is not a readable movie: %2"_s.arg(input, info.error().description));
    }
    if (info->videoTracks.isEmpty()) {
        return Unexpected(u"%1 has no video track"_s.arg(input));
    }
    return std::move(*info);
}

QString partialBeside(const QString& output, const QString& prefix, const QString& suffix) {
    return QFileInfo(output).absoluteDir().filePath(
        u".%1-%2%3"_s.arg(prefix, QUuid::createUuid().toString(QUuid::WithoutBraces), suffix));
}

} // namespace tolvane::cli
