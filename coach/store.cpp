#include "store.h"

#include <QJsonDocument>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

Q_LOGGING_CATEGORY(lcStore, "tolvane.coach.store", QtInfoMsg)

namespace {

qint64 toMs(const QDateTime& t) {
    return t.isValid() ? t.toMSecsSinceEpoch() : 0;
}

QDateTime fromMs(const QVariant& v) {
    if (v.isNull() || v.toLongLong() == 0) {
        return {};
    }
    return QDateTime::fromMSecsSinceEpoch(v.toLongLong(), Qt::UTC);
}

// SQLite stores a null QString as NULL, which the NOT NULL columns refuse.
QVariant str(const QString& s) {
    return s.isNull() ? QVariant(QString(""_L1)) : QVariant(s);
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
    : m_connection(u"coach-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

Store::~Store() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen()) {
            db.close();
        }
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
    if (q.exec()) {
        return true;
    }
    const QString error = describe(q.lastError());
    qCWarning(lcStore) << "store write failed:" << error;
    if (m_writeError.isEmpty()) {
        m_writeError = error;
    }
    return false;
}

bool Store::commit(QSqlDatabase& db) {
    if (db.commit()) {
        return true;
    }
    const QString error = describe(db.lastError());
    qCWarning(lcStore) << "store commit failed:" << error;
    if (m_writeError.isEmpty()) {
        m_writeError = error;
    }
    db.rollback();
    return false;
}

QString Store::takeWriteError() {
    return std::exchange(m_writeError, QString());
}

bool Store::open(const QString& path) {
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connection);
    db.setDatabaseName(path);
    db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=2000"_s);
    if (!db.open()) {
        m_error = db.lastError().text();
        return false;
    }
    if (path != ":memory:"_L1) {
        exec(u"PRAGMA journal_mode=WAL"_s);
    }
    exec(u"PRAGMA foreign_keys=ON"_s);
    for (const char* statement : schema) {
        if (!exec(QString::fromLatin1(statement))) {
            return false;
        }
    }
    return true;
}

std::optional<User> Store::findUser(const QString& uid) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"SELECT id, uid, created_at FROM users WHERE uid = ?"_s);
    q.addBindValue(uid);
    if (!q.exec() || !q.next()) {
        return std::nullopt;
    }
    return User{q.value(0).toLongLong(), q.value(1).toString(), fromMs(q.value(2))};
}

std::optional<User> Store::userById(qint64 id) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"SELECT id, uid, created_at FROM users WHERE id = ?"_s);
    q.addBindValue(id);
    if (!q.exec() || !q.next()) {
        return std::nullopt;
    }
    return User{q.value(0).toLongLong(), q.value(1).toString(), fromMs(q.value(2))};
}

User Store::user(const QString& uid) {
    if (auto found = findUser(uid)) {
        return *found;
    }
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"INSERT INTO users (uid, created_at) VALUES (?, ?)"_s);
    q.addBindValue(uid);
    q.addBindValue(nowMs());
    write(q);
    return User{q.lastInsertId().toLongLong(), uid, QDateTime::currentDateTimeUtc()};
}

QString Store::state(qint64 userID, const QString& key) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"SELECT value FROM user_state WHERE user_id = ? AND key = ?"_s);
    q.addBindValue(userID);
    q.addBindValue(key);
    if (!q.exec() || !q.next()) {
        return {};
    }
    return q.value(0).toString();
}

void Store::setState(qint64 userID, const QString& key, const QString& value) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (value.isEmpty()) {
        q.prepare(u"DELETE FROM user_state WHERE user_id = ? AND key = ?"_s);
        q.addBindValue(userID);
        q.addBindValue(key);
    } else {
        q.prepare(u"INSERT OR REPLACE INTO user_state (user_id, key, value) "
                  "VALUES (?, ?, ?)"_s);
        q.addBindValue(userID);
        q.addBindValue(key);
        q.addBindValue(value);
    }
    write(q);
}

std::optional<QPair<qint64, QString>> Store::stateWithPrefix(const QString& key,
                                                             const QString& prefix) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"SELECT user_id, value FROM user_state WHERE key = ? AND "
              "substr(value, 1, ?) = ?"_s);
    q.addBindValue(key);
    q.addBindValue(prefix.size());
    q.addBindValue(prefix);
    if (!q.exec() || !q.next()) {
        return std::nullopt;
    }
    return QPair<qint64, QString>(q.value(0).toLongLong(), q.value(1).toString());
}

int Store::deleteDrafts(qint64 userID, const QString& status) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"DELETE FROM drafts WHERE user_id = ? AND status = ?"_s);
    q.addBindValue(userID);
    q.addBindValue(status);
    if (!write(q)) {
        return 0;
    }
    return q.numRowsAffected();
}

