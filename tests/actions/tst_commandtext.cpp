#include "actions/commandtext.h"
#include "actions/dictationjoin.h"
#include "actions/punctuation.h"
#include "actions/typing.h"
#include "common/recordingplatform.h"
#include "common/settingsenv.h"
#include "recognition/recognizedtext.h"

#include <QtTest>

using namespace commandtext;

class CommandTextTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(env.enter()); }
    void firstSentence_data();
    void firstSentence();
    void searchTerm_data();
    void searchTerm();
    void encodeTerm_data();
    void encodeTerm();
    void wordsSpoken_data();
    void wordsSpoken();
    void removePunctuation_data();
    void removePunctuation();
    void blanksBetweenChinese_data();
    void blanksBetweenChinese();
    void secondDictation_data();
    void secondDictation();

private:
    SettingsEnv env;
};

void CommandTextTest::blanksBetweenChinese_data()
{
    QTest::addColumn<QString>("recognized");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Chinese words") << "今天 天气 很好"
                                   << "今天天气很好";
    QTest::newRow("several blanks, a tab, an ideographic space") << "今天  天气\t很好\u3000啊"
                                                                 << "今天天气很好啊";
    QTest::newRow("Chinese and English keep theirs") << "打开 word 文档"
                                                     << "打开 word 文档";
    QTest::newRow("Chinese and digits keep theirs") << "买 3 斤 苹果"
                                                    << "买 3 斤苹果";
    QTest::newRow("English words keep theirs") << "open the door"
                                               << "open the door";
    QTest::newRow("full-width punctuation") << "你好 ， 世界 。 再见 ！"
                                            << "你好，世界。再见！";
    QTest::newRow("corner and book quotes") << "他 说 「 好 」 《 红楼梦 》"
                                            << "他说「好」《红楼梦》";
    QTest::newRow("ASCII punctuation keeps its blank") << "你好 . 世界"
                                                       << "你好 . 世界";
    QTest::newRow("full-width digits keep theirs") << "第 １２ 号"
                                                   << "第 １２ 号";
    QTest::newRow("leading and trailing blanks stay") << " 你好 世界 "
                                                      << " 你好世界 ";
    QTest::newRow("beyond the BMP") << "𠀀 𠀁"
                                    << "𠀀𠀁";
    QTest::newRow("traditional") << "今天 天氣 很好"
                                 << "今天天氣很好";
    QTest::newRow("empty") << ""
                           << "";
}

void CommandTextTest::blanksBetweenChinese()
{
    QFETCH(QString, recognized);
    QFETCH(QString, expected);
    QCOMPARE(withoutBlanksBetweenChinese(recognized), expected);
}

void CommandTextTest::secondDictation_data()
{
    QTest::addColumn<QString>("before"); // what the first dictation typed
    QTest::addColumn<QString>("next");
    QTest::addColumn<bool>("blank");
    QTest::newRow("English after English") << "young man"
                                           << "eight of spades" << true;
    QTest::newRow("English after a digit") << "room 12"
                                           << "please" << true;
    QTest::newRow("digit after English") << "page"
                                         << "42" << true;
    QTest::newRow("English after a full stop") << "Hello."
                                               << "How are you" << true;
    QTest::newRow("English after a comma") << "yes,"
                                           << "sir" << true;
    QTest::newRow("English after ? ! ; :") << "why?"
                                           << "because" << true;
    QTest::newRow("accented Latin") << "café"
                                    << "élan" << true;
    QTest::newRow("English after Chinese") << "打开"
                                           << "word" << false;
    QTest::newRow("English after full-width punctuation") << "你好。"
                                                          << "OK" << false;
    QTest::newRow("English after a line break") << "Dear John,\n"
                                                << "thanks" << false;
    QTest::newRow("English after a tab") << "name\t"
                                         << "John" << false;
    QTest::newRow("English after a blank") << "young man "
                                           << "eight" << false;
    QTest::newRow("English after a quote") << "he said \"no\""
                                           << "then" << false;
    QTest::newRow("Chinese after English") << "word"
                                           << "文档" << false;
    QTest::newRow("Chinese after Chinese") << "今天天气"
                                           << "很好" << false;
    QTest::newRow("Chinese after a full stop") << "Done."
                                               << "好的" << false;
    QTest::newRow("punctuation after English") << "yes"
                                               << ", sir" << false;
    QTest::newRow("blank already there") << "yes"
                                         << " sir" << false;
    QTest::newRow("first dictation") << ""
                                     << "hello" << false;
    QTest::newRow("nothing recognized") << "hello"
                                        << "" << false;
}

