#include "store.h"

#include <QJsonDocument>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace tolvane::coach {

Q_LOGGING_CATEGORY(lcStore, "tolvane.coach.store", QtInfoMsg)

namespace {

qint64 toMs(const QDateTime& t) {
    return t.isValid() ? t.toMSecsSinceEpoch() : 0;
}

QDateTime fromMs(const QVariant& v) {
    if (v.isNull() || v.toLongLong() == 0)
        return {};
    return QDateTime::fromMSecsSinceEpoch(v.toLongLong(), Qt::UTC);
}

// SQLite stores a null QString as NULL, which the NOT NULL columns refuse.
QVariant str(const QString& s) {
    return s.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(s);
}

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

const char* const schema[] = {
    "CREATE TABLE IF NOT EXISTS users (id INTEGER PRIMARY KEY, uid TEXT NOT NULL UNIQUE, "
    "created_at INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS user_state (user_id INTEGER NOT NULL, key TEXT NOT NULL, "
    "value TEXT NOT NULL, PRIMARY KEY (user_id, key))",
    "CREATE TABLE IF NOT EXISTS memory (id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL, "
    "kind TEXT NOT NULL, value TEXT NOT NULL, created_at INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS drafts (id INTEGER PRIMARY KEY, token TEXT NOT NULL UNIQUE, "
    "user_id INTEGER NOT NULL, text TEXT NOT NULL, style TEXT NOT NULL, topic TEXT NOT NULL, "
    "platform TEXT NOT NULL, status TEXT NOT NULL, created_at INTEGER NOT NULL, "
    "updated_at INTEGER NOT NULL, scheduled_at INTEGER, published_at INTEGER)",
    "CREATE INDEX IF NOT EXISTS drafts_due ON drafts (status, scheduled_at)",
    "CREATE TABLE IF NOT EXISTS notifications (id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL, "
    "text TEXT NOT NULL, image_b64 TEXT NOT NULL, created_at INTEGER NOT NULL, "
    "delivered_at INTEGER)",
    "CREATE TABLE IF NOT EXISTS llm_calls (id INTEGER PRIMARY KEY, created_at INTEGER NOT NULL, "
    "user_id INTEGER NOT NULL, intent TEXT NOT NULL, label TEXT NOT NULL, provider TEXT NOT NULL, "
    "model TEXT NOT NULL, latency_ms INTEGER NOT NULL, stop_reason TEXT NOT NULL, "
    "error TEXT NOT NULL, input_tokens INTEGER NOT NULL, output_tokens INTEGER NOT NULL, "
    "cache_read_tokens INTEGER NOT NULL, reasoning_tokens INTEGER NOT NULL, "
    "request TEXT NOT NULL, response TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS videos (id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL, "
    "path TEXT NOT NULL, duration REAL NOT NULL, title TEXT NOT NULL, size INTEGER NOT NULL, "
    "created_at INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS contacts (id INTEGER PRIMARY KEY, email TEXT NOT NULL, "
    "message TEXT NOT NULL, page TEXT NOT NULL, created_at INTEGER NOT NULL)",
};

} // namespace

Store::Store()
    : m_connection(QStringLiteral("coach-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

Store::~Store() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool Store::exec(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (!q.exec(sql)) {
        m_error = q.lastError().text();
        qCWarning(lcStore) << "store statement failed:" << m_error;
        return false;
    }
    return true;
}

namespace {
// SQLite's own words ("database or disk is full") without the driver's.
QString describe(const QSqlError& error) {
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}
} // namespace

bool Store::write(QSqlQuery& q) {
    if (q.exec())
        return true;
    const QString error = describe(q.lastError());
    qCWarning(lcStore) << "store write failed:" << error;
    if (m_writeError.isEmpty())
        m_writeError = error;
    return false;
}

bool Store::commit(QSqlDatabase& db) {
    if (db.commit())
        return true;
    const QString error = describe(db.lastError());
    qCWarning(lcStore) << "store commit failed:" << error;
    if (m_writeError.isEmpty())
        m_writeError = error;
    db.rollback();
    return false;
}

QString Store::takeWriteError() {
    return std::exchange(m_writeError, QString());
}

bool Store::open(const QString& path) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    if (!db.open()) {
        m_error = db.lastError().text();
        return false;
    }
    if (path != QLatin1String(":memory:"))
        exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    for (const char* statement : schema) {
        if (!exec(QString::fromLatin1(statement)))
            return false;
    }
    return true;
}

std::optional<User> Store::findUser(const QString& uid) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT id, uid, created_at FROM users WHERE uid = ?"));
    q.addBindValue(uid);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return User{q.value(0).toLongLong(), q.value(1).toString(), fromMs(q.value(2))};
}

