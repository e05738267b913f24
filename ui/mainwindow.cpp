#include "ui/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/logfile.h"
#include "app/promptsink.h"
#include "app/settingkeys.h"
#include "app/settings.h"
#include "platform/platform.h"
#include "ui/convenienttool.h"
#include "ui/customfunctiondialog.h"
#include "ui/promptmessagedialog.h"
#include "ui/softwaresettingsdialog.h"
#include "ui/speechsetupdialog.h"
#include "ui/systemtray.h"
#include "ui/useintructionsdialog.h"
#include "ui/userlogindialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTextEdit>
#include <QUrl>

namespace {

const char whiteBackground[] = "background-color: white";

// The whole desktop, all screens together; the secondary windows sit at its
// bottom right.
QSize desktopSize()
{
    return QGuiApplication::primaryScreen()->virtualGeometry().size();
}

// Whether window is this run's own: the main window or one it owns.
bool isOursUnder(const QWidget *main, const QWidget *window)
{
    for (const QWidget *w = window; w; w = w->parentWidget())
        if (w == main)
            return true;
    return false;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/ico/talvox.ico")));

    // The main window stays hidden and message boxes have no parent: closing
    // the last visible window must not end the run, only "退出" does.
    QApplication::setQuitOnLastWindowClosed(false);

    tray = new SystemTray(this);

    spareLabel = new QLabel;
    logInLabel = new QLabel;
    connectionLabel = new QLabel;
    dateTimeLabel = new QLabel;
    for (QLabel *label : {spareLabel, logInLabel, connectionLabel, dateTimeLabel})
        ui->statusBar->addWidget(label, 15);

    textArea = new QTextEdit;
    textArea->setReadOnly(true);
    setCentralWidget(textArea);

    connect(tray, &SystemTray::showWidget, this, &MainWindow::showWindow);
    connect(tray, &SystemTray::showPersonLogIn, this, &MainWindow::showLogIn);
    connect(tray, &SystemTray::showSoftwareSet, this, &MainWindow::showSoftwareSettings);
    connect(tray, &SystemTray::showCustomFunction, this, &MainWindow::showCustomFunc);
    connect(tray, &QSystemTrayIcon::activated, this, &MainWindow::SystemTrayActivated);
    // Trays that speak StatusNotifier (KDE Plasma, GNOME's AppIndicator) never
    // report a double click: the menu opens the introduction there.
    connect(tray, &SystemTray::showIntroduction, this, &MainWindow::showLeftMouseEvent);

    // The status window's own menus reach what the tray menu does, for desktops without a tray.
    connect(ui->settingsAction, &QAction::triggered, this, &MainWindow::showSoftwareSettings);
    connect(ui->customFunctionAction, &QAction::triggered, this, &MainWindow::showCustomFunc);
    connect(ui->quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);
    connect(ui->introductionAction, &QAction::triggered, this, &MainWindow::showLeftMouseEvent);
    connect(ui->openLogAction, &QAction::triggered, this, &MainWindow::openLog);
    connect(SpeechSettingsRequest::instance(), &SpeechSettingsRequest::requested, this,
            &MainWindow::showSpeechSettings);

    statusTimer.setInterval(1000);
    connect(&statusTimer, &QTimer::timeout, this, &MainWindow::updateStatusBar);
    statusTimer.start();

    setMinimumSize(835, 450);
    setWindowTitle(QStringLiteral("塔沃鼠标——语音技术由Quillet提供"));
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    hide();
}

void MainWindow::showWithoutTray(Focus focus)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        return;
    if (textArea->toPlainText().isEmpty()) {
        qWarning() << "No system tray found, showing the status window instead !";
        textArea->setPlainText(QStringLiteral(
            "未找到系统托盘：这个桌面没有托盘区，塔沃智能鼠标在此窗口中运行。\n"
            "“选项”菜单中有软件设置、自定义功能和退出，“帮助”菜单中有使用说明、功能介绍和日志。\n"
            "关闭此窗口后程序仍在运行；再次启动塔沃智能鼠标即可重新打开此窗口。"));
    }
    if (focus == Focus::Take) {
        showWindow();
        return;
    }
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    showNormal();
    setAttribute(Qt::WA_ShowWithoutActivating, false);
}

