#include "recognition/workerengine.h"

#include "recognition/phrasetexts.h"
#include "recognition/speechconfig.h"
#include "recognition/speecherror.h"
#include "recognition/speechsdk.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QRegularExpression>
#include <QtEndian>

#include <algorithm>
#include <ctime>

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

// The utterance being recorded: its open phrase, until the splitter ends it.
struct WorkerEngine::Listening
{
    quint64 utterance = 0;
    QString language;
    PhraseSplitter splitter;
    qsizetype heard = 0;     // bytes so far
    qsizetype openStart = 0; // where the open phrase starts
    QByteArray open;         // its audio
    qsizetype endCut = -1;   // where it ends if the utterance does, when it would be cut
};

struct WorkerEngine::HeardPhrase
{
    quint64 utterance;
    qsizetype start;
    QByteArray pcm;
    QString language;
    QStringList words;
    QByteArray text;
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

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}
} // namespace

WorkerEngine::WorkerEngine(std::unique_ptr<Transcriber> transcriber, const Settings &settings)
    : m_transcriber(std::move(transcriber)), m_settings(settings),
      m_phrases(m_transcriber->transcribesPhrases())
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

namespace {
// The longest start of a JSON text cut short that ends after a whole element of an
// array, with the brackets still open closed: a word list cut at the byte bound
// keeps the words before the cut.
QByteArray closedPrefix(const QByteArray &json)
{
    QByteArray open; // the '[' and '{' not yet closed, outermost first
    QByteArray openAtCut;
    int cut = -1;
    bool inString = false;
    bool escaped = false;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        bool elementEnds = false;
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false, elementEnds = true;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            open += c;
        } else if ((c == ']' || c == '}') && !open.isEmpty()) {
            open.chop(1);
            elementEnds = true;
        }
        if (elementEnds && open.endsWith('[')) {
            cut = i + 1;
            openAtCut = open;
        }
    }
    if (cut < 0)
        return QByteArray();
    QByteArray closed = json.left(cut);
    for (int i = openAtCut.size() - 1; i >= 0; --i)
        closed += openAtCut.at(i) == '[' ? ']' : '}';
    return closed;
}

QStringList wordsOf(const QByteArray &data, bool cut)
{
    QStringList words;
    QJsonDocument json = QJsonDocument::fromJson(data);
    if (!json.isObject() && cut && data.trimmed().startsWith('{'))
        json = QJsonDocument::fromJson(closedPrefix(data));
    if (json.isObject()) {
        for (const QJsonValue &group : json.object().value(QStringLiteral("userword")).toArray()) {
            for (const QJsonValue &word : group.toObject().value(QStringLiteral("words")).toArray())
                words.append(word.toString().trimmed());
        }
        return words;
    }
    words = QString::fromUtf8(data).split(QRegularExpression(QStringLiteral("[\\r\\n,]")));
    if (cut && !words.isEmpty())
        words.removeLast(); // the word the cut went through
    for (QString &word : words)
        word = word.trimmed();
    return words;
}
} // namespace

WorkerEngine::UserWords WorkerEngine::parseUserWords(const QByteArray &data)
{
    const bool cut = data.size() > maxUserWordBytes;
    UserWords result;
    int tooLong = 0;
    int overLimit = 0;
    QString firstOverLimit;
    for (const QString &word : wordsOf(cut ? data.left(maxUserWordBytes) : data, cut)) {
        if (word.isEmpty())
            continue;
        if (word.size() > maxUserWordLength) {
            ++tooLong;
        } else if (result.words.size() < maxUserWords) {
            result.words.append(word);
        } else if (overLimit++ == 0) {
            firstOverLimit = word;
        }
    }
    QStringList leftOut;
    if (overLimit > 0)
        leftOut << QStringLiteral("%1 words after the first %2, from \"%3\" on")
                       .arg(overLimit)
                       .arg(maxUserWords)
                       .arg(firstOverLimit);
    if (tooLong > 0)
        leftOut << QStringLiteral("%1 words longer than %2 characters")
                       .arg(tooLong)
                       .arg(maxUserWordLength);
    if (cut)
        leftOut << QStringLiteral("all after the first %1 MB of %2 MB")
                       .arg(maxUserWordBytes >> 20)
                       .arg(data.size() / 1048576.0, 0, 'f', 1);
    result.leftOut = leftOut.join(QStringLiteral("; "));
    return result;
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
    const UserWords words = parseUserWords(data);
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
        m_listening = std::make_unique<Listening>();
        m_listening->utterance = m_utterance;
        m_listening->language = m_listenLanguage;
    } else if (audioStatus != SPEECH_AUDIO_CONTINUE) {
        return;
    }
    if (!m_listening)
        return;
    Listening &l = *m_listening;
    if (l.heard + samples.size() > m_settings.maxAudioBytes) {
        m_listening.reset(); // the session will refuse it too
        return;
    }
    l.heard += samples.size();
    l.open.append(samples);
    const auto transcribeOpen = [this, &l](qsizetype end) {
        post([this, utterance = l.utterance, language = l.language, start = l.openStart,
              phrase = l.open.left(int(end - l.openStart)), words = m_userWords] {
            transcribeHeardPhrase(utterance, language, start, phrase, words);
        });
    };
    for (const qsizetype cut : l.splitter.feed(samples)) {
        if (cut != l.endCut)
            transcribeOpen(cut);
        l.open.remove(0, int(cut - l.openStart));
        l.openStart = cut;
        l.endCut = -1;
    }
    // The open phrase as it would end if the button were let go now: decoded already, it
    // leaves nothing but the quiet after it to decode after the release. When the speech
    // goes on instead, this was wasted.
    const qsizetype endCut = l.splitter.endCut();
    if (endCut >= 0 && endCut != l.endCut)
        transcribeOpen(endCut);
    l.endCut = endCut;
}

