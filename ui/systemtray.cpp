#include "ui/systemtray.h"

#include "app/confirmations.h"
#include "app/promptsink.h"
#include "app/settingkeys.h"
#include "app/settings.h"
#include "app/sitehosts.h"
#include "buildconfig.h"
#include "platform/platform.h"
#include "ui/workmodes.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDebug>
#include <QMenu>
#include <QUrl>

namespace {

const char connectedIcon[] = ":/ico/talvox.ico";
const char disconnectedIcon[] = ":/ico/talvoxhui.ico";
const char selectIcon[] = ":/ico/select.ico";
const char emptyIcon[] = ":/ico/empty.ico";

struct LanguageEntry
{
    const char *menuText;
    const char *prompt;
};

// In the order of the language indices stored in the settings map.
const LanguageEntry languages[5] = {
    {"中文(普通话)", "你选择：中文(普通话)"},
    {"英文", "你选择：英文"},
    {"粤语", "你选择：粤语"},
    {"四川话", "你选择：四川话"},
    {"河南话", "你选择：河南话"},
};

// Translation recognizes only Mandarin, English and Cantonese.
constexpr int translationLanguages = 3;

int setting(const char *key)
{
    return (*settingsMap())[QString::fromLatin1(key)];
}

void showPromptFor(int language)
{
    if (confirmationsShown())
        showPrompt(QString::fromUtf8(languages[language].prompt));
}

} // namespace

SystemTray::SystemTray(QObject *parent) : QSystemTrayIcon(parent)
{
    createMenus();
    showSettings(Look::First);

    refreshTimer.setInterval(1100);
    connect(&refreshTimer, &QTimer::timeout, this, &SystemTray::refreshTray);
    refreshTimer.start();
    fillMenus();
    connectActions();

    setContextMenu(trayMenu);
    setVisible(true);
}

void SystemTray::createMenus()
{
    // The menus have no widget parent; the tray owns the top one and it owns its submenus.
    trayMenu = new QMenu;

    openMainWindowAction = new QAction(QStringLiteral("打开主窗口"), this);
    openMainWindowAction->setFont(QFont(QStringLiteral("微软雅黑"), 9, 70, false));
    introductionAction = new QAction(QStringLiteral("功能介绍"), this);
    aboutUsAction = new QAction(QStringLiteral("关于我们"), this);
    updateAction = new QAction(QStringLiteral("软件更新"), this);
    feedbackAction = new QAction(QStringLiteral("意见反馈"), this);
    buyAction = new QAction(QStringLiteral("购买产品"), this);
    settingsAction = new QAction(QStringLiteral("软件设置"), this);
    quitAction = new QAction(QStringLiteral("退出"), this);

    personalMenu = new QMenu(QStringLiteral("个人中心"), trayMenu);
    customFunctionAction = personalMenu->addAction(QStringLiteral("自定义功能"));
    logInAction = personalMenu->addAction(QStringLiteral("用户登录"));

    languageMenu = new QMenu(QStringLiteral("语言设置"), trayMenu);
    for (int i = 0; i < 5; ++i) {
        languageActions[i] = new QAction(QString::fromUtf8(languages[i].menuText), this);
        languageActions[i]->setCheckable(true);
    }
}

void SystemTray::fillMenus()
{
    for (QAction *action : languageActions)
        languageMenu->addAction(action);
    trayMenu->addAction(openMainWindowAction);
    trayMenu->addAction(introductionAction);
    trayMenu->addAction(aboutUsAction);
    trayMenu->addAction(updateAction);
    trayMenu->addAction(feedbackAction);
    trayMenu->addAction(buyAction);
    trayMenu->addAction(settingsAction);
    trayMenu->addMenu(personalMenu);
    trayMenu->addMenu(languageMenu);
    trayMenu->addAction(quitAction);

    auto *group = new QActionGroup(this);
    group->setExclusive(true);
    group->setEnabled(true);
    for (QAction *action : languageActions)
        group->addAction(action);
}

