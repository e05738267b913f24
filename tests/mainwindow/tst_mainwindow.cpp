// The main window and the tray menu, offscreen: languages, device state,
// the secondary windows, close and quit.
#include "app/logfile.h"
#include "app/settingkeys.h"
#include "app/sitehosts.h"
#include "buildconfig.h"
#include "common/logcapture.h"
#include "common/prompts.h"
#include "common/settingsenv.h"
#include "traywindows.h"
#include "ui/convenienttool.h"
#include "ui/customfunctiondialog.h"
#include "ui/promptboxsink.h"
#include "ui/promptmessagedialog.h"
#include "ui/softwaresettingsdialog.h"
#include "ui/useintructionsdialog.h"
#include "ui/userlogindialog.h"

#include <QDesktopServices>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

using namespace TrayWindows;

namespace {

void setModes(int typing, int intelligence, int translation)
{
    SettingsEnv::set({{SettingKey::TypingModel, typing},
                      {SettingKey::IntelligenceModel, intelligence},
                      {SettingKey::TranslationModel, translation}});
}

void setLanguages(int typing, int intelligence, int translation)
{
    SettingsEnv::set({{SettingKey::TypingLanguage, typing},
                      {SettingKey::IntelligenceLanguage, intelligence},
                      {SettingKey::TranslationLanguage, translation}});
}

QList<int> storedLanguages()
{
    return {SettingsEnv::value(SettingKey::TypingLanguage),
            SettingsEnv::value(SettingKey::IntelligenceLanguage),
            SettingsEnv::value(SettingKey::TranslationLanguage)};
}

QList<int> languagesOnDisk()
{
    const QMap<QString, int> file = SettingsEnv::configFile();
    return {file.value(SettingKey::TypingLanguage, -1),
            file.value(SettingKey::IntelligenceLanguage, -1),
            file.value(SettingKey::TranslationLanguage, -1)};
}

QStringList statusTexts(MainWindow &window)
{
    QStringList texts;
    for (QLabel *label : window.statusBar()->findChildren<QLabel *>())
        texts << label->text();
    return texts;
}

QSize desktop()
{
    return QGuiApplication::primaryScreen()->virtualGeometry().size();
}

template <typename T> QList<T *> windowsOf(MainWindow &window)
{
    return window.findChildren<T *>(QString(), Qt::FindDirectChildrenOnly);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    SettingsEnv env;
    QList<QUrl> openedUrls;

public slots:
    void openUrl(const QUrl &url) { openedUrls << url; }

private slots:
    void initTestCase()
    {
        QVERIFY(env.enter());
        SettingsEnv::set({{SettingKey::MonitorTalvoxMouseConnect, 0}});
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
    }
    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }

    void contextMenuInOrder();
    void startMarksStoredLanguage_data();
    void startMarksStoredLanguage();
    void languageEntries_data();
    void languageEntries();
    void closePromptLeavesOutLanguagePrompt();
    void laterLanguageChoiceWins();
    void iconAndStatusFollowDeviceState();
    void windowsCreatedOnceAndPlaced_data();
    void windowsCreatedOnceAndPlaced();
    void oneSettingsDialogFromEveryRoute_data();
    void oneSettingsDialogFromEveryRoute();
    void trayActivation_data();
    void trayActivation();
    void closeHidesAndOpenRestores();
    void offlineGrammarAnswersTruthfully_data();
    void offlineGrammarAnswersTruthfully();
    void webEntries_data();
    void webEntries();
    void quitEndsTheEventLoop();
    void statusWindowWhereNoTray();
    void menusOfTheStatusWindow_data();
    void menusOfTheStatusWindow();
    void dialogOpensOverItsOpener();
};

