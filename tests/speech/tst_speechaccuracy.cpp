// Recognition of real recordings nobody here made (pocketsphinx-testdata), through the
// SDK exactly as a recognition session feeds it, with the default settings.

#include "speech/sdkfeeder.h"
#include "speech/testrecordings.h"

#include "common/settingsenv.h"
#include "common/speechparams.h"

#include <QDir>
#include <QtTest>

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

    void cleanupTestCase()
    {
        std::printf("wer cards=%.3f librivox=%.3f\n", m_wer.value(QStringLiteral("cards"), -1),
                    m_wer.value(QStringLiteral("librivox"), -1));
        std::fflush(stdout);
    }
};

QTEST_GUILESS_MAIN(SpeechAccuracyTest)
#include "tst_speechaccuracy.moc"
