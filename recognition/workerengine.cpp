#include "recognition/workerengine.h"

#include "recognition/speechconfig.h"
#include "recognition/speecherror.h"
#include "recognition/speechsdk.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QtEndian>

struct WorkerEngine::Session
{
    QByteArray id;
    QString language;
    QByteArray header; // start of the audio while its RIFF header is not complete
    bool headerDone = false;
    QByteArray pcm;
    EndpointDetector endpoint;
    PhraseSplitter phrases;
    QVector<qsizetype> cuts; // where the phrases of pcm end
    bool lastWritten = false;
    bool done = false;
    bool delivered = false;
    int error = 0;
    QByteArray text;
    std::shared_ptr<std::atomic_bool> cancelled = std::make_shared<std::atomic_bool>(false);

    explicit Session(int endSilenceMs) : endpoint(endSilenceMs) {}
};

// The last block's utterance, as the worker thread transcribes it.
struct WorkerEngine::Utterance
{
    quint64 serial; // of its session
    QString language;
    QByteArray pcm;
    QVector<qsizetype> cuts;
    qsizetype speechEnd;
    QStringList words;
    std::shared_ptr<std::atomic_bool> cancelled;
};

namespace {
// Where the samples start in audio that begins with the bytes given: after the RIFF
// header's "data" chunk header, 0 for headerless audio, -1 while more bytes are needed.
int pcmOffset(const QByteArray &start)
{
    if (start.size() < 12)
        return QByteArray("RIFF").startsWith(start.left(4)) ? -1 : 0;
    if (!start.startsWith("RIFF") || start.mid(8, 4) != "WAVE")
        return 0;
    int pos = 12;
    while (pos + 8 <= start.size()) {
        const quint32 size = qFromLittleEndian<quint32>(start.constData() + pos + 4);
        if (start.mid(pos, 4) == "data")
            return pos + 8;
        if (size > quint32(start.size()))
            return -1;
        pos += 8 + int(size) + int(size & 1);
    }
    return -1;
}
} // namespace

WorkerEngine::WorkerEngine(std::unique_ptr<Transcriber> transcriber, const Settings &settings)
    : m_transcriber(std::move(transcriber)), m_phraseTranscriber(*m_transcriber),
      m_settings(settings), m_phrases(m_transcriber->transcribesPhrases())
{
    m_thread.setObjectName(QStringLiteral("speech engine"));
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();
}

WorkerEngine::~WorkerEngine()
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_session)
            *m_session->cancelled = true;
        ++m_utterance; // phrases still queued are not transcribed
    }
    // The transcriber's objects belong to the worker thread: free them there, then stop it.
    post([this] {
        m_transcriber.reset();
        QThread::currentThread()->quit();
    });
    m_thread.wait();
}

void WorkerEngine::post(std::function<void()> job)
{
    QMetaObject::invokeMethod(m_context, std::move(job), Qt::QueuedConnection);
}

int WorkerEngine::login(const QByteArray &, const QByteArray &, const QByteArray &)
{
    return 0;
}

int WorkerEngine::logout()
{
    return 0;
}

int WorkerEngine::uploadData(const QByteArray &dataName, const QByteArray &data, const QByteArray &)
{
    if (dataName != "userwords") {
        qWarning().noquote() << QStringLiteral("speech: unknown upload \"%1\" ignored")
                                    .arg(QString::fromUtf8(dataName));
        return SpeechError::InvalidArgument;
    }
    const UserWordList words = UserWordList::parse(data);
    if (!words.leftOut.isEmpty())
        qWarning().noquote() << QStringLiteral("speech: %1 user words taken, left out: %2")
                                    .arg(words.words.size())
                                    .arg(words.leftOut);
    QMutexLocker lock(&m_mutex);
    m_userWords = words.words;
    return 0;
}

bool WorkerEngine::isOpen(const QByteArray &sessionId) const
{
    return m_session && !sessionId.isNull() && sessionId == m_session->id;
}