void SystemTray::connectActions()
{
    connect(languageActions[0], &QAction::triggered, this, &SystemTray::showChinese);
    connect(languageActions[1], &QAction::triggered, this, &SystemTray::showEnglish);
    connect(languageActions[2], &QAction::triggered, this, &SystemTray::showYueYu);
    connect(languageActions[3], &QAction::triggered, this, &SystemTray::showSiChuan);
    connect(languageActions[4], &QAction::triggered, this, &SystemTray::showHeNan);
    connect(customFunctionAction, &QAction::triggered, this, &SystemTray::showCustomFunction);
    connect(settingsAction, &QAction::triggered, this, &SystemTray::showSoftwareSet);
    connect(logInAction, &QAction::triggered, this, &SystemTray::showPersonLogIn);
    connect(openMainWindowAction, &QAction::triggered, this, &SystemTray::showWidget);
    connect(introductionAction, &QAction::triggered, this, &SystemTray::showIntroduction);
    connect(quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);
    connect(aboutUsAction, &QAction::triggered, this, &SystemTray::showAboutUs);
    connect(updateAction, &QAction::triggered, this, &SystemTray::showUpdateUrl);
}

SystemTray::~SystemTray()
{
    delete trayMenu;
}

void SystemTray::refreshTray()
{
    showSettings(Look::Refresh);
}

// The first look (Look::First), before the timer's first round, differs in two
// ways: a device state other than 0 or 1 leaves the tray without an icon, and
// only the chosen languages get a mark, the others none at all.
void SystemTray::showSettings(Look look)
{
    const int connected = setting(SettingKey::MonitorTalvoxMouseConnect);
    if (connected == 1)
        setIcon(QIcon(QString::fromLatin1(connectedIcon)));
    else if (connected == 0 || look == Look::Refresh)
        setIcon(QIcon(QString::fromLatin1(disconnectedIcon)));
    setToolTip(QStringLiteral("塔沃智能鼠标"));

    for (int m = 0; m < 3; ++m) {
        if (setting(workModes[m].mode) != 1)
            continue;
        const int language = setting(workModes[m].language);
        if (language < 0 || language > 4)
            continue;
        if (look == Look::First)
            languageActions[language]->setIcon(QIcon(QString::fromLatin1(selectIcon)));
        else
            markLanguage(language);
        // A dialect is never stored for translation by the tray; if another
        // writer put one there, show the mark but keep the check on an offered one.
        if (m != 2 || language < translationLanguages)
            languageActions[language]->setChecked(true);
    }
}

void SystemTray::markLanguage(int language)
{
    for (int i = 0; i < 5; ++i)
        languageActions[i]->setIcon(
            QIcon(QString::fromLatin1(i == language ? selectIcon : emptyIcon)));
}

// The choice is stored before its one-second prompt: another choice made
// during that second runs inside it, and the later choice must be the one
// that stays, as it is the one the menu shows checked.
void SystemTray::chooseLanguage(int language)
{
    for (const ModeKeys &keys : workModes) {
        if (setting(keys.mode) != 1)
            continue;
        (*settingsMap())[QString::fromLatin1(keys.language)] = language;
        saveSettingsMap(settingsMap());
        markLanguage(language);
    }
    showPromptFor(language);
}

void SystemTray::chooseDialect(int language)
{
    for (int m = 0; m < 2; ++m) {
        if (setting(workModes[m].mode) != 1)
            continue;
        (*settingsMap())[QString::fromLatin1(workModes[m].language)] = language;
        saveSettingsMap(settingsMap());
        markLanguage(language);
        showPromptFor(language);
    }
    // Translation cannot use a dialect: nothing is stored and no mark stays;
    // the next refresh puts the mark back on the stored translation language.
    if (setting(SettingKey::TranslationModel) == 1)
        markLanguage(-1);
}

namespace {

// A build without a real product site opens no page of the placeholder
// domain; the user learns why nothing opens.
void openProductSite(const QString &path)
{
    if (!productSiteSet()) {
        qDebug() << "no product site in this build, nothing opened !";
        showPrompt(noProductSitePrompt());
        return;
    }
    platform().openUrl(QUrl(QStringLiteral("http://" FERRULE_PRODUCT_HOST) + path));
}

} // namespace

void SystemTray::showAboutUs()
{
    openProductSite(QStringLiteral("/"));
}

void SystemTray::showUpdateUrl()
{
    openProductSite(QStringLiteral("/mouse"));
}

void SystemTray::showChinese()
{
    chooseLanguage(Mandarin);
}

void SystemTray::showEnglish()
{
    chooseLanguage(English);
}

void SystemTray::showYueYu()
{
    chooseLanguage(Cantonese);
}

void SystemTray::showSiChuan()
{
    chooseDialect(Sichuanese);
}

void SystemTray::showHeNan()
{
    chooseDialect(Henanese);
}
