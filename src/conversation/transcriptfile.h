#pragma once

#include "platform/expected.h"
#include "service/chatrecords.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <optional>

namespace tolvane {

// The conversation file: a JSON array with one object per saved message
// ("role", "text", "timestamp" as seconds since 2001-01-01T00:00:00Z,
// optional "imageB64" and "galleryB64").
namespace transcript {

// "transcript-<userID>.json" in `directory`.
QString filePath(const QString& directory, const QString& userID);

// The default folder: "Tolvane" in the per-user data directory.
QString defaultDirectory();

// Seconds since 2001-01-01T00:00:00Z, the file's time base.
double toReferenceSeconds(const QDateTime& time);
QDateTime fromReferenceSeconds(double seconds);

// One message's element of the array, compact JSON.
QByteArray encodeMessage(const ChatMessage& message);

// The whole file from already encoded elements.
QByteArray joinElements(const QList<QByteArray>& elements);

// Reads a whole file; an element that fails to decode rejects the file. Every
// message gets a new id and the edit actions of its text.
Expected<QList<ChatMessage>, QString> decode(const QByteArray& bytes);

// Replaces the file at `path` with `bytes`: written to a new file beside it,
// synced, and renamed over it only when every write, the sync and the close
// succeeded. On failure the previous file is untouched and the reason (the
// system's words for the error) is returned.
Expected<Done, QString> replaceFile(const QString& path, const QByteArray& bytes);

// Removes temporary files a killed writer left beside conversation files in
// `directory` ("transcript-*.json.XXXXXX"). Returns how many were removed.
int removeLeftovers(const QString& directory);

} // namespace transcript

// Writes snapshots of the conversation file on a worker thread, in order. A
// snapshot that is superseded before its write starts is skipped; the file
// always ends up holding the latest one. Each write replaces the file
// atomically, so a crash leaves either the old or the new complete file.
class TranscriptWriter {
public:
    // One element of the file: already encoded, or a message the writer
    // encodes off the main thread (and hands back through `onEncoded`).
    struct Element {
        QByteArray encoded;
        std::optional<ChatMessage> message;
        quint64 ticket = 0;
    };
    struct Encoded {
        QUuid id;
        quint64 ticket = 0;
        QByteArray bytes;
    };

    // `onEncoded` is called on the writer's thread with the elements it
    // encoded; `onWritten` after each write (`lastFailure` tells how it went).
    explicit TranscriptWriter(std::function<void(QList<Encoded>)> onEncoded = {},
                              std::function<void()> onWritten = {});
    ~TranscriptWriter();

    void write(QString path, QList<Element> elements);
    // Blocks until every queued snapshot is on disk.
    void flush();
    // Why the latest write failed; empty when it succeeded (or none ran yet).
    QString lastFailure() const;

private:
    struct Snapshot {
        QString path;
        QList<Element> elements;
    };
    void drain();

    std::function<void(QList<Encoded>)> m_onEncoded;
    std::function<void()> m_onWritten;
    mutable QMutex m_mutex;
    // The last failure logged, so a broken disk is reported once, not per save.
    QString m_lastFailure;
    std::optional<Snapshot> m_pending;
    bool m_running = false;
    QThreadPool m_pool;
};

} // namespace tolvane
