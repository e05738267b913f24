#include "recognition/embeddedengine.h"

#include "recognition/modeldictionary.h"
#include "recognition/speecherror.h"
#include "recognition/sphinxdecoder.h"

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <QDebug>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdarg>
#include <cstdio>

#ifdef __GLIBC__
#include <malloc.h>
#endif

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

// Decoding keeps tables that grow with the utterance (word exits of every frame, the
// features of the whole utterance) at their largest size until the search is built
// anew: about 20 MB after 75 s of speech. Utterances up to this length leave a few MB.
constexpr size_t kRebuildAfterSamples = 16000 * 20;

// Builds the decoder's search afresh, around the same language model, and gives the
// memory the old one held back to the system. Returns false when that cannot be done.
bool rebuildSearch(ps_decoder_t *ps)
{
    const QByteArray search = ps_get_search(ps);
    ngram_model_t *set = ps_get_lm(ps, search.constData());
    if (!set)
        return false;
    // The search wraps its language model in a set of one model. Handing the set back
    // would wrap it once more, with another copy of its vocabulary tables (8 MB for
    // English) at every rebuild: the model inside is the one to pass.
    ngram_model_t *model = nullptr;
    int models = 0;
    for (ngram_model_set_iter_t *it = ngram_model_set_iter(set); it;
         it = ngram_model_set_iter_next(it)) {
        model = ngram_model_set_iter_model(it, nullptr);
        ++models;
    }
    if (models != 1 || !model)
        return false;
    ngram_model_retain(model); // the old search releases its hold when it is freed
    const bool ok =
        ps_set_lm(ps, search.constData(), model) >= 0 && ps_set_search(ps, search.constData()) >= 0;
    ngram_model_free(model);
#ifdef __GLIBC__
    malloc_trim(0); // the old search's tables lie amid the heap, out of reach of free()
#endif
    return ok;
}

QString settingsFile(const SpeechConfig &config)
{
    return config.path.isEmpty() ? QStringLiteral("speech.ini in the working folder") : config.path;
}
} // namespace

struct EmbeddedEngine::Decoder
{
    ps_decoder_t *ps = nullptr;
    QSet<QString> favoured;        // user words already made known to the language model
    QSet<QString> unpronounceable; // user words the full dictionary lacks too
    std::unique_ptr<ModelDictionary> dictionary; // the full one, for words the decoder lacks
    ~Decoder()
    {
        if (ps)
            ps_free(ps);
    }

    // The user words, in lower case, not yet favoured nor found unpronounceable; those
    // the decoder cannot pronounce go into *lookUp too.
    QStringList newWords(const QStringList &userWords, QSet<QByteArray> *lookUp) const
    {
        QStringList words;
        QSet<QString> seen;
        for (const QString &word : userWords) {
            const QString lower = word.toLower();
            if (word.contains(QLatin1Char(' ')) || favoured.contains(lower) ||
                unpronounceable.contains(lower) || seen.contains(lower))
                continue;
            seen.insert(lower);
            words.append(lower);
            const QByteArray w = lower.toUtf8();
            if (char *pronunciation = ps_lookup_word(ps, w.constData()))
                std::free(pronunciation);
            else
                lookUp->insert(w);
        }
        return words;
    }

    // Adds words with their pronunciations to the dictionary; ps_add_word gives each a
    // probability of its own in the language model too. Returns how many it added.
    int addWords(const QList<QPair<QByteArray, QByteArray>> &words)
    {
        int added = 0;
        for (const auto &[word, pronunciation] : words) {
            if (ps_add_word(ps, word.constData(), pronunciation.constData(), FALSE) >= 0)
                ++added;
            else
                qWarning().noquote()
                    << QStringLiteral("speech: the user word \"%1\" could not be added")
                           .arg(QString::fromUtf8(word));
        }
        return added;
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
    auto decoder = std::make_shared<Decoder>();
    decoder->dictionary = std::make_unique<ModelDictionary>(paths.dictionary, paths.languageModel);
    decoder->ps = openSphinxDecoder(paths, *decoder->dictionary);
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
    // The decoder holds only the language model's words (see ModelDictionary): a word it
    // knows is in the model already, and giving it a probability of its own would lower
    // it (and crashes on some models). The others come from the full dictionary and are
    // added to the decoder's dictionary and language model both.
    QSet<QByteArray> lookUp; // words to find in the full dictionary
    const QStringList candidates = decoder.newWords(userWords, &lookUp);
    const QHash<QByteArray, QByteArray> found = decoder.dictionary->pronunciations(lookUp);
    QList<QPair<QByteArray, QByteArray>> additions; // word, pronunciation
    ngram_model_t *lm = ps_get_lm(decoder.ps, ps_get_search(decoder.ps));
    int known = 0;
    int added = 0;
    for (const QString &word : candidates) {
        const QByteArray w = word.toUtf8();
        if (!lookUp.contains(w)) {
            // Only when the dictionary was loaded whole can the decoder know a word the
            // language model lacks: the decoder has it with probability zero.
            if (lm && ngram_score(lm, w.constData(), nullptr) <= ngram_zero(lm) &&
                ngram_model_add_word(lm, w.constData(), 1.0f) != NGRAM_INVALID_WID)
                ++added;
        } else {
            if (!found.contains(w)) {
                decoder.unpronounceable.insert(word);
                continue;
            }
            additions.append({w, found.value(w)});
        }
        ++known;
        decoder.favoured.insert(word);
    }
    added += decoder.addWords(additions);
    if (added > 0 && !rebuildSearch(decoder.ps))
        qWarning().noquote() << QStringLiteral(
            "speech: the search could not be rebuilt: user words may go unrecognized");
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
    // About 0.15 s, small beside decoding this much speech.
    if (samples > kRebuildAfterSamples && !rebuildSearch(decoder.ps))
        qWarning().noquote() << QStringLiteral(
            "speech: the search could not be rebuilt after a long utterance");
    return 0;
}
