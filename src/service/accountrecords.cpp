#include "accountrecords.h"

#include "common/iso8601.h"
#include "jsonreader.h"

using namespace Qt::StringLiterals;

namespace tolvane {

Overview Overview::read(JsonReader& reader) {
    Overview o;
    o.draftsCount = reader.integer("drafts_count"_L1);
    o.scheduledPending = reader.integer("scheduled_pending"_L1);
    o.publishedCount = reader.integer("published_count"_L1);
    o.totalImpressions = reader.integer("total_impressions"_L1);
    o.totalLikes = reader.integer("total_likes"_L1);
    o.connectedPlatforms = reader.stringList("connected_platforms"_L1);
    return o;
}

ProfileIdentity ProfileIdentity::read(JsonReader& reader) {
    ProfileIdentity p;
    p.name = reader.string("name"_L1);
    p.headline = reader.string("headline"_L1);
    p.handle = reader.string("handle"_L1);
    p.avatarB64 = reader.optionalString("avatar_b64"_L1);
    p.avatarMime = reader.optionalString("avatar_mime"_L1);
    return p;
}

DebugStatus DebugStatus::read(JsonReader& reader) {
    return DebugStatus{reader.boolean("debug"_L1)};
}

D D::read(JsonReader& reader) {
    D d;
    d.text = reader.optionalString("text"_L1).value_or(d.text);
    d.platform = reader.optionalString("platform"_L1).value_or(d.platform);
    d.status = reader.optionalString("status"_L1).value_or(d.status);
    return d;
}

ScheduleResult ScheduleResult::fromReply(int status, const QByteArray& body) {
    QJsonObject object;
    if (auto parsed = json::parse(body); parsed && parsed->isObject()) {
        object = parsed->toObject();
    }
    ScheduleResult result;
    if (status < 200 || status > 299) {
        result.outcome = Outcome::error;
        const QJsonValue error = object.value("error"_L1);
        result.message = error.isString() ? error.toString() : u"Could not schedule."_s;
        return result;
    }
    result.outcome = Outcome::scheduled;
    if (const QJsonValue at = object.value("at"_L1); at.isString()) {
        result.at = iso8601::parseEither(at.toString());
    }
    if (const QJsonValue mode = object.value("mode"_L1); mode.isString()) {
        result.mode = mode.toString();
    }
    return result;
}

LLMWireToolCall LLMWireToolCall::read(JsonReader& reader) {
    LLMWireToolCall c;
    c.id = reader.optionalString("id"_L1);
    c.name = reader.string("name"_L1);
    c.arguments = reader.optionalString("arguments"_L1);
    return c;
}

LLMWireToolResult LLMWireToolResult::read(JsonReader& reader) {
    LLMWireToolResult r;
    r.id = reader.optionalString("id"_L1);
    r.content = reader.string("content"_L1);
    r.isError = reader.optionalBoolean("is_error"_L1);
    return r;
}

LLMWireImage LLMWireImage::read(JsonReader& reader) {
    LLMWireImage i;
    i.mime = reader.string("mime"_L1);
    i.bytes = reader.integer("bytes"_L1);
    return i;
}

LLMWireMessage LLMWireMessage::read(JsonReader& reader) {
    LLMWireMessage m;
    m.role = reader.string("role"_L1);
    m.text = reader.optionalString("text"_L1);
    m.image = reader.optionalObject<LLMWireImage>("image"_L1);
    m.toolCalls = reader.optionalList<LLMWireToolCall>("tool_calls"_L1);
    m.toolResults = reader.optionalList<LLMWireToolResult>("tool_results"_L1);
    return m;
}

LLMWireRequest LLMWireRequest::read(JsonReader& reader) {
    LLMWireRequest r;
    r.model = reader.optionalString("model"_L1);
    r.maxTokens = reader.optionalInteger("max_tokens"_L1);
    r.reasoningEffort = reader.optionalString("reasoning_effort"_L1);
    r.system = reader.optionalString("system"_L1);
    r.tools = reader.optionalStringList("tools"_L1);
    r.messages = reader.optionalList<LLMWireMessage>("messages"_L1);
    return r;
}

LLMWireResponse LLMWireResponse::read(JsonReader& reader) {
    LLMWireResponse r;
    r.stopReason = reader.optionalString("stop_reason"_L1);
    r.text = reader.optionalString("text"_L1);
    r.toolCalls = reader.optionalList<LLMWireToolCall>("tool_calls"_L1);
    return r;
}

LLMCall LLMCall::read(JsonReader& reader) {
    LLMCall c;
    c.id = reader.integer("id"_L1);
    c.createdAt = reader.date("created_at"_L1);
    c.userID = reader.integer("user_id"_L1);
    c.intent = reader.string("intent"_L1);
    c.label = reader.string("label"_L1);
    c.provider = reader.string("provider"_L1);
    c.model = reader.string("model"_L1);
    c.latencyMS = reader.integer("latency_ms"_L1);
    c.stopReason = reader.string("stop_reason"_L1);
    c.error = reader.string("error"_L1);
    c.inputTokens = reader.integer("input_tokens"_L1);
    c.outputTokens = reader.integer("output_tokens"_L1);
    c.cacheReadTokens = reader.integer("cache_read_tokens"_L1);
    c.reasoningTokens = reader.integer("reasoning_tokens"_L1);
    return c;
}

LLMCallDetail LLMCallDetail::read(JsonReader& reader) {
    LLMCallDetail d;
    d.id = reader.integer("id"_L1);
    d.createdAt = reader.date("created_at"_L1);
    d.model = reader.string("model"_L1);
    d.provider = reader.string("provider"_L1);
    d.intent = reader.string("intent"_L1);
    d.label = reader.string("label"_L1);
    d.latencyMS = reader.integer("latency_ms"_L1);
    d.stopReason = reader.string("stop_reason"_L1);
    d.error = reader.string("error"_L1);
    d.request = reader.optionalObject<LLMWireRequest>("request"_L1);
    d.response = reader.optionalObject<LLMWireResponse>("response"_L1);
    return d;
}

} // namespace tolvane
