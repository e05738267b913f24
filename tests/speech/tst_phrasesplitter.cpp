// Where an utterance splits into phrases, on made-up signals: bursts of a tone stand for
// speech, silence for the pauses between them. And how the phrases' texts are joined.

#include "recognition/phrasesplitter.h"
#include "recognition/phrasetexts.h"

#include "common/tonesignal.h"

#include <QtTest>

namespace {
constexpr int bytesPerMs = 32;
const auto signal = toneSignal;
} // namespace

class PhraseSplitterTest : public QObject
{
    Q_OBJECT

private slots:
    void cuts_data()
    {
        QTest::addColumn<QByteArray>("pcm");
        QTest::addColumn<QVector<qsizetype>>("cutsMs");
        const int loud = 3000;
        QTest::newRow("one burst")
            << signal({{200, 0}, {2000, loud}, {500, 0}}) << QVector<qsizetype>{2200 + 100};
        QTest::newRow("a pause shorter than a phrase's end")
            << signal({{200, 0}, {1000, loud}, {290, 0}, {1000, loud}}) << QVector<qsizetype>{};
        QTest::newRow("a pause just long enough")
            << signal({{200, 0}, {1000, loud}, {300, 0}, {1000, loud}})
            << QVector<qsizetype>{1200 + 100};
        QTest::newRow("pauses of several lengths")
            << signal({{200, 0},
                       {1000, loud},
                       {800, 0},
                       {600, loud},
                       {200, 0},
                       {600, loud},
                       {1500, 0},
                       {400, loud}})
            << QVector<qsizetype>{1200 + 100, 2000 + 1400 + 100};
        QTest::newRow("the end after a short pause")
            << signal({{200, 0}, {1000, loud}, {200, 0}}) << QVector<qsizetype>{1200 + 100};
        QTest::newRow("the end too soon after speech")
            << signal({{200, 0}, {1000, loud}, {190, 0}}) << QVector<qsizetype>{};
        // Room noise of 45 dB after a muted start is quiet still.
        QTest::newRow("room noise after digital silence")
            << signal({{500, 0}, {300, 250}, {1000, loud}, {400, 250}, {1000, loud}})
            << QVector<qsizetype>{1800 + 100};
        QTest::newRow("a click is not a phrase")
            << signal({{200, 0}, {100, loud}, {600, 0}, {1000, loud}}) << QVector<qsizetype>{};
        QTest::newRow("speech from the first sample")
            << signal({{700, loud}, {400, 0}, {500, loud}}) << QVector<qsizetype>{700 + 100};
        // No pause in 20 s: cut at the quiet 100 ms in the last 2 s before 15 s. (The
        // estimate of the quiet creeps up through a steady tone: keep it well above.)
        const int louder = 20000;
        QTest::newRow("a long burst with a dip")
            << signal({{200, 100}, {13500, louder}, {100, 6000}, {6200, louder}})
            << QVector<qsizetype>{13750};
        // All equally loud: the earliest stretch of the window.
        QTest::newRow("a long even burst")
            << signal({{200, 100}, {29000, louder}}) << QVector<qsizetype>{13050, 26100};
    }

    void cuts()
    {
        QFETCH(QByteArray, pcm);
        QFETCH(QVector<qsizetype>, cutsMs);
        QVector<qsizetype> expected;
        for (const qsizetype ms : cutsMs)
            expected.append(ms * bytesPerMs);
        QCOMPARE(PhraseSplitter::cuts(pcm), expected);

        // Fed as a microphone delivers it, in pieces that split frames and samples.
        PhraseSplitter splitter;
        QVector<qsizetype> fed;
        for (int at = 0; at < pcm.size(); at += 3333)
            fed += splitter.feed(pcm.mid(at, 3333));
        if (splitter.endCut() >= 0)
            fed.append(splitter.endCut());
        QCOMPARE(fed, expected);
    }

    void join_data()
    {
        QTest::addColumn<QList<QByteArray>>("texts");
        QTest::addColumn<QString>("joined");
        QTest::newRow("english") << QList<QByteArray>{"ten of clubs", "four of hearts"}
                                 << "ten of clubs four of hearts";
        QTest::newRow("chinese") << QList<QByteArray>{"今天 天气", "很好"} << "今天 天气很好";
        QTest::newRow("chinese after punctuation")
            << QList<QByteArray>{"今天，", "很好"} << "今天，很好";
        QTest::newRow("chinese and latin")
            << QList<QByteArray>{"我用", "linux", "系统"} << "我用 linux 系统";
        QTest::newRow("phrases without text")
            << QList<QByteArray>{"", "go forward", "", "ten meters", ""} << "go forward ten meters";
        QTest::newRow("none") << QList<QByteArray>{""} << "";
    }

    void join()
    {
        QFETCH(QList<QByteArray>, texts);
        QFETCH(QString, joined);
        QCOMPARE(QString::fromUtf8(joinPhraseTexts(texts)), joined);
    }
};

QTEST_GUILESS_MAIN(PhraseSplitterTest)
#include "tst_phrasesplitter.moc"
