#pragma once

#include <QSystemTrayIcon>
#include <QTimer>

class QAction;
class QActionGroup;
class QMenu;

// The notification-area icon: its picture follows the device state, its
// context menu switches the recognition language of the current work mode and
// forwards the other choices to the main window through its signals. It
// polls the settings map every 1100 ms; nothing is pushed to it.
class SystemTray : public QSystemTrayIcon
{
    Q_OBJECT

public:
    explicit SystemTray(QObject *parent = nullptr);
    ~SystemTray() override;

signals:
    void showWidget();
    void showPersonLogIn();
    void showSoftwareSet();
    void showCustomFunction();
    void showIntroduction();

private slots:
    void showAboutUs();
    void showUpdateUrl();
    void showChinese();
    void showEnglish();
    void showYueYu();
    void showSiChuan();
    void showHeNan();

private:
    void createMenus();
    void fillMenus();
    void connectActions();
    void refreshTray();
    enum class Look
    {
        First,
        Refresh
    };
    void showSettings(Look look);
    void chooseLanguage(int language);
    void chooseDialect(int language);
    void markLanguage(int language);

    QMenu *trayMenu;
    QMenu *personalMenu;
    QAction *customFunctionAction;
    QAction *logInAction;
    QMenu *languageMenu;
    QAction *languageActions[5];
    QAction *openMainWindowAction;
    QAction *introductionAction;
    QAction *aboutUsAction;
    QAction *updateAction;
    QAction *feedbackAction;
    QAction *buyAction;
    QAction *settingsAction;
    QAction *quitAction;
    QTimer refreshTimer;
};
