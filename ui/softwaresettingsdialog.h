#pragma once

#include "ui/framelessdrag.h"

#include <QDialog>
#include <QTimer>

namespace Ui {
class SoftwareSettingsDialog;
}

class SpeechSettingsPage;

// Every user setting in one frameless window. Each control writes its key and
// saves config.txt the moment it changes; "确定" and "取消" only hide the
// window. A one-second refresh keeps the mode and language controls in step
// with changes made from the tray and the floating tool.
class SoftwareSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SoftwareSettingsDialog(QWidget *parent = nullptr);
    ~SoftwareSettingsDialog() override;

    // Turns to the "语音服务" page (speech.ini) or back to the settings of config.txt.
    void showSpeechPage();
    void showGeneralPage();

protected:
    // Dragged by its body, hidden on close.
    void mousePressEvent(QMouseEvent *event) override { drag.press(event); }
    void mouseMoveEvent(QMouseEvent *event) override { drag.move(event); }
    void closeEvent(QCloseEvent *event) override { drag.hideOnClose(event); }

private slots:
    void on_radioButton_toggled(bool checked);
    void on_radioButton_2_toggled(bool checked);
    void on_radioButton_3_toggled(bool checked);
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();
    void on_comboBox_currentIndexChanged(int index);
    void on_comboBox_2_currentIndexChanged(int index);
    void on_comboBox_3_currentIndexChanged(int index);
    void on_comboBox_4_currentIndexChanged(int index);
    void on_radioButton_4_toggled(bool checked);
    void on_radioButton_5_toggled(bool checked);
    void on_radioButton_6_toggled(bool checked);
    void on_checkBox_3_stateChanged(int arg1);
    void on_checkBox_2_stateChanged(int arg1);
    void on_checkBox_stateChanged(int arg1);
    void on_exclusiveSideButtonsCheckBox_stateChanged(int arg1);
    void on_toolButton_2_clicked();
    void on_generalTabButton_clicked();
    void on_speechTabButton_clicked();

private:
    void refreshModeAndLanguage();
    enum class Shown
    {
        ModeAndLanguage,
        All
    };
    void showSettings(Shown shown);

    Ui::SoftwareSettingsDialog *ui;
    QTimer refreshTimer;
    FramelessDrag drag{this};
    SpeechSettingsPage *speechPage;
};
