#include "recordjson.h"

#include "common/iso8601.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace tolvane::wire {

namespace {

QJsonValue orNull(const std::optional<QString>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue orNull(const std::optional<qint64>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue orNull(const std::optional<bool>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

template <typename T>
QJsonValue listOrNull(const std::optional<QList<T>>& values) {
    if (!values) {
        return QJsonValue::Null;
    }
    QJsonArray array;
    for (const T& value : *values) {
        array.append(toJson(value));
    }
    return array;
}

QJsonValue date(const QDateTime& time) {
    return iso8601::formatWithMilliseconds(time);
}

} // namespace

QJsonObject toJson(const ChatImage& image) {
    return {{u"data_b64"_s, image.dataB64},
            {u"mime"_s, image.mime},
            {u"caption"_s, image.caption},
            {u"group"_s, orNull(image.group)}};
}

QJsonObject toJson(const TurnDebug& debug) {
    return {{u"model"_s, debug.model},
            {u"input_tokens"_s, debug.inputTokens},
            {u"output_tokens"_s, debug.outputTokens},
            {u"cache_read_tokens"_s, debug.cacheReadTokens},
            {u"cache_write_tokens"_s, debug.cacheWriteTokens},
            {u"cost_usd"_s, debug.costUSD}};
}

QJsonObject toJson(const InAppNotification& notification) {
    return {{u"text"_s, notification.text},
            {u"image_b64"_s, orNull(notification.imageB64)},
            {u"created_at"_s, date(notification.createdAt)}};
}

QJsonObject toJson(const Overview& overview) {
    return {{u"drafts_count"_s, overview.draftsCount},
            {u"scheduled_pending"_s, overview.scheduledPending},
            {u"published_count"_s, overview.publishedCount},
            {u"total_impressions"_s, overview.totalImpressions},
            {u"total_likes"_s, overview.totalLikes},
            {u"connected_platforms"_s, QJsonArray::fromStringList(overview.connectedPlatforms)}};
}

QJsonObject toJson(const ProfileIdentity& profile) {
    return {{u"name"_s, profile.name},
            {u"headline"_s, profile.headline},
            {u"handle"_s, profile.handle},
            {u"avatar_b64"_s, orNull(profile.avatarB64)},
            {u"avatar_mime"_s, orNull(profile.avatarMime)}};
}

QJsonObject toJson(const D& draft) {
    return {{u"text"_s, draft.text}, {u"platform"_s, draft.platform}, {u"status"_s, draft.status}};
}

QJsonObject toJson(const ScheduleResult& result) {
    return {{u"outcome"_s,
             result.outcome == ScheduleResult::Outcome::scheduled ? u"scheduled"_s : u"error"_s},
            {u"at"_s, result.at ? date(*result.at) : QJsonValue(QJsonValue::Null)},
            {u"mode"_s, orNull(result.mode)},
            {u"message"_s, orNull(result.message)}};
}

QJsonObject toJson(const LLMCall& call) {
    return {{u"id"_s, call.id},
            {u"created_at"_s, date(call.createdAt)},
            {u"user_id"_s, call.userID},
            {u"intent"_s, call.intent},
            {u"label"_s, call.label},
            {u"provider"_s, call.provider},
            {u"model"_s, call.model},
            {u"latency_ms"_s, call.latencyMS},
            {u"stop_reason"_s, call.stopReason},
            {u"error"_s, call.error},
            {u"input_tokens"_s, call.inputTokens},
            {u"output_tokens"_s, call.outputTokens},
            {u"cache_read_tokens"_s, call.cacheReadTokens},
            {u"reasoning_tokens"_s, call.reasoningTokens}};
}

QJsonObject toJson(const LLMWireImage& image) {
    return {{u"mime"_s, image.mime}, {u"bytes"_s, image.bytes}};
}

QJsonObject toJson(const LLMWireToolCall& call) {
    return {{u"id"_s, orNull(call.id)},
            {u"name"_s, call.name},
            {u"arguments"_s, orNull(call.arguments)}};
}

QJsonObject toJson(const LLMWireToolResult& result) {
    return {{u"id"_s, orNull(result.id)},
            {u"content"_s, result.content},
            {u"is_error"_s, orNull(result.isError)}};
}

QJsonObject toJson(const LLMWireMessage& message) {
    return {{u"role"_s, message.role},
            {u"text"_s, orNull(message.text)},
            {u"image"_s,
             message.image ? QJsonValue(toJson(*message.image)) : QJsonValue(QJsonValue::Null)},
            {u"tool_calls"_s, listOrNull(message.toolCalls)},
            {u"tool_results"_s, listOrNull(message.toolResults)}};
}

QJsonObject toJson(const LLMWireRequest& request) {
    return {{u"model"_s, orNull(request.model)},
            {u"max_tokens"_s, orNull(request.maxTokens)},
            {u"reasoning_effort"_s, orNull(request.reasoningEffort)},
            {u"system"_s, orNull(request.system)},
            {u"tools"_s, request.tools ? QJsonValue(QJsonArray::fromStringList(*request.tools))
                                       : QJsonValue(QJsonValue::Null)},
            {u"messages"_s, listOrNull(request.messages)}};
}

QJsonObject toJson(const LLMWireResponse& response) {
    return {{u"stop_reason"_s, orNull(response.stopReason)},
            {u"text"_s, orNull(response.text)},
            {u"tool_calls"_s, listOrNull(response.toolCalls)}};
}

QJsonObject toJson(const LLMCallDetail& detail) {
    return {{u"id"_s, detail.id},
            {u"created_at"_s, date(detail.createdAt)},
            {u"model"_s, detail.model},
            {u"provider"_s, detail.provider},
            {u"intent"_s, detail.intent},
            {u"label"_s, detail.label},
            {u"latency_ms"_s, detail.latencyMS},
            {u"stop_reason"_s, detail.stopReason},
            {u"error"_s, detail.error},
            {u"request"_s,
             detail.request ? QJsonValue(toJson(*detail.request)) : QJsonValue(QJsonValue::Null)},
            {u"response"_s, detail.response ? QJsonValue(toJson(*detail.response))
                                            : QJsonValue(QJsonValue::Null)}};
}

} // namespace tolvane::wire
