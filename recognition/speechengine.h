#pragma once

#include <QByteArray>
#include <QThread>


// What the speech SDK's seven operations are forwarded to. The SDK keeps one engine
// for the whole run (models stay loaded between utterances), serialises the calls and
// keeps the strings it hands back alive; the engine does the work. Every call returns
// quickly: engines that need time do it in a worker thread of their own.
//
// Null pointers arrive as null QByteArrays (isNull()), so an engine can tell a
// missing argument from an empty one.
class SpeechEngine
{
public:
    virtual ~SpeechEngine() = default;

    virtual int login(const QByteArray &user, const QByteArray &password,
                      const QByteArray &params) = 0;
    virtual int uploadData(const QByteArray &dataName, const QByteArray &data,
                           const QByteArray &params) = 0;
    // Returns the new session's id; *errorCode is 0 on success.
    virtual QByteArray beginSession(const QByteArray &grammarList, const QByteArray &params,
                                    int *errorCode) = 0;
    virtual int writeAudio(const QByteArray &sessionId, const QByteArray &block, int audioStatus,
                           int *endpointStatus, int *recogStatus) = 0;
    // Returns the new text fragment, or a null QByteArray when nothing new is ready.
    virtual QByteArray getResult(const QByteArray &sessionId, int *recogStatus, int waitTime,
                                 int *errorCode) = 0;
    virtual int endSession(const QByteArray &sessionId, const QByteArray &hints) = 0;
    virtual int logout() = 0;

    // The pause between result queries: returns after pauseMs, or as soon as the
    // session's result (or its failure) is there to fetch. The SDK calls it without
    // holding its lock, so it may run beside the other calls. Engines that cannot
    // tell simply pause.
    virtual void awaitResult(const QByteArray &sessionId, int pauseMs)
    {
        Q_UNUSED(sessionId)
        QThread::msleep(ulong(qMax(0, pauseMs)));
    }

    // Starts loading what a session with these parameters needs, without waiting. The
    // audio heard next (listen) is in the language these parameters name.
    virtual void preload(const QByteArray &params) { Q_UNUSED(params) }

    // Audio of the utterance being recorded, as the microphone delivers it (samples
    // without a header), while the button is still held; SPEECH_AUDIO_FIRST starts a new
    // utterance. An engine may start on it, ahead of the session that is given the same
    // audio after the release; one that cannot, ignores it.
    virtual void listen(const QByteArray &samples, int audioStatus)
    {
        Q_UNUSED(samples)
        Q_UNUSED(audioStatus)
    }

    // Pause the caller should leave between audio blocks (0: the engine takes the whole
    // utterance at once) and how long it should poll for the final result.
    virtual int blockPauseMs() const = 0;
    virtual int resultTimeoutMs() const = 0;
};
