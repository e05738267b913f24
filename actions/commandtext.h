#pragma once

#include <QByteArray>
#include <QString>

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

} // namespace commandtext
