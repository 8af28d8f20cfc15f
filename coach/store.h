#pragma once

#include "records.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace tolvane::coach {

// The coach's SQLite store: users, memory, drafts and their schedule,
// notifications, the AI-call log, uploaded videos and contact notes.
// Used on one thread only.
class Store {
public:
    Store();
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Opens (and creates or migrates) the database file; ":memory:" works too.
    bool open(const QString& path);
    QString errorString() const { return m_error; }
    // The first write that failed since the last call (a full disk, a
    // read-only file), in SQLite's words; empty when every write went in.
    // Requests check it before they promise anything that was to be stored.
    QString takeWriteError();

    // Users are created on first sight of their id.
    User user(const QString& uid);
    std::optional<User> findUser(const QString& uid);
    std::optional<User> userById(qint64 id);

    QString state(qint64 userID, const QString& key);
    void setState(qint64 userID, const QString& key, const QString& value);
    // The first user whose state value under key starts with prefix, and that value.
    std::optional<QPair<qint64, QString>> stateWithPrefix(const QString& key,
                                                          const QString& prefix);
    int deleteDrafts(qint64 userID, const QString& status);

    // Single-valued kinds replace the earlier value; "fact" and "work" accumulate.
    void remember(qint64 userID, const QString& kind, const QString& value);
    QList<Memory> memories(qint64 userID);
    QString memory(qint64 userID, const QString& kind);
    // Deletes everything kept about the user except the user row itself.
    void forget(qint64 userID);

    Draft createDraft(qint64 userID, const QString& text, const QString& style,
                      const QString& topic);
    std::optional<Draft> draft(const QString& token);
    std::optional<Draft> latestDraft(qint64 userID);
    QList<Draft> drafts(qint64 userID, const QString& status, int limit = 100);
    bool updateDraft(const QString& token, const QString& text, const QString& style);
    bool scheduleDraft(const QString& token, const QString& text, const QDateTime& at);
    bool publishDraft(const QString& token, const QString& text, const QDateTime& at);
    QList<Draft> dueDrafts(const QDateTime& now);
    Overview overview(qint64 userID);

    qint64 addNotification(qint64 userID, const QString& text, const QString& imageB64 = {});
    // Returns the undelivered notifications and marks them delivered.
    QList<Notification> takeNotifications(qint64 userID);
    qint64 pendingNotifications(qint64 userID);

    qint64 addLLMCall(const LLMCall& call);
    QList<LLMCall> llmCalls(int limit, std::optional<qint64> userID);
    std::optional<LLMCall> llmCall(qint64 id);
    qint64 clearLLMCalls(std::optional<qint64> userID);

    qint64 addVideo(qint64 userID, const QString& path, double duration, const QString& title,
                    qint64 size);
    qint64 videoCount(qint64 userID);
    // The files of every stored video; nullopt when the store can't be read.
    std::optional<QStringList> videoPaths();
    qint64 addContact(const QString& email, const QString& message, const QString& page);

    static QString newToken();

private:
    bool exec(const QString& sql);
    // Runs a statement that changes the store; a failure is kept for
    // takeWriteError().
    bool write(class QSqlQuery& q);
    bool commit(QSqlDatabase& db);
    Draft readDraft(const class QSqlQuery& q) const;
    LLMCall readCall(const class QSqlQuery& q, bool withBodies) const;

    QString m_connection;
    QString m_error;
    QString m_writeError;
};

} // namespace tolvane::coach
