// Word error rate of the packaged recordings (pocketsphinx-testdata) decoded three ways in
// one run: as the embedded engine does it, through the speech SDK as a recognition session
// feeds it (each recording cut into phrases at its pauses, each phrase decoded whole, the
// texts joined); each recording decoded whole in one piece; and decoded live, block by
// block as the microphone would deliver it while the user speaks. Both sets are spoken in
// sequence, cards then librivox, to decoders that stay loaded, so the live decoder carries
// its estimate of the cepstral mean from one utterance to the next, as it would in use;
// the first utterance starts from the acoustic model's initial mean.
//
// The live decoder's figures depend on what it heard before; lines without SUMMARY give
// them for the sets in other orders, and with the first utterance of each set decoded
// whole (so the estimate starts from that speaker's own mean).
//
// Lines without SUMMARY also compare phrases and whole decoding for pauses of several
// lengths, on each recording and on each set spoken as one long utterance (its recordings
// back to back), which is where the pause length chosen for the engine comes from.
//
//   SUMMARY wer cards=C librivox=L        the engine's decoding (phrases)
//   SUMMARY wer_whole cards=C librivox=L  whole-utterance decoding
//   SUMMARY wer_live cards=C librivox=L   live decoding with the engine's decoder settings
#include "speech/sdkfeeder.h"
#include "speech/testrecordings.h"

