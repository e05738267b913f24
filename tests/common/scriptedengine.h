#pragma once

// A speech engine for tests: it answers every SDK call as its script says and
// records each call with its arguments.
//
//   auto engine = std::make_shared<ScriptedEngine>();
//   engine->writeReplies = {{0, 0, SPEECH_REC_INCOMPLETE},          // 1st RecogAudioWrite
//                           {0, SPEECH_EP_AFTER_SPEECH, SPEECH_REC_RESULT_READY}};
//   engine->resultReplies = {{0, SPEECH_REC_RESULT_READY, "go forward "},
//                            {0, SPEECH_REC_COMPLETE, "ten meters"}};
//   engine->resultTimeout = 300;   // what SpeechResultTimeoutMs() reports
//   useScriptedEngine(engine);
//   ... run the code under test (SpeechLogin ... SpeechLogout) ...
//   useScriptedEngine(nullptr);
//   engine->calls: every call in order (op, session id, params, audio block, status ...).
//   engine->pauses: every pause between result queries (SpeechAwaitResult).
//
// Replies are used up in order, one per call of their kind (the final empty write with
// status 4 is a write like any other); when a list is used up, the default reply
// answers. Defaults: every call succeeds, a write reports endpoint 0 and recognition
// status 2 (nothing ready), a result query reports 5 (complete) with no text.
// A failing query: {errorCode, status, {}}; a write that fails: {code, 0, 0}.
// A result that never completes: defaultResult = {0, SPEECH_REC_INCOMPLETE, {}}.
// Login, upload and session begin fail with loginError, uploadError, beginError.
//
// The engine checks nothing: calls with a null or unknown session id are recorded
// and answered by the script like any other.

#include "recognition/speechengine.h"
#include "recognition/speechenginefactory.h"
#include "recognition/speechsdk.h"

#include <QByteArray>
#include <QList>
#include <QMutex>

class ScriptedEngine : public SpeechEngine
{
public:
    enum Op
    {
        Login,
        Upload,
        Begin,
        Write,
        GetResult,
        End,
        Logout
    };

    struct Call
    {
        Op op;
        QByteArray sessionId; // Write, GetResult, End (null when the caller passed null)
        QByteArray params;    // Login, Upload, Begin: parameter string; End: hints
        QByteArray name;      // Upload: data name; Login: user; Begin: grammar list
        QByteArray data;      // Upload: the bytes; Write: the audio block (null for null)
        int audioStatus = 0;  // Write
        int waitTime = 0;     // GetResult
    };
    struct WriteReply
    {
        int returnCode = 0;
        int endpointStatus = 0;
        int recogStatus = SPEECH_REC_INCOMPLETE;
    };
    struct ResultReply
    {
        int errorCode = 0;
        int recogStatus = SPEECH_REC_COMPLETE;
        QByteArray fragment; // null: nothing new
    };

    // The script; set it before the code under test runs.
    int loginError = 0;
    int uploadError = 0;
    int beginError = 0;
    QByteArray sessionId = "scripted-session";
    QList<WriteReply> writeReplies;
    WriteReply defaultWrite;
    QList<ResultReply> resultReplies;
    ResultReply defaultResult;
    int blockPause = 0;
    int resultTimeout = 20000;

    // What happened.
    QList<Call> calls;
    QList<Call> callsOf(Op op) const;
    QList<QPair<QByteArray, int>> pauses; // session id and length of each result pause

    // The calls that only note what they were given and answer from the script.
    int login(const QByteArray &user, const QByteArray &, const QByteArray &params) override
    {
        calls.append(Call{Login, {}, params, user, {}});
        return loginError;
    }
    int uploadData(const QByteArray &dataName, const QByteArray &data,
                   const QByteArray &params) override
    {
        calls.append(Call{Upload, {}, params, dataName, data});
        return uploadError;
    }
    QByteArray beginSession(const QByteArray &grammarList, const QByteArray &params,
                            int *errorCode) override
    {
        calls.append(Call{Begin, {}, params, grammarList, {}});
        if (errorCode)
            *errorCode = beginError;
        return beginError == 0 ? sessionId : QByteArray();
    }

    // The calls that take the next reply of their list.
    int writeAudio(const QByteArray &sessionId, const QByteArray &block, int audioStatus,
                   int *endpointStatus, int *recogStatus) override;
    QByteArray getResult(const QByteArray &sessionId, int *recogStatus, int waitTime,
                         int *errorCode) override;

    int endSession(const QByteArray &session, const QByteArray &hints) override
    {
        calls.append(Call{End, session, hints, {}, {}});
        return 0;
    }
    int logout() override
    {
        calls.append(Call{Logout, {}, {}, {}, {}});
        return 0;
    }
    // Pauses like any engine that cannot tell when a result comes, and notes each pause.
    void awaitResult(const QByteArray &session, int pauseMs) override
    {
        pauses.append({session, pauseMs});
        SpeechEngine::awaitResult(session, pauseMs);
    }
    int blockPauseMs() const override { return blockPause; }
    int resultTimeoutMs() const override { return resultTimeout; }
};

// Has the SDK make engine for every login from the next SpeechLogin on; nullptr gives
// it back the engines that speech.ini asks for.
inline void useScriptedEngine(const std::shared_ptr<ScriptedEngine> &engine)
{
    if (!engine) {
        setSpeechEngineFactory(nullptr);
        return;
    }
    setSpeechEngineFactory([engine](const SpeechConfig &) { return engine; });
}
