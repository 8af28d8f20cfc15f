#pragma once

#include "accountrecords.h"
#include "apiclient.h"
#include "chatrecords.h"

#include <QJsonObject>

namespace tolvane::wire {

// The records in their wire form: snake-case keys, optional values as null,
// dates as UTC ISO 8601 with milliseconds. Used by the command-line tool and
// by peers that serve these records.
QJsonObject toJson(const ChatImage& image);
QJsonObject toJson(const TurnDebug& debug);
QJsonObject toJson(const InAppNotification& notification);
QJsonObject toJson(const Overview& overview);
QJsonObject toJson(const ProfileIdentity& profile);
QJsonObject toJson(const D& draft);
QJsonObject toJson(const ScheduleResult& result);
QJsonObject toJson(const LLMCall& call);
QJsonObject toJson(const LLMCallDetail& detail);
QJsonObject toJson(const LLMWireRequest& request);
QJsonObject toJson(const LLMWireResponse& response);
QJsonObject toJson(const LLMWireMessage& message);
QJsonObject toJson(const LLMWireToolCall& call);
QJsonObject toJson(const LLMWireToolResult& result);
QJsonObject toJson(const LLMWireImage& image);

} // namespace tolvane::wire
