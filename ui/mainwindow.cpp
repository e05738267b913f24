#include "ui/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/settingkeys.h"
#include "app/settings.h"
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
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTextEdit>

namespace {

const char whiteBackground[] = "background-color: white";

// The whole desktop, all screens together; the secondary windows sit at its
// bottom right.
QSize desktopSize()
{
    return QGuiApplication::primaryScreen()->virtualGeometry().size();
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

void MainWindow::showWindow()
{
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::showLogIn()
{
    if (!logInDialog) {
        logInDialog = new UserLogInDialog(this);
        logInDialog->setStyleSheet(QString::fromLatin1(whiteBackground));
    }
    logInDialog->show();
}

void MainWindow::showSoftwareSettings()
{
    if (!settingsDialog) {
        settingsDialog = new SoftwareSettingsDialog(this);
        settingsDialog->setStyleSheet(QString::fromLatin1(whiteBackground));
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
    if (!customFunctionDialog)
        customFunctionDialog = new CustomFunctionDialog(this);
    customFunctionDialog->show();
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
