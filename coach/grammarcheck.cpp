#include "grammarcheck.h"

#include <QMutex>
#include <QRegularExpression>

#include <link-grammar/link-includes.h>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

namespace {

// One dictionary for the process: loading it takes most of a second.
struct Parser {
    Dictionary dict = nullptr;
    Parse_Options options = nullptr;
    QMutex mutex;

    Parser() {
        // The library reports locale and dictionary notes on stderr; the
        // coach's log has no use for them.
        lg_error_set_handler([](lg_errinfo*, void*) {}, nullptr);
        dict = dictionary_create_lang("en");
        options = parse_options_create();
        parse_options_set_verbosity(options, 0);
        parse_options_set_min_null_count(options, 0);
        parse_options_set_max_null_count(options, 0);
        parse_options_set_max_parse_time(options, 2);
        parse_options_set_linkage_limit(options, 20);
    }
    ~Parser() {
        if (options) {
            parse_options_delete(options);
        }
        if (dict) {
            dictionary_delete(dict);
        }
    }
};

Parser& parser() {
    static Parser p;
    return p;
}

bool isEmoji(char32_t u) {
    return (u >= 0x1F000 && u <= 0x1FAFF) || (u >= 0x2600 && u <= 0x27BF) || u == 0xFE0F ||
           u == 0x200D || u == 0x20E3 || (u >= 0x2B00 && u <= 0x2BFF);
}

} // namespace

bool GrammarCheck::available() {
    return parser().dict != nullptr;
}

bool GrammarCheck::parses(const QString& sentence) {
    Parser& p = parser();
    if (!p.dict) {
        return true;
    }
    // Read as a reader checks it: without emoji and hashtags.
    const QByteArray text = sentencesOf(sentence).join(QLatin1Char(' ')).toUtf8();
    if (text.isEmpty()) {
        return true;
    }
    QMutexLocker lock(&p.mutex);
    Sentence s = sentence_create(text.constData(), p.dict);
    const bool ok = s && sentence_parse(s, p.options) > 0 && sentence_null_count(s) == 0;
    if (s) {
        sentence_delete(s);
    }
    return ok;
}

QStringList GrammarCheck::nouns(const QString& phrase) {
    QStringList out;
    static const QRegularExpression wordRe(uR"([A-Za-z][A-Za-z'-]+)"_s);
    Parser& p = parser();
    if (!p.dict) {
        for (auto it = wordRe.globalMatch(phrase); it.hasNext();) {
            const QString w = it.next().captured(0);
            if (w.size() > 4) {
                out.append(w);
            }
        }
        return out;
    }
    // In a frame the parser reads as a whole, "about" takes the phrase as its
    // object, so its words get their part of speech.
    const QByteArray text = (u"This is about "_s + phrase + QLatin1Char('.')).toUtf8();
    QMutexLocker lock(&p.mutex);
    Sentence s = sentence_create(text.constData(), p.dict);
    if (!s) {
        return out;
    }
    parse_options_set_max_null_count(p.options, 3);
    if (sentence_parse(s, p.options) > 0) {
        Linkage l = linkage_create(0, s, p.options);
        if (l) {
            for (size_t i = 0; i < linkage_get_num_words(l); ++i) {
                const QString word = QString::fromUtf8(linkage_get_word(l, i));
                const qsizetype mark = word.indexOf(QRegularExpression(uR"([.\[])"_s));
                const QString bare = mark < 0 ? word : word.left(mark);
                const QString tag = mark < 0 ? QString() : word.mid(mark);
                const bool acronym = bare.size() >= 2 && bare == bare.toUpper();
                const bool noun = acronym || tag.startsWith(".n"_L1) || tag.startsWith(".s"_L1) ||
                                  tag.contains("ALL-UPPER"_L1) || tag.contains("CAPITALIZED"_L1);
                const bool wall = bare.endsWith("-WALL"_L1);
                if (noun && !wall && wordRe.match(bare).capturedLength() == bare.size()) {
                    out.append(bare);
                }
            }
            linkage_delete(l);
        }
    }
    parse_options_set_max_null_count(p.options, 0);
    sentence_delete(s);
    return out;
}

QString GrammarCheck::withoutEmoji(const QString& text) {
    QString kept;
    for (char32_t u : text.toUcs4()) {
        if (!isEmoji(u)) {
            kept += QString::fromUcs4(&u, 1);
        }
    }
    return kept;
}

QStringList GrammarCheck::sentencesOf(const QString& post) {
    static const QRegularExpression hashtag(uR"(#\w+)"_s);
    static const QRegularExpression marker(uR"(^(\d+[.)]|[-*•]|Step \d+:)\s*)"_s);
    static const QRegularExpression split(uR"((?<=[.!?])\s+)"_s);
    static const QRegularExpression space(uR"(\s+)"_s);
    QStringList out;
    for (QString line : post.split(QLatin1Char('\n'))) {
        QString kept = withoutEmoji(line);
        kept.remove(hashtag);
        kept = kept.trimmed();
        kept.remove(marker);
        static const QRegularExpression spaceBeforeStop(uR"(\s+(?=[.,!?;:]))"_s);
        kept.remove(spaceBeforeStop);
        for (const QString& piece : kept.split(split, Qt::SkipEmptyParts)) {
            const QString s = piece.simplified();
            if (s.split(space, Qt::SkipEmptyParts).size() > 2) {
                out.append(s);
            }
        }
    }
    return out;
}

} // namespace tolvane::coach
