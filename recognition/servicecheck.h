#pragma once

#include "recognition/speechconfig.h"

#include <QByteArray>
#include <QString>

#include <atomic>

// A try of a speech or translation service as the settings page has set it, before
// it is saved: a short recording shipped with Ferrule goes through the engine as a
// recognition session sends it, a fixed sentence through the translation service.
// Both block until done or timed out: call them in a worker thread.
namespace ServiceCheck {

struct Outcome
{
    bool ok = false;
    QString text;    // what was recognized or translated
    QString problem; // when not ok: a few Chinese words saying which failure it was
    QString logLine; // when not ok: the log line that says what went wrong
};

// The recording of a language ("mandarin", "cantonese", "english"): a 16 kHz mono WAV.
QByteArray recording(const QString &language);
// What is said in that recording.
QString recordingWords(const QString &language);
// What the translation check asks to have translated (from Mandarin into English).
QString translationSample();

// workDir resolves the login string as speech.ini's folder does for the SDK.
Outcome speech(const SpeechConfig &config, const QString &language, const QString &workDir,
               const std::atomic_bool &cancelled);
Outcome translation(const TranslationSettings &settings, const QString &settingsPath);

} // namespace ServiceCheck