QByteArray WorkerEngine::beginSession(const QByteArray &, const QByteArray &params, int *errorCode)
{
    const QString language = speechLanguageName(params);
    const QString rate = speechParamValue(params, QStringLiteral("sample_rate"));
    if (!rate.isEmpty() && rate != QLatin1String("16000")) {
        qWarning().noquote()
            << QStringLiteral("speech: only 16000 Hz audio is recognized, not %1").arg(rate);
        *errorCode = SpeechError::InvalidArgument;
        return QByteArray();
    }
    *errorCode = m_transcriber->checkLanguage(language);
    if (*errorCode != 0)
        return QByteArray();

    QMutexLocker lock(&m_mutex);
    if (m_session)
        *m_session->cancelled = true; // an earlier session nobody ended
    m_listenLanguage = language;
    m_session = std::make_unique<Session>(m_settings.endSilenceMs);
    m_session->id = QByteArray("ferrule-") + QByteArray::number(++m_serial);
    m_session->language = language;

    // Models load in the worker thread (once: they stay loaded); wait for it here so a
    // model that cannot load fails the session begin.
    bool prepared = false;
    int result = 0;
    post([this, language, &prepared, &result] {
        const int code = m_transcriber->prepare(language);
        QMutexLocker done(&m_mutex);
        result = code;
        prepared = true;
        m_changed.wakeAll();
    });
    while (!prepared)
        m_changed.wait(&m_mutex);
    *errorCode = result;
    if (result != 0) {
        m_session.reset();
        return QByteArray();
    }
    return m_session->id;
}

void WorkerEngine::preload(const QByteArray &params)
{
    const QString language = speechLanguageName(params);
    const bool known = m_transcriber->checkLanguage(language) == 0;
    {
        QMutexLocker lock(&m_mutex);
        m_listenLanguage = known ? language : QString(); // nothing to recognize it with
    }
    if (known)
        post([this, language] { m_transcriber->prepare(language); });
}

void WorkerEngine::listen(const QByteArray &samples, int audioStatus)
{
    if (!m_phrases)
        return;
    QMutexLocker lock(&m_mutex);
    if (audioStatus == SPEECH_AUDIO_FIRST) {
        ++m_utterance;
        m_listening.reset();
        if (m_listenLanguage.isEmpty())
            return;
        m_listening = std::make_unique<ListenedUtterance>(m_listenLanguage);
    } else if (audioStatus != SPEECH_AUDIO_CONTINUE) {
        return;
    }
    if (!m_listening)
        return;
    if (m_listening->heard() + samples.size() > m_settings.maxAudioBytes) {
        m_listening.reset(); // the session will refuse it too
        return;
    }
    for (const ListenedUtterance::Phrase &phrase : m_listening->feed(samples)) {
        post([this, utterance = m_utterance, language = m_listening->language(), phrase,
              words = m_userWords] {
            transcribeHeardPhrase(utterance, language, phrase.start, phrase.pcm, words);
        });
    }
}

void WorkerEngine::transcribeHeardPhrase(quint64 utterance, const QString &language,
                                         qsizetype start, const QByteArray &pcm,
                                         const QStringList &words)
{
    {
        QMutexLocker lock(&m_mutex);
        if (utterance != m_utterance)
            return; // a newer utterance is being heard, or the engine goes
        if (m_listening && !m_listening->isCurrent(start, pcm.size()))
            return;
    }
    m_phraseTranscriber.transcribeAhead(utterance, language, start, pcm, words);
}

void WorkerEngine::appendAudio(const QByteArray &block)
{
    Session &s = *m_session;
    QByteArray pcm = block;
    if (!s.headerDone) {
        s.header.append(block);
        int offset = pcmOffset(s.header);
        if (offset < 0 && s.header.size() <= 65536)
            return;
        if (offset < 0)
            offset = 0; // no data chunk in sight: not a header we know, so not one to drop
        pcm = s.header.mid(offset);
        s.header.clear();
        s.headerDone = true;
    }
    s.pcm.append(pcm);
    s.endpoint.feed(pcm);
    if (m_phrases)
        s.cuts += s.phrases.feed(pcm);
}

int WorkerEngine::refusedWrite(const Session &s, const QByteArray &block, int audioStatus) const
{
    if (s.lastWritten ||
        (audioStatus != SPEECH_AUDIO_FIRST && audioStatus != SPEECH_AUDIO_CONTINUE &&
         audioStatus != SPEECH_AUDIO_LAST)) {
        qWarning().noquote() << QStringLiteral("speech: audio write with status %1 %2 refused")
                                    .arg(audioStatus)
                                    .arg(s.lastWritten ? QStringLiteral("after the last block")
                                                       : QString());
        return SpeechError::InvalidArgument;
    }
    if (s.pcm.size() + block.size() > m_settings.maxAudioBytes) {
        qWarning().noquote() << QStringLiteral("speech: utterance longer than %1 s refused")
                                    .arg(m_settings.maxAudioBytes / 32000);
        return SpeechError::TooMuchAudio;
    }
    return 0;
}

