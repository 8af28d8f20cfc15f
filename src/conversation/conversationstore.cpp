#include "conversationstore.h"

#include "linkdetector.h"
#include "service/appsettings.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcConversation, "tolvane.conversation")

namespace tolvane {

const QStringList ConversationStore::resetCommands{u"/clear"_s, u"/new"_s, u"/forgetme"_s,
                                                   u"/wipe"_s};

namespace {

ChatMessage coachMessage(QString text = {}) {
    ChatMessage message;
    message.role = ChatMessage::Role::coach;
    message.text = std::move(text);
    return message;
}

// One message per single image and per run of images sharing a group; images
// whose base64 does not decode are left out.
QList<ChatMessage> imageMessages(const QList<ChatImage>& images) {
    const auto decode = [](const ChatImage& image) { return decodeBase64(image.dataB64); };
    QList<ChatMessage> messages;
    qsizetype i = 0;
    while (i < images.size()) {
        const ChatImage& first = images[i];
        const auto bytes = decode(first);
        ++i;
        if (!bytes) {
            continue;
        }
        ChatMessage message = coachMessage();
        if (!first.group || first.group->isEmpty()) {
            message.imageData = *bytes;
        } else {
            message.gallery.append(*bytes);
            while (i < images.size() && images[i].group == first.group) {
                const auto next = decode(images[i]);
                if (!next) {
                    break;
                }
                message.gallery.append(*next);
                ++i;
            }
        }
        messages.append(std::move(message));
    }
    return messages;
}

} // namespace

ConversationStore::ConversationStore(AppSettings& settings, QString directory,
                                     ServiceEndpoints endpoints, QObject* parent)
    : QObject(parent)
    , m_settings(&settings)
    , m_directory(directory.isEmpty() ? transcript::defaultDirectory() : std::move(directory))
    , m_endpoints(std::move(endpoints))
    , m_writer(
          [self = QPointer<ConversationStore>(this)](QList<TranscriptWriter::Encoded> encoded) {
              QMetaObject::invokeMethod(
                  self, [self, encoded = std::move(encoded)] { self->adoptEncoded(encoded); },
                  Qt::QueuedConnection);
          },
          [self = QPointer<ConversationStore>(this)] {
              // The latest outcome, not this write's: reports can trail a flush.
              QMetaObject::invokeMethod(
                  self, [self] { self->setSaveError(self->m_writer.lastFailure()); },
                  Qt::QueuedConnection);
          })
    , m_listener([this] { return client(); }) {
    connect(&m_listener, &NotificationListener::notificationsArrived, this,
            &ConversationStore::appendNotifications);
    connect(&m_listener, &NotificationListener::isDrainingChanged, this,
            &ConversationStore::isDrainingChanged);
    connect(&m_listener, &NotificationListener::started, this, &ConversationStore::listenerStarted);
    connect(&m_listener, &NotificationListener::waiting, this, &ConversationStore::listenerWaiting);
    load();
}

ConversationStore::~ConversationStore() {
    m_listener.stop();
    for (const auto& weak : std::as_const(m_runningSends)) {
        if (const auto cancel = weak.lock()) {
            cancel->cancel();
        }
    }
    // Changes that were not saved yet (a message the canvas appended) still
    // reach the file.
    if (m_dirty) {
        save();
    }
    m_writer.flush();
}

APIClient ConversationStore::client() const {
    return APIClient(*m_settings, m_endpoints);
}

QString ConversationStore::filePath() const {
    return transcript::filePath(m_directory, m_settings ? m_settings->userID() : QString());
}

void ConversationStore::flush() {
    m_writer.flush();
    setSaveError(m_writer.lastFailure());
}

void ConversationStore::load() {
    const QString path = filePath();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    auto decoded = transcript::decode(bytes);
    if (!decoded) {
        // Kept beside the new file rather than overwritten by the next save.
        const QString kept = path + u".unreadable-"_s +
                             QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd'T'HHmmss'Z'"_s);
        const bool moved = QFile::rename(path, kept);
        qCWarning(lcConversation).noquote()
            << "the conversation file could not be read (" + decoded.error() + u"); "_s +
                   (moved ? u"kept as "_s + QFileInfo(kept).fileName() : u"left in place"_s);
        return;
    }
    m_messages = std::move(decoded).value();
    Q_EMIT messagesReset();
    Q_EMIT countChanged();
}

void ConversationStore::save() {
    QList<TranscriptWriter::Element> elements;
    elements.reserve(m_messages.size());
    for (const ChatMessage& message : std::as_const(m_messages)) {
        if (message.isPending) {
            continue;
        }
        const auto cached = m_encoded.constFind(message.id);
        if (cached != m_encoded.constEnd()) {
            elements.append({*cached, std::nullopt, 0});
        } else {
            const quint64 ticket = ++m_nextTicket;
            m_tickets.insert(message.id, ticket);
            elements.append({QByteArray(), message, ticket});
        }
    }
    m_dirty = false;
    m_writer.write(filePath(), std::move(elements));
}

void ConversationStore::forgetEncoding(const QUuid& id) {
    m_encoded.remove(id);
    m_tickets.remove(id);
}

void ConversationStore::adoptEncoded(const QList<TranscriptWriter::Encoded>& encoded) {
    for (const auto& element : encoded) {
        const auto ticket = m_tickets.constFind(element.id);
        if (ticket != m_tickets.constEnd() && *ticket == element.ticket) {
            m_encoded.insert(element.id, element.bytes);
            m_tickets.erase(ticket);
        }
    }
}

qsizetype ConversationStore::indexOf(const QUuid& id) const {
    for (qsizetype i = m_messages.size() - 1; i >= 0; --i) {
        if (m_messages[i].id == id) {
            return i;
        }
    }
    return -1;
}

void ConversationStore::insertMessage(qsizetype index, ChatMessage message) {
    index = qBound<qsizetype>(0, index, m_messages.size());
    m_messages.insert(index, std::move(message));
    m_dirty = true;
    Q_EMIT messageInserted(static_cast<int>(index));
    Q_EMIT countChanged();
}

void ConversationStore::removeMessageAt(qsizetype index) {
    forgetEncoding(m_messages[index].id);
    m_messages.removeAt(index);
    m_dirty = true;
    Q_EMIT messageRemoved(static_cast<int>(index));
    Q_EMIT countChanged();
}

template <typename F>
void ConversationStore::modifyMessage(qsizetype index, F&& change) {
    ChatMessage& message = m_messages[index];
    change(message);
    forgetEncoding(message.id);
    m_dirty = true;
    Q_EMIT messageChanged(static_cast<int>(index));
}

void ConversationStore::setSending(bool value) {
    if (m_isSending != value) {
        m_isSending = value;
        Q_EMIT isSendingChanged();
    }
}

void ConversationStore::setLastError(std::optional<QString> value) {
    if (m_lastError != value) {
        m_lastError = std::move(value);
        Q_EMIT lastErrorChanged();
    }
}

void ConversationStore::setSaveError(const QString& value) {
    if (m_saveError != value) {
        m_saveError = value;
        Q_EMIT saveErrorChanged();
    }
}

void ConversationStore::send(const QString& text, const QByteArray& image) {
    const QString trimmed = text.trimmed();
    const bool hasImage = !image.isNull();
    if (trimmed.isEmpty() && !hasImage) {
        return;
    }
    const bool isReset = resetCommands.contains(trimmed.toLower());

    ChatMessage user;
    user.role = ChatMessage::Role::user;
    user.text = trimmed.isEmpty() ? u"image"_s : trimmed;
    if (hasImage) {
        user.imageData = image;
    }
    insertMessage(m_messages.size(), std::move(user));
    ChatMessage pending = coachMessage();
    pending.isPending = true;
    const QUuid pendingID = pending.id;
    insertMessage(m_messages.size(), std::move(pending));
    save();

    setSending(true);
    setLastError(std::nullopt);
    // A newer send replaces the handle; the older task runs on uncancelled.
    m_sendCancel = CancelToken::create();
    m_runningSends.removeIf([](const std::weak_ptr<CancelToken>& weak) { return weak.expired(); });
    m_runningSends.append(m_sendCancel);
    runSend(pendingID, trimmed, hasImage ? std::optional(image) : std::nullopt, isReset,
            m_sendCancel);
}

void ConversationStore::cancelSend() {
    if (m_sendCancel) {
        m_sendCancel->cancel();
    }
}

QCoro::Task<void> ConversationStore::runSend(QUuid pendingID, QString text,
                                             std::optional<QByteArray> image, bool isReset,
                                             CancelHandle cancel) {
    QPointer<ConversationStore> self(this);
    const std::optional<QString> imageB64 =
        image ? std::optional(QString::fromLatin1(image->toBase64())) : std::nullopt;
    const auto onStatus = [self, pendingID](const QString& status) {
        if (!self) {
            return;
        }
        const qsizetype at = self->indexOf(pendingID);
        self->insertMessage(at < 0 ? self->m_messages.size() : at, coachMessage(status));
        self->save();
        Q_EMIT self->statusReceived(status);
    };
    const auto result = co_await client().chatStream(
        text, imageB64, image ? std::optional(u"image/png"_s) : std::nullopt, onStatus, cancel);
    if (!self) {
        co_return;
    }

    const auto finishPending = [this, pendingID](const QString& reply,
                                                 const QList<ChatAction>& actions,
                                                 const std::optional<TurnDebug>& debug) {
        const qsizetype at = indexOf(pendingID);
        if (at < 0) {
            return;
        }
        modifyMessage(at, [&](ChatMessage& message) {
            message.text = reply;
            message.isPending = false;
            message.actions = actions;
            message.debug = debug;
        });
    };

    if (result) {
        const QList<ChatMessage> images = imageMessages(result->images);
        if (images.size() == 1) {
            if (const qsizetype at = indexOf(pendingID); at >= 0) {
                modifyMessage(at, [&](ChatMessage& message) {
                    message.imageData = images.first().imageData;
                    message.gallery = images.first().gallery;
                });
            }
        } else {
            for (const ChatMessage& imageMessage : images) {
                const qsizetype at = indexOf(pendingID);
                insertMessage(at < 0 ? m_messages.size() : at, imageMessage);
            }
        }
        finishPending(result->reply, extractEditActions(result->reply), result->debug);
        if (isReset) {
            for (qsizetype i = m_messages.size() - 1; i >= 0; --i) {
                if (m_messages[i].id != pendingID) {
                    removeMessageAt(i);
                }
            }
        }
    } else if (cancel->isCancelled()) {
        if (const qsizetype at = indexOf(pendingID); at >= 0) {
            removeMessageAt(at);
        }
    } else {
        const QString description = result.error().description();
        finishPending(description, {}, std::nullopt);
        setLastError(description);
    }

    setSending(false);
    m_sendCancel.reset();
    save();
    Q_EMIT sendFinished();
}

void ConversationStore::appendVideo(const QUrl& url) {
    ChatMessage message;
    message.role = ChatMessage::Role::user;
    message.text = u"Recorded a short video"_s;
    message.videoURL = url;
    insertMessage(m_messages.size(), std::move(message));
    save();
}

void ConversationStore::appendMessage(ChatMessage message) {
    insertMessage(m_messages.size(), std::move(message));
}

void ConversationStore::startEventStream() {
    m_listener.start();
}

void ConversationStore::ensureEventStream() {
    m_listener.ensure();
}

void ConversationStore::drainNotifications() {
    m_listener.drain();
}

void ConversationStore::appendNotifications(const QList<InAppNotification>& notifications) {
    for (const InAppNotification& notification : notifications) {
        ChatMessage message = coachMessage(notification.text);
        if (notification.imageB64) {
            message.imageData = decodeBase64(*notification.imageB64);
        }
        message.actions = extractEditActions(notification.text);
        insertMessage(m_messages.size(), std::move(message));
    }
    save();
}

} // namespace tolvane
