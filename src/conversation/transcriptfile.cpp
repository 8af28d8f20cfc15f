#include "transcriptfile.h"

#include "linkdetector.h"
#include "service/jsonreader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimeZone>

#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcTranscript, "tolvane.conversation.file")

namespace tolvane {

namespace transcript {

namespace {

const QDateTime referenceDate(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());

struct Persisted {
    QString role;
    QString text;
    double timestamp = 0;
    std::optional<QString> imageB64;
    std::optional<QStringList> galleryB64;

    static Persisted read(JsonReader& reader) {
        Persisted p;
        p.role = reader.string("role"_L1);
        p.text = reader.string("text"_L1);
        p.timestamp = reader.number("timestamp"_L1);
        p.imageB64 = reader.optionalString("imageB64"_L1);
        p.galleryB64 = reader.optionalStringList("galleryB64"_L1);
        return p;
    }
};

} // namespace

QString filePath(const QString& directory, const QString& userID) {
    // Created on every use, as the folder may have been removed meanwhile.
    QDir().mkpath(directory);
    return QDir(directory).filePath(u"transcript-"_s + userID + u".json"_s);
}

QString defaultDirectory() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(u"Tolvane"_s);
}

double toReferenceSeconds(const QDateTime& time) {
    return static_cast<double>(referenceDate.msecsTo(time)) / 1000.0;
}

QDateTime fromReferenceSeconds(double seconds) {
    return referenceDate.addMSecs(static_cast<qint64>(std::llround(seconds * 1000.0)));
}

QByteArray encodeMessage(const ChatMessage& message) {
    QJsonObject object{
        {u"role"_s, message.role == ChatMessage::Role::user ? u"user"_s : u"coach"_s},
        {u"text"_s, message.text},
        {u"timestamp"_s, toReferenceSeconds(message.timestamp)},
    };
    if (message.imageData) {
        object.insert(u"imageB64"_s, QString::fromLatin1(message.imageData->toBase64()));
    }
    if (!message.gallery.isEmpty()) {
        QJsonArray gallery;
        for (const QByteArray& image : message.gallery) {
            gallery.append(QString::fromLatin1(image.toBase64()));
        }
        object.insert(u"galleryB64"_s, gallery);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray joinElements(const QList<QByteArray>& elements) {
    qsizetype size = 2 + elements.size();
    for (const QByteArray& element : elements) {
        size += element.size();
    }
    QByteArray file;
    file.reserve(size);
    file += '[';
    for (qsizetype i = 0; i < elements.size(); ++i) {
        if (i > 0) {
            file += ',';
        }
        file += elements[i];
    }
    file += ']';
    return file;
}

Expected<QList<ChatMessage>, QString> decode(const QByteArray& bytes) {
    auto value = json::parse(bytes);
    if (!value) {
        return Unexpected{value.error()};
    }
    if (!value->isArray()) {
        return Unexpected{u"the file does not hold a list of messages"_s};
    }
    QList<ChatMessage> messages;
    const QJsonArray array = value->toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        JsonReader reader(array.at(i), u"[%1]"_s.arg(i));
        const Persisted p = Persisted::read(reader);
        if (!reader.ok()) {
            return Unexpected{reader.error()};
        }
        ChatMessage message;
        message.role = p.role == "user"_L1 ? ChatMessage::Role::user : ChatMessage::Role::coach;
        message.text = p.text;
        message.timestamp = fromReferenceSeconds(p.timestamp);
        if (p.imageB64) {
            message.imageData = decodeBase64(*p.imageB64);
        }
        for (const QString& image : p.galleryB64.value_or(QStringList())) {
            if (auto decoded = decodeBase64(image)) {
                message.gallery.append(*decoded);
            }
        }
        message.actions = extractEditActions(message.text);
        messages.append(std::move(message));
    }
    return messages;
}

namespace {

QString systemError(int code) {
    return qt_error_string(code);
}

// write() until every byte is out; a short write is retried, so the error
// that stopped it (ENOSPC, EFBIG, EIO) is the one reported.
bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

Expected<Done, QString> replaceFile(const QString& path, const QByteArray& bytes) {
    QByteArray temporary = QFile::encodeName(path) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return Unexpected{systemError(errno)};
    }
    // Every step is checked: a full disk can fail the write, or only the
    // sync, and renaming a short file over the good one would lose it.
    bool ok = writeAll(fd, bytes.constData(), bytes.size());
    if (ok && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        ok = false;
    }
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.constData());
        return Unexpected{systemError(error)};
    }
    // The rename itself reaches the disk with the folder's entry.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return Done{};
}

int removeLeftovers(const QString& directory) {
    static const QRegularExpression leftover(u"^transcript-.*\\.json\\.[A-Za-z0-9]{6}$"_s);
    int removed = 0;
    const QDir dir(directory);
    for (const QString& name : dir.entryList({u"transcript-*.json.*"_s}, QDir::Files)) {
        if (leftover.match(name).hasMatch() && QFile::remove(dir.filePath(name))) {
            ++removed;
        }
    }
    return removed;
}

} // namespace transcript

TranscriptWriter::TranscriptWriter(std::function<void(QList<Encoded>)> onEncoded,
                                   std::function<void()> onWritten)
    : m_onEncoded(std::move(onEncoded))
    , m_onWritten(std::move(onWritten)) {
    m_pool.setMaxThreadCount(1);
    m_pool.setExpiryTimeout(-1);
}

TranscriptWriter::~TranscriptWriter() {
    flush();
}

void TranscriptWriter::write(QString path, QList<Element> elements) {
    QMutexLocker lock(&m_mutex);
    m_pending = Snapshot{std::move(path), std::move(elements)};
    if (!m_running) {
        m_running = true;
        m_pool.start([this] { drain(); });
    }
}

void TranscriptWriter::flush() {
    m_pool.waitForDone();
}

QString TranscriptWriter::lastFailure() const {
    QMutexLocker lock(&m_mutex);
    return m_lastFailure;
}

void TranscriptWriter::drain() {
    for (;;) {
        Snapshot snapshot;
        {
            QMutexLocker lock(&m_mutex);
            if (!m_pending) {
                m_running = false;
                return;
            }
            snapshot = std::move(*m_pending);
            m_pending.reset();
        }
        QList<QByteArray> parts;
        parts.reserve(snapshot.elements.size());
        QList<Encoded> encoded;
        for (const Element& element : std::as_const(snapshot.elements)) {
            if (element.message) {
                parts.append(transcript::encodeMessage(*element.message));
                encoded.append({element.message->id, element.ticket, parts.last()});
            } else {
                parts.append(element.encoded);
            }
        }
        if (!encoded.isEmpty() && m_onEncoded) {
            m_onEncoded(std::move(encoded));
        }
        const auto written =
            transcript::replaceFile(snapshot.path, transcript::joinElements(parts));
        // The conversation goes on in memory; the next change tries again.
        const QString failure = written ? QString() : written.error();
        bool changed = false;
        {
            QMutexLocker lock(&m_mutex);
            changed = failure != m_lastFailure;
            m_lastFailure = failure;
        }
        if (changed && !failure.isEmpty()) {
            qCWarning(lcTranscript).noquote()
                << "could not write the conversation file" << snapshot.path << "(" + failure + ")";
        }
        if (m_onWritten) {
            m_onWritten();
        }
    }
}

} // namespace tolvane
