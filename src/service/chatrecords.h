#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

namespace tolvane {

class JsonReader;

// An image sent by the coach inside a chat reply.
struct ChatImage {
    QString dataB64;
    QString mime;
    QString caption;
    // Images with the same non-empty group that follow each other form a gallery.
    std::optional<QString> group;

    static ChatImage read(JsonReader& reader);
    friend bool operator==(const ChatImage&, const ChatImage&) = default;
};

// Model usage of one reply.
struct TurnDebug {
    QString model;
    qint64 inputTokens = 0;
    qint64 outputTokens = 0;
    qint64 cacheReadTokens = 0;
    qint64 cacheWriteTokens = 0;
    double costUSD = 0;

    static TurnDebug read(JsonReader& reader);
    friend bool operator==(const TurnDebug&, const TurnDebug&) = default;
};

// A button under a reply.
struct ChatAction {
    enum class Kind {
        // Opens the service's web editor for the draft named by `token`.
        editDraft,
    };
    Kind kind = Kind::editDraft;
    QString label;
    QUrl url;
    std::optional<QString> token;

    friend bool operator==(const ChatAction&, const ChatAction&) = default;
};

struct ChatMessage {
    enum class Role { user, coach };

    QUuid id = QUuid::createUuid();
    Role role = Role::user;
    QString text;
    std::optional<QByteArray> imageData;
    QList<QByteArray> gallery;
    std::optional<QUrl> videoURL;
    QDateTime timestamp = QDateTime::currentDateTimeUtc();
    bool isPending = false;
    QList<ChatAction> actions;
    std::optional<TurnDebug> debug;

    friend bool operator==(const ChatMessage&, const ChatMessage&) = default;
};

// A notification waiting for the user; becomes a coach message.
struct InAppNotification {
    QString text;
    std::optional<QString> imageB64;
    QDateTime createdAt;

    static InAppNotification read(JsonReader& reader);
    friend bool operator==(const InAppNotification&, const InAppNotification&) = default;
};

// The list reply of the notifications endpoint. Every list shares one element
// type, so a reply carrying another list whose elements are not notifications
// fails as a whole.
struct NotificationWrapper {
    std::optional<QList<InAppNotification>> drafts;
    std::optional<QList<InAppNotification>> scheduled;
    std::optional<QList<InAppNotification>> posts;
    std::optional<QList<InAppNotification>> memories;
    std::optional<QList<InAppNotification>> rituals;
    std::optional<QList<InAppNotification>> accounts;
    std::optional<QList<InAppNotification>> notifications;

    static NotificationWrapper read(JsonReader& reader);
};

} // namespace tolvane
