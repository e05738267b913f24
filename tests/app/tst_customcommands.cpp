// The file of the user's command words: its format both ways, a damaged file
// left alone, and saves that cannot leave half a list behind.
#include "app/customcommands.h"
#include "common/files.h"
#include "common/hostilefiles.h"
#include "common/logcapture.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using Kind = CustomAction::Kind;

Q_DECLARE_METATYPE(CustomCommandList)

namespace {

const CustomCommandList sample{
    {"打开项目",
     {{Kind::Folder, "/home/me/项目"}, {Kind::WebAddress, "https://example.org/a?b=c"}}},
    {"周报", {{Kind::File, "/home/me/周报.odt"}}},
};

} // namespace

class TestCustomCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void roundTrip_data();
    void roundTrip();
    void malformedDocuments_data();
    void malformedDocuments();
    void missingFileIsEmptyList();
    void damagedFileLeftUnchanged();
    void fileThatIsNoListNotRead_data();
    void fileThatIsNoListNotRead();
    void killedSaveLeavesWholeFile();
    void webAddress_data();
    void webAddress();

private:
    QTemporaryDir *dir = nullptr;
    QString previousDir;
};

void TestCustomCommands::init()
{
    previousDir = QDir::currentPath();
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    QVERIFY(QDir::setCurrent(dir->path()));
}

void TestCustomCommands::cleanup()
{
    QDir::setCurrent(previousDir);
    delete dir;
}

void TestCustomCommands::roundTrip_data()
{
    QTest::addColumn<CustomCommandList>("commands");
    QTest::newRow("empty") << CustomCommandList();
    QTest::newRow("words of every kind") << sample;
    QTest::newRow("five actions") << CustomCommandList{
        {"五",
         QVector<CustomAction>(customcommands::maxActions, {Kind::WebAddress, "http://x.cn"})}};
}

void TestCustomCommands::roundTrip()
{
    QFETCH(CustomCommandList, commands);
    QCOMPARE(customcommands::parse(customcommands::serialise(commands)), commands);
    QVERIFY(customcommands::save(commands));
    QCOMPARE(customcommands::load(), commands);
    QVERIFY(QFile::exists(QStringLiteral("customcommands.json")));
}

void TestCustomCommands::malformedDocuments_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("not JSON") << QByteArray("{\"commands\": [");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("array at the top") << QByteArray("[]");
    QTest::newRow("no list") << QByteArray("{}");
    QTest::newRow("list not an array") << QByteArray(R"({"commands": {}})");
    QTest::newRow("word missing") << QByteArray(
        R"({"commands": [{"actions": [{"type": "url", "target": "http://a.cn"}]}]})");
    QTest::newRow("empty word") << QByteArray(
        R"({"commands": [{"word": "", "actions": [{"type": "url", "target": "http://a.cn"}]}]})");
    QTest::newRow("no actions") << QByteArray(R"({"commands": [{"word": "a", "actions": []}]})");
    QTest::newRow("unknown type") << QByteArray(
        R"({"commands": [{"word": "a", "actions": [{"type": "mail", "target": "x"}]}]})");
    QTest::newRow("target not a string") << QByteArray(
        R"({"commands": [{"word": "a", "actions": [{"type": "file", "target": 3}]}]})");
    QByteArray six = R"({"commands": [{"word": "a", "actions": [)";
    for (int i = 0; i < 6; ++i)
        six += QByteArray(i ? "," : "") + R"({"type": "url", "target": "http://a.cn"})";
    QTest::newRow("six actions") << six + "]}]}";
}

void TestCustomCommands::malformedDocuments()
{
    QFETCH(QByteArray, json);
    QVERIFY(!customcommands::parse(json));
}

void TestCustomCommands::missingFileIsEmptyList()
{
    QCOMPARE(customcommands::load(), CustomCommandList());
    QVERIFY(!QFile::exists(QStringLiteral("customcommands.json")));
}

void TestCustomCommands::damagedFileLeftUnchanged()
{
    const QByteArray damaged = customcommands::serialise(sample).left(40);
    writeAll(QStringLiteral("customcommands.json"), damaged);
    LogCapture log;
    QVERIFY(!customcommands::load());
    QVERIFY(log.contains(QStringLiteral("customcommands.json is damaged")));
    QCOMPARE(readAll(QStringLiteral("customcommands.json")), damaged);
}

void TestCustomCommands::fileThatIsNoListNotRead_data()
{
    addHostileRows();
}

void TestCustomCommands::fileThatIsNoListNotRead()
{
    // Read at every utterance: a hang here would freeze the program for good.
    QFETCH(QString, target);
    QVERIFY(plantHostile(target, dir->path(), QStringLiteral("customcommands.json")));
    const long before = peakMemoryMB();
    LogCapture log;
    QVERIFY(!customcommands::load());
    QVERIFY(log.contains(QStringLiteral("customcommands.json could not be read: it is")));
    QVERIFY2(peakMemoryMB() - before < 64, qPrintable(QString::number(peakMemoryMB() - before)));
}

void TestCustomCommands::killedSaveLeavesWholeFile()
{
    // A process that saves two lists in turn is killed at random moments;
    // every time the file holds one of them whole.
    QProcess saver;
    for (int round = 0; round < 30; ++round) {
        saver.start(QStringLiteral(CUSTOM_COMMAND_SAVER), QStringList());
        QVERIFY(saver.waitForStarted());
        QVERIFY(saver.waitForReadyRead(10000)); // it prints once it is saving
        QThread::usleep(QRandomGenerator::global()->bounded(20000));
        saver.kill();
        saver.waitForFinished();

        const std::optional<CustomCommandList> commands = customcommands::load();
        QVERIFY(commands);
        QCOMPARE(commands->size(), 200);
        QCOMPARE(commands->first().actions.size(), 1);
        const Kind kind = commands->first().actions.first().kind;
        for (const CustomCommand &command : *commands)
            QCOMPARE(command.actions.first().kind, kind);
    }
}

void TestCustomCommands::webAddress_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("full address") << "https://www.example.com/a?b=1"
                                  << "https://www.example.com/a?b=1";
    QTest::newRow("no scheme") << "www.example.com"
                               << "http://www.example.com";
    QTest::newRow("blanks around") << "  http://example.org  "
                                   << "http://example.org";
    QTest::newRow("localhost with port") << "http://localhost:8080/"
                                         << "http://localhost:8080/";
    QTest::newRow("IP address") << "192.168.1.1"
                                << "http://192.168.1.1";
    QTest::newRow("Chinese host") << "http://例子.中国"
                                  << "http://例子.中国";
    QTest::newRow("empty") << "" << QString();
    QTest::newRow("blank inside") << "www.exa mple.com" << QString();
    QTest::newRow("single word") << "example" << QString();
    QTest::newRow("other scheme") << "ftp://example.com" << QString();
    QTest::newRow("mail address") << "mailto:me@example.com" << QString();
    QTest::newRow("dot at the end only") << "example." << QString();
    QTest::newRow("no host") << "http://" << QString();
}

void TestCustomCommands::webAddress()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QCOMPARE(customcommands::webAddress(typed), stored);
}

QTEST_GUILESS_MAIN(TestCustomCommands)
#include "tst_customcommands.moc"
