#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>

// A recognizer of whole utterances behind the worker engine. checkLanguage runs on the
// caller's thread; everything else runs on the engine's worker thread, which also
// creates and destroys the transcriber's own objects there.
// Every non-zero return is a SpeechError code, and the transcriber has logged why.
class Transcriber
{
public:
    virtual ~Transcriber() = default;

    // Whether this language (see speechLanguageName) can be recognized at all.
    virtual int checkLanguage(const QString &language) const = 0;
    // Loads what the language needs; what is loaded stays loaded.
    virtual int prepare(const QString &language) = 0;
    // 16 kHz, 16-bit, mono little-endian PCM of one utterance -> UTF-8 text.
    // A transcriber that waits should give up soon after cancelled becomes true.
    virtual int transcribe(const QString &language, const QByteArray &pcm,
                           const QStringList &userWords, const std::atomic_bool &cancelled,
                           QByteArray *text) = 0;

    // Whether an utterance may be transcribed phrase by phrase, cut in its pauses (see
    // PhraseSplitter), with the texts joined: then the phrases that end while the user
    // is still speaking are transcribed meanwhile. A service that is paid or waited on
    // per request takes the utterance whole.
    virtual bool transcribesPhrases() const { return false; }
};