int WorkerEngine::writeAudio(const QByteArray &sessionId, const QByteArray &block, int audioStatus,
                             int *endpointStatus, int *recogStatus)
{
    QMutexLocker lock(&m_mutex);
    *recogStatus = SPEECH_REC_INCOMPLETE;
    if (!isOpen(sessionId))
        return SpeechError::UnknownSession;
    Session &s = *m_session;
    *endpointStatus = s.endpoint.status();
    const int refused = refusedWrite(s, block, audioStatus);
    if (refused != 0)
        return refused;
    appendAudio(block);
    *endpointStatus = s.endpoint.status();
    if (audioStatus == SPEECH_AUDIO_LAST)
        transcribeLater(s);
    return 0;
}

void WorkerEngine::transcribeLater(Session &s)
{
    s.lastWritten = true;
    Utterance utterance;
    utterance.serial = m_serial;
    utterance.language = s.language;
    utterance.pcm = std::move(s.pcm);
    s.pcm = QByteArray();
    utterance.cuts = s.cuts;
    // After the end of the last phrase there is nothing but quiet: nothing to decode.
    utterance.speechEnd = s.phrases.endCut() >= 0 ? s.phrases.endCut() : utterance.pcm.size();
    utterance.words = m_userWords;
    utterance.cancelled = s.cancelled;
    post([this, utterance] {
        QByteArray text;
        const int code = transcribeUtterance(utterance, &text);
        QMutexLocker done(&m_mutex);
        if (!m_session || m_serial != utterance.serial)
            return; // the session was ended meanwhile
        m_session->done = true;
        m_session->error = code;
        m_session->text = text;
        m_changed.wakeAll();
    });
}

int WorkerEngine::transcribeUtterance(const Utterance &u, QByteArray *text)
{
    if (*u.cancelled)
        return 0;
    if (m_phrases)
        return m_phraseTranscriber.transcribe(u.language, u.pcm, u.cuts, u.speechEnd, u.words,
                                              *u.cancelled, text);
    QElapsedTimer timer;
    timer.start();
    const int code = m_transcriber->transcribe(u.language, u.pcm, u.words, *u.cancelled, text);
    if (code == 0)
        qDebug().noquote() << QStringLiteral("speech: %1 s of audio recognized in %2 s")
                                  .arg(u.pcm.size() / 32000.0, 0, 'f', 2)
                                  .arg(timer.elapsed() / 1000.0, 0, 'f', 2);
    return code;
}

QByteArray WorkerEngine::getResult(const QByteArray &sessionId, int *recogStatus, int waitTime,
                                   int *errorCode)
{
    QMutexLocker lock(&m_mutex);
    *recogStatus = SPEECH_REC_INCOMPLETE;
    *errorCode = 0;
    if (!isOpen(sessionId)) {
        *errorCode = SpeechError::UnknownSession;
        return QByteArray();
    }
    if (m_session->lastWritten && !m_session->done && waitTime > 0)
        m_changed.wait(&m_mutex, ulong(waitTime));
    Session &s = *m_session;
    if (!s.done)
        return QByteArray();
    if (s.error != 0) {
        *errorCode = s.error;
        return QByteArray();
    }
    *recogStatus = SPEECH_REC_COMPLETE;
    if (s.delivered)
        return QByteArray();
    s.delivered = true;
    return s.text.isNull() ? QByteArray("") : s.text;
}

void WorkerEngine::awaitResult(const QByteArray &sessionId, int pauseMs)
{
    QDeadlineTimer deadline(qMax(0, pauseMs));
    QMutexLocker lock(&m_mutex);
    while (!(isOpen(sessionId) && m_session->done) && !deadline.hasExpired())
        m_changed.wait(&m_mutex, deadline);
}

int WorkerEngine::endSession(const QByteArray &sessionId, const QByteArray &)
{
    QMutexLocker lock(&m_mutex);
    if (!isOpen(sessionId))
        return SpeechError::UnknownSession;
    *m_session->cancelled = true;
    m_session.reset();
    return 0;
}
