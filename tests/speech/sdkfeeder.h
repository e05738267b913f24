#pragma once

// Drives the speech SDK the way a recognition session does: login, the audio file in
// 6400-byte blocks (the last one up to 12799 bytes) with statuses 1 and 2, an early
// stop at the end of speech, the empty last write with status 4, polling for the
// result until it is complete or SpeechResultTimeoutMs() runs out, session end, logout.

#include "recognition/speechsdk.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QThread>

struct SdkRun
{
    int error = 0; // first failing code, 0 when recognition completed
    const char *failedCall = nullptr;
    bool timedOut = false;
    QByteArray text;
    int blocksWritten = 0;
    bool stoppedAtEndOfSpeech = false;
};

// A user word list uploaded in a session of its own; the engine keeps it for the next.
inline void uploadWordsThroughSdk(const QByteArray &login, const QByteArray &words)
{
    SpeechLogin(nullptr, nullptr, login.constData());
    int error = 0;
    SpeechUploadData("userwords", words.constData(), unsigned(words.size()),
                     "sub = uup, dtt = userword", &error);
    SpeechLogout();
}

inline SdkRun recognizeThroughSdk(const QByteArray &audio, const char *recognitionParams,
                                  int pollMs = 150,
                                  const char *loginParams = "appid = 4d7c2a19, work_dir = .")
{
    SdkRun run;
    auto fail = [&run](const char *call, int code) {
        if (run.error == 0) {
            run.error = code;
            run.failedCall = call;
        }
    };
    const int login = SpeechLogin(nullptr, nullptr, loginParams);
    if (login != 0)
        fail("SpeechLogin", login);
    int error = 0;
    const char *session = RecogSessionBegin(nullptr, recognitionParams, &error);
    if (error != 0) {
        fail("RecogSessionBegin", error);
        RecogSessionEnd(session, "");
        SpeechLogout();
        return run;
    }
    int endpoint = 0;
    int recognition = 0;
    int offset = 0;
    int remaining = audio.size();
    bool ok = true;
    while (ok && remaining > 0) {
        const int block = remaining < 12800 ? remaining : 6400;
        const int status = offset == 0 ? SPEECH_AUDIO_FIRST : SPEECH_AUDIO_CONTINUE;
        const int code = RecogAudioWrite(session, audio.constData() + offset, unsigned(block),
                                         status, &endpoint, &recognition);
        if (code != 0) {
            fail("RecogAudioWrite", code);
            ok = false;
            break;
        }
        ++run.blocksWritten;
        offset += block;
        remaining -= block;
        if (recognition == SPEECH_REC_RESULT_READY) {
            const char *fragment = RecogGetResult(session, &recognition, 0, &error);
            if (error != 0) {
                fail("RecogGetResult", error);
                ok = false;
                break;
            }
            if (fragment)
                run.text += fragment;
        }
        if (endpoint == SPEECH_EP_AFTER_SPEECH) {
            run.stoppedAtEndOfSpeech = remaining > 0;
            break;
        }
        QThread::msleep(unsigned(SpeechBlockPauseMs()));
    }
    if (ok) {
        const int code =
            RecogAudioWrite(session, nullptr, 0, SPEECH_AUDIO_LAST, &endpoint, &recognition);
        if (code != 0) {
            fail("RecogAudioWrite", code);
            ok = false;
        }
    }
    QElapsedTimer polling;
    polling.start();
    while (ok && recognition != SPEECH_REC_COMPLETE) {
        if (polling.elapsed() > SpeechResultTimeoutMs()) {
            run.timedOut = true;
            ok = false;
            break;
        }
        const char *fragment = RecogGetResult(session, &recognition, 0, &error);
        if (error != 0) {
            fail("RecogGetResult", error);
            ok = false;
            break;
        }
        if (fragment)
            run.text += fragment;
        if (recognition != SPEECH_REC_COMPLETE)
            SpeechAwaitResult(session, pollMs);
    }
    RecogSessionEnd(session, "");
    SpeechLogout();
    return run;
}
