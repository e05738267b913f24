#pragma once

#include <QByteArray>
#include <QList>

// The text of an utterance from the UTF-8 texts of its phrases, in order: a blank
// between two phrases, except where Chinese meets Chinese (Han characters and CJK
// punctuation), which is written without blanks. Phrases without text add nothing.
QByteArray joinPhraseTexts(const QList<QByteArray> &texts);