void TestMainWindow::contextMenuInOrder()
{
    setModes(0, 1, 0);
    MainWindow window;
    SystemTray *tray = trayOf(window);
    QVERIFY(tray);
    QVERIFY(tray->isVisible());
    QVERIFY(window.isHidden());
    QVERIFY(!QApplication::quitOnLastWindowClosed());
    QCOMPARE(tray->toolTip(), QStringLiteral("塔沃智能鼠标"));

    QStringList top;
    for (QAction *action : tray->contextMenu()->actions())
        top << action->text();
    QCOMPARE(top, QStringList({"打开主窗口", "功能介绍", "关于我们", "软件更新", "意见反馈",
                               "购买产品", "软件设置", "个人中心", "语言设置", "退出"}));
    QStringList personal;
    for (QAction *action : entry(tray, QStringLiteral("个人中心"))->menu()->actions())
        personal << action->text();
    QCOMPARE(personal, QStringList({"自定义功能", "用户登录"}));
    QStringList languages;
    for (QAction *action : languageActions(tray)) {
        languages << action->text();
        QVERIFY(action->isCheckable());
        QVERIFY(action->actionGroup() && action->actionGroup()->isExclusive());
    }
    QCOMPARE(languages, QStringList({"中文(普通话)", "英文", "粤语", "四川话", "河南话"}));

    const QFont bold = entry(tray, QStringLiteral("打开主窗口"))->font();
    QCOMPARE(bold.family(), QStringLiteral("微软雅黑"));
    QCOMPARE(bold.pointSize(), 9);
    QCOMPARE(bold.weight(), 70);
    QVERIFY(!bold.italic());
}

void TestMainWindow::startMarksStoredLanguage_data()
{
    QTest::addColumn<QList<int>>("modes");
    QTest::addColumn<QList<int>>("languages");
    QTest::addColumn<int>("checked");
    QTest::addColumn<int>("marked");
    QTest::newRow("intelligent, Cantonese") << QList<int>{0, 1, 0} << QList<int>{1, 2, 0} << 2 << 2;
    QTest::newRow("typing, Sichuanese") << QList<int>{1, 0, 0} << QList<int>{3, 0, 1} << 3 << 3;
    QTest::newRow("translation, English") << QList<int>{0, 0, 1} << QList<int>{4, 4, 1} << 1 << 1;
    // A dialect for translation (written by hand) is marked but never checked.
    QTest::newRow("translation, stored Henanese")
        << QList<int>{0, 0, 1} << QList<int>{0, 0, 4} << -1 << 4;
    QTest::newRow("out of range") << QList<int>{1, 0, 0} << QList<int>{7, 0, 0} << -1 << -2;
}

void TestMainWindow::startMarksStoredLanguage()
{
    QFETCH(QList<int>, modes);
    QFETCH(QList<int>, languages);
    QFETCH(int, checked);
    QFETCH(int, marked);
    setModes(modes[0], modes[1], modes[2]);
    setLanguages(languages[0], languages[1], languages[2]);
    const QByteArray config = SettingsEnv::configText();

    MainWindow window;
    SystemTray *tray = trayOf(window);
    QCOMPARE(checkedLanguage(tray), checked);
    if (marked >= 0)
        QVERIFY(sameIcon(languageActions(tray).at(marked)->icon(), ":/ico/select.ico"));
    // After the first refresh the four others carry the empty mark.
    QTest::qWait(1300);
    QCOMPARE(markedLanguage(tray), marked);
    QCOMPARE(checkedLanguage(tray), checked);
    QCOMPARE(SettingsEnv::configText(), config);
}

void TestMainWindow::closePromptLeavesOutLanguagePrompt()
{
    setModes(0, 1, 0);
    setLanguages(0, 0, 0);
    SettingsEnv::set({{SettingKey::ClosePrompt, 1}});
    MainWindow window;
    PromptRecorder prompts;
    languageActions(trayOf(window)).at(English)->trigger();
    SettingsEnv::set({{SettingKey::ClosePrompt, 0}});
    QCOMPARE(prompts.texts, QStringList());
    // The choice itself is made as ever.
    QCOMPARE(languagesOnDisk(), (QList<int>{0, English, 0}));
}

