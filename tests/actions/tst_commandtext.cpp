#include "actions/commandtext.h"

#include <QtTest>

using namespace commandtext;

class CommandTextTest : public QObject
{
    Q_OBJECT

private slots:
    void firstSentence_data();
    void firstSentence();
    void searchTerm_data();
    void searchTerm();
    void encodeTerm_data();
    void encodeTerm();
};

void CommandTextTest::firstSentence_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no full stop") << "打开计算器"
                                  << "打开计算器";
    QTest::newRow("two sentences") << "打开计算器。打开记事本。"
                                   << "打开计算器";
    QTest::newRow("starts with a full stop") << "。打开记事本"
                                             << "";
    QTest::newRow("ASCII full stop does not cut") << "open it. now"
                                                  << "open it. now";
    QTest::newRow("empty") << ""
                           << "";
}

void CommandTextTest::firstSentence()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(commandtext::firstSentence(text), expected);
}

void CommandTextTest::searchTerm_data()
{
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("expected");
    QTest::newRow("after the keyword") << "在天猫搜索衣服"
                                       << "搜索"
                                       << "衣服";
    QTest::newRow("up to a second occurrence") << "看看天气"
                                               << "看"
                                               << "";
    QTest::newRow("between two occurrences") << "搜苹果搜香蕉"
                                             << "搜"
                                             << "苹果";
    QTest::newRow("keyword ends the sentence") << "我想听"
                                               << "听"
                                               << "";
    QTest::newRow("keyword absent") << "打开记事本"
                                    << "听"
                                    << "";
    QTest::newRow("short keyword inside the long one") << "在优酷上搜索《美人鱼》"
                                                       << "搜"
                                                       << "索《美人鱼》";
}

void CommandTextTest::searchTerm()
{
    QFETCH(QString, sentence);
    QFETCH(QString, keyword);
    QFETCH(QString, expected);
    QCOMPARE(commandtext::searchTerm(sentence, keyword), expected);
}

void CommandTextTest::encodeTerm_data()
{
    QTest::addColumn<QString>("term");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("Chinese") << "衣服" << QByteArray("%E8%A1%A3%E6%9C%8D");
    QTest::newRow("unreserved stay") << "AZaz09-._~" << QByteArray("AZaz09-._~");
    QTest::newRow("blank") << "a b" << QByteArray("a%20b");
    QTest::newRow("reserved and plus")
        << "a+b&c=d/e?f#g%" << QByteArray("a%2Bb%26c%3Dd%2Fe%3Ff%23g%25");
    QTest::newRow("book title marks")
        << "《美人鱼》" << QByteArray("%E3%80%8A%E7%BE%8E%E4%BA%BA%E9%B1%BC%E3%80%8B");
    QTest::newRow("empty") << "" << QByteArray();
}

void CommandTextTest::encodeTerm()
{
    QFETCH(QString, term);
    QFETCH(QByteArray, expected);
    QCOMPARE(commandtext::encodeTerm(term), expected);
}

QTEST_GUILESS_MAIN(CommandTextTest)
#include "tst_commandtext.moc"
