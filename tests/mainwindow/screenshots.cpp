// Renders every window and page of Ferrule's interface to PNG files, so a
// person can look at them:  ferrule_screenshots <folder>
// Runs against a real X display (scripts/screenshots starts Xvfb and trayer).
#include "app/fonts.h"
#include "app/settingkeys.h"
#include "app/settings.h"
#include "common/settingsenv.h"
#include "ui/mainwindow.h"
#include "ui/promptbox.h"
#include "ui/speechsetupdialog.h"
#include "ui/systemtray.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <functional>

namespace {

QDir out;
int failures = 0;

// Processes events until ready() or the time is up.
bool waitFor(const std::function<bool()> &ready, int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!ready()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void settle(int milliseconds = 150)
{
    waitFor([] { return false; }, milliseconds);
}

void save(const QString &name, const QImage &image)
{
    // A blank or one-coloured picture means nothing was drawn.
    bool varied = false;
    for (int y = 0; y < image.height() && !varied; ++y)
        for (int x = 0; x < image.width() && !varied; ++x)
            varied = image.pixel(x, y) != image.pixel(0, 0);
    const QString path = out.filePath(name + QStringLiteral(".png"));
    if (image.isNull() || !varied || !image.save(path)) {
        qWarning().noquote() << "screenshot failed:" << name;
        ++failures;
        return;
    }
    qDebug().noquote() << path;
}

void shoot(const QString &name, QWidget *widget)
{
    if (!widget) {
        qWarning().noquote() << "no window for" << name;
        ++failures;
        return;
    }
    widget->show();
    waitFor([widget] { return widget->isVisible(); }, 2000);
    settle();
    save(name, widget->grab().toImage());
}

template <typename T> T *child(QObject *parent, const char *className, const char *name = nullptr)
{
    for (T *found : parent->findChildren<T *>(name ? QString::fromLatin1(name) : QString()))
        if (!className || found->inherits(className))
            return found;
    return nullptr;
}

void click(QWidget *window, const char *button)
{
    if (auto *b = window ? child<QAbstractButton>(window, nullptr, button) : nullptr)
        b->click();
    else
        qWarning() << "no button" << button;
    settle();
}

QWidget *open(MainWindow &window, const char *slot, const char *className)
{
    QMetaObject::invokeMethod(&window, slot);
    return child<QWidget>(&window, className);
}

QMenu *submenu(QMenu *menu, const QString &title)
{
    for (QAction *action : menu->actions())
        if (action->menu() && action->text() == title)
            return action->menu();
    return nullptr;
}

void shootMenu(const QString &name, QMenu *menu, QPoint at)
{
    if (!menu) {
        ++failures;
        return;
    }
    menu->popup(at);
    waitFor([menu] { return menu->isVisible(); }, 2000);
    settle();
    save(name, menu->grab().toImage());
}

// Grabs each modal box as it comes up, then answers it with the given buttons in turn.
void shootModalBoxes(const QStringList &names, const QList<QMessageBox::StandardButton> &answers,
                     const std::function<void()> &start)
{
    int next = 0;
    QWidget *last = nullptr;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box == last || next >= names.size())
            return;
        last = box;
        settle(200);
        save(names.at(next), box->grab().toImage());
        box->button(answers.at(next++))->click();
    });
    driver.start(50);
    start();
    if (next != names.size())
        ++failures;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        qWarning("usage: ferrule_screenshots <folder>");
        return 2;
    }
    out = QDir(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral(".")))
        return 2;

    // The settings dialog applies the autostart setting: keep it off the user's session.
    SettingsEnv work;
    if (!work.enter())
        return 2;
    installFontSubstitutions();
    createDefaultConfig();
    SettingsMap *map = settingsMap();
    (*map)[SettingKey::MonitorTalvoxMouseConnect] = 1;
    (*map)[SettingKey::IntelligenceLanguage] = 2;
    saveSettingsMap(map);

    MainWindow window;
    auto *tray = window.findChild<SystemTray *>();
    if (!waitFor([tray] { return tray->geometry().topLeft() != QPoint(0, 0); }, 10000))
        qWarning("the tray icon was not embedded by a tray host");
    settle(1300); // the first refresh of the tray and the status bar

    QMetaObject::invokeMethod(&window, "showWindow");
    shoot(QStringLiteral("main-window"), &window);
    window.hide();

    const QPoint menuAt(100, 100);
    shootMenu(QStringLiteral("tray-menu"), tray->contextMenu(), menuAt);
    shootMenu(QStringLiteral("tray-menu-personal"),
              submenu(tray->contextMenu(), QStringLiteral("个人中心")), menuAt + QPoint(200, 0));
    shootMenu(QStringLiteral("tray-menu-languages"),
              submenu(tray->contextMenu(), QStringLiteral("语言设置")), menuAt + QPoint(400, 0));
    for (QMenu *menu : tray->contextMenu()->findChildren<QMenu *>())
        menu->hide();
    tray->contextMenu()->hide();

    QWidget *tool = open(window, "showConvenientTool", "ConvenientTool");
    shoot(QStringLiteral("floating-tool"), tool);
    if (tool)
        tool->hide();

    QWidget *login = open(window, "showLogIn", "UserLogInDialog");
    shoot(QStringLiteral("login"), login);

    QWidget *custom = open(window, "showCustomFunc", "CustomFunctionDialog");
    shoot(QStringLiteral("custom-commands-page0"), custom);
    click(custom, "pushButton_2");
    shoot(QStringLiteral("custom-commands-page1"), custom);

    QWidget *settings = open(window, "showSoftwareSettings", "SoftwareSettingsDialog");
    shoot(QStringLiteral("settings"), settings);
    click(settings, "speechTabButton");
    shoot(QStringLiteral("settings-speech-embedded"), settings);
    click(settings, "engineRemoteRadio");
    shoot(QStringLiteral("settings-speech-remote"), settings);
    if (auto *tabs = child<QTabWidget>(settings, nullptr, "speechTabs"))
        tabs->setCurrentIndex(1);
    shoot(QStringLiteral("settings-speech-translation"), settings);
    click(settings, "generalTabButton");
    {
        SpeechSetupDialog setup;
        shoot(QStringLiteral("speech-setup"), &setup);
    }

    QWidget *intro = open(window, "showLeftMouseEvent", "PromptMessageDialog");
    shoot(QStringLiteral("introduction-page0"), intro);
    click(intro, "pushButton");
    shoot(QStringLiteral("introduction-page1"), intro);

    QWidget *help = open(window, "showHelp", "UseIntructionsDialog");
    shoot(QStringLiteral("instructions-page0"), help);
    click(help, "pushButton_2");
    shoot(QStringLiteral("instructions-page1"), help);
    click(help, "pushButton_3");
    shoot(QStringLiteral("instructions-page2-sub0"), help);
    click(help, "pushButton_6");
    shoot(QStringLiteral("instructions-page2-sub1"), help);
    click(help, "pushButton_4");
    shoot(QStringLiteral("instructions-page3"), help);

    // The whole desktop with the tray panel and the windows that are open.
    settle(300);
    save(QStringLiteral("desktop"), QGuiApplication::primaryScreen()->grabWindow(0).toImage());
    for (QWidget *w : {login, custom, settings, intro, help})
        if (w)
            w->hide();

    PromptBox prompt;
    QTimer::singleShot(500, &prompt,
                       [&prompt] { save(QStringLiteral("prompt-box"), prompt.grab().toImage()); });
    prompt.showPrompt(QStringLiteral("你选择：粤语"));

    shootModalBoxes(
        {QStringLiteral("offline-grammar-question"), QStringLiteral("offline-grammar-answer")},
        {QMessageBox::Yes, QMessageBox::Ok},
        [&window] { QMetaObject::invokeMethod(&window, "showOfflineGrammar"); });

    if (failures)
        qWarning() << failures << "screenshots failed";
    return failures ? 1 : 0;
}