std::optional<User> Store::userById(qint64 id) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT id, uid, created_at FROM users WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return User{q.value(0).toLongLong(), q.value(1).toString(), fromMs(q.value(2))};
}

User Store::user(const QString& uid) {
    if (auto found = findUser(uid))
        return *found;
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("INSERT INTO users (uid, created_at) VALUES (?, ?)"));
    q.addBindValue(uid);
    q.addBindValue(nowMs());
    write(q);
    return User{q.lastInsertId().toLongLong(), uid, QDateTime::currentDateTimeUtc()};
}

QString Store::state(qint64 userId, const QString& key) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT value FROM user_state WHERE user_id = ? AND key = ?"));
    q.addBindValue(userId);
    q.addBindValue(key);
    if (!q.exec() || !q.next())
        return {};
    return q.value(0).toString();
}

void Store::setState(qint64 userId, const QString& key, const QString& value) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (value.isEmpty()) {
        q.prepare(QStringLiteral("DELETE FROM user_state WHERE user_id = ? AND key = ?"));
        q.addBindValue(userId);
        q.addBindValue(key);
    } else {
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO user_state (user_id, key, value) "
                                 "VALUES (?, ?, ?)"));
        q.addBindValue(userId);
        q.addBindValue(key);
        q.addBindValue(value);
    }
    write(q);
}

std::optional<QPair<qint64, QString>> Store::stateWithPrefix(const QString& key,
                                                             const QString& prefix) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT user_id, value FROM user_state WHERE key = ? AND "
                             "substr(value, 1, ?) = ?"));
    q.addBindValue(key);
    q.addBindValue(prefix.size());
    q.addBindValue(prefix);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return QPair<qint64, QString>(q.value(0).toLongLong(), q.value(1).toString());
}

int Store::deleteDrafts(qint64 userId, const QString& status) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("DELETE FROM drafts WHERE user_id = ? AND status = ?"));
    q.addBindValue(userId);
    q.addBindValue(status);
    if (!write(q))
        return 0;
    return q.numRowsAffected();
}

void Store::remember(qint64 userId, const QString& kind, const QString& value) {
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    const bool accumulates = kind == QLatin1String("fact") || kind == QLatin1String("work");
    QSqlQuery q(db);
    if (!accumulates) {
        q.prepare(QStringLiteral("DELETE FROM memory WHERE user_id = ? AND kind = ?"));
        q.addBindValue(userId);
        q.addBindValue(kind);
        write(q);
    } else {
        q.prepare(QStringLiteral("SELECT 1 FROM memory WHERE user_id = ? AND kind = ? AND "
                                 "lower(value) = lower(?)"));
        q.addBindValue(userId);
        q.addBindValue(kind);
        q.addBindValue(value);
        if (q.exec() && q.next())
            return;
    }
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral(
        "INSERT INTO memory (user_id, kind, value, created_at) VALUES (?, ?, ?, ?)"));
    insert.addBindValue(userId);
    insert.addBindValue(kind);
    insert.addBindValue(str(value));
    insert.addBindValue(nowMs());
    write(insert);
}

QList<Memory> Store::memories(qint64 userId) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral(
        "SELECT id, kind, value, created_at FROM memory WHERE user_id = ? ORDER BY id"));
    q.addBindValue(userId);
    QList<Memory> out;
    if (q.exec()) {
        while (q.next())
            out.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
                        fromMs(q.value(3))});
    }
    return out;
}

QString Store::memory(qint64 userId, const QString& kind) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral(
        "SELECT value FROM memory WHERE user_id = ? AND kind = ? ORDER BY id DESC LIMIT 1"));
    q.addBindValue(userId);
    q.addBindValue(kind);
    if (!q.exec() || !q.next())
        return {};
    return q.value(0).toString();
}

