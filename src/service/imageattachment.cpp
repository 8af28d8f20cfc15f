#include "imageattachment.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tolvane::imageattachment {

namespace {

QString refusal(const QString& name, const QString& why) {
    return u"Can't attach %1: %2"_s.arg(name, why);
}

QString tooLarge(const QString& name, qint64 size) {
    return refusal(name, u"it is %1, and a picture can be at most %2."_s.arg(formatSize(size),
                                                                             formatSize(maxBytes)));
}

bool decodes(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // Decoded in full: a valid header over random or cut-off bytes is no
    // picture. Qt's allocation limit keeps absurd dimensions from decoding.
    return reader.canRead() && !reader.read().isNull();
}

} // namespace

QString formatSize(qint64 bytes) {
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString check(const QByteArray& bytes, const QString& name) {
    if (bytes.size() > maxBytes) {
        return tooLarge(name, bytes.size());
    }
    if (!decodes(bytes)) {
        return refusal(name, u"it is not a picture Tolvane can read."_s);
    }
    return {};
}

Expected<QByteArray, QString> readFile(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    // Opened without waiting (a FIFO would block until a writer came), then
    // judged by what was opened, not by a name that may change meanwhile.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return Unexpected{refusal(name, qt_error_string(errno) + u'.')};
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Unexpected{refusal(name, file.errorString() + u'.')};
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return Unexpected{refusal(name, qt_error_string(errno) + u'.')};
    }
    if (!S_ISREG(info.st_mode)) {
        return Unexpected{refusal(name, u"it is not a regular file."_s)};
    }
    if (info.st_size > maxBytes) {
        return Unexpected{tooLarge(name, info.st_size)};
    }
    // One byte more than allowed tells a file that grew since.
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        return Unexpected{refusal(name, file.errorString() + u'.')};
    }
    if (const QString problem = check(bytes, name); !problem.isEmpty()) {
        return Unexpected{problem};
    }
    return bytes;
}

} // namespace tolvane::imageattachment
