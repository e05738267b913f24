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
