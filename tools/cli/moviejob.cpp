#include "moviejob.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

namespace tolvane::cli {

Expected<AssetInfo, QString> checkMovieToFile(const QString& input, const QString& output) {
    const QFileInfo in(input);
    if (!in.exists()) {
        return Unexpected(QStringLiteral("%1 does not exist").arg(input));
    }
    const QFileInfo out(output);
    if (!out.absoluteDir().exists()) {
        return Unexpected(QStringLiteral("the folder %1 does not exist").arg(out.absolutePath()));
    }
    if (out.exists() && out.canonicalFilePath() == in.canonicalFilePath()) {
        return Unexpected(QStringLiteral("OUT must not be the input file"));
    }
    if (out.isDir()) {
        return Unexpected(QStringLiteral("%1 is a folder").arg(output));
    }
    auto info = MediaAsset(in.absoluteFilePath()).load();
    if (!info) {
        return Unexpected(
            QStringLiteral("%1 is not a readable movie: %2").arg(input, info.error().description));
    }
    if (info->videoTracks.isEmpty()) {
        return Unexpected(QStringLiteral("%1 has no video track").arg(input));
    }
    return std::move(*info);
}

QString partialBeside(const QString& output, const QString& prefix, const QString& suffix) {
    return QFileInfo(output).absoluteDir().filePath(
        QStringLiteral(".%1-%2%3")
            .arg(prefix, QUuid::createUuid().toString(QUuid::WithoutBraces), suffix));
}

} // namespace tolvane::cli
