// Recognition of real recordings nobody here made (pocketsphinx-testdata), through the
// SDK exactly as a recognition session feeds it, with the default settings.

#include "speech/sdkfeeder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

namespace {
const char english[] =
    "sub = iat, domain = iat, language = en_us, sample_rate = 16000, result_type = plain, "
    "result_encoding = utf-8";
const QString testData = QStringLiteral("/usr/share/pocketsphinx/test/data");

QStringList words(const QString &text)
{
    return text.toLower()
        .remove(QRegularExpression(QStringLiteral("[^a-z' ]")))
        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

int editDistance(const QStringList &a, const QStringList &b)
{
    std::vector<int> row(size_t(b.size()) + 1);
    for (int j = 0; j <= b.size(); ++j)
        row[size_t(j)] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int above = row[size_t(j)];
            row[size_t(j)] = qMin(qMin(above + 1, row[size_t(j) - 1] + 1),
                                  diagonal + (a.at(i - 1) == b.at(j - 1) ? 0 : 1));
            diagonal = above;
        }
    }
    return row[size_t(b.size())];
}

// "<s> ten of clubs </s> (001)" -> id "001", words "ten of clubs"
QMap<QString, QString> transcripts(const QString &path)
{
    QMap<QString, QString> result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const QRegularExpression line(QStringLiteral("^(.*)\\(([^)]+)\\)\\s*$"));
    for (const QString &text : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = line.match(text);
        if (m.hasMatch())
            result.insert(
                m.captured(2),
                m.captured(1).remove(QStringLiteral("<s>")).remove(QStringLiteral("</s>")));
    }
    return result;
}
} // namespace

class SpeechAccuracyTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_workDir;
    QMap<QString, double> m_wer;

    double wordErrorRate(const QString &set, const QString &transcriptFile)
    {
        const QMap<QString, QString> expected =
            transcripts(testData + QLatin1Char('/') + set + QLatin1Char('/') + transcriptFile);
        if (expected.isEmpty())
            return -1;
        int errors = 0;
        int total = 0;
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            QFile file(testData + QLatin1Char('/') + set + QLatin1Char('/') + it.key() +
                       QStringLiteral(".wav"));
            if (!file.open(QIODevice::ReadOnly))
                return -1;
            const SdkRun run = recognizeThroughSdk(file.readAll(), english, 20);
            if (run.error != 0 || run.timedOut) {
                qWarning() << it.key() << run.failedCall << run.error
                           << "timed out:" << run.timedOut;
                return -1;
            }
            const QStringList reference = words(it.value());
            errors += editDistance(reference, words(QString::fromUtf8(run.text)));
            total += reference.size();
            qDebug().noquote() << it.key() << "heard:" << run.text;
        }
        return double(errors) / total;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_workDir.isValid());
        QVERIFY(QDir::setCurrent(m_workDir.path())); // no speech.ini: the default engine
        QVERIFY2(QFile::exists(testData + QStringLiteral("/cards/001.wav")),
                 "pocketsphinx-testdata is missing");
    }

    void wordErrorRate_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("transcripts");
        QTest::addColumn<double>("limit");
        QTest::newRow("cards") << "cards"
                               << "cards.transcription" << 0.10;
        QTest::newRow("librivox") << "librivox"
                                  << "transcription" << 0.30;
    }

    void wordErrorRate()
    {
        QFETCH(QString, set);
        QFETCH(QString, transcripts);
        QFETCH(double, limit);
        const double wer = wordErrorRate(set, transcripts);
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
