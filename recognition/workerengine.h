#pragma once

#include "recognition/endpointdetector.h"
#include "recognition/listenedutterance.h"
#include "recognition/phrasesplitter.h"
#include "recognition/phrasetranscriber.h"
#include "recognition/speechengine.h"
#include "recognition/transcriber.h"
#include "recognition/userwordlist.h"

#include <QByteArray>
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
// (PhraseSplitter), phrase by phrase, and the texts are joined; the phrases of the
// audio heard while the button is held (listen) are transcribed meanwhile
// (PhraseTranscriber).
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

private:
    struct Session;
    struct Utterance;
    void post(std::function<void()> job);
    bool isOpen(const QByteArray &sessionId) const;
    // The error of a write the session cannot take, after its log line; 0 when it can.
    int refusedWrite(const Session &s, const QByteArray &block, int audioStatus) const;
    void appendAudio(const QByteArray &block);
    // After the last block: the utterance goes to the worker thread, its text to the session.
    void transcribeLater(Session &s);
    // In the worker thread.
    void transcribeHeardPhrase(quint64 utterance, const QString &language, qsizetype start,
                               const QByteArray &pcm, const QStringList &words);
    int transcribeUtterance(const Utterance &utterance, QByteArray *text);

    std::unique_ptr<Transcriber> m_transcriber; // used and destroyed in the worker thread only
    PhraseTranscriber m_phraseTranscriber;      // worker thread only
    const Settings m_settings;
    const bool m_phrases; // the transcriber takes phrases
    QThread m_thread;
    QObject *m_context = nullptr; // lives in m_thread; jobs run as its queued calls

    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    QStringList m_userWords;
    quint64 m_serial = 0;
    std::unique_ptr<Session> m_session;
    QString m_listenLanguage;                       // of the audio heard next
    quint64 m_utterance = 0;                        // utterances heard so far
    std::unique_ptr<ListenedUtterance> m_listening; // the one being heard, while the button is held
};
