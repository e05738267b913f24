// Spoken commands without a display: web pages are caught by URL handlers,
// programs are stand-ins on PATH that record their command lines.
#include "actions/commandinterpreter.h"
#include "actions/desktopprograms.h"
#include "actions/searchsites.h"
#include "app/customcommands.h"
#include "app/settingkeys.h"
#include "app/settings.h"
#include "common/files.h"
#include "common/logcapture.h"
#include "common/prompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

namespace {

const QByteArray kVideo = "https://video.example/q_";
const QByteArray kShop = "https://shop.example/search?q=";
const QByteArray kMall = "https://mall.example/list?q=";
const QByteArray kStore = "https://store.example/Search?keyword=";
const QByteArray kBaidu = "https://www.baidu.example/s?wd=";

WebSearchTable sampleTable()
{
    WebSearchTable table;
    table.insert(QStringLiteral("优酷").toUtf8(), kVideo);
    table.insert(QStringLiteral("淘宝").toUtf8(), kShop);
    table.insert(QStringLiteral("天猫").toUtf8(), kMall);
    table.insert(QStringLiteral("京东").toUtf8(), kStore);
    table.insert(QStringLiteral("百度").toUtf8(), kBaidu);
    return table;
}

QByteArray enc(const char *utf8)
{
    return QByteArray(utf8).toPercentEncoding();
}

} // namespace

// Receives every http and https URL the interpreter opens; with a file set,
// also writes it there, in one sequence with the stand-ins' lines.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QByteArray> urls;
    QString file;

public slots:
    void record(const QUrl &url)
    {
        urls << url.toEncoded();
        QFile out(file);
        if (!file.isEmpty() && out.open(QIODevice::Append))
            out.write("url " + url.toEncoded() + '\n');
    }
};

Q_DECLARE_METATYPE(CustomCommandList)

class CommandInterpreterTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void searchSitePrefixes();
    void commands_data();
    void commands();
    void firstInstalledProgram_data();
    void firstInstalledProgram();
    void nothingInstalled();
    void programsWithoutTable();
    void customCommands_data();
    void customCommands();
    void openerThatNeverReturns();
    void closePrompt_data();
    void closePrompt();

private:
    void installStandIns(const QStringList &names);
    QStringList recorded() const;
    int startLines(const LogCapture &log) const;

    QTemporaryDir dir;
    QString bin;
    QString home;
    QString record;
    UrlRecorder recorder;
    int round = 0;
};

void CommandInterpreterTest::initTestCase()
{
    // Typing must never reach a real desktop from here.
    qunsetenv("DISPLAY");
    QVERIFY(dir.isValid());
    // customcommands.json and config.txt are read from here.
    QVERIFY(QDir::setCurrent(dir.path()));
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "record");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "record");
}

void CommandInterpreterTest::init()
{
    // Fresh stand-ins, home and record for every case, so that a late
    // program of one case cannot show up in the next.
    ++round;
    bin = dir.filePath(QStringLiteral("bin%1").arg(round));
    home = dir.filePath(QStringLiteral("home%1").arg(round));
    record = dir.filePath(QStringLiteral("record%1.txt").arg(round));
    QVERIFY(QDir().mkpath(bin));
    QVERIFY(QDir().mkpath(home));
    qputenv("PATH", bin.toLocal8Bit());
    qputenv("HOME", home.toLocal8Bit());
    qputenv("FERRULE_RECORD", record.toLocal8Bit());
    recorder.urls.clear();
    recorder.file.clear();
    QFile::remove(QStringLiteral("customcommands.json"));
    (*settingsMap())[SettingKey::ClosePrompt] = 0;
}