void TestMainWindow::languageEntries_data()
{
    QTest::addColumn<QList<int>>("modes");
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QList<int>>("after");
    QTest::addColumn<int>("marked");   // right after the choice
    QTest::addColumn<int>("restored"); // mark and check after the next refresh

    const QList<int> start{0, 2, 1};
    QTest::newRow("英文 in typing mode")
        << QList<int>{1, 0, 0} << start << 1 << "你选择：英文" << QList<int>{1, 2, 1} << 1 << 1;
    QTest::newRow("粤语 in intelligent mode") << QList<int>{0, 1, 0} << QList<int>{1, 0, 1} << 2
                                              << "你选择：粤语" << QList<int>{1, 2, 1} << 2 << 2;
    QTest::newRow("中文 in translation mode")
        << QList<int>{0, 0, 1} << start << 0 << "你选择：中文(普通话)" << QList<int>{0, 2, 0} << 0
        << 0;
    QTest::newRow("四川话 in typing mode")
        << QList<int>{1, 0, 0} << start << 3 << "你选择：四川话" << QList<int>{3, 2, 1} << 3 << 3;
    QTest::newRow("河南话 in intelligent mode")
        << QList<int>{0, 1, 0} << start << 4 << "你选择：河南话" << QList<int>{0, 4, 1} << 4 << 4;
    QTest::newRow("四川话 in translation mode changes nothing")
        << QList<int>{0, 0, 1} << start << 3 << "" << start << -1 << 1;
    QTest::newRow("河南话 in translation mode changes nothing")
        << QList<int>{0, 0, 1} << QList<int>{0, 2, 2} << 4 << "" << QList<int>{0, 2, 2} << -1 << 2;
    QTest::newRow("英文 with no mode only prompts")
        << QList<int>{0, 0, 0} << start << 1 << "你选择：英文" << start << -2 << -2;
}

void TestMainWindow::languageEntries()
{
    QFETCH(QList<int>, modes);
    QFETCH(QList<int>, before);
    QFETCH(int, chosen);
    QFETCH(QString, prompt);
    QFETCH(QList<int>, after);
    QFETCH(int, marked);
    QFETCH(int, restored);
    setModes(modes[0], modes[1], modes[2]);
    setLanguages(before[0], before[1], before[2]);
    const QByteArray config = SettingsEnv::configText();

    // The choice is confirmed as the user sees it: in the prompt box, for its second.
    ScopedPromptSink boxes(promptBoxSink());
    MainWindow window;
    SystemTray *tray = trayOf(window);
    QString shown;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, [&] {
        if (shown.isEmpty())
            shown = shownPrompts().value(0);
    });
    watcher.start(50);
    QElapsedTimer clock;
    clock.start();
    languageActions(tray).at(chosen)->trigger();
    watcher.stop();

    QCOMPARE(shown, prompt);
    if (!prompt.isEmpty())
        QVERIFY(clock.elapsed() >= 1000);
    QCOMPARE(storedLanguages(), after);
    if (after == before)
        QCOMPARE(SettingsEnv::configText(), config);
    else
        QCOMPARE(languagesOnDisk(), after);
    QCOMPARE(markedLanguage(tray), marked);

    QTRY_COMPARE_WITH_TIMEOUT(markedLanguage(tray), restored, 1500);
    if (restored >= 0)
        QCOMPARE(checkedLanguage(tray), restored);
    QCOMPARE(storedLanguages(), after);
}

