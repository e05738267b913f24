// Recognition of real recordings nobody here made (pocketsphinx-testdata), through the
// SDK exactly as a recognition session feeds it, with the default settings.

#include "speech/sdkfeeder.h"
#include "speech/testrecordings.h"

#include "common/logcapture.h"
#include "common/settingsenv.h"
#include "recognition/modeldictionary.h"
#include "recognition/phrasetexts.h"
#include "recognition/speechconfig.h"
#include "recognition/speechparams.h"
#include "recognition/sphinxdecoder.h"

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <QDir>
#include <QtTest>

#include <memory>

class SpeechAccuracyTest : public QObject
{
    Q_OBJECT

private:
    SettingsEnv env;
    QMap<QString, double> m_wer;

    static double wordErrorRate(const QList<TestRecordings::Recording> &recordings)
    {
        if (recordings.isEmpty())
            return -1;
        int errors = 0;
        int total = 0;
        for (const TestRecordings::Recording &recording : recordings) {
            const SdkRun run = recognizeThroughSdk(recording.wav, SpeechParams::ENG, 20);
            if (run.error != 0 || run.timedOut) {
                qWarning() << recording.id << run.failedCall << run.error
                           << "timed out:" << run.timedOut;
                return -1;
            }
            errors += TestRecordings::wordErrors(recording.words, QString::fromUtf8(run.text));
            total += TestRecordings::words(recording.words).size();
            qDebug().noquote() << recording.id << "heard:" << run.text;
        }
        return double(errors) / total;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(env.enter()); // no speech.ini: the default engine
        QVERIFY2(!TestRecordings::cards().isEmpty(), "pocketsphinx-testdata is missing");
    }

    void wordErrorRate_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<double>("limit");
        QTest::newRow("cards") << "cards" << 0.10;
        QTest::newRow("librivox") << "librivox" << 0.30;
    }

    void wordErrorRate()
    {
        QFETCH(QString, set);
        QFETCH(double, limit);
        const double wer = wordErrorRate(
            set == QLatin1String("cards") ? TestRecordings::cards() : TestRecordings::librivox());
        QVERIFY2(wer >= 0, "a recording could not be recognized");
        m_wer.insert(set, wer);
        QVERIFY2(wer <= limit,
                 qPrintable(QStringLiteral("word error rate %1 above %2").arg(wer).arg(limit)));
    }

    // Recordings spoken back to back in one hold, fed at the pace of speech: the phrases
    // that end meanwhile are decoded then, only the last one after the release, and the
    // text is what decoding each recording whole gives.
    void phrasesWhileHeld()
    {
        const QString dir = TestRecordings::dataDir + QStringLiteral("/librivox/");
        QList<QByteArray> recordings;
        for (const char *id : {"0880", "0890", "0930"}) {
            QFile wav(dir + QStringLiteral("sense_and_sensibility_01_austen_64kb-%1.wav").arg(id));
            QVERIFY(wav.open(QIODevice::ReadOnly));
            recordings << wav.readAll().mid(44);
        }

        err_set_logfp(nullptr);
        SpeechConfig config;
        QString error;
        QVERIFY(SpeechConfig::load(QDir::currentPath(), &config, &error));
        const SpeechModelPaths english = config.models.value(QStringLiteral("english"));
        const ModelDictionary dictionary(english.dictionary, english.languageModel);
        const std::unique_ptr<ps_decoder_t, int (*)(ps_decoder_t *)> ps(
            openSphinxDecoder(english, dictionary), ps_free);
        QVERIFY(ps);
        QList<QByteArray> wholeTexts;
        QByteArray utterance;
        for (const QByteArray &pcm : qAsConst(recordings)) {
            ps_start_utt(ps.get());
            ps_process_raw(ps.get(), reinterpret_cast<const int16 *>(pcm.constData()),
                           size_t(pcm.size() / 2), FALSE, TRUE);
            ps_end_utt(ps.get());
            int32 score = 0;
            wholeTexts << QByteArray(ps_get_hyp(ps.get(), &score));
            utterance += pcm;
        }

        LogCapture log;
        SpeechPreload("appid = 4d7c2a19, work_dir = .", SpeechParams::ENG);
        // 100 ms blocks, each when the microphone would have it.
        const int block = 3200;
        QElapsedTimer pace;
        pace.start();
        for (int at = 0; at < utterance.size(); at += block) {
            while (pace.elapsed() < qint64(at) / 32)
                QThread::msleep(5);
            SpeechListen(utterance.constData() + at, unsigned(qMin(block, utterance.size() - at)),
                         at == 0 ? SPEECH_AUDIO_FIRST : SPEECH_AUDIO_CONTINUE);
        }
        const SdkRun run = recognizeThroughSdk(utterance, SpeechParams::ENG, 20);
        QCOMPARE(run.error, 0);
        QCOMPARE(QString::fromUtf8(run.text), QString::fromUtf8(joinPhraseTexts(wholeTexts)));
        QVERIFY2(log.contains(QStringLiteral("3 phrases, 2 of them while the button was held")),
                 qPrintable(log.lines().filter(QStringLiteral("recognized in")).join('\n')));
    }

    void cleanupTestCase()
    {
        std::printf("wer cards=%.3f librivox=%.3f\n", m_wer.value(QStringLiteral("cards"), -1),
                    m_wer.value(QStringLiteral("librivox"), -1));
        std::fflush(stdout);
    }
};

QTEST_GUILESS_MAIN(SpeechAccuracyTest)
#include "tst_speechaccuracy.moc"
