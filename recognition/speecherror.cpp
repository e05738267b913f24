#include "recognition/speecherror.h"

QString speechErrorDescription(int errorCode)
{
    switch (errorCode) {
    case 0:
        return QStringLiteral("success");
    case SpeechError::NotLoggedIn:
        return QStringLiteral("not logged in to the speech SDK");
    case SpeechError::InvalidArgument:
        return QStringLiteral("invalid argument or call out of order");
    case SpeechError::UnknownSession:
        return QStringLiteral("no such recognition session");
    case SpeechError::BadSettings:
        return QStringLiteral("speech.ini is unreadable or wrong; see the line above");
    case SpeechError::NoModel:
        return QStringLiteral(
            "no speech model is configured for this language; add one to speech.ini "
            "or switch the recognition language to English");
    case SpeechError::ModelLoadFailed:
        return QStringLiteral(
            "the speech model could not be loaded; check the paths in speech.ini");
    case SpeechError::DecodeFailed:
        return QStringLiteral("the recognizer failed on this audio");
    case SpeechError::ServerUnreachable:
        return QStringLiteral(
            "cannot connect to the speech server; check url in speech.ini and that "
            "the server runs");
    case SpeechError::ServerTimeout:
        return QStringLiteral("the speech server did not answer in time");
    case SpeechError::ServerRejected:
        return QStringLiteral(
            "the speech server refused the request; check model and api_key in speech.ini");
    case SpeechError::BadReply:
        return QStringLiteral("the speech server's reply has no text");
    case SpeechError::TooMuchAudio:
        return QStringLiteral("the utterance is too long");
    default:
        return QStringLiteral("speech engine error");
    }
}