void TestMainWindow::laterLanguageChoiceWins()
{
    setModes(1, 0, 0);
    setLanguages(0, 0, 0);
    MainWindow window;
    SystemTray *tray = trayOf(window);
    // "粤语" is chosen while the prompt of "英文" is still up.
    PromptRecorder prompts;
    prompts.whileShown = [&prompts, tray] {
        prompts.whileShown = nullptr;
        languageActions(tray).at(2)->trigger();
    };
    languageActions(tray).at(1)->trigger();
    QCOMPARE(prompts.texts,
             (QStringList{QStringLiteral("你选择：英文"), QStringLiteral("你选择：粤语")}));

    QCOMPARE(checkedLanguage(tray), 2);
    QCOMPARE(storedLanguages(), (QList<int>{2, 0, 0}));
    QCOMPARE(languagesOnDisk(), (QList<int>{2, 0, 0}));
    QCOMPARE(markedLanguage(tray), 2);
}

void TestMainWindow::iconAndStatusFollowDeviceState()
{
    SettingsEnv::set({{SettingKey::MonitorTalvoxMouseConnect, 0}});
    MainWindow window;
    SystemTray *tray = trayOf(window);
    QVERIFY(sameIcon(tray->icon(), ":/ico/talvoxhui.ico"));
    QVERIFY(sameIcon(window.windowIcon(), ":/ico/talvox.ico"));
    QTRY_VERIFY_WITH_TIMEOUT(statusTexts(window).contains(QStringLiteral("鼠标或声卡驱动异常")),
                             1200);
    QVERIFY(statusTexts(window).contains(QStringLiteral("未登录")));
    const QRegularExpression clock(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d [0-2]\\d:[0-5]\\d:[0-5]\\d$"));
    QCOMPARE(statusTexts(window).filter(clock).size(), 1);

    // The device monitor writes the map; the views follow on their own timers.
    QElapsedTimer elapsed;
    elapsed.start();
    SettingsEnv::set({{SettingKey::MonitorTalvoxMouseConnect, 1}});
    QTRY_VERIFY_WITH_TIMEOUT(statusTexts(window).contains(QStringLiteral("塔沃鼠标已连接")), 1200);
    QTRY_VERIFY_WITH_TIMEOUT(sameIcon(tray->icon(), ":/ico/talvox.ico"), 1300);
    QVERIFY(elapsed.elapsed() < 1300);

    // A value that is neither leaves the status text alone; the tray shows grey.
    SettingsEnv::set({{SettingKey::MonitorTalvoxMouseConnect, 5}});
    QTRY_VERIFY_WITH_TIMEOUT(sameIcon(tray->icon(), ":/ico/talvoxhui.ico"), 1300);
    QTest::qWait(1100);
    QVERIFY(statusTexts(window).contains(QStringLiteral("塔沃鼠标已连接")));
    SettingsEnv::set({{SettingKey::MonitorTalvoxMouseConnect, 0}});
}

void TestMainWindow::windowsCreatedOnceAndPlaced_data()
{
    const QSize d = desktop();
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<bool>("white");
    QTest::newRow("login") << QByteArray("showLogIn") << QByteArray("UserLogInDialog") << QRect()
                           << true;
    QTest::newRow("settings") << QByteArray("showSoftwareSettings")
                              << QByteArray("SoftwareSettingsDialog") << QRect() << true;
    QTest::newRow("custom commands")
        << QByteArray("showCustomFunc") << QByteArray("CustomFunctionDialog") << QRect() << false;
    QTest::newRow("introduction") << QByteArray("showLeftMouseEvent")
                                  << QByteArray("PromptMessageDialog")
                                  << QRect(d.width() - 200, d.height() - 615, 200, 540) << true;
    QTest::newRow("instructions") << QByteArray("showHelp") << QByteArray("UseIntructionsDialog")
                                  << QRect(d.width() - 400, d.height() - 692, 400, 652) << true;
    QTest::newRow("floating tool")
        << QByteArray("showConvenientTool") << QByteArray("ConvenientTool")
        << QRect(d.width() - 310, d.height() - 65, 200, 25) << false;
}

void TestMainWindow::windowsCreatedOnceAndPlaced()
{
    QFETCH(QByteArray, slot);
    QFETCH(QByteArray, className);
    QFETCH(QRect, geometry);
    QFETCH(bool, white);
    MainWindow window;
    auto created = [&] {
        QList<QWidget *> found;
        for (QWidget *child : windowsOf<QWidget>(window))
            if (child->inherits(className.constData()))
                found << child;
        return found;
    };
    QVERIFY(created().isEmpty());

    QVERIFY(QMetaObject::invokeMethod(&window, slot.constData()));
    QCOMPARE(created().size(), 1);
    QWidget *first = created().first();
    QVERIFY(first->isVisible());
    QCOMPARE(first->parentWidget(), &window);
    QCOMPARE(first->styleSheet() == QLatin1String("background-color: white"), white);
    if (geometry.isValid())
        QCOMPARE(first->geometry(), geometry);

    // Moved and hidden by the user: the next request shows the same window where it is.
    first->move(first->pos() + QPoint(-30, -20));
    const QPoint moved = first->pos();
    first->hide();
    QVERIFY(QMetaObject::invokeMethod(&window, slot.constData()));
    QCOMPARE(created().size(), 1);
    QCOMPARE(created().first(), first);
    QVERIFY(first->isVisible());
    QCOMPARE(first->pos(), moved);
}

void TestMainWindow::oneSettingsDialogFromEveryRoute_data()
{
    QTest::addColumn<QString>("route");
    QTest::newRow("tray entry 软件设置") << "tray";
    QTest::newRow("floating tool 三") << "tool";
    QTest::newRow("introduction 26种其他语言") << "guide";
}

void TestMainWindow::oneSettingsDialogFromEveryRoute()
{
    QFETCH(QString, route);
    MainWindow window;
    SystemTray *tray = trayOf(window);
    auto openByRoute = [&] {
        if (route == QLatin1String("tray")) {
            entry(tray, QStringLiteral("软件设置"))->trigger();
        } else if (route == QLatin1String("tool")) {
            emit tray->activated(QSystemTrayIcon::Trigger);
            auto *tool = window.findChild<ConvenientTool *>();
            QVERIFY(tool && tool->isVisible());
            auto *three = tool->findChild<QPushButton *>(QStringLiteral("pushButton_4"));
            QCOMPARE(three->text(), QStringLiteral("三"));
            QTest::mouseClick(three, Qt::LeftButton);
            QVERIFY(tool->isHidden());
        } else {
            emit tray->activated(QSystemTrayIcon::DoubleClick);
            auto *guide = window.findChild<PromptMessageDialog *>();
            QVERIFY(guide && guide->isVisible());
            auto *other = guide->findChild<QPushButton *>(QStringLiteral("pushButton_2"));
            QCOMPARE(other->text(), QStringLiteral("26种其他语言"));
            QTest::mouseClick(other, Qt::LeftButton);
            QVERIFY(guide->isVisible());
        }
    };

    // Never opened before: the route creates it.
    openByRoute();
    QCOMPARE(windowsOf<SoftwareSettingsDialog>(window).size(), 1);
    SoftwareSettingsDialog *settings = windowsOf<SoftwareSettingsDialog>(window).first();
    QVERIFY(settings->isVisible());

    // The other routes and this one again all show the same object.
    settings->hide();
    entry(tray, QStringLiteral("软件设置"))->trigger();
    QVERIFY(settings->isVisible());
    settings->hide();
    openByRoute();
    QVERIFY(settings->isVisible());
    QCOMPARE(windowsOf<SoftwareSettingsDialog>(window).size(), 1);
}

void TestMainWindow::trayActivation_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<QByteArray>("opens");
    QTest::newRow("click") << int(QSystemTrayIcon::Trigger) << QByteArray("ConvenientTool");
    QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick)
                                  << QByteArray("PromptMessageDialog");
    QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << QByteArray();
    QTest::newRow("context") << int(QSystemTrayIcon::Context) << QByteArray();
    // Where no double click arrives (StatusNotifier trays), the menu opens it.
    QTest::newRow("menu entry 功能介绍") << -1 << QByteArray("PromptMessageDialog");
}