void Store::remember(qint64 userID, const QString& kind, const QString& value) {
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    const bool accumulates = kind == "fact"_L1 || kind == "work"_L1;
    QSqlQuery q(db);
    if (!accumulates) {
        q.prepare(u"DELETE FROM memory WHERE user_id = ? AND kind = ?"_s);
        q.addBindValue(userID);
        q.addBindValue(kind);
        write(q);
    } else {
        q.prepare(u"SELECT 1 FROM memory WHERE user_id = ? AND kind = ? AND "
                  "lower(value) = lower(?)"_s);
        q.addBindValue(userID);
        q.addBindValue(kind);
        q.addBindValue(value);
        if (q.exec() && q.next()) {
            return;
        }
    }
    QSqlQuery insert(db);
    insert.prepare(u"INSERT INTO memory (user_id, kind, value, created_at) VALUES (?, ?, ?, ?)"_s);
    insert.addBindValue(userID);
    insert.addBindValue(kind);
    insert.addBindValue(str(value));
    insert.addBindValue(nowMs());
    write(insert);
}

QList<Memory> Store::memories(qint64 userID) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"SELECT id, kind, value, created_at FROM memory WHERE user_id = ? ORDER BY id"_s);
    q.addBindValue(userID);
    QList<Memory> out;
    if (q.exec()) {
        while (q.next()) {
            out.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
                        fromMs(q.value(3))});
        }
    }
    return out;
}

QString Store::memory(qint64 userID, const QString& kind) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(
        u"SELECT value FROM memory WHERE user_id = ? AND kind = ? ORDER BY id DESC LIMIT 1"_s);
    q.addBindValue(userID);
    q.addBindValue(kind);
    if (!q.exec() || !q.next()) {
        return {};
    }
    return q.value(0).toString();
}

void Store::forget(qint64 userID) {
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    db.transaction();
    for (const char* table :
         {"memory", "user_state", "drafts", "notifications", "llm_calls", "videos"}) {
        QSqlQuery q(db);
        q.prepare(u"DELETE FROM %1 WHERE user_id = ?"_s.arg(QLatin1String(table)));
        q.addBindValue(userID);
        write(q);
    }
    commit(db);
}

QString Store::newToken() {
    static constexpr char alphabet[] = "abcdefghijkmnpqrstuvwxyz23456789";
    QString token;
    for (int i = 0; i < 12; ++i) {
        token += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(32)]);
    }
    return token;
}

static const QString draftColumns =
    u"id, token, user_id, text, style, topic, platform, status, created_at, "
    "updated_at, scheduled_at, published_at"_s;

Draft Store::readDraft(const QSqlQuery& q) const {
    Draft d;
    d.id = q.value(0).toLongLong();
    d.token = q.value(1).toString();
    d.userID = q.value(2).toLongLong();
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

Draft Store::createDraft(qint64 userID, const QString& text, const QString& style,
                         const QString& topic) {
    Draft d;
    d.token = newToken();
    d.userID = userID;
    d.text = text;
    d.style = style;
    d.topic = topic;
    d.createdAt = d.updatedAt = QDateTime::fromMSecsSinceEpoch(nowMs(), Qt::UTC);
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"INSERT INTO drafts (token, user_id, text, style, topic, platform, "
              "status, created_at, updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
    for (const QVariant& v :
         {str(d.token), QVariant(userID), str(text), str(style), str(topic), str(d.platform),
          str(d.status), QVariant(toMs(d.createdAt)), QVariant(toMs(d.updatedAt))}) {
        q.addBindValue(v);
    }
    write(q);
    d.id = q.lastInsertId().toLongLong();
    return d;
}

std::optional<Draft> Store::draft(const QString& token) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"SELECT %1 FROM drafts WHERE token = ?"_s.arg(draftColumns));
    q.addBindValue(token);
    if (!q.exec() || !q.next()) {
        return std::nullopt;
    }
    return readDraft(q);
}

std::optional<Draft> Store::latestDraft(qint64 userID) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"SELECT %1 FROM drafts WHERE user_id = ? ORDER BY updated_at DESC, "
              "id DESC LIMIT 1"_s.arg(draftColumns));
    q.addBindValue(userID);
    if (!q.exec() || !q.next()) {
        return std::nullopt;
    }
    return readDraft(q);
}

