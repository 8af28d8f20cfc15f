#pragma once

#include <QByteArray>
#include <QCache>
#include <QHash>
#include <QImage>
#include <QMutex>
#include <QQuickImageProvider>
#include <QString>

namespace tolvane {

// Encoded images the views show, addressed as "image://tolvane/<key>". Decoded
// images are shared through a cache of 64 entries keyed by their bytes, so a
// picture shown in several places is decoded once. The image provider may ask
// from a loader thread, hence the lock.
class ImageStore {
public:
    static constexpr int decodedCapacity = 64;
    static ImageStore& shared();

    // Registers (or re-references) bytes and gives their image address.
    QString retain(const QByteArray& bytes);
    // Drops one reference taken by retain().
    void release(const QString& source);
    // Stores a decoded image under a key of the caller's choosing.
    QString put(const QString& key, const QImage& image);
    void unpin(const QString& sourceOrKey);

    // The decoded image for an address or key; null when it does not decode.
    QImage image(const QString& sourceOrKey);
    // Whether the bytes are an image of a known format with a size (read from
    // the header only).
    bool decodes(const QByteArray& bytes);

    static QString keyOf(const QString& source);

private:
    struct Entry {
        QByteArray bytes;
        int references = 0;
    };
    QImage decodeLocked(const QString& key, const QByteArray& bytes);

    QMutex m_mutex;
    QHash<QString, Entry> m_encoded;
    QHash<QString, QImage> m_pinned;
    QCache<QString, QImage> m_decoded{decodedCapacity};
};

class ImageStoreProvider : public QQuickImageProvider {
public:
    ImageStoreProvider();
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

} // namespace tolvane