void TestMainWindow::trayActivation()
{
    QFETCH(int, reason);
    QFETCH(QByteArray, opens);
    MainWindow window;
    SystemTray *tray = trayOf(window);
    const int before = windowsOf<QWidget>(window).size();
    if (reason == -1)
        entry(tray, QStringLiteral("功能介绍"))->trigger();
    else
        emit tray->activated(QSystemTrayIcon::ActivationReason(reason));

    QList<QWidget *> added;
    for (QWidget *child : windowsOf<QWidget>(window))
        if (child->isWindow())
            added << child;
    if (opens.isEmpty()) {
        QCOMPARE(windowsOf<QWidget>(window).size(), before);
        return;
    }
    QCOMPARE(windowsOf<QWidget>(window).size(), before + 1);
    QWidget *opened = windowsOf<QWidget>(window).last();
    QVERIFY(opened->inherits(opens.constData()));
    QVERIFY(opened->isVisible());
    QVERIFY(window.isHidden());
}

void TestMainWindow::closeHidesAndOpenRestores()
{
    MainWindow window;
    SystemTray *tray = trayOf(window);
    QAction *open = entry(tray, QStringLiteral("打开主窗口"));
    open->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("塔沃鼠标——语音技术由Quillet提供"));
    QVERIFY(window.width() >= 835 && window.height() >= 450);

    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    QVERIFY(!window.close());
    QVERIFY(window.isHidden());
    QCOMPARE(lastClosed.count(), 0);
    QVERIFY(tray->isVisible());

    open->trigger();
    QVERIFY(window.isVisible());
    window.showMinimized();
    QTRY_VERIFY(window.isMinimized());
    open->trigger();
    QTRY_VERIFY(!window.isMinimized());
    QVERIFY(window.isVisible());
}