void MainWindow::showWindow()
{
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::placeBesideOpener(QWidget *window)
{
    // The window that asked: the tool strip or the introduction by their
    // signals (the strip hides itself as it asks, but it was just there),
    // otherwise the Ferrule window the user works in (a tray menu choice
    // leaves it active), otherwise none.
    QWidget *opener = qobject_cast<QWidget *>(sender());
    if (!opener) {
        opener = QApplication::activeWindow();
        if (opener && !opener->isVisible())
            opener = nullptr;
    }
    if (opener && (opener == window || !isOursUnder(this, opener)))
        opener = nullptr;
    QScreen *screen = opener ? opener->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen->availableGeometry();
    const QRect over = opener ? opener->frameGeometry() : room;
    QRect placed(QPoint(), window->frameGeometry().size());
    placed.moveCenter(over.center());
    // Kept on the screen: a small opener at its edge gets the window beside it.
    placed.moveLeft(qBound(room.left(), placed.left(), room.right() + 1 - placed.width()));
    placed.moveTop(qBound(room.top(), placed.top(), room.bottom() + 1 - placed.height()));
    window->move(placed.topLeft());
}

void MainWindow::showLogIn()
{
    if (!logInDialog) {
        logInDialog = new UserLogInDialog(this);
        logInDialog->setStyleSheet(QString::fromLatin1(whiteBackground));
        placeBesideOpener(logInDialog);
    }
    logInDialog->show();
}

void MainWindow::showSoftwareSettings()
{
    if (!settingsDialog) {
        settingsDialog = new SoftwareSettingsDialog(this);
        settingsDialog->setStyleSheet(QString::fromLatin1(whiteBackground));
        placeBesideOpener(settingsDialog);
    }
    settingsDialog->show();
}

void MainWindow::showSpeechSettings()
{
    showSoftwareSettings();
    settingsDialog->showSpeechPage();
    settingsDialog->raise();
    settingsDialog->activateWindow();
}

void MainWindow::showLanguageSets()
{
    // The tool's "三" and the guide's "26种其他语言" open the one settings dialog.
    showSoftwareSettings();
}

void MainWindow::showCustomFunc()
{
    if (!customFunctionDialog) {
        customFunctionDialog = new CustomFunctionDialog(this);
        placeBesideOpener(customFunctionDialog);
    }
    customFunctionDialog->show();
}

void MainWindow::openLog()
{
    const QString path = logFilePath();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        showPrompt(QStringLiteral("没有日志文件"));
        return;
    }
    platform().openUrl(QUrl::fromLocalFile(path));
}

void MainWindow::SystemTrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        showLeftMouseEvent();
        break;
    case QSystemTrayIcon::Trigger:
        showConvenientTool();
        break;
    default:
        break;
    }
}

void MainWindow::showLeftMouseEvent()
{
    if (!introductionDialog) {
        introductionDialog = new PromptMessageDialog(this);
        introductionDialog->setStyleSheet(QString::fromLatin1(whiteBackground));
        const QSize desktop = desktopSize();
        introductionDialog->setGeometry(desktop.width() - 200, desktop.height() - 615, 200, 540);
        // Connected once: one request must open the settings dialog once.
        connect(introductionDialog, &PromptMessageDialog::showSoftwareSets, this,
                &MainWindow::showLanguageSets);
    }
    introductionDialog->show();
}

void MainWindow::showHelp()
{
    if (!instructionsDialog) {
        instructionsDialog = new UseIntructionsDialog(this);
        instructionsDialog->setStyleSheet(QString::fromLatin1(whiteBackground));
        const QSize desktop = desktopSize();
        instructionsDialog->setGeometry(desktop.width() - 400, desktop.height() - 692, 400, 652);
    }
    instructionsDialog->show();
}

void MainWindow::showConvenientTool()
{
    if (!convenientTool) {
        convenientTool = new ConvenientTool(this);
        const QSize desktop = desktopSize();
        convenientTool->setGeometry(desktop.width() - 310, desktop.height() - 65, 200, 25);
        connect(convenientTool, &ConvenientTool::showSoftwareSettings, this,
                &MainWindow::showLanguageSets);
    }
    convenientTool->show();
}

void MainWindow::showOfflineGrammar()
{
    QMessageBox question(
        QMessageBox::Question, QStringLiteral("Quillet"),
        QStringLiteral(
            "由于本系统集成的离线命令较多，构建离线语法可能会消耗1~2分钟时间，是否继续？"),
        QMessageBox::Yes | QMessageBox::No);
    question.button(QMessageBox::Yes)->setText(QStringLiteral("是(Y)"));
    question.button(QMessageBox::No)->setText(QStringLiteral("否(N)"));
    if (question.exec() != QMessageBox::Yes)
        return;

    // The speech engines recognize commands directly from their language
    // models, so there is no grammar to build; say so instead of claiming one.
    QMessageBox answer(
        QMessageBox::NoIcon, QStringLiteral("Quillet"),
        QStringLiteral("\n未构建离线语法：当前的语音引擎无需单独的离线语法即可识别命令。\n"),
        QMessageBox::Ok);
    answer.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    answer.exec();
}

void MainWindow::updateStatusBar()
{
    const int connected =
        (*settingsMap())[QString::fromLatin1(SettingKey::MonitorTalvoxMouseConnect)];
    if (connected == 1)
        connectionLabel->setText(QStringLiteral("塔沃鼠标已连接"));
    else if (connected == 0)
        connectionLabel->setText(QStringLiteral("鼠标或声卡驱动异常"));
    logInLabel->setText(QStringLiteral("未登录"));
    dateTimeLabel->setText(
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}