#include "recognition/modeldictionary.h"
#include "recognition/phrasesplitter.h"
#include "recognition/phrasetexts.h"
#include "recognition/speechconfig.h"
#include "recognition/speechparams.h"
#include "recognition/sphinxdecoder.h"

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {
using TestRecordings::Recording;

// What a capture delivers at a time: 100 ms of 16 kHz 16-bit mono.
constexpr int liveBlockSamples = 1600;

struct Score
{
    int errors = 0;
    int words = 0;
    double rate() const { return words > 0 ? double(errors) / words : -1; }
};

QByteArray samplesOf(const QByteArray &wav)
{
    return wav.startsWith("RIFF") ? wav.mid(44) : wav;
}

// The text of one recording decoded live; *finishSeconds gets the time from the last
// block to the text, what a user would wait after letting go.
QByteArray decodeLive(ps_decoder_t *ps, const QByteArray &pcm, double *finishSeconds)
{
    const auto *samples = reinterpret_cast<const int16 *>(pcm.constData());
    const size_t count = size_t(pcm.size() / 2);
    ps_start_utt(ps);
    for (size_t at = 0; at < count; at += liveBlockSamples)
        ps_process_raw(ps, samples + at, qMin<size_t>(liveBlockSamples, count - at), FALSE, FALSE);
    QElapsedTimer finish;
    finish.start();
    ps_end_utt(ps);
    int32 score = 0;
    const char *hyp = ps_get_hyp(ps, &score);
    *finishSeconds = finish.nsecsElapsed() / 1e9;
    return hyp ? QByteArray(hyp) : QByteArray();
}

QByteArray decodeWhole(ps_decoder_t *ps, const QByteArray &pcm)
{
    ps_start_utt(ps);
    ps_process_raw(ps, reinterpret_cast<const int16 *>(pcm.constData()), size_t(pcm.size() / 2),
                   FALSE, TRUE);
    ps_end_utt(ps);
    int32 score = 0;
    const char *hyp = ps_get_hyp(ps, &score);
    return hyp ? QByteArray(hyp) : QByteArray();
}

// Cut at the pauses the rules find, each phrase decoded whole, the texts joined.
QByteArray decodePhrases(ps_decoder_t *ps, const QByteArray &pcm,
                         const PhraseSplitter::Rules &rules, int *phrases)
{
    QVector<qsizetype> ends = PhraseSplitter::cuts(pcm, rules);
    ends.append(pcm.size());
    QList<QByteArray> texts;
    qsizetype start = 0;
    for (const qsizetype end : qAsConst(ends)) {
        if (end > start)
            texts.append(decodeWhole(ps, pcm.mid(int(start), int(end - start))));
        start = end;
    }
    *phrases = texts.size();
    return joinPhraseTexts(texts);
}

using Sets = QList<QPair<const char *, QList<Recording>>>;

// Whole against phrases for pauses of several lengths, on single recordings and on each
// set as one utterance.
void pauseStudy(const Sets &sets, ps_decoder_t *ps)
{
    for (const int pauseMs : {200, 300, 400, 500, 700, 1000}) {
        PhraseSplitter::Rules rules = PhraseSplitter::defaultRules;
        rules.pauseMs = pauseMs;
        QString line = QStringLiteral("phrases at pauses of %1 ms:").arg(pauseMs);
        for (const auto &set : sets) {
            Score single;
            Score joined;
            Score whole;
            int phrases = 0;
            int joinedPhrases = 0;
            QByteArray all;
            QString said;
            for (const Recording &recording : set.second) {
                const QByteArray pcm = samplesOf(recording.wav);
                int n = 0;
                single.errors +=
                    TestRecordings::wordErrors(recording.words, decodePhrases(ps, pcm, rules, &n));
                single.words += TestRecordings::words(recording.words).size();
                phrases += n;
                all += pcm;
                said += recording.words + QLatin1Char(' ');
            }
            joined.errors =
                TestRecordings::wordErrors(said, decodePhrases(ps, all, rules, &joinedPhrases));
            joined.words = whole.words = TestRecordings::words(said).size();
            whole.errors = TestRecordings::wordErrors(said, decodeWhole(ps, all));
            line += QStringLiteral(" %1 %2 (%3 phrases), as one utterance %4 (%5 phrases) "
                                   "against %6 whole;")
                        .arg(QLatin1String(set.first))
                        .arg(single.rate(), 0, 'f', 3)
                        .arg(phrases)
                        .arg(joined.rate(), 0, 'f', 3)
                        .arg(joinedPhrases)
                        .arg(whole.rate(), 0, 'f', 3);
        }
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    }
}

// Live decoding of the sets in the order given by a fresh decoder; with warmStart the
// first utterance of each set is decoded whole.
QMap<QString, Score> liveRun(const Sets &sets, const SpeechModelPaths &paths,
                             const ModelDictionary &dictionary, bool warmStart)
{
    QMap<QString, Score> scores;
    ps_decoder_t *ps = openSphinxDecoder(paths, dictionary);
    if (!ps)
        return scores;
    for (const auto &set : sets) {
        for (const Recording &recording : set.second) {
            double finish = 0;
            const QByteArray pcm = samplesOf(recording.wav);
            const QByteArray heard = warmStart && &recording == &set.second.first()
                                         ? decodeWhole(ps, pcm)
                                         : decodeLive(ps, pcm, &finish);
            scores[set.first].errors += TestRecordings::wordErrors(recording.words, heard);
            scores[set.first].words += TestRecordings::words(recording.words).size();
        }
    }
    ps_free(ps);
    return scores;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    err_set_logfp(nullptr);
    QTemporaryDir work;
    QDir::setCurrent(work.path()); // no speech.ini: the embedded engine, default models

    const Sets sets{{"cards", TestRecordings::cards()}, {"librivox", TestRecordings::librivox()}};
    for (const auto &set : sets) {
        if (set.second.isEmpty()) {
            std::fprintf(stderr, "the %s recordings are missing (package pocketsphinx-testdata)\n",
                         set.first);
            return 1;
        }
    }

    SpeechConfig config;
    QString error;
    SpeechConfig::load(work.path(), &config, &error);
    const SpeechModelPaths english = config.models.value(QStringLiteral("english"));
    const ModelDictionary dictionary(english.dictionary, english.languageModel);
    ps_decoder_t *live = openSphinxDecoder(english, dictionary);
    ps_decoder_t *wholeDecoder = openSphinxDecoder(english, dictionary);
    if (!live || !wholeDecoder) {
        std::fprintf(stderr, "the English model does not load (package pocketsphinx-en-us)\n");
        return 1;
    }

    QMap<QString, Score> engine;
    QMap<QString, Score> whole;
    QMap<QString, Score> liveScore;
    double slowestFinish = 0;
    double audioSeconds = 0;
    for (const auto &set : sets) {
        for (const Recording &recording : set.second) {
            const SdkRun run = recognizeThroughSdk(recording.wav, SpeechParams::ENG, 5);
            double finish = 0;
            const QByteArray heardLive = decodeLive(live, samplesOf(recording.wav), &finish);
            slowestFinish = qMax(slowestFinish, finish);
            audioSeconds += samplesOf(recording.wav).size() / 32000.0;
            const int words = TestRecordings::words(recording.words).size();
            const int engineErrors =
                run.error == 0 ? TestRecordings::wordErrors(recording.words, run.text) : words;
            const QByteArray heardWhole = decodeWhole(wholeDecoder, samplesOf(recording.wav));
            const int wholeErrors = TestRecordings::wordErrors(recording.words, heardWhole);
            const int liveErrors = TestRecordings::wordErrors(recording.words, heardLive);
            engine[set.first].errors += engineErrors;
            engine[set.first].words += words;
            whole[set.first].errors += wholeErrors;
            whole[set.first].words += words;
            liveScore[set.first].errors += liveErrors;
            liveScore[set.first].words += words;
            std::printf("%s %s: engine %d errors \"%s\", whole %d errors \"%s\", live %d "
                        "errors \"%s\"\n",
                        set.first, qPrintable(recording.id), engineErrors, run.text.constData(),
                        wholeErrors, heardWhole.constData(), liveErrors, heardLive.constData());
        }
    }
    ps_free(live);
    std::printf("SUMMARY wer cards=%.3f librivox=%.3f\n", engine["cards"].rate(),
                engine["librivox"].rate());
    std::printf("SUMMARY wer_whole cards=%.3f librivox=%.3f\n", whole["cards"].rate(),
                whole["librivox"].rate());
    std::fflush(stdout);
    pauseStudy(sets, wholeDecoder);
    ps_free(wholeDecoder);

    Sets reversed = sets;
    for (auto &set : reversed)
        std::reverse(set.second.begin(), set.second.end());
    const QList<QPair<const char *, Sets>> orders{
        {"in order", sets},
        {"each set reversed", reversed},
        {"librivox first", {sets[1], sets[0]}},
        {"librivox first, reversed", {reversed[1], reversed[0]}}};
    for (const auto &order : orders) {
        for (const bool warm : {false, true}) {
            if (!warm && &order == &orders.first())
                continue; // the SUMMARY line
            QMap<QString, Score> scores = liveRun(order.second, english, dictionary, warm);
            std::printf("live decoding, %s%s: cards=%.3f librivox=%.3f\n", order.first,
                        warm ? ", first of each set whole" : "", scores["cards"].rate(),
                        scores["librivox"].rate());
        }
    }

    std::printf("%.1f s of speech; live decoding took at most %.3f s after the last block\n",
                audioSeconds, slowestFinish);
    std::printf("SUMMARY wer_live cards=%.3f librivox=%.3f\n", liveScore["cards"].rate(),
                liveScore["librivox"].rate());
    return 0;
}
