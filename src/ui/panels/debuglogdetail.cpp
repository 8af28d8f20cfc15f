#include "debuglogdetail.h"

#include "service/accountrecords.h"

#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

using Item = DebugLogDetailItem;

QString orDash(const QString& text) {
    return text.isEmpty() ? u"—"_s : text;
}

QString toolCallLine(const LLMWireToolCall& call) {
    return u"→ "_s + call.name + u"("_s + call.arguments.value_or(QString()) + u")"_s;
}

QString kindName(Item::Kind kind) {
    switch (kind) {
    case Item::Kind::title:
        return u"title"_s;
    case Item::Kind::meta:
        return u"meta"_s;
    case Item::Kind::heading:
        return u"heading"_s;
    case Item::Kind::text:
        return u"text"_s;
    case Item::Kind::block:
        return u"block"_s;
    case Item::Kind::note:
        return u"note"_s;
    }
    return {};
}

QString toneName(Item::Tone tone) {
    switch (tone) {
    case Item::Tone::normal:
        return u"normal"_s;
    case Item::Tone::error:
        return u"error"_s;
    case Item::Tone::response:
        return u"response"_s;
    }
    return {};
}

} // namespace

QList<DebugLogDetailItem> DebugLogDetailItem::build(const LLMCallDetail& detail) {
    QList<Item> items;
    const auto add = [&items](Item::Kind kind, QString text, Item::Tone tone = Item::Tone::normal) {
        items.append(Item{kind, std::move(text), tone});
    };

    add(Kind::title, detail.model);
    add(Kind::meta, orDash(detail.label) + u" · "_s + orDash(detail.intent) + u" · "_s +
                        QString::number(detail.latencyMS) + u" ms · "_s + detail.stopReason);
    if (!detail.error.isEmpty()) {
        add(Kind::heading, u"Error"_s, Tone::error);
        add(Kind::text, detail.error);
    }

    if (detail.request) {
        const LLMWireRequest& request = *detail.request;
        if (request.system && !request.system->isEmpty()) {
            add(Kind::heading, u"System prompt"_s);
            add(Kind::block, *request.system);
        }
        if (request.tools && !request.tools->isEmpty()) {
            add(Kind::heading, u"Tools offered"_s);
            add(Kind::text, request.tools->join(u", "_s));
        }
        const QList<LLMWireMessage> messages = request.messages.value_or(QList<LLMWireMessage>());
        for (qsizetype i = 0; i < messages.size(); ++i) {
            const LLMWireMessage& message = messages.at(i);
            add(Kind::heading, QString::number(i + 1) + u". "_s + message.role);
            if (message.text) {
                add(Kind::block, *message.text);
            }
            if (message.image) {
                add(Kind::note, u"[image "_s + message.image->mime + u", "_s +
                                    QString::number(message.image->bytes) +
                                    u" b64 bytes — not stored]"_s);
            }
            for (const LLMWireToolCall& call :
                 message.toolCalls.value_or(QList<LLMWireToolCall>())) {
                add(Kind::block, toolCallLine(call));
            }
            for (const LLMWireToolResult& result :
                 message.toolResults.value_or(QList<LLMWireToolResult>())) {
                add(Kind::block, u"← "_s + result.content,
                    result.isError.value_or(false) ? Tone::error : Tone::normal);
            }
        }
    }

    if (detail.response) {
        const LLMWireResponse& response = *detail.response;
        add(Kind::heading, u"response"_s, Tone::response);
        if (response.text) {
            add(Kind::block, *response.text);
        }
        for (const LLMWireToolCall& call : response.toolCalls.value_or(QList<LLMWireToolCall>())) {
            add(Kind::block, toolCallLine(call));
        }
    }
    return items;
}

QVariantList DebugLogDetailItem::toVariantList(const QList<DebugLogDetailItem>& items) {
    QVariantList list;
    list.reserve(items.size());
    for (const Item& item : items) {
        list.append(QVariantMap{{u"kind"_s, kindName(item.kind)},
                                {u"text"_s, item.text},
                                {u"tone"_s, toneName(item.tone)}});
    }
    return list;
}

} // namespace tolvane
