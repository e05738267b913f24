#include "common/scriptedengine.h"

QList<ScriptedEngine::Call> ScriptedEngine::callsOf(Op op) const
{
    QList<Call> result;
    for (const Call &call : calls) {
        if (call.op == op)
            result.append(call);
    }
    return result;
}

int ScriptedEngine::login(const QByteArray &user, const QByteArray &, const QByteArray &params)
{
    Call call{Login, {}, params, user, {}};
    calls.append(call);
    return loginError;
}

int ScriptedEngine::uploadData(const QByteArray &dataName, const QByteArray &data,
                               const QByteArray &params)
{
    calls.append(Call{Upload, {}, params, dataName, data});
    return uploadError;
}

QByteArray ScriptedEngine::beginSession(const QByteArray &grammarList, const QByteArray &params,
                                        int *errorCode)
{
    calls.append(Call{Begin, {}, params, grammarList, {}});
    if (errorCode)
        *errorCode = beginError;
    return beginError == 0 ? sessionId : QByteArray();
}

int ScriptedEngine::writeAudio(const QByteArray &session, const QByteArray &block, int audioStatus,
                               int *endpointStatus, int *recogStatus)
{
    Call call{Write, session, {}, {}, block};
    call.audioStatus = audioStatus;
    calls.append(call);
    const WriteReply reply = writeReplies.isEmpty() ? defaultWrite : writeReplies.takeFirst();
    if (endpointStatus)
        *endpointStatus = reply.endpointStatus;
    if (recogStatus)
        *recogStatus = reply.recogStatus;
    return reply.returnCode;
}

QByteArray ScriptedEngine::getResult(const QByteArray &session, int *recogStatus, int waitTime,
                                     int *errorCode)
{
    Call call{GetResult, session, {}, {}, {}};
    call.waitTime = waitTime;
    calls.append(call);
    const ResultReply reply = resultReplies.isEmpty() ? defaultResult : resultReplies.takeFirst();
    if (recogStatus)
        *recogStatus = reply.recogStatus;
    if (errorCode)
        *errorCode = reply.errorCode;
    return reply.fragment;
}

int ScriptedEngine::endSession(const QByteArray &session, const QByteArray &hints)
{
    calls.append(Call{End, session, hints, {}, {}});
    return 0;
}

int ScriptedEngine::logout()
{
    calls.append(Call{Logout, {}, {}, {}, {}});
    return 0;
}

void ScriptedEngine::awaitResult(const QByteArray &session, int pauseMs)
{
    pauses.append({session, pauseMs});
    SpeechEngine::awaitResult(session, pauseMs);
}
