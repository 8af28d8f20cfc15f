#include "platform/speechengine.h"

#include <QFile>
#include <QRegularExpression>

#include <pocketsphinx.h>
#include <sphinxbase/fsg_model.h>

#include <iterator>
#include <memory>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

const char* const modelDir = "/usr/share/pocketsphinx/model/en-us";
const char* const alignSearch = "align";
// The engine's frames per second (its -frate).
constexpr double framesPerSecond = 100.0;
MediaError engineError(const QString& description,
                       SpeechEngine::ErrorCode code = SpeechEngine::failed) {
    return MediaError{SpeechEngine::errorDomain, code, description};
}

// Engine-internal tokens that are not words: sentence marks, silence, noise,
// fillers and grammar steps without a word ("<s>", "<sil>", "[NOISE]",
// "++UM++", "(NULL)").
bool isWord(const QString& token) {
    return !token.isEmpty() && !token.startsWith(u'<') && !token.startsWith(u'[') &&
           !token.startsWith(u'(') && !token.startsWith("++"_L1);
}

// "word(2)", a second pronunciation, is the word.
QString baseWord(const char* token) {
    QString word = QString::fromUtf8(token);
    if (const qsizetype paren = word.indexOf(u'('); paren > 0 && word.endsWith(u')')) {
        word.truncate(paren);
    }
    return word;
}

// The phones of the en-US model.
const char* const cmuPhones[] = {"AA", "AE", "AH", "AO", "AW", "AY", "B",  "CH", "D",  "DH",
                                 "EH", "ER", "EY", "F",  "G",  "HH", "IH", "IY", "JH", "K",
                                 "L",  "M",  "N",  "NG", "OW", "OY", "P",  "R",  "S",  "SH",
                                 "T",  "TH", "UH", "UW", "V",  "W",  "Y",  "Z",  "ZH"};

// Dictionary names of the one-phone words; no real word starts with "~".
QByteArray phoneWord(const char* phone) {
    return QByteArray("~") + QByteArray(phone).toLower();
}

bool isPhoneWord(const QString& word) {
    return word.startsWith(u'~');
}

struct DecoderDeleter {
    void operator()(ps_decoder_t* ps) const { ps_free(ps); }
};

class PocketSphinxEngine final : public SpeechEngine {
public:
    explicit PocketSphinxEngine(ps_decoder_t* ps)
        : m_ps(ps)
        , m_defaultSearch(QByteArray(ps_get_search(ps))) {}

    void startInput() override { ps_start_stream(m_ps.get()); }

    Expected<QList<SpeechWord>, MediaError> recognize(std::span<const qint16> samples) override {
        ps_set_search(m_ps.get(), m_defaultSearch.constData());
        return decode(samples);
    }

