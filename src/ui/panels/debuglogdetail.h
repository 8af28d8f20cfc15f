#pragma once

#include <QList>
#include <QString>
#include <QVariantList>

namespace tolvane {

struct LLMCallDetail;

// The detail pane of the AI call log as a flat list of items the view repeats
// over, top to bottom: the full request and the model's answer of one call.
struct DebugLogDetailItem {
    enum class Kind {
        title,   // the model, large
        meta,    // label · intent · latency · stop reason, secondary
        heading, // a section heading
        text,    // plain text under a heading (the error, the offered tools)
        block,   // monospaced, selectable, on a rounded background
        note,    // a small secondary line (an image that was not stored)
    };
    enum class Tone {
        normal,
        error,    // red: the "Error" heading, a tool result that reported an error
        response, // green: the "response" heading
    };

    Kind kind = Kind::text;
    QString text;
    Tone tone = Tone::normal;

    friend bool operator==(const DebugLogDetailItem&, const DebugLogDetailItem&) = default;

    static QList<DebugLogDetailItem> build(const LLMCallDetail& detail);
    // Maps with "kind", "text" and "tone" as lower-case words ("heading",
    // "response", ...), for a QML Repeater.
    static QVariantList toVariantList(const QList<DebugLogDetailItem>& items);
};

} // namespace tolvane
