#include "ui/convenienttool.h"
#include "ui_convenienttool.h"

#include "app/confirmations.h"
#include "app/promptsink.h"
#include "app/settingkeys.h"
#include "app/settings.h"

#include <QEvent>

namespace {

const QString selectedLook =
    QStringLiteral("QPushButton{background-color: #3d6662; color: white;"
                   " border: 1px solid rgb(85, 170, 127); font: 12pt \"微软雅黑\";}"
                   "QPushButton:hover{background-color: rgb(61, 102, 102); color: white;}");

const QString unselectedLook =
    QStringLiteral("QPushButton{background-color: white; color: #343434;"
                   " border: 1px solid rgb(85, 170, 127); font: 12pt \"微软雅黑\";}"
                   "QPushButton:hover{background-color: rgb(61, 102, 102); color: white;}");

} // namespace

ConvenientTool::ConvenientTool(QWidget *parent) : QWidget(parent), ui(new Ui::ConvenientTool)
{
    ui->setupUi(this);
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);

    ui->pushButton_4->setStyleSheet(unselectedLook);

    ui->pushButton->installEventFilter(this);
    ui->pushButton_2->installEventFilter(this);
    ui->pushButton_3->installEventFilter(this);
    installEventFilter(this);

    showModes(Marks::ActiveOnly);
    connect(&refreshTimer, &QTimer::timeout, this, &ConvenientTool::refreshModeButtons);
    refreshTimer.start(1500);
}

ConvenientTool::~ConvenientTool()
{
    delete ui;
}

void ConvenientTool::refreshModeButtons()
{
    showModes(Marks::All);
}

// At construction only the active mode is marked (Marks::ActiveOnly): the
// others keep the form's look until the first refresh.
void ConvenientTool::showModes(Marks marks)
{
    SettingsMap &map = *settingsMap();
    QPushButton *const buttons[] = {ui->pushButton, ui->pushButton_2, ui->pushButton_3};
    const char *const keys[] = {SettingKey::TypingModel, SettingKey::IntelligenceModel,
                                SettingKey::TranslationModel};
    // With several modes at 1 the last one wins, as each pass re-marks all three.
    for (int mode = 0; mode < 3; ++mode) {
        if (map[keys[mode]] != 1)
            continue;
        for (int b = 0; b < 3; ++b) {
            if (b == mode)
                buttons[b]->setStyleSheet(selectedLook);
            else if (marks == Marks::All)
                buttons[b]->setStyleSheet(unselectedLook);
        }
    }
}

bool ConvenientTool::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == this && event->type() == QEvent::Leave) {
        hide();
    } else if (event->type() == QEvent::MouseButtonPress) {
        // Any mouse button switches the mode, the right one as well. The
        // press is used up here: the prompt's second has let the release go
        // by already, and a button handed the press now would stay drawn
        // pressed (highlighted like the active mode) the next time the strip
        // is shown.
        if (watched == ui->pushButton) {
            chooseMode(1, 0, 0, tr("你已选择 打字模式"));
            return true;
        }
        if (watched == ui->pushButton_2) {
            chooseMode(0, 1, 0, tr("你已选择 智能模式"));
            return true;
        }
        if (watched == ui->pushButton_3) {
            chooseMode(0, 0, 1, tr("你已选择 翻译模式"));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ConvenientTool::chooseMode(int typing, int intelligence, int translation,
                                const QString &prompt)
{
    SettingsMap *map = settingsMap();
    setWorkMode(map, typing, intelligence, translation);
    saveSettingsMap(map);
    hide();
    if (confirmationsShown())
        showPrompt(prompt);
}

void ConvenientTool::on_pushButton_4_clicked()
{
    emit showSoftwareSettings();
    hide();
}
