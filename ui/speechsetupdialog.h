#pragma once

#include <QDialog>

namespace Ui {
class SpeechSetupDialog;
}

// Asks for the speech settings page; the main window, which owns the settings
// window, answers. Windows that cannot reach the main window ask through it.
class SpeechSettingsRequest : public QObject
{
    Q_OBJECT

public:
    static SpeechSettingsRequest *instance();

signals:
    void requested();
};

// Said when an utterance failed because the language chosen has no speech model
// and no online service is set: what that means, and three ways on. It reports a
// problem, so it shows with "关闭提示" on too.
class SpeechSetupDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SpeechSetupDialog(QWidget *parent = nullptr);
    ~SpeechSetupDialog() override;

    // Shows the dialog (not waiting for an answer) unless it has been shown in this
    // run already; returns whether it showed.
    static bool offerOnce();

private slots:
    void on_openSpeechSettingsButton_clicked();
    void on_switchToEnglishButton_clicked();
    void on_laterButton_clicked();

private:
    Ui::SpeechSetupDialog *ui;
};