void Store::forget(qint64 userId) {
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    db.transaction();
    for (const char* table :
         {"memory", "user_state", "drafts", "notifications", "llm_calls", "videos"}) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("DELETE FROM %1 WHERE user_id = ?").arg(QLatin1String(table)));
        q.addBindValue(userId);
        write(q);
    }
    commit(db);
}

QString Store::newToken() {
    static constexpr char alphabet[] = "abcdefghijkmnpqrstuvwxyz23456789";
    QString token;
    for (int i = 0; i < 12; ++i)
        token += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(32)]);
    return token;
}

static const QString draftColumns =
    QStringLiteral("id, token, user_id, text, style, topic, platform, status, created_at, "
                   "updated_at, scheduled_at, published_at");

Draft Store::readDraft(const QSqlQuery& q) const {
    Draft d;
    d.id = q.value(0).toLongLong();
    d.token = q.value(1).toString();
    d.userId = q.value(2).toLongLong();
    d.text = q.value(3).toString();
    d.style = q.value(4).toString();
    d.topic = q.value(5).toString();
    d.platform = q.value(6).toString();
    d.status = q.value(7).toString();
    d.createdAt = fromMs(q.value(8));
    d.updatedAt = fromMs(q.value(9));
    d.scheduledAt = fromMs(q.value(10));
    d.publishedAt = fromMs(q.value(11));
    return d;
}

Draft Store::createDraft(qint64 userId, const QString& text, const QString& style,
                         const QString& topic) {
    Draft d;
    d.token = newToken();
    d.userId = userId;
    d.text = text;
    d.style = style;
    d.topic = topic;
    d.createdAt = d.updatedAt = QDateTime::fromMSecsSinceEpoch(nowMs(), Qt::UTC);
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("INSERT INTO drafts (token, user_id, text, style, topic, platform, "
                             "status, created_at, updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant& v :
         {str(d.token), QVariant(userId), str(text), str(style), str(topic), str(d.platform),
          str(d.status), QVariant(toMs(d.createdAt)), QVariant(toMs(d.updatedAt))})
        q.addBindValue(v);
    write(q);
    d.id = q.lastInsertId().toLongLong();
    return d;
}

std::optional<Draft> Store::draft(const QString& token) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT %1 FROM drafts WHERE token = ?").arg(draftColumns));
    q.addBindValue(token);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return readDraft(q);
}

std::optional<Draft> Store::latestDraft(qint64 userId) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT %1 FROM drafts WHERE user_id = ? ORDER BY updated_at DESC, "
                             "id DESC LIMIT 1")
                  .arg(draftColumns));
    q.addBindValue(userId);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return readDraft(q);
}

QList<Draft> Store::drafts(qint64 userId, const QString& status, int limit) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    // Scheduled posts come soonest first, everything else newest first.
    const QString order = status == QLatin1String("scheduled")
                              ? QStringLiteral("scheduled_at ASC")
                              : QStringLiteral("coalesce(published_at, updated_at) DESC, id DESC");
    q.prepare(QStringLiteral("SELECT %1 FROM drafts WHERE user_id = ? AND status = ? ORDER BY %2 "
                             "LIMIT ?")
                  .arg(draftColumns, order));
    q.addBindValue(userId);
    q.addBindValue(status);
    q.addBindValue(limit);
    QList<Draft> out;
    if (q.exec()) {
        while (q.next())
            out.append(readDraft(q));
    }
    return out;
}

bool Store::updateDraft(const QString& token, const QString& text, const QString& style) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("UPDATE drafts SET text = ?, style = coalesce(nullif(?, ''), style), "
                             "updated_at = ? WHERE token = ?"));
    q.addBindValue(str(text));
    q.addBindValue(style);
    q.addBindValue(nowMs());
    q.addBindValue(token);
    return write(q) && q.numRowsAffected() > 0;
}

bool Store::scheduleDraft(const QString& token, const QString& text, const QDateTime& at) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("UPDATE drafts SET text = ?, status = 'scheduled', scheduled_at = ?, "
                             "updated_at = ? WHERE token = ? AND status != 'published'"));
    q.addBindValue(str(text));
    q.addBindValue(toMs(at));
    q.addBindValue(nowMs());
    q.addBindValue(token);
    return write(q) && q.numRowsAffected() > 0;
}

