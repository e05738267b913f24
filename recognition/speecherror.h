#pragma once

#include <QString>

// Error codes of the speech SDK besides 0 (success). Each failing engine writes a log
// line with the details (which file, which server, how long it waited); these texts
// say what a code means in general.
namespace SpeechError {
constexpr int NotLoggedIn = 21001;       // an operation before SpeechLogin
constexpr int InvalidArgument = 21002;   // null pointer, bad status value, wrong order
constexpr int UnknownSession = 21003;    // the session id is not the open session's
constexpr int BadSettings = 21004;       // speech.ini unreadable or invalid
constexpr int NoModel = 21005;           // no model configured for the language
constexpr int ModelLoadFailed = 21006;   // model files missing or unusable
constexpr int DecodeFailed = 21007;      // the recognizer failed on the audio
constexpr int ServerUnreachable = 21010; // connection refused, unknown host, network down
constexpr int ServerTimeout = 21011;     // connect or total time-out of the remote service
constexpr int ServerRejected = 21012;    // HTTP error status
constexpr int BadReply = 21013;          // reply is not JSON with a "text" string
constexpr int TooMuchAudio = 21014;      // the utterance exceeds what one session holds
} // namespace SpeechError

// A short English description of an error code for log lines.
QString speechErrorDescription(int errorCode);
