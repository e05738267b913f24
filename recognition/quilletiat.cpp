#include "recognition/quilletiat.h"

#include "ui_quilletiat.h"

#include "actions/commandinterpreter.h"
#include "actions/typing.h"
#include "app/datafiles.h"
#include "app/logsafe.h"
#include "app/promptsink.h"
#include "app/settingkeys.h"
#include "app/settings.h"
#include "recognition/recognizedtext.h"
#include "recognition/speecherror.h"
#include "recognition/speechparams.h"
#include "recognition/speechsdk.h"
#include "recognition/translator.h"
#include "ui/speechsetupdialog.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QThread>

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>

namespace {

const char loginString[] = "appid = 4d7c2a19, work_dir = .";

using SpeechParams::CAN;
using SpeechParams::ENG;
using SpeechParams::MAN;

const char userWordsName[] = "userwords";
const char userWordsParams[] = "sub = uup, dtt = userword";

constexpr int hintBufferSize = 100;
// 200 ms of 16 kHz 16-bit mono audio.
constexpr unsigned int blockSize = 6400;
constexpr int pollPauseMs = 150;

// Closes a C stream when the transcription or the upload ends, on every path.
struct FileCloser
{
    void operator()(FILE *file) const { fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// The length of an open file found by seeking to its end and back; -1 when the
// stream cannot seek.
long fileLength(FILE *file)
{
    if (fseek(file, 0, SEEK_END) != 0)
        return -1;
    const long length = ftell(file);
    if (fseek(file, 0, SEEK_SET) != 0)
        return -1;
    return length;
}

// Language values 1 (English) and 2 (Cantonese) have strings of their own;
// the dialects 3 and 4 are recognized as Mandarin, when the mode offers them.
const char *paramsForLanguage(int language, bool dialects, const char *current)
{
    switch (language) {
    case English:
        return ENG;
    case Cantonese:
        return CAN;
    case Sichuanese:
    case Henanese:
        return dialects ? MAN : current;
    default:
        return current;
    }
}

} // namespace

const char *QuilletIat::sessionParamsFromSettings()
{
    // Three checks in a row: with several modes at 1, the last that picks a string wins.
    const char *params = MAN;
    SettingsMap &settings = *settingsMap();
    if (settings[SettingKey::TypingModel] == 1)
        params = paramsForLanguage(settings[SettingKey::TypingLanguage], true, params);
    if (settings[SettingKey::IntelligenceModel] == 1)
        params = paramsForLanguage(settings[SettingKey::IntelligenceLanguage], true, params);
    if (settings[SettingKey::TranslationModel] == 1)
        params = paramsForLanguage(settings[SettingKey::TranslationLanguage], false, params);
    return params;
}

void QuilletIat::preloadSpeechModel()
{
    SpeechPreload(loginString, sessionParamsFromSettings());
}

QuilletIat::QuilletIat(QWidget *parent)
    : QWidget(parent), ui(new Ui::QuilletIat), lastError(0), loginParams(loginString),
      sessionParams(MAN)
{
    ui->setupUi(this);

    loadWebSearchTable();

    sessionParams = sessionParamsFromSettings();

    lastError = SpeechLogin(nullptr, nullptr, loginParams);
    if (lastError != SPEECH_SUCCESS) {
        qDebug() << "SpeechLogin failed !";
        noteFailure(lastError);
    }

    lastError = uploadUserWords();
    if (lastError != 0)
        qDebug() << "UploadUserwords failed !";
    else
        qDebug() << "UploadUserwords successed !";

    transcribe(DataFiles::recordWav.latin1(), sessionParams);

    SpeechLogout();

    // The user holding the button would otherwise get no sign at all.
    if (!failurePrompt.isEmpty())
        showPrompt(failurePrompt);
    // Without a model and without an online service nothing the user says is
    // recognized until something changes: say what and how, once in the run.
    if (failureCode == SpeechError::NoModel || failureCode == SpeechError::ModelLoadFailed)
        SpeechSetupDialog::offerOnce();
}

QuilletIat::~QuilletIat()
{
    delete ui;
}

void QuilletIat::noteFailure(int errorCode)
{
    if (failurePrompt.isEmpty())
        failureCode = errorCode;
    if (const char *prompt = SpeechErrorPrompt(errorCode))
        notePrompt(QString::fromUtf8(prompt));
}

void QuilletIat::notePrompt(const QString &prompt)
{
    if (failurePrompt.isEmpty())
        failurePrompt = prompt;
}

int QuilletIat::uploadUserWords()
{
    int result = -1;
    FilePtr file(fopen(DataFiles::userWords.latin1(), "rb"));
    if (!file) {
        qDebug() << "Open userwords.txt failed !";
        return -1;
    }
    const long length = fileLength(file.get());
    // The SDK takes the length as an unsigned int; a longer list cannot be passed whole.
    std::unique_ptr<char[]> data;
    if (length >= 0 && static_cast<unsigned long>(length) < UINT_MAX)
        data.reset(new (std::nothrow) char[length + 1]);
    if (!data) {
        qDebug() << "Out of memory !";
        return -1;
    }
    if (fread(data.get(), 1, length, file.get()) != static_cast<size_t>(length)) {
        qDebug() << "Read userwords.txt fialed !";
        return -1;
    }
    data[length] = '\0';
    SpeechUploadData(userWordsName, data.get(), static_cast<unsigned int>(length), userWordsParams,
                     &result);
    if (result != SPEECH_SUCCESS)
        qDebug() << "SpeechUploadData failed !";
    return result;
}

void QuilletIat::transcribe(const char *path, const char *params)
{
    char hints[hintBufferSize];
    memset(hints, 0, sizeof hints);
    const char *sessionId = nullptr;
    // Every way out ends the session, with a null id when none began.
    if (path)
        recognizeFile(path, params, &sessionId);
    RecogSessionEnd(sessionId, hints);
}

void QuilletIat::recognizeFile(const char *path, const char *params, const char **sessionId)
{
    FilePtr file(fopen(path, "rb"));
    if (!file) {
        qDebug() << "open audioFile failed !n";
        return;
    }
    // A folder opens too, and then fails as a length no memory can hold.
    struct stat info = {};
    if (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        qDebug().noquote() << QStringLiteral("open audioFile failed: %1 is %2 !")
                                  .arg(QString::fromLocal8Bit(path),
                                       S_ISDIR(info.st_mode)
                                           ? QStringLiteral("a folder")
                                           : QStringLiteral("not a regular file"));
        return;
    }
    const long length = fileLength(file.get());
    std::unique_ptr<char[]> audio;
    if (length >= 0)
        audio.reset(new (std::nothrow) char[length > 0 ? length : 1]);
    if (!audio) {
        qDebug() << "out of memory !";
        return;
    }
    if (fread(audio.get(), 1, length, file.get()) != static_cast<size_t>(length)) {
        qDebug() << "read audioFile error!";
        return;
    }

    qDebug() << "Start Quillet Auto Transform ...";
    int errorCode = 0;
    *sessionId = RecogSessionBegin(nullptr, params, &errorCode);
    if (errorCode != SPEECH_SUCCESS) {
        qDebug() << "RecogSessionBegin failed !";
        noteFailure(errorCode);
        return;
    }

    ResultText text;
    int recogStatus = 0;
    if (!sendAudio(*sessionId, audio.get(), length, &text, &recogStatus))
        return;
    if (!awaitResult(*sessionId, &text, recogStatus))
        return;
    dispatch(text.buffer);
}

bool QuilletIat::sendAudio(const char *sessionId, const char *audio, long length, ResultText *text,
                           int *recogStatus)
{
    const int blockPauseMs = SpeechBlockPauseMs();
    int endpointStatus = 0;
    long offset = 0;
    long remaining = length;
    for (;;) {
        // The last block takes the rest: between 6400 and 12799 bytes, or the
        // whole of a shorter file.
        long size = blockSize;
        if (remaining < 2 * static_cast<long>(blockSize))
            size = remaining;
        if (size <= 0)
            break;
        const int audioStatus = offset == 0 ? SPEECH_AUDIO_FIRST : SPEECH_AUDIO_CONTINUE;
        const int written =
            RecogAudioWrite(sessionId, audio + offset, static_cast<unsigned int>(size), audioStatus,
                            &endpointStatus, recogStatus);
        if (written != SPEECH_SUCCESS) {
            qDebug() << "RecogAudioWrite failed !";
            noteFailure(written);
            return false;
        }
        offset += size;
        remaining -= size;
        if (*recogStatus == SPEECH_REC_RESULT_READY && !fetchResult(sessionId, text, recogStatus))
            return false;
        if (endpointStatus == SPEECH_EP_AFTER_SPEECH)
            break;
        if (blockPauseMs > 0)
            QThread::msleep(static_cast<unsigned long>(blockPauseMs));
    }

    const int written =
        RecogAudioWrite(sessionId, nullptr, 0, SPEECH_AUDIO_LAST, &endpointStatus, recogStatus);
    if (written != SPEECH_SUCCESS) {
        qDebug() << "RecogAudioWrite failed !";
        noteFailure(written);
        return false;
    }
    return true;
}

bool QuilletIat::awaitResult(const char *sessionId, ResultText *text, int recogStatus)
{
    // A service that never completes must not freeze the program for good.
    const int timeoutMs = SpeechResultTimeoutMs();
    QElapsedTimer polling;
    polling.start();
    while (recogStatus != SPEECH_REC_COMPLETE) {
        if (polling.elapsed() >= timeoutMs) {
            qDebug().noquote()
                << QStringLiteral("RecogGetResult timed out after %1 s !").arg(timeoutMs / 1000.0);
            return false;
        }
        if (!fetchResult(sessionId, text, &recogStatus))
            return false;
        // The pause only spaces the queries; none follows the last one, and it ends
        // as soon as the result is there.
        if (recogStatus != SPEECH_REC_COMPLETE)
            SpeechAwaitResult(sessionId, pollPauseMs);
    }
    return true;
}

bool QuilletIat::fetchResult(const char *sessionId, ResultText *text, int *recogStatus)
{
    int errorCode = 0;
    const char *fragment = RecogGetResult(sessionId, recogStatus, 0, &errorCode);
    if (errorCode != SPEECH_SUCCESS) {
        qDebug() << "RecogGetResult failed !";
        noteFailure(errorCode);
        return false;
    }
    if (!fragment)
        return true;
    const long fragmentLength = static_cast<long>(strlen(fragment));
    if (text->length + fragmentLength >= resultBufferSize) {
        qDebug() << "no enough buffer for rec_result !";
        // The length so far: the service may have had more to say.
        qWarning().noquote() << QStringLiteral(
                                    "recognition result too long to type: %1 bytes, at most %2 !")
                                    .arg(text->length + fragmentLength)
                                    .arg(resultBufferSize - 1);
        notePrompt(QStringLiteral("识别结果太长，无法输入"));
        return false;
    }
    // The buffer was zero-filled, so the text stays NUL-terminated.
    memcpy(text->buffer + text->length, fragment, static_cast<size_t>(fragmentLength));
    text->length += fragmentLength;
    return true;
}

void QuilletIat::dispatch(const char *recognized)
{
    // The one place where recognized text leaves the engine: typing, the
    // prompt, the commands, the translation and the log all read it joined.
    const QByteArray joined = withoutBlanksBetweenChinese(QString::fromUtf8(recognized)).toUtf8();
    const char *text = joined.constData();
    SettingsMap &settings = *settingsMap();
    if (settings[SettingKey::TypingModel] == 1)
        typeText(text);
    if (settings[SettingKey::IntelligenceModel] == 1)
        interpretCommand(text);
    if (settings[SettingKey::TranslationModel] == 1) {
        const Translator::Result translation = Translator::translateRecognized(
            text, loginParams, sessionParams, settings[SettingKey::TranslationResultLanguage]);
        if (translation.outcome == Translator::Outcome::Translated) {
            // A NUL in the service's reply would end the C string there: a blank instead.
            typeText(translation.text.toUtf8().replace('\0', ' ').constData());
        } else
            notePrompt(Translator::prompt(translation.outcome));
    }
    const QString rule(61, QLatin1Char('='));
    qDebug() << "Quillet Auto Transform end !";
    qDebug().noquote() << rule;
    qDebug().noquote() << logSafe(QByteArray(text));
    qDebug().noquote() << rule;
}

void QuilletIat::typeText(const char *utf8)
{
    ::typeText(utf8);
}

void QuilletIat::interpretCommand(const char *utf8)
{
    ::interpretCommand(utf8, webSearchTable);
}

void QuilletIat::loadWebSearchTable()
{
    ::loadWebSearchTable(&webSearchTable);
}
