#pragma once

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTimer>

namespace Ui {
class MainWindow;
}

class ConvenientTool;
class CustomFunctionDialog;
class PromptMessageDialog;
class QLabel;
class QTextEdit;
class SoftwareSettingsDialog;
class SystemTray;
class UseIntructionsDialog;
class UserLogInDialog;

// The hidden main window: it owns the tray icon and the one instance of every
// secondary window, creating each on its first request and keeping it for
// the rest of the run. Its own face is a plain status window; closing it only
// hides it, and only the tray's "退出" ends the program.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // On a desktop without a system tray nothing of Ferrule would be visible:
    // there the status window shows, saying why, with the settings and "退出"
    // in its menus. Start-up calls it without taking the keyboard focus (the
    // session may start Ferrule while the user types), every later start of
    // Ferrule with it; with a tray it does nothing.
    enum class Focus
    {
        Leave,
        Take
    };
    void showWithoutTray(Focus focus);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void showWindow();
    void showLogIn();
    void showSoftwareSettings();
    void showSpeechSettings();
    void showCustomFunc();
    void SystemTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void showLeftMouseEvent();
    void showLanguageSets();
    void showHelp();
    void showOfflineGrammar();
    void showConvenientTool();

private:
    void updateStatusBar();
    void openLog();
    // Where a window opened at this request first appears: centred over the
    // Ferrule window it was asked for from, else over the screen.
    void placeBesideOpener(QWidget *window);

    Ui::MainWindow *ui;
    SystemTray *tray;
    UserLogInDialog *logInDialog = nullptr;
    SoftwareSettingsDialog *settingsDialog = nullptr;
    PromptMessageDialog *introductionDialog = nullptr;
    CustomFunctionDialog *customFunctionDialog = nullptr;
    UseIntructionsDialog *instructionsDialog = nullptr;
    ConvenientTool *convenientTool = nullptr;
    QTimer statusTimer;
    QLabel *dateTimeLabel;
    QLabel *spareLabel;
    QLabel *logInLabel;
    QLabel *connectionLabel;
    QTextEdit *textArea;
};
