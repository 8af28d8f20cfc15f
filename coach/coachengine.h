#pragma once

#include "records.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <functional>

namespace tolvane::coach {

class Store;

// The coach: a deterministic rule engine. It answers slash commands and the
// starter prompts, remembers what the user states about themselves, drafts and
// reshapes posts, renders carousels, schedules and reports from the store.
class CoachEngine {
public:
    struct Input {
        User user;
        QString text;
        QString timeZone;
        QByteArray image;
        QString imageMime;
        QString root; // service root ending in "/", for edit links
        QDateTime now;
    };

    struct Image {
        QByteArray bytes;
        QString mime;
        QString caption;
        QString group;
    };

    struct Turn {
        QString reply;
        QList<Image> images;
        QString intent; // machine name of the rule that answered
        QString label;  // what the AI-call log shows
        QJsonArray toolCalls;
    };

    using StatusFn = std::function<void(const QString&)>;

    static const QString modelName;
    static const QString provider;
    static QString systemDescription();
    static QStringList toolNames();

    explicit CoachEngine(Store& store);

    Turn respond(const Input& input, const StatusFn& status);

private:
    struct Context;
    Turn command(Context& c, const QString& name, const QString& arg);
    Turn draftPost(Context& c, const QString& material, QString style, const QString& lead = {});
    Turn reshape(Context& c, const QString& style);
    Turn schedule(Context& c, const QString& phrase);
    Turn carousel(Context& c, const QString& themeKey);
    Turn analytics(Context& c);
    Turn upcoming(Context& c);
    Turn trends(Context& c, const QString& keyword);
    Turn campaigns(Context& c, const QString& arg);
    Turn link(Context& c, const QString& code);
    Turn profileReview(Context& c);
    Turn postIdeas(Context& c);
    Turn lastPostReview(Context& c);
    Turn rememberFacts(Context& c, const QList<QPair<QString, QString>>& facts);
    Turn memoryReport(Context& c);
    Turn answerQuestion(Context& c);
    Turn image(Context& c);
    QString editLine(const Context& c, const QString& token) const;

    Store& m_store;
};

} // namespace tolvane::coach
