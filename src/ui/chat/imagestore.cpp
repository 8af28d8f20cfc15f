#include "imagestore.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImageReader>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {
const QString scheme = u"image://tolvane/"_s;
}

ImageStore& ImageStore::shared() {
    static ImageStore store;
    return store;
}

QString ImageStore::keyOf(const QString& source) {
    return source.startsWith(scheme) ? source.mid(scheme.size()) : source;
}

QString ImageStore::retain(const QByteArray& bytes) {
    const QString key =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
    QMutexLocker lock(&m_mutex);
    Entry& entry = m_encoded[key];
    entry.bytes = bytes;
    ++entry.references;
    return scheme + key;
}

void ImageStore::release(const QString& source) {
    const QString key = keyOf(source);
    QMutexLocker lock(&m_mutex);
    const auto it = m_encoded.find(key);
    if (it != m_encoded.end() && --it->references <= 0) {
        m_encoded.erase(it);
        m_decoded.remove(key);
    }
}

QString ImageStore::put(const QString& key, const QImage& image) {
    QMutexLocker lock(&m_mutex);
    m_pinned.insert(key, image);
    return scheme + key;
}

void ImageStore::unpin(const QString& sourceOrKey) {
    QMutexLocker lock(&m_mutex);
    m_pinned.remove(keyOf(sourceOrKey));
}

QImage ImageStore::decodeLocked(const QString& key, const QByteArray& bytes) {
    if (const QImage* cached = m_decoded.object(key)) {
        return *cached;
    }
    QImage decoded = QImage::fromData(bytes);
    if (!decoded.isNull()) {
        m_decoded.insert(key, new QImage(decoded));
    }
    return decoded;
}

QImage ImageStore::image(const QString& sourceOrKey) {
    const QString key = keyOf(sourceOrKey);
    QMutexLocker lock(&m_mutex);
    if (const auto pinned = m_pinned.constFind(key); pinned != m_pinned.constEnd()) {
        return *pinned;
    }
    const auto it = m_encoded.constFind(key);
    return it == m_encoded.constEnd() ? QImage() : decodeLocked(key, it->bytes);
}

bool ImageStore::decodes(const QByteArray& bytes) {
    // The header alone: decoding every picture of a long conversation when its
    // rows are built would cost the main thread, and the views decode them
    // anyway (through the cache) when they are shown.
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return reader.canRead() && reader.size().isValid() && !reader.size().isEmpty();
}

ImageStoreProvider::ImageStoreProvider()
    : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage ImageStoreProvider::requestImage(const QString& id, QSize* size,
                                        const QSize& requestedSize) {
    QImage image = ImageStore::shared().image(id);
    if (size) {
        *size = image.size();
    }
    if (!image.isNull() && requestedSize.isValid() && !requestedSize.isEmpty()) {
        image = image.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

} // namespace tolvane
