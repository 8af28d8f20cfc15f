#include "linkedinpreview.h"

#include "paneltext.h"

#include <QBuffer>
#include <QImageReader>
#include <QTextBoundaryFinder>

using namespace Qt::StringLiterals;

namespace tolvane::linkedinpreview {

QString name(const QString& authorName) {
    return authorName.isEmpty() ? u"Your Name"_s : authorName;
}

QString initial(const QString& authorName) {
    const QString trimmed = paneltext::trimSpacesAndTabs(authorName);
    if (trimmed.isEmpty()) {
        return u"Y"_s;
    }
    // The first user-perceived character, so an accented letter written with a
    // combining mark or a surrogate pair is not cut in half.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, trimmed);
    const qsizetype end = finder.toNextBoundary();
    return trimmed.left(end > 0 ? end : 1).toUpper();
}

QString subtitle(const QString& headline, const QString& handle) {
    const QString trimmed = paneltext::trimSpacesAndTabs(headline);
    if (!trimmed.isEmpty()) {
        return trimmed;
    }
    return handle;
}

QString body(const QString& text) {
    return text.isEmpty() ? bodyPlaceholder : text;
}

std::optional<QUrl> avatarUrl(const std::optional<QString>& base64) {
    if (!base64 || base64->isEmpty()) {
        return std::nullopt;
    }
    const auto result =
        QByteArray::fromBase64Encoding(base64->toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!result || result.decoded.isEmpty()) {
        return std::nullopt;
    }
    QByteArray bytes = result.decoded;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (format.isEmpty() || reader.read().isNull()) {
        return std::nullopt;
    }
    // The bytes go on as they came; only their type is taken from the content,
    // since the service's own mime field may be missing.
    return QUrl(u"data:image/"_s + QString::fromLatin1(format) + u";base64,"_s +
                QString::fromLatin1(bytes.toBase64()));
}

} // namespace tolvane::linkedinpreview
