#pragma once

#include <QString>
#include <QStringList>

namespace tolvane::coach {

// Writes LinkedIn posts from the user's own words: a hook, a body built from
// their sentences, a call to action and a few hashtags, in one of several
// styles. Deterministic: the same material and style give the same post.
class PostWriter {
public:
    struct Style {
        QString key;
        QString name;
        QString description;
    };

    struct Author {
        QString audience; // who the user writes for, may be empty
        QString role;
        QString company;
    };

    static const QList<Style>& styles();
    static bool isStyle(const QString& key);
    // Maps words users say ("shorter", "list", "contrarian") to a style key.
    static QString styleFromWords(const QString& text);

    // Strips request phrasing ("draft a post about ...") and returns the topic
    // and the material the post is built from.
    static QString materialFrom(const QString& request);
    static QString topicOf(const QString& material);

    // `variant` picks among the templates of a style, so two drafts on one
    // topic read differently.
    static QString write(const QString& material, const QString& style, const Author& author,
                         int variant = 0);
    static QStringList sentences(const QString& material);
    // Three to five tags, the first from the nouns of the user's own words.
    static QStringList hashtags(const QString& material, int max = 5);
    // Opening lines for a post on the topic of `material`, each a sentence.
    static QStringList hooks(const QString& material, int count);
    // Post ideas on `topic` (may be empty), each one line.
    static QStringList ideas(const QString& topic, int count, int variant = 0);
};

} // namespace tolvane::coach
