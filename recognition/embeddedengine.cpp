#include "recognition/embeddedengine.h"

#include "recognition/speecherror.h"

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <QDebug>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdarg>
#include <cstdio>

namespace {
// pocketsphinx reports through its own logger; keep its warnings and errors, in our log.
void forwardSphinxMessage(void *, err_lvl_t level, const char *format, ...)
{
    if (level < ERR_WARN)
        return;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    qWarning().noquote()
        << QStringLiteral("pocketsphinx: %1").arg(QString::fromUtf8(line).trimmed());
}

QString settingsFile(const SpeechConfig &config)
{
    return config.path.isEmpty() ? QStringLiteral("speech.ini in the working folder") : config.path;
}
} // namespace

struct EmbeddedEngine::Decoder
{
    ps_decoder_t *ps = nullptr;
    QSet<QString> favoured; // user words already made known to the language model
    ~Decoder()
    {
        if (ps)
            ps_free(ps);
    }
};

EmbeddedEngine::EmbeddedEngine(const SpeechConfig &config) : m_config(config)
{
    // Without a log file pocketsphinx prints nothing itself (its configuration dump
    // included); its warnings and errors still reach us through the callback.
    err_set_logfp(nullptr);
    err_set_callback(forwardSphinxMessage, nullptr);
}

EmbeddedEngine::~EmbeddedEngine() = default;

int EmbeddedEngine::checkLanguage(const QString &language) const
{
    if (!m_config.models.contains(language)) {
        qWarning().noquote()
            << QStringLiteral("speech: no speech model for %1: install a pocketsphinx %1 model "
                              "and name it in a [model.%1] section of %2, or switch the "
                              "recognition language to English")
                   .arg(language, settingsFile(m_config));
        return SpeechError::NoModel;
    }
    const SpeechModelPaths &paths = m_config.models.value(language);
    const QStringList files = {paths.acousticModel, paths.languageModel, paths.dictionary};
    for (const QString &file : files) {
        if (!QFileInfo::exists(file)) {
            const QString hint =
                language == QLatin1String("english") && m_config.path.isEmpty()
                    ? QStringLiteral("install the Debian package pocketsphinx-en-us")
                    : QStringLiteral("correct [model.%1] in %2")
                          .arg(language, settingsFile(m_config));
            qWarning().noquote() << QStringLiteral(
                                        "speech: the %1 speech model is missing at %2: %3")
                                        .arg(language, file, hint);
            return SpeechError::ModelLoadFailed;
        }
    }
    return 0;
}

int EmbeddedEngine::prepare(const QString &language)
{
    if (m_decoders.contains(language))
        return 0;
    const int check = checkLanguage(language);
    if (check != 0)
        return check;
    const SpeechModelPaths &paths = m_config.models.value(language);
    QElapsedTimer timer;
    timer.start();
    const QByteArray hmm = paths.acousticModel.toLocal8Bit();
    const QByteArray lm = paths.languageModel.toLocal8Bit();
    const QByteArray dict = paths.dictionary.toLocal8Bit();
    // Search settings measured on the packaged test recordings (pocketsphinx-testdata):
    // at most 3000 active HMMs per frame, a phone-loop lookahead of 10 frames and the
    // tree search alone (no flat-lexicon and lattice passes) take about half the
    // decoding time of the defaults, with the same word error rate on the "cards" set
    // (4.8 %) and a lower one on the librivox set (21 % instead of 28 %).
    cmd_ln_t *config =
        cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(),
                    "-dict", dict.constData(), "-samprate", "16000", "-maxhmmpf", "3000",
                    "-pl_window", "10", "-fwdflat", "no", "-bestpath", "no", nullptr);
    auto decoder = std::make_shared<Decoder>();
    if (config) {
        decoder->ps = ps_init(config);
        cmd_ln_free_r(config); // the decoder holds its own reference
    }
    if (!decoder->ps) {
        qWarning().noquote()
            << QStringLiteral("speech: the %1 speech model at %2 could not be loaded (see the "
                              "pocketsphinx lines above): check [model.%1] in %3")
                   .arg(language, paths.acousticModel, settingsFile(m_config));
        return SpeechError::ModelLoadFailed;
    }
    m_decoders.insert(language, decoder);
    qDebug().noquote() << QStringLiteral("speech: %1 speech model loaded in %2 s")
                              .arg(language)
                              .arg(timer.elapsed() / 1000.0, 0, 'f', 2);
    return 0;
}

void EmbeddedEngine::favourUserWords(Decoder &decoder, const QStringList &userWords)
{
    // The n-gram search offers no per-word boost; what it does allow is making a word
    // that the dictionary can pronounce but the language model lacks recognizable.
    // Words the dictionary does not know cannot be pronounced and are passed over.
    ngram_model_t *lm = ps_get_lm(decoder.ps, ps_get_search(decoder.ps));
    int known = 0;
    int added = 0;
    for (const QString &word : userWords) {
        const QByteArray w = word.toLower().toUtf8();
        if (word.contains(QLatin1Char(' ')) || decoder.favoured.contains(word.toLower()))
            continue;
        char *pronunciation = ps_lookup_word(decoder.ps, w.constData());
        if (!pronunciation)
            continue;
        std::free(pronunciation);
        ++known;
        decoder.favoured.insert(word.toLower());
        // The decoder puts every dictionary word into the model's vocabulary, those the
        // model lacks with probability zero; only these get a probability of their own.
        // (Giving one to a word the model has would lower it, and crashes on some models.)
        if (lm && ngram_score(lm, w.constData(), nullptr) <= ngram_zero(lm)) {
            ngram_model_add_word(lm, w.constData(), 1.0f);
            ++added;
        }
    }
    if (added > 0 && lm) {
        // Rebuilding the search frees the old one and with it its hold on the model.
        const QByteArray search = ps_get_search(decoder.ps);
        ngram_model_retain(lm);
        ps_set_lm(decoder.ps, search.constData(), lm);
        ngram_model_free(lm);
        ps_set_search(decoder.ps, search.constData());
    }
    if (known > 0)
        qDebug().noquote() << QStringLiteral(
                                  "speech: %1 user words known to the model, %2 added to its "
                                  "language model")
                                  .arg(known)
                                  .arg(added);
}

int EmbeddedEngine::transcribe(const QString &language, const QByteArray &pcm,
                               const QStringList &userWords, const std::atomic_bool &,
                               QByteArray *text)
{
    const int prepared = prepare(language);
    if (prepared != 0)
        return prepared;
    Decoder &decoder = *m_decoders.value(language);
    favourUserWords(decoder, userWords);
    *text = QByteArray("");
    const size_t samples = size_t(pcm.size() / 2);
    if (samples == 0)
        return 0;
    bool ok = ps_start_utt(decoder.ps) >= 0;
    if (ok) {
        ok = ps_process_raw(decoder.ps, reinterpret_cast<const int16 *>(pcm.constData()), samples,
                            FALSE, TRUE) >= 0;
        ok = ps_end_utt(decoder.ps) >= 0 && ok;
    }
    if (!ok) {
        qWarning().noquote() << QStringLiteral(
                                    "speech: pocketsphinx failed to decode %1 s of audio")
                                    .arg(samples / 16000.0, 0, 'f', 2);
        return SpeechError::DecodeFailed;
    }
    int32 score = 0;
    const char *hyp = ps_get_hyp(decoder.ps, &score);
    if (hyp)
        *text = QByteArray(hyp);
    return 0;
}