void TestMainWindow::offlineGrammarAnswersTruthfully_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("boxes");
    QTest::newRow("是(Y)") << "yes" << 2;
    QTest::newRow("否(N)") << "no" << 1;
    QTest::newRow("closed") << "close" << 1;
}

void TestMainWindow::offlineGrammarAnswersTruthfully()
{
    QFETCH(QString, answer);
    QFETCH(int, boxes);
    MainWindow window;
    const QStringList filesBefore = QDir::current().entryList(QDir::Files);

    struct Seen
    {
        QString title, text;
        QMessageBox::Icon icon;
        QStringList buttons;
    };
    QList<Seen> seen;
    QPointer<QMessageBox> last;
    QTimer driver;
    connect(&driver, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box == last)
            return;
        last = box;
        Seen s{box->windowTitle(), box->text(), box->icon(), {}};
        for (QAbstractButton *button : box->buttons())
            s.buttons << button->text();
        seen << s;
        if (seen.size() == 1 && answer == QLatin1String("yes"))
            box->button(QMessageBox::Yes)->click();
        else if (seen.size() == 1 && answer == QLatin1String("no"))
            box->button(QMessageBox::No)->click();
        else if (seen.size() == 1)
            box->close();
        else
            box->button(QMessageBox::Ok)->click();
    });
    driver.start(20);
    QMenu *options = window.findChild<QMenu *>(QStringLiteral("optionsMenu"));
    QVERIFY(options);
    QCOMPARE(options->title(), QStringLiteral("选项"));
    entry(options, QStringLiteral("构建离线语法"))->trigger();
    driver.stop();

    QCOMPARE(seen.size(), boxes);
    QCOMPARE(seen[0].title, QStringLiteral("Quillet"));
    QCOMPARE(seen[0].icon, QMessageBox::Question);
    QCOMPARE(seen[0].text,
             QStringLiteral(
                 "由于本系统集成的离线命令较多，构建离线语法可能会消耗1~2分钟时间，是否继续？"));
    QCOMPARE(QSet<QString>(seen[0].buttons.begin(), seen[0].buttons.end()),
             QSet<QString>({"是(Y)", "否(N)"}));
    if (boxes == 2) {
        QCOMPARE(seen[1].title, QStringLiteral("Quillet"));
        QCOMPARE(seen[1].icon, QMessageBox::NoIcon);
        QCOMPARE(seen[1].buttons, QStringList{"确定"});
        // Nothing was built, so nothing may claim it was.
        QVERIFY(!seen[1].text.contains(QStringLiteral("成功")));
        QVERIFY(seen[1].text.contains(QStringLiteral("未构建")));
    }
    QCOMPARE(QDir::current().entryList(QDir::Files), filesBefore);
}

