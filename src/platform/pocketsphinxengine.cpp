#include "platform/speechengine.h"

#include <QFile>
#include <QRegularExpression>

#include <pocketsphinx.h>
#include <sphinxbase/fsg_model.h>

#include <memory>

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

// Engine-internal tokens that are not words: sentence marks, silence, noise
// and fillers ("<s>", "<sil>", "[NOISE]", "++UM++").
bool isWord(const QString& token) {
    return !token.isEmpty() && !token.startsWith(u'<') && !token.startsWith(u'[') &&
           !token.startsWith(QLatin1String("++"));
}

// "word(2)", a second pronunciation, is the word.
QString baseWord(const char* token) {
    QString word = QString::fromUtf8(token);
    if (const qsizetype paren = word.indexOf(u'('); paren > 0 && word.endsWith(u')')) {
        word.truncate(paren);
    }
    return word;
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
        // A chain of the known words in order; the search itself allows silence
        // and noise between any two. A word outside the dictionary is left out,
        // so that silence and noise absorb its sound instead of stretching its
        // neighbours over it.
        QList<QByteArray> known;
        QList<bool> isKnown;
        for (const QString& word : words) {
            const QByteArray w = word.toLower().toUtf8();
            char* pron = ps_lookup_word(m_ps.get(), w.constData());
            isKnown << (pron != nullptr);
            if (pron) {
                known << w;
                ckd_free(pron);
            }
        }
        if (known.isEmpty()) {
            return Unexpected(engineError(QStringLiteral("none of the words are known")));
        }
        cmd_ln_t* config = ps_get_config(m_ps.get());
        fsg_model_t* fsg =
            fsg_model_init(alignSearch, ps_get_logmath(m_ps.get()),
                           float(cmd_ln_float_r(config, "-lw")), int(known.size()) + 1);
        fsg->start_state = 0;
        fsg->final_state = int(known.size());
        for (qsizetype i = 0; i < known.size(); ++i) {
            const int wid = fsg_model_word_add(fsg, known.at(i).constData());
            fsg_model_trans_add(fsg, int(i), int(i) + 1, 0, wid);
        }
        const int set = ps_set_fsg(m_ps.get(), alignSearch, fsg);
        fsg_model_free(fsg);
        if (set < 0 || ps_set_search(m_ps.get(), alignSearch) < 0) {
            return Unexpected(engineError(QStringLiteral("could not set up the alignment")));
        }
        auto decoded = decode(samples);
        ps_set_search(m_ps.get(), m_defaultSearch.constData());
        ps_unset_search(m_ps.get(), alignSearch);
        if (!decoded) {
            return decoded;
        }
        if (decoded->size() != known.size()) {
            return Unexpected(engineError(QStringLiteral("the words do not match the speech")));
        }
        QList<SpeechWord> out;
        qsizetype next = 0;
        for (qsizetype i = 0; i < words.size(); ++i) {
            if (isKnown.at(i)) {
                SpeechWord w = decoded->at(next++);
                w.text = words.at(i);
                out << w;
            } else {
                out << SpeechWord{words.at(i), -1.0, -1.0};
            }
        }
        return out;
    }

private:
    Expected<QList<SpeechWord>, MediaError> decode(std::span<const qint16> samples) {
        ps_decoder_t* ps = m_ps.get();
        if (ps_start_utt(ps) < 0) {
            return Unexpected(engineError(QStringLiteral("speech recognition could not start")));
        }
        const int processed = ps_process_raw(ps, samples.data(), samples.size(), FALSE, TRUE);
        if (ps_end_utt(ps) < 0 || processed < 0) {
            return Unexpected(engineError(QStringLiteral("speech recognition failed")));
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

    std::unique_ptr<ps_decoder_t, DecoderDeleter> m_ps;
    QByteArray m_defaultSearch;
};

} // namespace

Expected<std::unique_ptr<SpeechEngine>, MediaError> createPocketSphinxEngine() {
    const QByteArray dir(modelDir);
    const QByteArray hmm = dir + "/en-us";
    const QByteArray lm = dir + "/en-us.lm.bin";
    const QByteArray dict = dir + "/cmudict-en-us.dict";
    for (const QByteArray& path : {hmm + "/mdef", lm, dict}) {
        if (!QFile::exists(QString::fromUtf8(path))) {
            return Unexpected(engineError(
                QStringLiteral("the speech model is missing: %1").arg(QString::fromUtf8(path)),
                SpeechEngine::modelUnavailable));
        }
    }
    cmd_ln_t* config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm",
                                   lm.constData(), "-dict", dict.constData(), "-logfn", "/dev/null",
                                   "-samprate", "16000", nullptr);
    if (!config) {
        return Unexpected(engineError(QStringLiteral("the speech model could not be configured"),
                                      SpeechEngine::modelUnavailable));
    }
    ps_decoder_t* ps = ps_init(config);
    cmd_ln_free_r(config);
    if (!ps) {
        return Unexpected(engineError(QStringLiteral("the speech model could not be loaded"),
                                      SpeechEngine::modelUnavailable));
    }
    return std::unique_ptr<SpeechEngine>(new PocketSphinxEngine(ps));
}

} // namespace tolvane