void CommandInterpreterTest::installStandIns(const QStringList &names)
{
    for (const QString &name : names) {
        QFile file(QDir(bin).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nprintf '%s\\n' \"${0##*/} $*\" >> \"$FERRULE_RECORD\"\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
}

QStringList CommandInterpreterTest::recorded() const
{
    QFile file(record);
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// How many programs were started, as the log tells it at the moment of
// starting: this also catches a program that has not run yet.
int CommandInterpreterTest::startLines(const LogCapture &log) const
{
    int count = 0;
    for (const QString &line : log.lines())
        if (line.startsWith(QLatin1String("start ")) || line.startsWith(QLatin1String("run ")))
            ++count;
    return count;
}

void CommandInterpreterTest::searchSitePrefixes()
{
    // The music search carries its parameters in the fragment; the term goes last.
    const QUrl music(QString::fromLatin1(searchsites::musicSearch));
    QCOMPARE(music.scheme(), QStringLiteral("https"));
    QCOMPARE(music.path(), QStringLiteral("/portal/search.html"));
    QVERIFY(music.query().isEmpty());
    QVERIFY(music.fragment().startsWith(QLatin1String("page=1&searchid=1&remoteplace=")));
    QVERIFY(music.fragment().endsWith(QLatin1String("&t=song&w=")));
    const QUrl restaurant(QString::fromLatin1(searchsites::restaurantSearch));
    QCOMPARE(restaurant.scheme(), QStringLiteral("http"));
    QCOMPARE(restaurant.path(), QStringLiteral("/s/"));
    QCOMPARE(restaurant.query(), QStringLiteral("w="));
}

void CommandInterpreterTest::commands_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("projectFolder");
    QTest::addColumn<QList<QByteArray>>("urls");
    QTest::addColumn<QStringList>("programs");

    using Urls = QList<QByteArray>;
    const QByteArray music = searchsites::musicSearch;
    const QByteArray restaurant = searchsites::restaurantSearch;

    QTest::newRow("search on a site")
        << "在天猫搜索衣服" << false << Urls{kMall + "%E8%A1%A3%E6%9C%8D"} << QStringList();
    QTest::newRow("short search word")
        << "在优酷上搜《美人鱼》" << false << Urls{kVideo + enc("《美人鱼》")} << QStringList();
    QTest::newRow("watch") << "看《欢乐颂》" << false << Urls{kVideo + enc("《欢乐颂》")}
                           << QStringList();
    QTest::newRow("watch with empty term") << "看看天气" << false << Urls{kVideo} << QStringList();
    QTest::newRow("site search and watch")
        << "在优酷上搜看" << false << Urls{kVideo + enc("看"), kVideo} << QStringList();
    QTest::newRow("buy") << "我要买手机" << false << Urls{kShop + enc("手机")} << QStringList();
    QTest::newRow("site named without search")
        << "打开淘宝" << false << Urls{kShop} << QStringList();
    QTest::newRow("search without a site") << "搜一下新闻" << false << Urls() << QStringList();
    QTest::newRow("two sites in byte order")
        << "在天猫和京东上搜索手机" << false << Urls{kStore + enc("手机"), kMall + enc("手机")}
        << QStringList();
    QTest::newRow("blanks as %20") << "在百度搜索hello world 2024" << false
                                   << Urls{kBaidu + "hello%20world%202024"} << QStringList();
    QTest::newRow("listen with empty term") << "我想听" << false << Urls{music} << QStringList();
    QTest::newRow("listen") << "我想听七里香" << false << Urls{music + enc("七里香")}
                            << QStringList();
    QTest::newRow("eat") << "我想吃火锅" << false << Urls{restaurant + enc("火锅")}
                         << QStringList();
    QTest::newRow("restaurant without eat")
        << "附近的餐厅推荐" << false << Urls{restaurant + enc("推荐")} << QStringList();
    QTest::newRow("only the first sentence")
        << "打开计算器。打开记事本。" << false << Urls() << QStringList{"gnome-calculator "};
    QTest::newRow("calculator before editor")
        << "打开记事本和计算器" << false << Urls() << QStringList{"gnome-calculator ", "gedit "};
    QTest::newRow("drive D, no Project folder")
        << "打开d盘" << false << Urls() << QStringList{"xdg-open HOME"};
    QTest::newRow("drive D, Project folder")
        << "打开d盘" << true << Urls() << QStringList{"xdg-open HOME/Project"};
    QTest::newRow("capital D does not match") << "打开D盘" << false << Urls() << QStringList();
    QTest::newRow("word") << "打开word" << false << Urls() << QStringList{"libreoffice --writer"};
    QTest::newRow("capital Word does not match") << "打开Word" << false << Urls() << QStringList();
    QTest::newRow("excel") << "新建excel表格" << false << Urls()
                           << QStringList{"libreoffice --calc"};
    QTest::newRow("empty text") << "" << false << Urls() << QStringList();
}

void CommandInterpreterTest::commands()
{
    QFETCH(QString, text);
    QFETCH(bool, projectFolder);
    QFETCH(QList<QByteArray>, urls);
    QFETCH(QStringList, programs);
    installStandIns(
        {"gnome-calculator", "kcalc", "gedit", "kate", "libreoffice", "soffice", "xdg-open"});
    if (projectFolder)
        QVERIFY(QDir(home).mkdir(QStringLiteral("Project")));
    programs.replaceInStrings(QStringLiteral("HOME"), home);

    PromptRecorder prompts;
    LogCapture log;
    const QByteArray utf8 = text.toUtf8();
    interpretCommand(utf8.constData(), sampleTable());

    QCOMPARE(recorder.urls, urls);
    QCOMPARE(startLines(log), programs.size());
    QTRY_COMPARE_WITH_TIMEOUT(recorded(), programs, 5000);
    // One prompt, that showed the first sentence.
    QCOMPARE(prompts.texts, QStringList{text.isEmpty() ? QStringLiteral("请你说大点声！")
                                                       : text.section(QStringLiteral("。"), 0, 0)});
}

void CommandInterpreterTest::firstInstalledProgram_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("galculator before xcalc") << QStringList{"xcalc", "galculator"} << "打开计算器"
                                             << "galculator ";
    QTest::newRow("pluma before gnome-text-editor")
        << QStringList{"gnome-text-editor", "pluma"} << "打开记事本"
        << "pluma ";
    QTest::newRow("soffice alone") << QStringList{"soffice"} << "打开word"
                                   << "soffice --writer";
}

void CommandInterpreterTest::firstInstalledProgram()
{
    QFETCH(QStringList, installed);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    installStandIns(installed);
    interpretCommand(text.toUtf8().constData(), WebSearchTable());
    QTRY_COMPARE_WITH_TIMEOUT(recorded(), QStringList{expected}, 5000);
}

void CommandInterpreterTest::nothingInstalled()
{
    // Nothing on PATH: every program step ends with a log line and the
    // steps after it still run.
    LogCapture log;
    interpretCommand("打开d盘、计算器、记事本、word和excel", WebSearchTable());
    const QStringList expected{"no xdg-open installed !", "no calculator installed !",
                               "no text editor installed !", "no LibreOffice installed !",
                               "no LibreOffice installed !"};
    QStringList missing;
    for (const QString &line : log.lines())
        if (line.endsWith(QLatin1String(" installed !")))
            missing << line;
    QCOMPARE(missing, expected);
}

void CommandInterpreterTest::programsWithoutTable()
{
    // Site steps find nothing in an empty table; watch and buy open nothing.
    installStandIns({"gnome-calculator"});
    interpretCommand("在优酷看电影买东西，打开计算器", WebSearchTable());
    QVERIFY(recorder.urls.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(recorded(), QStringList{"gnome-calculator "}, 5000);
}

void CommandInterpreterTest::customCommands_data()
{
    QTest::addColumn<CustomCommandList>("commands");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("opened");

    using Kind = CustomAction::Kind;
    const CustomCommand project{"打开项目",
                                {{Kind::WebAddress, "https://project.example/board"},
                                 {Kind::Folder, "HOME/项目"},
                                 {Kind::File, "HOME/计划.odt"}}};
    const CustomCommand report{"周报", {{Kind::File, "HOME/周报.txt"}}};
    const QStringList projectOpened{"url https://project.example/board", "xdg-open HOME/项目",
                                    "xdg-open HOME/计划.odt"};

    QTest::newRow("address, folder and file in order")
        << CustomCommandList{project} << "帮我打开项目" << projectOpened;
    QTest::newRow("two words, in the order spoken")
        << CustomCommandList{project, report} << "写周报前打开项目"
        << QStringList{"xdg-open HOME/周报.txt"} + projectOpened;
    QTest::newRow("word after the first sentence")
        << CustomCommandList{project} << "你好。打开项目" << QStringList();
    QTest::newRow("no word spoken")
        << CustomCommandList{project, report} << "打开计算器" << QStringList();
    QTest::newRow("after the built-in steps")
        << CustomCommandList{report} << "打开d盘和周报"
        << QStringList{"xdg-open HOME", "xdg-open HOME/周报.txt"};
    // A hand-edited file: what the dialog would have refused is not opened.
    QTest::newRow("hand-edited entries skipped")
        << CustomCommandList{{"周报",
                              {{Kind::WebAddress, "file:///etc/passwd"},
                               {Kind::Folder, "项目"},
                               {Kind::File, "HOME/项目"},
                               {Kind::Folder, "HOME/计划.odt"},
                               {Kind::WebAddress, "https://ok.example/"}}}}
        << "周报" << QStringList{"url https://ok.example/"};
    QTest::newRow("word of blanks skipped")
        << CustomCommandList{{" ", {{Kind::WebAddress, "https://blank.example/"}}}, report}
        << "open the 周报" << QStringList{"xdg-open HOME/周报.txt"};
}

void CommandInterpreterTest::customCommands()
{
    QFETCH(CustomCommandList, commands);
    QFETCH(QString, text);
    QFETCH(QStringList, opened);
    installStandIns({"xdg-open"});
    QVERIFY(QDir(home).mkpath(QStringLiteral("项目")));
    writeAll(home + QStringLiteral("/计划.odt"), "plan");
    writeAll(home + QStringLiteral("/周报.txt"), "report");
    for (CustomCommand &command : commands)
        for (CustomAction &action : command.actions)
            action.target.replace(QStringLiteral("HOME"), home);
    QVERIFY(customcommands::save(commands));
    recorder.file = record;

    interpretCommand(text.toUtf8().constData(), WebSearchTable());
    // Folders and files are opened one after the other: all lines are there now.
    QCOMPARE(recorded(), opened.replaceInStrings(QStringLiteral("HOME"), home));
}

// The project folder and two words with five folders each, and an opener that
// never returns: the press goes on after one short wait for them all, not a wait
// per folder.
void CommandInterpreterTest::openerThatNeverReturns()
{
    writeAll(bin + QStringLiteral("/xdg-open"),
             "#!/bin/sh\nprintf '%s\\n' \"$*\" >> \"$FERRULE_RECORD\"\nexec /bin/sleep 60\n");
    QVERIFY(QFile::setPermissions(bin + QStringLiteral("/xdg-open"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    CustomCommandList commands{{"打开项目", {}}, {"周报", {}}};
    for (int i = 0; i < 10; ++i) {
        const QString folder = home + QStringLiteral("/folder%1").arg(i);
        QVERIFY(QDir().mkpath(folder));
        commands[i / 5].actions << CustomAction{CustomAction::Kind::Folder, folder};
    }
    QVERIFY(customcommands::save(commands));

    QElapsedTimer clock;
    clock.start();
    interpretCommand("打开d盘，打开项目和周报", WebSearchTable());
    const qint64 heldMs = clock.elapsed();
    QVERIFY2(heldMs < desktopprograms::kOpenersWaitMs + 4000, qPrintable(QString::number(heldMs)));
    // Each was started all the same.
    QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), 11, 5000);
    QCOMPARE(recorded().first(), home); // the first waited for, the rest started at once
    std::fprintf(stderr, "eleven openers that never return held the press %lld ms\n", heldMs);
}

void CommandInterpreterTest::closePrompt_data()
{
    QTest::addColumn<int>("closePrompt");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("sentence shown") << 0 << "打开项目。好"
                                    << "打开项目";
    QTest::newRow("sentence left out") << 1 << "打开项目。好" << QString();
    QTest::newRow("speak up still asked") << 1 << ""
                                          << "请你说大点声！";
}

void CommandInterpreterTest::closePrompt()
{
    QFETCH(int, closePrompt);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    (*settingsMap())[SettingKey::ClosePrompt] = closePrompt;
    PromptRecorder prompts;
    interpretCommand(text.toUtf8().constData(), WebSearchTable());
    QCOMPARE(prompts.texts, shown.isNull() ? QStringList() : QStringList{shown});
}

QTEST_MAIN(CommandInterpreterTest)
#include "tst_commandinterpreter.moc"
