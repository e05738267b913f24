#pragma once

#include "recognition/phrasesplitter.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The utterance being recorded while the button is held, cut into phrases as they end,
// so each can be transcribed before the release. Its open phrase is offered too, as it
// would end if the button were let go now: transcribed already, it leaves nothing but
// the quiet after it to decode after the release. When the speech goes on instead,
// that guess was wasted.
class ListenedUtterance
{
public:
    explicit ListenedUtterance(const QString &language);

    struct Phrase
    {
        qsizetype start; // byte offset in the utterance
        QByteArray pcm;
    };
    // Feeds more audio; returns the phrases to transcribe now, in order.
    QVector<Phrase> feed(const QByteArray &samples);
    // False for a phrase feed gave as the open phrase's end, when its speech went on
    // after it: a longer one follows.
    bool isCurrent(qsizetype start, qsizetype bytes) const;

    const QString &language() const { return m_language; }
    qsizetype heard() const { return m_openStart + m_open.size(); } // bytes so far

private:
    Phrase openPhrase(qsizetype end) const;

    QString m_language;
    PhraseSplitter m_splitter;
    qsizetype m_openStart = 0; // where the open phrase starts
    QByteArray m_open;         // its audio
    qsizetype m_endCut = -1;   // where it ends if the utterance does, when it would be cut
};
