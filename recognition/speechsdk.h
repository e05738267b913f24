#pragma once

// The speech SDK: seven plain operations over the engine chosen in speech.ini.
// Strings are NUL-terminated byte strings; every error code is an int, 0 meaning success.

// Audio status passed with RecogAudioWrite.
constexpr int SPEECH_AUDIO_FIRST = 1;
constexpr int SPEECH_AUDIO_CONTINUE = 2;
constexpr int SPEECH_AUDIO_LAST = 4;
// Endpoint status stored by RecogAudioWrite: the engine has heard the end of speech.
constexpr int SPEECH_EP_AFTER_SPEECH = 3;
// Recognition status: 0 a (partial) result is ready to fetch, 5 recognition complete.
constexpr int SPEECH_REC_RESULT_READY = 0;
constexpr int SPEECH_REC_COMPLETE = 5;
// Further values an engine reports: still listening / hearing speech, and nothing new yet.
constexpr int SPEECH_EP_LOOKING_FOR_SPEECH = 0;
constexpr int SPEECH_EP_IN_SPEECH = 1;
constexpr int SPEECH_REC_INCOMPLETE = 2;

constexpr int SPEECH_SUCCESS = 0;

int SpeechLogin(const char *user, const char *password, const char *params);
const char *SpeechUploadData(const char *dataName, const void *data, unsigned int dataLen,
                             const char *params, int *errorCode);
const char *RecogSessionBegin(const char *grammarList, const char *params, int *errorCode);
int RecogAudioWrite(const char *sessionId, const void *waveData, unsigned int waveLen,
                    int audioStatus, int *endpointStatus, int *recogStatus);
const char *RecogGetResult(const char *sessionId, int *recogStatus, int waitTime, int *errorCode);
int RecogSessionEnd(const char *sessionId, const char *hints);
int SpeechLogout();

// The pause between result queries: returns after pauseMs, or as soon as the session's
// result can be fetched, so a result that is ready does not wait for the pause to end.
void SpeechAwaitResult(const char *sessionId, int pauseMs);

// What the recognition session needs to know of the engine behind the SDK
// (valid after SpeechLogin):
// the pause between audio blocks in ms (0 for engines that take the whole utterance),
int SpeechBlockPauseMs();
// how long to poll for the final result before giving up, in ms (speech.ini, default 20 s),
int SpeechResultTimeoutMs();
// and, for an error code, a few Chinese words the user can act on (empty when the
// code needs no prompt), e.g. "未安装该语言的语音模型" or "语音服务无法连接".
const char *SpeechErrorPrompt(int errorCode);

// Loads, in the background, what recognition with these parameters will need (the
// language's model), so the first utterance does not wait for it. Returns at once;
// a failure is logged and met again at the session begin.
void SpeechPreload(const char *loginParams, const char *recognitionParams);

// The utterance being recorded, while the button is still held: 16 kHz 16-bit mono
// samples (no header) as the microphone delivers them, SPEECH_AUDIO_FIRST with the first
// block of an utterance, SPEECH_AUDIO_CONTINUE after it; in the language of the last
// SpeechPreload. The engine may recognize what it can of it ahead of the recognition
// session that is given the same audio after the release, so that the session ends
// sooner; its text is the same either way. Returns at once.
void SpeechListen(const void *samples, unsigned int length, int audioStatus);