void TestMainWindow::webEntries_data()
{
    QTest::addColumn<QString>("entryText");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("prompt");
    // A build that keeps the placeholder product host opens none of its pages
    // and says that no site is set.
    const bool site = productSiteSet();
    const QString noSite = site ? QString() : noProductSitePrompt();
    QTest::newRow("软件更新") << "软件更新"
                              << (site ? QStringLiteral("http://" FERRULE_PRODUCT_HOST "/mouse")
                                       : QString())
                              << noSite;
    QTest::newRow("关于我们") << "关于我们"
                              << (site ? QStringLiteral("http://" FERRULE_PRODUCT_HOST "/")
                                       : QString())
                              << noSite;
    QTest::newRow("意见反馈") << "意见反馈" << QString() << QString();
    QTest::newRow("购买产品") << "购买产品" << QString() << QString();
}

void TestMainWindow::webEntries()
{
    QFETCH(QString, entryText);
    QFETCH(QString, url);
    QFETCH(QString, prompt);
    SettingsEnv::set({{SettingKey::ClosePrompt, 1}});
    MainWindow window;
    openedUrls.clear();
    const QWidgetList windowsBefore = QApplication::topLevelWidgets();
    PromptRecorder prompts;
    entry(trayOf(window), entryText)->trigger();
    if (url.isEmpty()) {
        QVERIFY(openedUrls.isEmpty());
    } else {
        QCOMPARE(openedUrls.size(), 1);
        QCOMPARE(openedUrls.first(), QUrl(url));
        QVERIFY(openedUrls.first().isValid());
    }
    // Not a confirmation: shown with "关闭提示" on too.
    QCOMPARE(prompts.texts, prompt.isEmpty() ? QStringList() : QStringList{prompt});
    SettingsEnv::set({{SettingKey::ClosePrompt, 0}});
    QTRY_COMPARE(QApplication::topLevelWidgets().size(), windowsBefore.size());
}

void TestMainWindow::quitEndsTheEventLoop()
{
    MainWindow window;
    QAction *quit = entry(trayOf(window), QStringLiteral("退出"));
    QTimer::singleShot(0, quit, &QAction::trigger);
    // Without the connection the loop would run until this guard ends it.
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(7); });
    QCOMPARE(QApplication::exec(), 0);
}

// The offscreen desktop has no system tray, as GNOME without its extension:
// the status window shows at start and again at every later start.
void TestMainWindow::statusWindowWhereNoTray()
{
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    LogCapture log;
    MainWindow window;
    QVERIFY(window.isHidden());
    window.showWithoutTray(MainWindow::Focus::Leave);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *text = qobject_cast<QTextEdit *>(window.centralWidget());
    QVERIFY(text);
    QVERIFY2(text->toPlainText().startsWith(QStringLiteral("未找到系统托盘")),
             qPrintable(text->toPlainText()));
    QCOMPARE(log.count(QStringLiteral("No system tray found")), 1);

    // Closed, it hides; the next start of Ferrule brings it back.
    QVERIFY(!window.close());
    QVERIFY(window.isHidden());
    window.showWithoutTray(MainWindow::Focus::Take);
    QVERIFY(window.isVisible());
    QCOMPARE(log.count(QStringLiteral("No system tray found")), 1);
}

