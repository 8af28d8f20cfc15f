#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace tolvane::coach {

// Rows of the coach's store, as the rest of the service sees them.

struct User {
    qint64 id = 0;
    QString uid; // the id the app sends: bearer token and "user_id"
    QDateTime createdAt;
};

struct Memory {
    qint64 id = 0;
    QString kind; // name, role, company, audience, goal, work, fact
    QString value;
    QDateTime createdAt;
};

struct Draft {
    qint64 id = 0;
    QString token;
    qint64 userID = 0;
    QString text;
    QString style;
    QString topic;
    QString platform = QStringLiteral("linkedin");
    QString status = QStringLiteral("draft"); // draft, scheduled, published
    QDateTime createdAt;
    QDateTime updatedAt;
    QDateTime scheduledAt; // invalid unless scheduled or published
    QDateTime publishedAt; // invalid unless published
};

struct Notification {
    qint64 id = 0;
    qint64 userID = 0;
    QString text;
    QString imageB64;
    QDateTime createdAt;
};

struct LLMCall {
    qint64 id = 0;
    QDateTime createdAt;
    qint64 userID = 0;
    QString intent;
    QString label;
    QString provider;
    QString model;
    qint64 latencyMs = 0;
    QString stopReason;
    QString error;
    qint64 inputTokens = 0;
    qint64 outputTokens = 0;
    qint64 cacheReadTokens = 0;
    qint64 reasoningTokens = 0;
    QJsonObject request;
    QJsonObject response;
};

struct Overview {
    qint64 drafts = 0;
    qint64 scheduledPending = 0;
    qint64 published = 0;
    qint64 impressions = 0;
    qint64 likes = 0;
};

} // namespace tolvane::coach