bool Store::publishDraft(const QString& token, const QString& text, const QDateTime& at) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral(
        "UPDATE drafts SET text = ?, status = 'published', scheduled_at = coalesce(scheduled_at, "
        "?), published_at = ?, updated_at = ? WHERE token = ? AND status != 'published'"));
    q.addBindValue(str(text));
    q.addBindValue(toMs(at));
    q.addBindValue(toMs(at));
    q.addBindValue(nowMs());
    q.addBindValue(token);
    return write(q) && q.numRowsAffected() > 0;
}

QList<Draft> Store::dueDrafts(const QDateTime& now) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT %1 FROM drafts WHERE status = 'scheduled' AND scheduled_at "
                             "<= ? ORDER BY scheduled_at")
                  .arg(draftColumns));
    q.addBindValue(toMs(now));
    QList<Draft> out;
    if (q.exec()) {
        while (q.next())
            out.append(readDraft(q));
    }
    return out;
}

Overview Store::overview(qint64 userId) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT status, count(*) FROM drafts WHERE user_id = ? GROUP BY "
                             "status"));
    q.addBindValue(userId);
    Overview o;
    if (q.exec()) {
        while (q.next()) {
            const QString status = q.value(0).toString();
            const qint64 n = q.value(1).toLongLong();
            if (status == QLatin1String("draft"))
                o.drafts = n;
            else if (status == QLatin1String("scheduled"))
                o.scheduledPending = n;
            else if (status == QLatin1String("published"))
                o.published = n;
        }
    }
    // Impressions and likes need a connected network; nothing local counts them.
    return o;
}

qint64 Store::addNotification(qint64 userId, const QString& text, const QString& imageB64) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("INSERT INTO notifications (user_id, text, image_b64, created_at) "
                             "VALUES (?, ?, ?, ?)"));
    q.addBindValue(userId);
    q.addBindValue(str(text));
    q.addBindValue(str(imageB64));
    q.addBindValue(nowMs());
    if (!write(q))
        return 0;
    return q.lastInsertId().toLongLong();
}

QList<Notification> Store::takeNotifications(qint64 userId) {
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    db.transaction();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT id, user_id, text, image_b64, created_at FROM notifications "
                             "WHERE user_id = ? AND delivered_at IS NULL ORDER BY id"));
    q.addBindValue(userId);
    QList<Notification> out;
    if (q.exec()) {
        while (q.next())
            out.append({q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toString(),
                        q.value(3).toString(), fromMs(q.value(4))});
    }
    if (!out.isEmpty()) {
        QSqlQuery mark(db);
        mark.prepare(QStringLiteral("UPDATE notifications SET delivered_at = ? WHERE user_id = ? "
                                    "AND delivered_at IS NULL AND id <= ?"));
        mark.addBindValue(nowMs());
        mark.addBindValue(userId);
        mark.addBindValue(out.last().id);
        if (!write(mark))
            out.clear(); // not marked delivered: handed out again next time
    }
    commit(db);
    return out;
}

qint64 Store::pendingNotifications(qint64 userId) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral(
        "SELECT count(*) FROM notifications WHERE user_id = ? AND delivered_at IS NULL"));
    q.addBindValue(userId);
    if (!q.exec() || !q.next())
        return 0;
    return q.value(0).toLongLong();
}

qint64 Store::addLlmCall(const LlmCall& c) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral(
        "INSERT INTO llm_calls (created_at, user_id, intent, label, provider, model, latency_ms, "
        "stop_reason, error, input_tokens, output_tokens, cache_read_tokens, reasoning_tokens, "
        "request, response) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant& v :
         {QVariant(toMs(c.createdAt.isValid() ? c.createdAt : QDateTime::currentDateTimeUtc())),
          QVariant(c.userId), str(c.intent), str(c.label), str(c.provider), str(c.model),
          QVariant(c.latencyMs), str(c.stopReason), str(c.error), QVariant(c.inputTokens),
          QVariant(c.outputTokens), QVariant(c.cacheReadTokens), QVariant(c.reasoningTokens),
          QVariant(QString::fromUtf8(QJsonDocument(c.request).toJson(QJsonDocument::Compact))),
          QVariant(QString::fromUtf8(QJsonDocument(c.response).toJson(QJsonDocument::Compact)))})
        q.addBindValue(v);
    if (!write(q))
        return 0;
    return q.lastInsertId().toLongLong();
}