QList<Draft> Store::drafts(qint64 userID, const QString& status, int limit) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    // Scheduled posts come soonest first, everything else newest first.
    const QString order = status == "scheduled"_L1
                              ? u"scheduled_at ASC"_s
                              : u"coalesce(published_at, updated_at) DESC, id DESC"_s;
    q.prepare(u"SELECT %1 FROM drafts WHERE user_id = ? AND status = ? ORDER BY %2 "
              "LIMIT ?"_s.arg(draftColumns, order));
    q.addBindValue(userID);
    q.addBindValue(status);
    q.addBindValue(limit);
    QList<Draft> out;
    if (q.exec()) {
        while (q.next()) {
            out.append(readDraft(q));
        }
    }
    return out;
}

bool Store::updateDraft(const QString& token, const QString& text, const QString& style) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"UPDATE drafts SET text = ?, style = coalesce(nullif(?, ''), style), "
              "updated_at = ? WHERE token = ?"_s);
    q.addBindValue(str(text));
    q.addBindValue(style);
    q.addBindValue(nowMs());
    q.addBindValue(token);
    return write(q) && q.numRowsAffected() > 0;
}

bool Store::scheduleDraft(const QString& token, const QString& text, const QDateTime& at) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"UPDATE drafts SET text = ?, status = 'scheduled', scheduled_at = ?, "
              "updated_at = ? WHERE token = ? AND status != 'published'"_s);
    q.addBindValue(str(text));
    q.addBindValue(toMs(at));
    q.addBindValue(nowMs());
    q.addBindValue(token);
    return write(q) && q.numRowsAffected() > 0;
}

bool Store::publishDraft(const QString& token, const QString& text, const QDateTime& at) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(
        u"UPDATE drafts SET text = ?, status = 'published', scheduled_at = coalesce(scheduled_at, "
        "?), published_at = ?, updated_at = ? WHERE token = ? AND status != 'published'"_s);
    q.addBindValue(str(text));
    q.addBindValue(toMs(at));
    q.addBindValue(toMs(at));
    q.addBindValue(nowMs());
    q.addBindValue(token);
    return write(q) && q.numRowsAffected() > 0;
}

QList<Draft> Store::dueDrafts(const QDateTime& now) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"SELECT %1 FROM drafts WHERE status = 'scheduled' AND scheduled_at "
              "<= ? ORDER BY scheduled_at"_s.arg(draftColumns));
    q.addBindValue(toMs(now));
    QList<Draft> out;
    if (q.exec()) {
        while (q.next()) {
            out.append(readDraft(q));
        }
    }
    return out;
}

Overview Store::overview(qint64 userID) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"SELECT status, count(*) FROM drafts WHERE user_id = ? GROUP BY "
              "status"_s);
    q.addBindValue(userID);
    Overview o;
    if (q.exec()) {
        while (q.next()) {
            const QString status = q.value(0).toString();
            const qint64 n = q.value(1).toLongLong();
            if (status == "draft"_L1) {
                o.drafts = n;
            } else if (status == "scheduled"_L1) {
                o.scheduledPending = n;
            } else if (status == "published"_L1) {
                o.published = n;
            }
        }
    }
    // Impressions and likes need a connected network; nothing local counts them.
    return o;
}

qint64 Store::addNotification(qint64 userID, const QString& text, const QString& imageB64) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"INSERT INTO notifications (user_id, text, image_b64, created_at) "
              "VALUES (?, ?, ?, ?)"_s);
    q.addBindValue(userID);
    q.addBindValue(str(text));
    q.addBindValue(str(imageB64));
    q.addBindValue(nowMs());
    if (!write(q)) {
        return 0;
    }
    return q.lastInsertId().toLongLong();
}

QList<Notification> Store::takeNotifications(qint64 userID) {
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    db.transaction();
    QSqlQuery q(db);
    q.prepare(u"SELECT id, user_id, text, image_b64, created_at FROM notifications "
              "WHERE user_id = ? AND delivered_at IS NULL ORDER BY id"_s);
    q.addBindValue(userID);
    QList<Notification> out;
    if (q.exec()) {
        while (q.next()) {
            out.append({q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toString(),
                        q.value(3).toString(), fromMs(q.value(4))});
        }
    }
    if (!out.isEmpty()) {
        QSqlQuery mark(db);
        mark.prepare(u"UPDATE notifications SET delivered_at = ? WHERE user_id = ? "
                     "AND delivered_at IS NULL AND id <= ?"_s);
        mark.addBindValue(nowMs());
        mark.addBindValue(userID);
        mark.addBindValue(out.last().id);
        if (!write(mark)) {
            out.clear(); // not marked delivered: handed out again next time
        }
    }
    commit(db);
    return out;
}

qint64 Store::pendingNotifications(qint64 userID) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"SELECT count(*) FROM notifications WHERE user_id = ? AND delivered_at IS NULL"_s);
    q.addBindValue(userID);
    if (!q.exec() || !q.next()) {
        return 0;
    }
    return q.value(0).toLongLong();
}