void TestMainWindow::menusOfTheStatusWindow_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("opens");
    QTest::newRow("选项 › 软件设置") << "选项"
                                     << "软件设置" << QByteArray("SoftwareSettingsDialog");
    QTest::newRow("选项 › 自定义功能") << "选项"
                                       << "自定义功能" << QByteArray("CustomFunctionDialog");
    QTest::newRow("帮助 › 使用说明") << "帮助"
                                     << "使用说明" << QByteArray("UseIntructionsDialog");
    QTest::newRow("帮助 › 功能介绍") << "帮助"
                                     << "功能介绍" << QByteArray("PromptMessageDialog");
    QTest::newRow("帮助 › 打开日志") << "帮助"
                                     << "打开日志" << QByteArray("log");
    QTest::newRow("选项 › 退出") << "选项"
                                 << "退出" << QByteArray("quit");
}

void TestMainWindow::menusOfTheStatusWindow()
{
    QFETCH(QString, menu);
    QFETCH(QString, action);
    QFETCH(QByteArray, opens);
    MainWindow window;
    window.showWithoutTray(MainWindow::Focus::Take);
    QAction *found = nullptr;
    for (QAction *top : window.menuBar()->actions())
        if (top->text() == menu && top->menu())
            found = entry(top->menu(), action);
    QVERIFY(found);

    if (opens == "quit") {
        QTimer::singleShot(0, found, &QAction::trigger);
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(7); });
        guard.start(5000);
        QCOMPARE(QCoreApplication::exec(), 0);
    } else if (opens == "log") {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ferrule.log"));
        installLogFile(path);
        qDebug() << "a line for the log";
        openedUrls.clear();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
        found->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(openedUrls, QList<QUrl>{QUrl::fromLocalFile(path)});
    } else {
        found->trigger();
        const QList<QWidget *> windows = windowsOf<QWidget>(window);
        QVERIFY(!windows.isEmpty());
        QVERIFY(windows.last()->inherits(opens.constData()));
        QVERIFY(windows.last()->isVisible());
    }
}

// A dialog opened from another appears centred over it, kept on the screen;
// one opened from the tray with no Ferrule window in use, centred on the screen.
void TestMainWindow::dialogOpensOverItsOpener()
{
    MainWindow window;
    SystemTray *tray = trayOf(window);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    entry(tray, QStringLiteral("用户登录"))->trigger();
    auto *login = window.findChild<UserLogInDialog *>();
    QVERIFY(login && login->isVisible());
    QCOMPARE(login->frameGeometry().center(), screen.center());

    // From the tool strip at the bottom right: beside it, kept on the screen.
    emit tray->activated(QSystemTrayIcon::Trigger);
    auto *tool = window.findChild<ConvenientTool *>();
    QTest::mouseClick(tool->findChild<QPushButton *>(QStringLiteral("pushButton_4")),
                      Qt::LeftButton);
    auto *settings = window.findChild<SoftwareSettingsDialog *>();
    QVERIFY(settings && settings->isVisible());
    QVERIFY(screen.contains(settings->frameGeometry()));
    QCOMPARE(settings->frameGeometry().right(), screen.right());
    QCOMPARE(settings->frameGeometry().bottom(), screen.bottom());

    // The command dialog asked for while the settings are in use: over them.
    QApplication::setActiveWindow(settings);
    QTRY_COMPARE(QApplication::activeWindow(), settings);
    entry(tray, QStringLiteral("自定义功能"))->trigger();
    auto *custom = window.findChild<CustomFunctionDialog *>();
    QVERIFY(custom && custom->isVisible());
    QCOMPARE(custom->frameGeometry().center().x(), settings->frameGeometry().center().x());
    QVERIFY(custom->frameGeometry().intersects(settings->frameGeometry()));
    QVERIFY(custom->x() >= screen.left() && custom->frameGeometry().right() <= screen.right());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