void CommandTextTest::secondDictation()
{
    QFETCH(QString, before);
    QFETCH(QString, next);
    QFETCH(bool, blank);
    QCOMPARE(needsBlankBetween(before, next), blank);

    // Typed: after a dictation of before into the same control, and after
    // before where the input method tells it as the text before the cursor,
    // whatever Ferrule typed there last.
    const QString joined = blank ? QLatin1Char(' ') + next : next;
    RecordingPlatform *desktop = RecordingPlatform::install();
    typeText(before.toUtf8().constData());
    typeText(next.toUtf8().constData());
    typeText(blank ? "好" : "x");
    desktop->beforeCursor = before;
    typeText(next.toUtf8().constData());
    const QStringList typed = desktop->typed;
    installPlatform(systemPlatform());
    QCOMPARE(typed.value(1), joined);
    QCOMPARE(typed.value(3), joined);
}

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

void CommandTextTest::wordsSpoken_data()
{
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QVector<int>>("expected");
    const QStringList words{"打开项目", "周报", "项目"};
    QTest::newRow("one word") << "请打开项目" << QStringList{"打开项目", "周报"} << QVector<int>{0};
    QTest::newRow("absent") << "打开计算器" << words << QVector<int>();
    QTest::newRow("in the order spoken")
        << "写周报再打开项目" << QStringList{"打开项目", "周报"} << QVector<int>{1, 0};
    QTest::newRow("a word inside another, list order at the same place")
        << "项目周报" << QStringList{"项目周报", "项目"} << QVector<int>{0, 1};
    QTest::newRow("empty word never occurs")
        << "打开项目" << QStringList{"", "项目"} << QVector<int>{1};
    QTest::newRow("case-sensitive") << "open Mail" << QStringList{"mail"} << QVector<int>();
}

void CommandTextTest::wordsSpoken()
{
    QFETCH(QString, sentence);
    QFETCH(QStringList, words);
    QFETCH(QVector<int>, expected);
    QCOMPARE(commandtext::wordsSpoken(sentence, words), expected);
}

void CommandTextTest::removePunctuation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("full-width marks")
        << "你好，世界。真的吗？是的！一、二；三：“四”‘五’《六》（七）八…九—十"
        << "你好世界真的吗是的一二三四五六七八九十";
    QTest::newRow("ASCII marks") << "Hello, world! (Really?) \"yes\"; [a]-{b}."
                                 << "Hello world Really yes ab";
    QTest::newRow("blanks, digits and symbols stay") << "价格 100 + 20 = 120 元 $5 ￥8 <a> ~^|"
                                                     << "价格 100 + 20 = 120 元 $5 ￥8 <a> ~^|";
    QTest::newRow("signs of amounts and addresses") << "50% me@example.org #3 A&B km/h a_b"
                                                    << "50% me@example.org #3 A&B km/h a_b";
    QTest::newRow("numbers keep their point, comma and colon") << "3.5 米，1,000 元，12:30。"
                                                               << "3.5 米1,000 元12:30";
    QTest::newRow("dot ending a sentence goes") << "see example.org. Then 3. 好.的"
                                                << "see example.org Then 3 好的";
    QTest::newRow("signs and points of numbers stay") << "-5 度 2024-01-02 010-1234 .5 升 a-b"
                                                      << "-5 度 2024-01-02 010-1234 .5 升 ab";
    QTest::newRow("a mark beside one digit goes") << "共3.。1,a"
                                                  << "共31a";
    QTest::newRow("apostrophe inside a word stays") << "don't stop, it’s 'ok'"
                                                    << "don't stop it’s ok";
    QTest::newRow("emoji stay") << "好😀！"
                                << "好😀";
    QTest::newRow("only marks") << "。，！"
                                << "";
    QTest::newRow("empty") << ""
                           << "";
}

void CommandTextTest::removePunctuation()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(::removePunctuation(text), expected);
}

QTEST_GUILESS_MAIN(CommandTextTest)
#include "tst_commandtext.moc"
