#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvane {

class JsonReader;

// Account summary shown in the settings window.
struct Overview {
    qint64 draftsCount = 0;
    qint64 scheduledPending = 0;
    qint64 publishedCount = 0;
    qint64 totalImpressions = 0;
    qint64 totalLikes = 0;
    QStringList connectedPlatforms;

    static Overview read(JsonReader& reader);
    friend bool operator==(const Overview&, const Overview&) = default;
};

// The author shown on the post preview.
struct ProfileIdentity {
    QString name;
    QString headline;
    QString handle;
    std::optional<QString> avatarB64;
    std::optional<QString> avatarMime;

    static ProfileIdentity read(JsonReader& reader);
    friend bool operator==(const ProfileIdentity&, const ProfileIdentity&) = default;
};

// Whether the service offers the AI call log to this user.
struct DebugStatus {
    bool debug = false;

    static DebugStatus read(JsonReader& reader);
};

// The draft endpoint's reply; every field falls back to its default.
struct D {
    QString text;
    QString platform = QStringLiteral("linkedin");
    QString status = QStringLiteral("draft");

    static D read(JsonReader& reader);
    friend bool operator==(const D&, const D&) = default;
};

// What became of a post handed to the scheduler. Built from the reply of the
// schedule endpoint; never fails on content.
struct ScheduleResult {
    enum class Outcome { scheduled, error };
    Outcome outcome = Outcome::error;
    std::optional<QDateTime> at;
    std::optional<QString> mode;
    std::optional<QString> message;

    // `status` is 0 when there was no HTTP response.
    static ScheduleResult fromReply(int status, const QByteArray& body);
    friend bool operator==(const ScheduleResult&, const ScheduleResult&) = default;
};

struct LLMWireToolCall {
    std::optional<QString> id;
    QString name;
    // The call's arguments as JSON text.
    std::optional<QString> arguments;

    static LLMWireToolCall read(JsonReader& reader);
    friend bool operator==(const LLMWireToolCall&, const LLMWireToolCall&) = default;
};

struct LLMWireToolResult {
    std::optional<QString> id;
    QString content;
    std::optional<bool> isError;

    static LLMWireToolResult read(JsonReader& reader);
    friend bool operator==(const LLMWireToolResult&, const LLMWireToolResult&) = default;
};

// Only the type and size of an image sent to the model; the image is not logged.
struct LLMWireImage {
    QString mime;
    qint64 bytes = 0;

    static LLMWireImage read(JsonReader& reader);
    friend bool operator==(const LLMWireImage&, const LLMWireImage&) = default;
};

struct LLMWireMessage {
    QString role;
    std::optional<QString> text;
    std::optional<LLMWireImage> image;
    std::optional<QList<LLMWireToolCall>> toolCalls;
    std::optional<QList<LLMWireToolResult>> toolResults;

    static LLMWireMessage read(JsonReader& reader);
    friend bool operator==(const LLMWireMessage&, const LLMWireMessage&) = default;
};

struct LLMWireRequest {
    std::optional<QString> model;
    std::optional<qint64> maxTokens;
    std::optional<QString> reasoningEffort;
    std::optional<QString> system;
    std::optional<QStringList> tools;
    std::optional<QList<LLMWireMessage>> messages;

    static LLMWireRequest read(JsonReader& reader);
    friend bool operator==(const LLMWireRequest&, const LLMWireRequest&) = default;
};

struct LLMWireResponse {
    std::optional<QString> stopReason;
    std::optional<QString> text;
    std::optional<QList<LLMWireToolCall>> toolCalls;

    static LLMWireResponse read(JsonReader& reader);
    friend bool operator==(const LLMWireResponse&, const LLMWireResponse&) = default;
};

// One row of the AI call log.
struct LLMCall {
    qint64 id = 0;
    QDateTime createdAt;
    qint64 userID = 0;
    QString intent;
    QString label;
    QString provider;
    QString model;
    qint64 latencyMS = 0;
    QString stopReason;
    QString error;
    qint64 inputTokens = 0;
    qint64 outputTokens = 0;
    qint64 cacheReadTokens = 0;
    qint64 reasoningTokens = 0;

    static LLMCall read(JsonReader& reader);
    friend bool operator==(const LLMCall&, const LLMCall&) = default;
};

struct LLMCallDetail {
    qint64 id = 0;
    QDateTime createdAt;
    QString model;
    QString provider;
    QString intent;
    QString label;
    qint64 latencyMS = 0;
    QString stopReason;
    QString error;
    std::optional<LLMWireRequest> request;
    std::optional<LLMWireResponse> response;

    static LLMCallDetail read(JsonReader& reader);
    friend bool operator==(const LLMCallDetail&, const LLMCallDetail&) = default;
};

} // namespace tolvane
