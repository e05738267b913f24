#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

class QIODevice;

// The pronunciation dictionary of a speech model, cut down to the words its language
// model knows. pocketsphinx keeps every dictionary entry in memory and in its search
// tables, yet it can only ever recognize words of the language model: for the English
// model that is 72 000 of 135 000 entries, and the other 14 MB of the loaded model.
// Pronunciations of the other words are read from the full dictionary when needed.
class ModelDictionary
{
public:
    ModelDictionary(const QString &dictionaryPath, const QString &languageModelPath);

    // Writes the entries of the language model's words to the given open file. Returns
    // how many it wrote, or -1 when the language model or the dictionary cannot be read,
    // the file cannot be written, or none of the model's words is in the dictionary (the
    // full one is then the one to use).
    int writeTrimmed(QIODevice *out) const;

    // The first pronunciation the full dictionary gives each of the words ("six" ->
    // "S IH K S"), read in one pass; words it lacks are left out.
    QHash<QByteArray, QByteArray> pronunciations(const QSet<QByteArray> &words) const;

private:
    bool languageModelWords(QSet<QByteArray> *words) const;

    QString m_dictionaryPath;
    QString m_languageModelPath;
};