LlmCall Store::readCall(const QSqlQuery& q, bool withBodies) const {
    LlmCall c;
    c.id = q.value(0).toLongLong();
    c.createdAt = fromMs(q.value(1));
    c.userId = q.value(2).toLongLong();
    c.intent = q.value(3).toString();
    c.label = q.value(4).toString();
    c.provider = q.value(5).toString();
    c.model = q.value(6).toString();
    c.latencyMs = q.value(7).toLongLong();
    c.stopReason = q.value(8).toString();
    c.error = q.value(9).toString();
    c.inputTokens = q.value(10).toLongLong();
    c.outputTokens = q.value(11).toLongLong();
    c.cacheReadTokens = q.value(12).toLongLong();
    c.reasoningTokens = q.value(13).toLongLong();
    if (withBodies) {
        c.request = QJsonDocument::fromJson(q.value(14).toString().toUtf8()).object();
        c.response = QJsonDocument::fromJson(q.value(15).toString().toUtf8()).object();
    }
    return c;
}

static const QString callColumns = QStringLiteral(
    "id, created_at, user_id, intent, label, provider, model, latency_ms, stop_reason, error, "
    "input_tokens, output_tokens, cache_read_tokens, reasoning_tokens");

QList<LlmCall> Store::llmCalls(int limit, std::optional<qint64> userId) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (userId) {
        q.prepare(QStringLiteral("SELECT %1 FROM llm_calls WHERE user_id = ? ORDER BY id DESC "
                                 "LIMIT ?")
                      .arg(callColumns));
        q.addBindValue(*userId);
    } else {
        q.prepare(
            QStringLiteral("SELECT %1 FROM llm_calls ORDER BY id DESC LIMIT ?").arg(callColumns));
    }
    q.addBindValue(limit);
    QList<LlmCall> out;
    if (q.exec()) {
        while (q.next())
            out.append(readCall(q, false));
    }
    return out;
}

std::optional<LlmCall> Store::llmCall(qint64 id) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT %1, request, response FROM llm_calls WHERE id = ?")
                  .arg(callColumns));
    q.addBindValue(id);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return readCall(q, true);
}

qint64 Store::clearLlmCalls(std::optional<qint64> userId) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (userId) {
        q.prepare(QStringLiteral("DELETE FROM llm_calls WHERE user_id = ?"));
        q.addBindValue(*userId);
    } else {
        q.prepare(QStringLiteral("DELETE FROM llm_calls"));
    }
    if (!write(q))
        return 0;
    return q.numRowsAffected();
}

qint64 Store::addVideo(qint64 userId, const QString& path, double duration, const QString& title,
                       qint64 size) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("INSERT INTO videos (user_id, path, duration, title, size, "
                             "created_at) VALUES (?, ?, ?, ?, ?, ?)"));
    for (const QVariant& v : {QVariant(userId), str(path), QVariant(duration), str(title),
                              QVariant(size), QVariant(nowMs())})
        q.addBindValue(v);
    if (!write(q))
        return 0;
    return q.lastInsertId().toLongLong();
}

std::optional<QStringList> Store::videoPaths() {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (!q.exec(QStringLiteral("SELECT path FROM videos")))
        return std::nullopt;
    QStringList paths;
    while (q.next())
        paths.append(q.value(0).toString());
    return paths;
}

qint64 Store::videoCount(qint64 userId) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT count(*) FROM videos WHERE user_id = ?"));
    q.addBindValue(userId);
    if (!q.exec() || !q.next())
        return 0;
    return q.value(0).toLongLong();
}

qint64 Store::addContact(const QString& email, const QString& message, const QString& page) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral(
        "INSERT INTO contacts (email, message, page, created_at) VALUES (?, ?, ?, ?)"));
    for (const QVariant& v : {str(email), str(message), str(page), QVariant(nowMs())})
        q.addBindValue(v);
    if (!write(q))
        return 0;
    return q.lastInsertId().toLongLong();
}

} // namespace tolvane::coach
