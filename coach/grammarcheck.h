#pragma once

#include <QString>
#include <QStringList>

namespace tolvane::coach {

// English grammar through link-grammar: whether a sentence parses completely
// (no word left unlinked), and which words of a phrase it reads as nouns.
// The dictionary loads on first use; without it every sentence passes and
// nouns fall back to the longer words.
class GrammarCheck {
public:
    static bool available();
    static bool parses(const QString& sentence);
    // Nouns (and acronyms) of `phrase`, in order, as written.
    static QStringList nouns(const QString& phrase);
    // The sentences of a post a reader checks: hashtags, emoji and list
    // markers stripped, lines of one or two words left out.
    static QStringList sentencesOf(const QString& post);
    static QString withoutEmoji(const QString& text);
};

} // namespace tolvane::coach
