#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The words of a user word list: a JSON {"userword":[{"words":[...]}]} or plain words
// separated by lines or commas, within the bounds below.
struct UserWordList
{
    // How many user words an utterance takes. More only slow it down: the embedded
    // engine looks every word up in its dictionaries, a remote service reads the
    // first few hundred tokens of its prompt at most. A longer list is cut.
    static constexpr int maxWords = 1000;
    static constexpr int maxWordLength = 64;       // characters
    static constexpr qsizetype maxBytes = 1 << 20; // the part of the list read

    QStringList words;
    QString leftOut; // what the bounds above left out, for the log; empty if nothing

    static UserWordList parse(const QByteArray &data);
};
