#include "transcriptfile.h"

#include "linkdetector.h"
#include "service/jsonreader.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimeZone>

#include <cmath>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcTranscript, "tolvane.conversation.file")

namespace tolvane {

namespace transcript {

namespace {

const QDateTime referenceDate(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());

std::optional<QByteArray> decodeBase64(const QString& text) {
    auto result =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!result || text.size() % 4 != 0) {
        return std::nullopt;
    }
    return *result;
}

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

} // namespace transcript

TranscriptWriter::TranscriptWriter(std::function<void(QList<Encoded>)> onEncoded)
    : m_onEncoded(std::move(onEncoded)) {
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
        QSaveFile file(snapshot.path);
        const QByteArray bytes = transcript::joinElements(parts);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
            !file.commit()) {
            // The conversation goes on in memory; the next change tries again.
            qCWarning(lcTranscript)
                << "could not write the conversation file" << snapshot.path << file.errorString();
        }
    }
}

} // namespace tolvane
