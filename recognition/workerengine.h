#pragma once

#include "recognition/endpointdetector.h"
#include "recognition/phrasesplitter.h"
#include "recognition/speechengine.h"
#include "recognition/transcriber.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>

// An engine that takes the whole utterance at once: audio writes only collect the
// blocks (and listen for the end of speech), the last write hands the utterance to
// the transcriber in the engine's own worker thread, and result queries return the
// text once it is there. One session at a time; a new session ends the old one.
//
// A transcriber that takes phrases is given the utterance cut in its pauses
// (PhraseSplitter), phrase by phrase, and the texts are joined. The phrases of the
// audio heard while the button is held (listen) are transcribed as soon as they end;
// after the release the session finds them among its own phrases, by their audio, and
// transcribes only the rest. The text is the same as without listening, only sooner.
class WorkerEngine : public SpeechEngine
{
public:
    struct Settings
    {
        int resultTimeoutMs = 20000;
        int endSilenceMs = 2000;
        qsizetype maxAudioBytes = 16000 * 2 * 600; // ten minutes
    };
    WorkerEngine(std::unique_ptr<Transcriber> transcriber, const Settings &settings);
    ~WorkerEngine() override;

    int login(const QByteArray &user, const QByteArray &password,
              const QByteArray &params) override;
    int uploadData(const QByteArray &dataName, const QByteArray &data,
                   const QByteArray &params) override;
    QByteArray beginSession(const QByteArray &grammarList, const QByteArray &params,
                            int *errorCode) override;
    int writeAudio(const QByteArray &sessionId, const QByteArray &block, int audioStatus,
                   int *endpointStatus, int *recogStatus) override;
    QByteArray getResult(const QByteArray &sessionId, int *recogStatus, int waitTime,
                         int *errorCode) override;
    int endSession(const QByteArray &sessionId, const QByteArray &hints) override;
    void awaitResult(const QByteArray &sessionId, int pauseMs) override;
    int logout() override;
    void preload(const QByteArray &params) override;
    void listen(const QByteArray &samples, int audioStatus) override;
    int blockPauseMs() const override { return 0; }
    int resultTimeoutMs() const override { return m_settings.resultTimeoutMs; }

    // How many user words an utterance takes. More only slow it down: the embedded
    // engine looks every word up in its dictionaries, a remote service reads the
    // first few hundred tokens of its prompt at most. A longer list is cut.
    static constexpr int maxUserWords = 1000;
    static constexpr int maxUserWordLength = 64;           // characters
    static constexpr qsizetype maxUserWordBytes = 1 << 20; // the part of the list read

    struct UserWords
    {
        QStringList words;
        QString leftOut; // what the bounds above left out, for the log; empty if nothing
    };
    // The words of a user word list: a JSON {"userword":[{"words":[...]}]} or plain
    // words separated by lines or commas, within the bounds above.
    static UserWords parseUserWords(const QByteArray &data);

private:
    struct Session;
    struct Listening;
    struct HeardPhrase;
    void post(std::function<void()> job);
    bool isOpen(const QByteArray &sessionId) const;
    void appendAudio(const QByteArray &block);
    // In the worker thread.
    void transcribeHeardPhrase(quint64 utterance, const QString &language, qsizetype start,
                               const QByteArray &pcm, const QStringList &words);
    // The phrases of pcm up to speechEnd, which end at cuts.
    int transcribePhrases(const QString &language, const QByteArray &pcm,
                          const QVector<qsizetype> &cuts, qsizetype speechEnd,
                          const QStringList &words, const std::atomic_bool &cancelled,
                          QByteArray *text);

    std::unique_ptr<Transcriber> m_transcriber; // used and destroyed in the worker thread only
    const Settings m_settings;
    const bool m_phrases; // the transcriber takes phrases
    QThread m_thread;
    QObject *m_context = nullptr; // lives in m_thread; jobs run as its queued calls

    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    QStringList m_userWords;
    quint64 m_serial = 0;
    std::unique_ptr<Session> m_session;
    QString m_listenLanguage;               // of the audio heard next
    quint64 m_utterance = 0;                // utterances heard so far
    std::unique_ptr<Listening> m_listening; // the one being heard, while the button is held

    // Worker thread only: what was transcribed while the button was held, of which
    // utterance, and the processor time it took (wasted guesses at the last phrase too).
    QList<HeardPhrase> m_heard;
    quint64 m_heardUtterance = 0;
    double m_heardCpuSeconds = 0;
};
