#pragma once

#include "platform/expected.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>

namespace tolvane::upload {

// The largest request body the coach accepts for an upload; a larger video is
// refused before anything is sent.
inline constexpr qint64 maxBodyBytes = qint64(2) * 1024 * 1024 * 1024;

struct Field {
    QString name;
    QString value;
};

// The multipart body of a video upload, read straight from the video file:
// the text fields and the video part's header, the file's bytes unchanged,
// then the closing line. Nothing is copied to disk, so the upload needs no
// temporary file and memory stays bounded by the network stack's reads. The
// body is random access, so the network stack can rewind it.
class MultipartBody : public QIODevice {
public:
    MultipartBody(const QByteArray& boundary, const QList<Field>& fields, const QString& videoPath);

    // Opens the video and the body for reading. The error is the text shown
    // to the user.
    Expected<Done, QString> openForReading();

    bool isSequential() const override { return false; }
    qint64 size() const override;
    bool seek(qint64 position) override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_head;
    QByteArray m_tail;
    QFile m_video;
    qint64 m_videoSize = 0;
    qint64 m_offset = 0;
};

// "tolvane-" + an upper-case random UUID.
QByteArray makeBoundary();

// Removes "tolvane-upload-*.tmp" files older than `maxAgeSeconds` from the
// temporary directory: bodies of uploads that were killed before they could
// clean up (earlier versions wrote the body to such a file). Returns how many
// were removed.
int removeStaleBodies(qint64 maxAgeSeconds = 24 * 60 * 60);

} // namespace tolvane::upload