    Expected<QList<SpeechWord>, MediaError> align(std::span<const qint16> samples,
                                                  const QStringList& words) override {
        // A chain of the words in order; the search itself allows silence and
        // noise between any two. A word outside the dictionary becomes a loop of
        // one or more free phones, so that its sound is claimed by something of
        // its own and does not stretch or shift its neighbours.
        QList<QByteArray> slots; // dictionary word, or empty for a phone loop
        int loops = 0;
        for (const QString& word : words) {
            const QByteArray w = word.toLower().toUtf8();
            char* pron = w.isEmpty() ? nullptr : ps_lookup_word(m_ps.get(), w.constData());
            slots << (pron ? w : QByteArray());
            loops += pron ? 0 : 1;
            ckd_free(pron);
        }
        if (loops == slots.size()) {
            return Unexpected(engineError(u"none of the words are known"_s));
        }
        if (loops > 0 && !addPhoneWords()) {
            return Unexpected(engineError(u"could not model unknown words"_s));
        }
        cmd_ln_t* config = ps_get_config(m_ps.get());
        logmath_t* lmath = ps_get_logmath(m_ps.get());
        const int states = int(slots.size()) + loops + 1;
        fsg_model_t* fsg =
            fsg_model_init(alignSearch, lmath, float(cmd_ln_float_r(config, "-lw")), states);
        fsg->start_state = 0;
        fsg->final_state = states - 1;
        // A phone costs about as much as one of the phones at random: the loop
        // takes what the known words cannot explain, not more.
        const int phoneLogp = logmath_log(lmath, 1.0 / double(std::size(cmuPhones)));
        int state = 0;
        for (const QByteArray& slot : slots) {
            if (!slot.isEmpty()) {
                fsg_model_trans_add(fsg, state, state + 1, 0,
                                    fsg_model_word_add(fsg, slot.constData()));
                state += 1;
                continue;
            }
            // state -phone-> loop state -phone-> itself, loop state -> next.
            const int loop = state + 1;
            for (const char* phone : cmuPhones) {
                const int wid = fsg_model_word_add(fsg, phoneWord(phone).constData());
                fsg_model_trans_add(fsg, state, loop, phoneLogp, wid);
                fsg_model_trans_add(fsg, loop, loop, phoneLogp, wid);
            }
            fsg_model_null_trans_add(fsg, loop, loop + 1, 0);
            state += 2;
        }
        const int set = ps_set_fsg(m_ps.get(), alignSearch, fsg);
        fsg_model_free(fsg);
        if (set < 0 || ps_set_search(m_ps.get(), alignSearch) < 0) {
            ps_set_search(m_ps.get(), m_defaultSearch.constData());
            return Unexpected(engineError(u"could not set up the alignment"_s));
        }
        auto decoded = decode(samples);
        ps_set_search(m_ps.get(), m_defaultSearch.constData());
        ps_unset_search(m_ps.get(), alignSearch);
        if (!decoded) {
            return decoded;
        }
        // Read the path back slot by slot: a word, or a run of phones.
        const auto mismatch = [&] {
            return Unexpected(engineError(u"the words do not match the speech"_s));
        };
        QList<SpeechWord> out;
        qsizetype next = 0;
        for (qsizetype i = 0; i < slots.size(); ++i) {
            if (!slots.at(i).isEmpty()) {
                if (next >= decoded->size() || isPhoneWord(decoded->at(next).text)) {
                    return mismatch();
                }
                SpeechWord w = decoded->at(next++);
                w.text = words.at(i);
                out << w;
                continue;
            }
            const qsizetype first = next;
            while (next < decoded->size() && isPhoneWord(decoded->at(next).text)) {
                ++next;
            }
            if (next == first) {
                return mismatch();
            }
            out << SpeechWord{words.at(i), decoded->at(first).start, decoded->at(next - 1).end};
        }
        if (next != decoded->size()) {
            return mismatch();
        }
        return out;
    }

private:
    Expected<QList<SpeechWord>, MediaError> decode(std::span<const qint16> samples) {
        ps_decoder_t* ps = m_ps.get();
        if (ps_start_utt(ps) < 0) {
            return Unexpected(engineError(u"speech recognition could not start"_s));
        }
        const int processed = ps_process_raw(ps, samples.data(), samples.size(), FALSE, TRUE);
        if (ps_end_utt(ps) < 0 || processed < 0) {
            return Unexpected(engineError(u"speech recognition failed"_s));
        }
        QList<SpeechWord> out;
        for (ps_seg_t* seg = ps_seg_iter(ps); seg; seg = ps_seg_next(seg)) {
            const QString word = baseWord(ps_seg_word(seg));
            if (!isWord(word)) {
                continue;
            }
            int sf = 0;
            int ef = 0;
            ps_seg_frames(seg, &sf, &ef);
            out << SpeechWord{word, sf / framesPerSecond, (ef + 1) / framesPerSecond};
        }
        return out;
    }

    // Words of one phone each, for the loops that stand in for unknown words.
    // Added once, without updating the recognition search, whose vocabulary
    // stays that of its language model.
    bool addPhoneWords() {
        if (m_phoneWordsAdded) {
            return true;
        }
        for (const char* phone : cmuPhones) {
            if (ps_add_word(m_ps.get(), phoneWord(phone).constData(), phone, FALSE) < 0) {
                return false;
            }
        }
        m_phoneWordsAdded = true;
        return true;
    }

    std::unique_ptr<ps_decoder_t, DecoderDeleter> m_ps;
    QByteArray m_defaultSearch;
    bool m_phoneWordsAdded = false;
};

} // namespace

Expected<std::unique_ptr<SpeechEngine>, MediaError> createPocketSphinxEngine() {
    const QByteArray dir(modelDir);
    const QByteArray hmm = dir + "/en-us";
    const QByteArray lm = dir + "/en-us.lm.bin";
    const QByteArray dict = dir + "/cmudict-en-us.dict";
    for (const QByteArray& path : {hmm + "/mdef", lm, dict}) {
        if (!QFile::exists(QString::fromUtf8(path))) {
            return Unexpected(
                engineError(u"the speech model is missing: %1"_s.arg(QString::fromUtf8(path)),
                            SpeechEngine::modelUnavailable));
        }
    }
    cmd_ln_t* config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm",
                                   lm.constData(), "-dict", dict.constData(), "-logfn", "/dev/null",
                                   "-samprate", "16000", "-remove_silence", "no", nullptr);
    if (!config) {
        return Unexpected(engineError(u"the speech model could not be configured"_s,
                                      SpeechEngine::modelUnavailable));
    }
    ps_decoder_t* ps = ps_init(config);
    cmd_ln_free_r(config);
    if (!ps) {
        return Unexpected(
            engineError(u"the speech model could not be loaded"_s, SpeechEngine::modelUnavailable));
    }
    return std::unique_ptr<SpeechEngine>(new PocketSphinxEngine(ps));
}

} // namespace tolvane
