#include "recognition/phrasetranscriber.h"

#include "recognition/phrasetexts.h"

#include <QDebug>
#include <QElapsedTimer>

#include <algorithm>
#include <ctime>

namespace {
double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}
} // namespace

void PhraseTranscriber::transcribeAhead(quint64 utterance, const QString &language, qsizetype start,
                                        const QByteArray &pcm, const QStringList &words)
{
    if (utterance != m_heardUtterance) {
        m_heardUtterance = utterance;
        m_heardCpuSeconds = 0;
    }
    m_heard.erase(std::remove_if(m_heard.begin(), m_heard.end(),
                                 [utterance, start](const HeardPhrase &heard) {
                                     return heard.utterance != utterance || heard.start == start;
                                 }),
                  m_heard.end());
    const double cpuStart = threadCpuSeconds();
    const std::atomic_bool goOn(false);
    QByteArray text;
    if (m_transcriber.transcribe(language, pcm, words, goOn, &text) != 0)
        return; // transcribed again after the release, where the failure counts
    m_heardCpuSeconds += threadCpuSeconds() - cpuStart;
    m_heard.append({utterance, start, pcm, language, words, text});
}

const QByteArray *PhraseTranscriber::heardText(const QString &language, qsizetype start,
                                               const QByteArray &pcm,
                                               const QStringList &words) const
{
    const auto found = std::find_if(m_heard.cbegin(), m_heard.cend(), [&](const HeardPhrase &h) {
        return h.start == start && h.language == language && h.words == words && h.pcm == pcm;
    });
    return found != m_heard.cend() ? &found->text : nullptr;
}

int PhraseTranscriber::transcribe(const QString &language, const QByteArray &pcm,
                                  const QVector<qsizetype> &cuts, qsizetype speechEnd,
                                  const QStringList &words, const std::atomic_bool &cancelled,
                                  QByteArray *text)
{
    QElapsedTimer timer;
    timer.start();
    QVector<qsizetype> ends = cuts;
    ends.append(speechEnd);
    QList<QByteArray> texts;
    int phrases = 0;
    int heard = 0;
    qsizetype start = 0;
    int code = 0;
    for (const qsizetype end : qAsConst(ends)) {
        if (end <= start)
            continue;
        const QByteArray phrase = pcm.mid(int(start), int(end - start));
        ++phrases;
        QByteArray phraseText;
        if (const QByteArray *found = heardText(language, start, phrase, words)) {
            phraseText = *found;
            ++heard;
        } else {
            code = m_transcriber.transcribe(language, phrase, words, cancelled, &phraseText);
            if (code != 0)
                break;
        }
        texts.append(phraseText);
        start = end;
    }
    m_heard.clear();
    const double heardCpu = m_heardCpuSeconds;
    m_heardCpuSeconds = 0;
    if (code != 0)
        return code;
    *text = joinPhraseTexts(texts);
    qDebug().noquote() << QStringLiteral("speech: %1 s of audio recognized in %2 s: %3 phrases, "
                                         "%4 of them while the button was held, with %5 s of "
                                         "processor time")
                              .arg(pcm.size() / 32000.0, 0, 'f', 2)
                              .arg(timer.elapsed() / 1000.0, 0, 'f', 2)
                              .arg(phrases)
                              .arg(heard)
                              .arg(heardCpu, 0, 'f', 2);
    return 0;
}
