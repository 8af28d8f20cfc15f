#pragma once

#include "intents/intent.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace tolvane::coach {

class Store;

// The coach: a deterministic rule engine. It answers slash commands and the
// starter prompts, remembers what the user states about themselves, drafts and
// reshapes posts, renders carousels, schedules and reports from the store.
// The engine only decides which intent a message is; each intent's handler
// (coach/intents/) writes the answer.
class CoachEngine {
public:
    using Input = CoachInput;
    using Image = CoachImage;
    using Turn = CoachTurn;
    using StatusFn = std::function<void(const QString&)>;

    static const QString modelName;
    static const QString provider;
    static QString systemDescription();
    static QStringList toolNames();

    explicit CoachEngine(Store& store);
    ~CoachEngine();

    Turn respond(const Input& input, const StatusFn& status);

    // Replaces the handler of one intent, for every path that reaches it.
    void setHandler(Intent intent, std::unique_ptr<IntentHandler> handler);

private:
    std::pair<Intent, IntentArgs> route(const IntentContext& c) const;

    Store& m_store;
    std::map<Intent, std::unique_ptr<IntentHandler>> m_handlers;
};

} // namespace tolvane::coach
