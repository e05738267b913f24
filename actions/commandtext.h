#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// How a spoken command is cut into the parts the interpreter acts on.
namespace commandtext {

// The text before the first ideographic full stop, or all of it.
QString firstSentence(const QString &text);

// The text between the first occurrence of keyword and its second one (or the
// end); empty when keyword ends the sentence or does not occur.
QString searchTerm(const QString &sentence, const QString &keyword);

// The UTF-8 bytes of term, percent-encoded as RFC 3986 asks: unreserved
// characters stay, every other byte becomes %XX with upper-case digits.
QByteArray encodeTerm(const QString &term);

// The indexes of the words that occur in sentence, in the order they are first
// spoken (the earlier in the list first where two start at the same place), so
// that what the user said first happens first. Empty words never occur.
QVector<int> wordsSpoken(const QString &sentence, const QStringList &words);

} // namespace commandtext
