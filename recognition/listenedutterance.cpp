#include "recognition/listenedutterance.h"

ListenedUtterance::ListenedUtterance(const QString &language) : m_language(language) {}

ListenedUtterance::Phrase ListenedUtterance::openPhrase(qsizetype end) const
{
    return {m_openStart, m_open.left(int(end - m_openStart))};
}

QVector<ListenedUtterance::Phrase> ListenedUtterance::feed(const QByteArray &samples)
{
    QVector<Phrase> phrases;
    m_open.append(samples);
    for (const qsizetype cut : m_splitter.feed(samples)) {
        if (cut != m_endCut) // else offered already as the open phrase's end
            phrases.append(openPhrase(cut));
        m_open.remove(0, int(cut - m_openStart));
        m_openStart = cut;
        m_endCut = -1;
    }
    const qsizetype endCut = m_splitter.endCut();
    if (endCut >= 0 && endCut != m_endCut)
        phrases.append(openPhrase(endCut));
    m_endCut = endCut;
    return phrases;
}

bool ListenedUtterance::isCurrent(qsizetype start, qsizetype bytes) const
{
    return start != m_openStart || start + bytes == m_endCut;
}
