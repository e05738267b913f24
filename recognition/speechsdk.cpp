#include "recognition/speechsdk.h"

#include "recognition/speechengine.h"
#include "recognition/speechenginefactory.h"
#include "recognition/speecherror.h"
#include "recognition/speechservice.h"

#include <QDebug>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <deque>

// The SDK's state: the engine that serves the calls, and the strings handed back to the
// caller, which must stay valid until the next call of the same kind.
namespace {
struct SdkState
{
    QMutex mutex;
    SpeechService service;
    // Ids handed out lately: a caller may still hold an older session's id when a
    // nested run began a new session, and passing it back must not read freed memory.
    std::deque<QByteArray> sessionIds;
    QByteArray uploadId;
    QByteArray fragment;
};

SdkState &state()
{
    static SdkState *sdk = new SdkState; // lives for the whole run, like the engine's models
    return *sdk;
}

// The most one call can pass: what a QByteArray holds.
constexpr unsigned int maxBytes = 0x7fffffffu - 64;

QByteArray bytes(const char *text)
{
    return text ? QByteArray(text) : QByteArray();
}

void logFailure(const char *operation, int code)
{
    if (code != 0)
        qWarning().noquote() << QStringLiteral("speech: %1 failed (code %2): %3")
                                    .arg(QLatin1String(operation))
                                    .arg(code)
                                    .arg(speechErrorDescription(code));
}
} // namespace

void setSpeechEngineFactory(SpeechEngineFactory factory)
{
    QMutexLocker lock(&state().mutex);
    state().service.setFactory(std::move(factory));
}

int SpeechLogin(const char *user, const char *password, const char *params)
{
    SdkState &sdk = state();
    QMutexLocker lock(&sdk.mutex);
    const int code = sdk.service.login(bytes(user), bytes(password), bytes(params));
    logFailure("SpeechLogin", code);
    return code;
}

const char *SpeechUploadData(const char *dataName, const void *data, unsigned int dataLen,
                             const char *params, int *errorCode)
{
    SdkState &sdk = state();
    QMutexLocker lock(&sdk.mutex);
    int code = SpeechError::InvalidArgument;
    if ((data || dataLen == 0) && dataLen <= maxBytes) {
        const QByteArray bytesOfData =
            data ? QByteArray(static_cast<const char *>(data), int(dataLen)) : QByteArray();
        code = sdk.service.engineCall([&](SpeechEngine &engine) {
            return engine.uploadData(bytes(dataName), bytesOfData, bytes(params));
        });
    }
    logFailure("SpeechUploadData", code);
    if (errorCode)
        *errorCode = code;
    sdk.uploadId = code == 0 ? QByteArray("userwords") : QByteArray();
    return code == 0 ? sdk.uploadId.constData() : nullptr;
}

const char *RecogSessionBegin(const char *grammarList, const char *params, int *errorCode)
{
    SdkState &sdk = state();
    QMutexLocker lock(&sdk.mutex);
    int code = 0;
    QByteArray id;
    code = sdk.service.engineCall([&](SpeechEngine &engine) {
        int result = 0;
        id = engine.beginSession(bytes(grammarList), bytes(params), &result);
        return result;
    });
    logFailure("RecogSessionBegin", code);
    if (errorCode)
        *errorCode = code;
    if (code != 0)
        return nullptr;
    sdk.sessionIds.push_back(id);
    if (sdk.sessionIds.size() > 32)
        sdk.sessionIds.pop_front();
    return sdk.sessionIds.back().constData();
}

int RecogAudioWrite(const char *sessionId, const void *waveData, unsigned int waveLen,
                    int audioStatus, int *endpointStatus, int *recogStatus)
{
    SdkState &sdk = state();
    QMutexLocker lock(&sdk.mutex);
    int endpoint = SPEECH_EP_LOOKING_FOR_SPEECH;
    int recognition = SPEECH_REC_INCOMPLETE;
    int code = SpeechError::InvalidArgument;
    if ((waveData || waveLen == 0) && waveLen <= maxBytes) {
        const QByteArray block =
            waveData ? QByteArray(static_cast<const char *>(waveData), int(waveLen)) : QByteArray();
        code = sdk.service.engineCall([&](SpeechEngine &engine) {
            return engine.writeAudio(bytes(sessionId), block, audioStatus, &endpoint, &recognition);
        });
    }
    logFailure("RecogAudioWrite", code);
    if (endpointStatus)
        *endpointStatus = endpoint;
    if (recogStatus)
        *recogStatus = recognition;
    return code;
}

