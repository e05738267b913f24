#include "recognition/modeldictionary.h"

#include <sphinxbase/logmath.h>
#include <sphinxbase/ngram_model.h>

#include <QFile>

namespace {
// A dictionary line is "word PH ON ES" or, for a further pronunciation, "word(2) ...".
QByteArray headWord(const QByteArray &line, QByteArray *baseWord)
{
    int end = 0;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t')
        ++end;
    const QByteArray word = line.left(end);
    const int paren = word.indexOf('(');
    *baseWord = paren > 0 && word.endsWith(')') ? word.left(paren) : word;
    return word;
}
} // namespace

ModelDictionary::ModelDictionary(const QString &dictionaryPath, const QString &languageModelPath)
    : m_dictionaryPath(dictionaryPath), m_languageModelPath(languageModelPath)
{
}

bool ModelDictionary::languageModelWords(QSet<QByteArray> *words) const
{
    // Only the vocabulary is wanted, so the probabilities' log base does not matter;
    // the model is freed again before the decoder loads its own copy.
    logmath_t *logMath = logmath_init(1.0001, 0, 0);
    if (!logMath)
        return false;
    const QByteArray path = QFile::encodeName(m_languageModelPath);
    ngram_model_t *model = ngram_model_read(nullptr, path.constData(), NGRAM_AUTO, logMath);
    if (model) {
        const uint32 unigrams = ngram_model_get_counts(model)[0];
        words->reserve(int(unigrams));
        for (uint32 i = 0; i < unigrams; ++i) {
            if (const char *word = ngram_word(model, int32(i)))
                words->insert(QByteArray(word));
        }
        ngram_model_free(model);
    }
    logmath_free(logMath);
    return model != nullptr;
}

int ModelDictionary::writeTrimmed(QIODevice *out) const
{
    QSet<QByteArray> known;
    if (!languageModelWords(&known))
        return -1;
    QFile full(m_dictionaryPath);
    if (!full.open(QIODevice::ReadOnly))
        return -1;
    int kept = 0;
    QByteArray base;
    while (!full.atEnd()) {
        const QByteArray line = full.readLine();
        headWord(line, &base);
        if (base.isEmpty() || !known.contains(base))
            continue;
        if (out->write(line) != line.size() || (!line.endsWith('\n') && out->write("\n") != 1))
            return -1;
        ++kept;
    }
    return kept > 0 ? kept : -1;
}

QHash<QByteArray, QByteArray>
ModelDictionary::pronunciations(const QSet<QByteArray> &words) const
{
    QHash<QByteArray, QByteArray> found;
    QFile full(m_dictionaryPath);
    if (words.isEmpty() || !full.open(QIODevice::ReadOnly))
        return found;
    QByteArray base;
    while (!full.atEnd() && found.size() < words.size()) {
        const QByteArray line = full.readLine();
        const QByteArray word = headWord(line, &base);
        if (word == base && words.contains(word) && !found.contains(word))
            found.insert(word, line.mid(word.size()).simplified());
    }
    return found;
}