void WorkerEngine::transcribeHeardPhrase(quint64 utterance, const QString &language,
                                         qsizetype start, const QByteArray &pcm,
                                         const QStringList &words)
{
    {
        QMutexLocker lock(&m_mutex);
        if (utterance != m_utterance)
            return; // a newer utterance is being heard, or the engine goes
        // An open phrase whose speech went on after it was sent: a longer one follows.
        if (m_listening && start == m_listening->openStart &&
            start + pcm.size() != m_listening->endCut)
            return;
    }
    if (utterance != m_heardUtterance) {
        m_heardUtterance = utterance;
        m_heardCpuSeconds = 0;
    }
    // Older utterances are done with; a phrase that went on is replaced by its longer self.
    m_heard.erase(std::remove_if(m_heard.begin(), m_heard.end(),
                                 [utterance, start](const HeardPhrase &heard) {
                                     return heard.utterance != utterance || heard.start == start;
                                 }),
                  m_heard.end());
    const double cpuStart = threadCpuSeconds();
    const std::atomic_bool goOn(false);
    QByteArray text;
    if (m_transcriber->transcribe(language, pcm, words, goOn, &text) != 0)
        return; // transcribed again after the release, where the failure counts
    m_heardCpuSeconds += threadCpuSeconds() - cpuStart;
    m_heard.append({utterance, start, pcm, language, words, text});
}

int WorkerEngine::transcribePhrases(const QString &language, const QByteArray &pcm,
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
        const auto found =
            std::find_if(m_heard.cbegin(), m_heard.cend(), [&](const HeardPhrase &h) {
                return h.start == start && h.language == language && h.words == words &&
                       h.pcm == phrase;
            });
        QByteArray phraseText;
        if (found != m_heard.cend()) {
            phraseText = found->text;
            ++heard;
        } else {
            code = m_transcriber->transcribe(language, phrase, words, cancelled, &phraseText);
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

int WorkerEngine::writeAudio(const QByteArray &sessionId, const QByteArray &block, int audioStatus,
                             int *endpointStatus, int *recogStatus)
{
    QMutexLocker lock(&m_mutex);
    *recogStatus = SPEECH_REC_INCOMPLETE;
    if (!isOpen(sessionId))
        return SpeechError::UnknownSession;
    Session &s = *m_session;
    *endpointStatus = s.endpoint.status();
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
    appendAudio(block);
    *endpointStatus = s.endpoint.status();
    if (audioStatus != SPEECH_AUDIO_LAST)
        return 0;

    s.lastWritten = true;
    const quint64 serial = m_serial;
    const QString language = s.language;
    QByteArray pcm = std::move(s.pcm);
    s.pcm = QByteArray();
    const QVector<qsizetype> cuts = s.cuts;
    // After the end of the last phrase there is nothing but quiet: nothing to decode.
    const qsizetype speechEnd = s.phrases.endCut() >= 0 ? s.phrases.endCut() : pcm.size();
    const QStringList words = m_userWords;
    const std::shared_ptr<std::atomic_bool> cancelled = s.cancelled;
    post([this, serial, language, pcm, cuts, speechEnd, words, cancelled] {
        QByteArray text;
        int code = 0;
        if (m_phrases && !*cancelled) {
            code = transcribePhrases(language, pcm, cuts, speechEnd, words, *cancelled, &text);
        } else if (!*cancelled) {
            QElapsedTimer timer;
            timer.start();
            code = m_transcriber->transcribe(language, pcm, words, *cancelled, &text);
            if (code == 0)
                qDebug().noquote() << QStringLiteral("speech: %1 s of audio recognized in %2 s")
                                          .arg(pcm.size() / 32000.0, 0, 'f', 2)
                                          .arg(timer.elapsed() / 1000.0, 0, 'f', 2);
        }
        QMutexLocker done(&m_mutex);
        if (!m_session || m_serial != serial)
            return; // the session was ended meanwhile
        m_session->done = true;
        m_session->error = code;
        m_session->text = text;
        m_changed.wakeAll();
    });
    return 0;
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