const char *RecogGetResult(const char *sessionId, int *recogStatus, int waitTime, int *errorCode)
{
    SdkState &sdk = state();
    QMutexLocker lock(&sdk.mutex);
    int recognition = SPEECH_REC_INCOMPLETE;
    sdk.fragment = QByteArray();
    const int code = sdk.service.engineCall([&](SpeechEngine &engine) {
        int result = 0;
        sdk.fragment = engine.getResult(bytes(sessionId), &recognition, waitTime, &result);
        return result;
    });
    logFailure("RecogGetResult", code);
    // The fragment goes on as a C string, which a NUL would end: a NUL that a
    // service sent is a control character like any other, a blank.
    if (sdk.fragment.contains('\0'))
        sdk.fragment.replace('\0', ' ');
    if (recogStatus)
        *recogStatus = recognition;
    if (errorCode)
        *errorCode = code;
    return code == 0 && !sdk.fragment.isNull() ? sdk.fragment.constData() : nullptr;
}

int RecogSessionEnd(const char *sessionId, const char *hints)
{
    SdkState &sdk = state();
    QMutexLocker lock(&sdk.mutex);
    return sdk.service.engineCall(
        [&](SpeechEngine &engine) { return engine.endSession(bytes(sessionId), bytes(hints)); });
}

int SpeechLogout()
{
    SdkState &sdk = state();
    QMutexLocker lock(&sdk.mutex);
    return sdk.service.logout();
}

void SpeechAwaitResult(const char *sessionId, int pauseMs)
{
    if (pauseMs <= 0)
        return;
    std::shared_ptr<SpeechEngine> engine;
    {
        SdkState &sdk = state();
        QMutexLocker lock(&sdk.mutex);
        engine = sdk.service.activeEngine();
    }
    // Without the lock: the engine's worker must be able to deliver while we wait.
    if (engine)
        engine->awaitResult(bytes(sessionId), pauseMs);
    else
        QThread::msleep(ulong(pauseMs)); // nothing will come, but the caller still pauses
}

void SpeechPreload(const char *loginParams, const char *recognitionParams)
{
    SdkState &sdk = state();
    QMutexLocker lock(&sdk.mutex);
    sdk.service.preload(bytes(loginParams), bytes(recognitionParams));
}

void SpeechListen(const void *samples, unsigned int length, int audioStatus)
{
    if ((!samples && length > 0) || length > maxBytes)
        return;
    SdkState &sdk = state();
    QMutexLocker lock(&sdk.mutex);
    sdk.service.listen(QByteArray(static_cast<const char *>(samples), int(length)), audioStatus);
}

int SpeechBlockPauseMs()
{
    SdkState &sdk = state();
    QMutexLocker lock(&sdk.mutex);
    return sdk.service.blockPauseMs();
}

int SpeechResultTimeoutMs()
{
    SdkState &sdk = state();
    QMutexLocker lock(&sdk.mutex);
    return sdk.service.resultTimeoutMs();
}

const char *SpeechErrorPrompt(int errorCode)
{
    switch (errorCode) {
    case 0:
        return "";
    case SpeechError::NoModel:
    case SpeechError::ModelLoadFailed:
        return "未安装该语言的语音模型";
    case SpeechError::BadSettings:
        return "语音设置文件有误";
    case SpeechError::ServerUnreachable:
        return "语音服务无法连接";
    case SpeechError::ServerTimeout:
        return "语音服务没有响应";
    case SpeechError::ServerRejected:
        return "语音服务拒绝了请求";
    case SpeechError::BadReply:
        return "语音服务回复有误";
    case SpeechError::TooMuchAudio:
        return "说话时间太长";
    default:
        return "语音识别出错";
    }
}