qint64 Store::addLLMCall(const LLMCall& c) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(
        u"INSERT INTO llm_calls (created_at, user_id, intent, label, provider, model, latency_ms, "
        "stop_reason, error, input_tokens, output_tokens, cache_read_tokens, reasoning_tokens, "
        "request, response) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
    for (const QVariant& v :
         {QVariant(toMs(c.createdAt.isValid() ? c.createdAt : QDateTime::currentDateTimeUtc())),
          QVariant(c.userID), str(c.intent), str(c.label), str(c.provider), str(c.model),
          QVariant(c.latencyMs), str(c.stopReason), str(c.error), QVariant(c.inputTokens),
          QVariant(c.outputTokens), QVariant(c.cacheReadTokens), QVariant(c.reasoningTokens),
          QVariant(QString::fromUtf8(QJsonDocument(c.request).toJson(QJsonDocument::Compact))),
          QVariant(QString::fromUtf8(QJsonDocument(c.response).toJson(QJsonDocument::Compact)))}) {
        q.addBindValue(v);
    }
    if (!write(q)) {
        return 0;
    }
    return q.lastInsertId().toLongLong();
}

LLMCall Store::readCall(const QSqlQuery& q, bool withBodies) const {
    LLMCall c;
    c.id = q.value(0).toLongLong();
    c.createdAt = fromMs(q.value(1));
    c.userID = q.value(2).toLongLong();
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

static const QString callColumns =
    u"id, created_at, user_id, intent, label, provider, model, latency_ms, stop_reason, error, "
    "input_tokens, output_tokens, cache_read_tokens, reasoning_tokens"_s;

QList<LLMCall> Store::llmCalls(int limit, std::optional<qint64> userID) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (userID) {
        q.prepare(u"SELECT %1 FROM llm_calls WHERE user_id = ? ORDER BY id DESC "
                  "LIMIT ?"_s.arg(callColumns));
        q.addBindValue(*userID);
    } else {
        q.prepare(u"SELECT %1 FROM llm_calls ORDER BY id DESC LIMIT ?"_s.arg(callColumns));
    }
    q.addBindValue(limit);
    QList<LLMCall> out;
    if (q.exec()) {
        while (q.next()) {
            out.append(readCall(q, false));
        }
    }
    return out;
}

std::optional<LLMCall> Store::llmCall(qint64 id) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"SELECT %1, request, response FROM llm_calls WHERE id = ?"_s.arg(callColumns));
    q.addBindValue(id);
    if (!q.exec() || !q.next()) {
        return std::nullopt;
    }
    return readCall(q, true);
}

qint64 Store::clearLLMCalls(std::optional<qint64> userID) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (userID) {
        q.prepare(u"DELETE FROM llm_calls WHERE user_id = ?"_s);
        q.addBindValue(*userID);
    } else {
        q.prepare(u"DELETE FROM llm_calls"_s);
    }
    if (!write(q)) {
        return 0;
    }
    return q.numRowsAffected();
}

qint64 Store::addVideo(qint64 userID, const QString& path, double duration, const QString& title,
                       qint64 size) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"INSERT INTO videos (user_id, path, duration, title, size, "
              "created_at) VALUES (?, ?, ?, ?, ?, ?)"_s);
    for (const QVariant& v : {QVariant(userID), str(path), QVariant(duration), str(title),
                              QVariant(size), QVariant(nowMs())}) {
        q.addBindValue(v);
    }
    if (!write(q)) {
        return 0;
    }
    return q.lastInsertId().toLongLong();
}

std::optional<QStringList> Store::videoPaths() {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (!q.exec(u"SELECT path FROM videos"_s)) {
        return std::nullopt;
    }
    QStringList paths;
    while (q.next()) {
        paths.append(q.value(0).toString());
    }
    return paths;
}

qint64 Store::videoCount(qint64 userID) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"SELECT count(*) FROM videos WHERE user_id = ?"_s);
    q.addBindValue(userID);
    if (!q.exec() || !q.next()) {
        return 0;
    }
    return q.value(0).toLongLong();
}

qint64 Store::addContact(const QString& email, const QString& message, const QString& page) {
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(u"INSERT INTO contacts (email, message, page, created_at) VALUES (?, ?, ?, ?)"_s);
    for (const QVariant& v : {str(email), str(message), str(page), QVariant(nowMs())}) {
        q.addBindValue(v);
    }
    if (!write(q)) {
        return 0;
    }
    return q.lastInsertId().toLongLong();
}

} // namespace tolvane::coach
