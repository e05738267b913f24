#include "recognition/servicecheck.h"

#include "app/logtap.h"
#include "app/settingkeys.h"
#include "recognition/speechenginefactory.h"
#include "recognition/speecherror.h"
#include "recognition/speechparams.h"
#include "recognition/speechsdk.h"
#include "recognition/translator.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>

namespace ServiceCheck {

namespace {
constexpr int pollPauseMs = 100;

// The strings a recognition session is begun with, so the check asks what the user's own
// sessions ask.
QByteArray sessionParams(const QString &language)
{
    if (language == QLatin1String("english"))
        return SpeechParams::ENG;
    if (language == QLatin1String("cantonese"))
        return SpeechParams::CAN;
    return SpeechParams::MAN;
}

Outcome failed(int code, const LogTap &tap)
{
    Outcome outcome;
    outcome.problem = QString::fromUtf8(SpeechErrorPrompt(code));
    outcome.logLine = tap.mainLine();
    if (outcome.logLine.isEmpty())
        outcome.logLine = QStringLiteral("speech: %1").arg(speechErrorDescription(code));
    return outcome;
}
} // namespace

QByteArray recording(const QString &language)
{
    QFile file(QStringLiteral(":/speech/%1.wav").arg(language));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString recordingWords(const QString &language)
{
    if (language == QLatin1String("english"))
        return QStringLiteral("open the calculator");
    if (language == QLatin1String("cantonese"))
        return QStringLiteral("今日天氣好好");
    return QStringLiteral("今天天气很好");
}

QString translationSample()
{
    return QStringLiteral("今天天气很好。");
}

Outcome speech(const SpeechConfig &config, const QString &language, const QString &workDir,
               const std::atomic_bool &cancelled)
{
    const LogTap tap({QStringLiteral("speech:")});
    const std::shared_ptr<SpeechEngine> engine = createSpeechEngine(config);
    int code = engine->login(QByteArray(), QByteArray(), "work_dir = " + workDir.toUtf8());
    if (code != 0)
        return failed(code, tap);
    const QByteArray id = engine->beginSession(QByteArray(), sessionParams(language), &code);
    if (code != 0) {
        engine->logout();
        return failed(code, tap);
    }
    int endpoint = 0;
    int status = SPEECH_REC_INCOMPLETE;
    code = engine->writeAudio(id, recording(language), SPEECH_AUDIO_FIRST, &endpoint, &status);
    if (code == 0)
        code = engine->writeAudio(id, QByteArray(), SPEECH_AUDIO_LAST, &endpoint, &status);
    QByteArray text;
    QElapsedTimer waited;
    waited.start();
    while (code == 0 && status != SPEECH_REC_COMPLETE) {
        const QByteArray fragment = engine->getResult(id, &status, 0, &code);
        text += fragment;
        if (code != 0 || status == SPEECH_REC_COMPLETE)
            break;
        if (cancelled)
            break;
        if (waited.elapsed() > engine->resultTimeoutMs()) {
            code = SpeechError::ServerTimeout;
            qWarning().noquote() << QStringLiteral("speech: no result within %1 s (result_timeout)")
                                        .arg(engine->resultTimeoutMs() / 1000.0);
            break;
        }
        engine->awaitResult(id, pollPauseMs);
    }
    engine->endSession(id, QByteArray());
    engine->logout();
    if (code != 0)
        return failed(code, tap);
    Outcome outcome;
    outcome.ok = !cancelled;
    outcome.text = QString::fromUtf8(text).trimmed();
    return outcome;
}

Outcome translation(const TranslationSettings &settings, const QString &settingsPath)
{
    const LogTap tap({QStringLiteral("translation:")});
    const Translator::Result result =
        Translator(settings, settingsPath).translate(translationSample(), Mandarin, English);
    Outcome outcome;
    outcome.ok = result.outcome == Translator::Outcome::Translated;
    outcome.text = result.text;
    if (!outcome.ok) {
        outcome.problem = Translator::prompt(result.outcome);
        outcome.logLine = tap.mainLine();
    }
    return outcome;
}

} // namespace ServiceCheck
