#pragma once

#include "notificationlistener.h"
#include "service/apiclient.h"
#include "service/chatrecords.h"
#include "transcriptfile.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <memory>
#include <optional>

namespace tolvane {

class AppSettings;

// The one chat between the user and the coach: the ordered messages, sending
// and the streamed reply, the notifications its listener brings, and the
// conversation file, saved after every change. Main thread only.
class ConversationStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isSending READ isSending NOTIFY isSendingChanged)
    Q_PROPERTY(bool isDraining READ isDraining NOTIFY isDrainingChanged)
    Q_PROPERTY(QString lastError READ lastError NOTIFY lastErrorChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // Why the conversation file could not be written; empty once a save
    // succeeds. Changes only when the reason does, so a banner shows it once.
    Q_PROPERTY(QString saveError READ saveError NOTIFY saveErrorChanged)

public:
    // Commands after whose answer the conversation keeps only that answer.
    static const QStringList resetCommands;

    // How the notification listener waits between connections.
    using Backoff = NotificationListener::Backoff;

    // `directory` holds the conversation file; empty means the user's data
    // folder. `endpoints` names the service (the built-in one by default).
    explicit ConversationStore(AppSettings& settings, QString directory = {},
                               ServiceEndpoints endpoints = ServiceEndpoints::builtIn(),
                               QObject* parent = nullptr);
    // Ends the listener and every send; the last change is on disk on return.
    ~ConversationStore() override;

    const QList<ChatMessage>& messages() const { return m_messages; }
    int count() const { return static_cast<int>(m_messages.size()); }
    bool isSending() const { return m_isSending; }
    bool isDraining() const { return m_listener.isDraining(); }
    // Empty when the last send did not fail.
    QString lastError() const { return m_lastError.value_or(QString()); }
    QString saveError() const { return m_saveError; }
    bool hasSendTask() const { return m_sendCancel != nullptr; }
    bool hasStreamTask() const { return m_listener.isListening(); }

    // Sends the trimmed text (and the image) to the coach; status lines and the
    // reply arrive as messages. Does not refuse a send while one runs.
    Q_INVOKABLE void send(const QString& text, const QByteArray& image = {});
    // Stops the running send: its pending reply disappears, nothing else.
    Q_INVOKABLE void cancelSend();
    // Adds the user's finished short video.
    void appendVideo(const QUrl& url);
    // Appends a message without saving; it reaches the file with the next save
    // (or when the store goes away).
    void appendMessage(ChatMessage message);

    // Replaces a running listener with a new one.
    Q_INVOKABLE void startEventStream();
    // Starts a listener unless one runs.
    Q_INVOKABLE void ensureEventStream();
    // Fetches and appends waiting notifications unless a fetch runs.
    Q_INVOKABLE void drainNotifications();

    void setBackoff(Backoff backoff) { m_listener.setBackoff(backoff); }
    // The conversation file for the current user id.
    QString filePath() const;
    // Blocks until every save so far is on disk (or has failed); `saveError`
    // then tells how the latest one went.
    void flush();

Q_SIGNALS:
    void messageInserted(int index);
    void messageRemoved(int index);
    void messageChanged(int index);
    void messagesReset();
    void countChanged();
    // A status line of a running reply, as it arrived.
    void statusReceived(const QString& text);
    void isSendingChanged();
    void isDrainingChanged();
    void lastErrorChanged();
    void saveErrorChanged();
    // A send task ended (success, failure or cancellation).
    void sendFinished();
    // A notification listener started, and its waits between connections.
    void listenerStarted();
    void listenerWaiting(std::chrono::milliseconds wait);

private:
    QCoro::Task<void> runSend(QUuid pendingID, QString text, std::optional<QByteArray> image,
                              bool isReset, CancelHandle cancel);
    void appendNotifications(const QList<InAppNotification>& notifications);

    APIClient client() const;
    void load();
    void save();
    qsizetype indexOf(const QUuid& id) const;
    void insertMessage(qsizetype index, ChatMessage message);
    void removeMessageAt(qsizetype index);
    // Applies `change` to the message at `index` and forgets its encoded form.
    template <typename F>
    void modifyMessage(qsizetype index, F&& change);
    void forgetEncoding(const QUuid& id);
    void adoptEncoded(const QList<TranscriptWriter::Encoded>& encoded);
    void setSending(bool value);
    void setLastError(std::optional<QString> value);
    void setSaveError(const QString& value);

    QPointer<AppSettings> m_settings;
    QString m_directory;
    ServiceEndpoints m_endpoints;
    QList<ChatMessage> m_messages;
    bool m_isSending = false;
    std::optional<QString> m_lastError;
    QString m_saveError;
    CancelHandle m_sendCancel;
    // Every send still running, so destruction can end them all.
    QList<std::weak_ptr<CancelToken>> m_runningSends;
    // Each message's element of the file, so a save re-encodes only what changed.
    // Messages without one are encoded by the writer, which hands the result
    // back; a ticket tells whether the message changed meanwhile.
    QHash<QUuid, QByteArray> m_encoded;
    QHash<QUuid, quint64> m_tickets;
    quint64 m_nextTicket = 0;
    bool m_dirty = false;
    TranscriptWriter m_writer;
    NotificationListener m_listener;
};

} // namespace tolvane
