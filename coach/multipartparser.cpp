#include "multipartparser.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

QByteArray MultipartParser::boundaryOf(const QByteArray& contentType) {
    const QList<QByteArray> params = contentType.split(';');
    if (params.isEmpty() || params.first().trimmed().toLower() != "multipart/form-data") {
        return {};
    }
    for (qsizetype i = 1; i < params.size(); ++i) {
        const QByteArray p = params[i].trimmed();
        if (!p.toLower().startsWith("boundary=")) {
            continue;
        }
        QByteArray value = p.mid(9);
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"')) {
            value = value.mid(1, value.size() - 2);
        }
        if (value.isEmpty() || value.size() > 70) {
            return {};
        }
        return value;
    }
    return {};
}

namespace {

QString paramOf(const QByteArray& disposition, const char* name) {
    const QRegularExpression re(uR"re((?:^|;)\s*%1="([^"]*)")re"_s.arg(QLatin1String(name)));
    const auto m = re.match(QString::fromUtf8(disposition));
    return m.hasMatch() ? m.captured(1) : QString();
}

} // namespace

std::optional<QList<MultipartParser::Part>> MultipartParser::parse(QByteArrayView body,
                                                                   const QByteArray& boundary) {
    const QByteArray delimiter = "--" + boundary;
    const QByteArray separator = "\r\n--" + boundary;
    QList<Part> parts;
    if (!body.startsWith(delimiter)) {
        return std::nullopt;
    }
    qsizetype pos = delimiter.size();
    for (;;) {
        // After a delimiter: "--" ends the body, CRLF starts a part.
        if (body.sliced(pos).startsWith("--")) {
            return parts;
        }
        if (!body.sliced(pos).startsWith("\r\n")) {
            return std::nullopt;
        }
        pos += 2;
        const qsizetype headEnd = body.indexOf(QByteArrayView("\r\n\r\n"), pos);
        if (headEnd < 0 || headEnd - pos > 8 * 1024) {
            return std::nullopt;
        }
        Part part;
        const QByteArray head = body.sliced(pos, headEnd - pos).toByteArray();
        for (const QByteArray& line : head.split('\n')) {
            const QByteArray l = line.trimmed();
            const qsizetype colon = l.indexOf(':');
            if (colon <= 0) {
                continue;
            }
            const QByteArray name = l.left(colon).trimmed().toLower();
            const QByteArray value = l.mid(colon + 1).trimmed();
            if (name == "content-disposition") {
                part.name = paramOf(value, "name");
                part.filename = paramOf(value, "filename");
            } else if (name == "content-type") {
                part.contentType = value;
            }
        }
        const qsizetype dataStart = headEnd + 4;
        const qsizetype next = body.indexOf(QByteArrayView(separator), dataStart);
        if (next < 0) {
            return std::nullopt;
        }
        part.data = body.sliced(dataStart, next - dataStart);
        parts.append(part);
        if (parts.size() > 64) {
            return std::nullopt;
        }
        pos = next + separator.size();
    }
}

} // namespace tolvane::coach
