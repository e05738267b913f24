#include "ui/softwaresettingsdialog.h"
#include "ui_softwaresettingsdialog.h"

#include "app/settingkeys.h"
#include "app/settings.h"
#include "platform/platform.h"
#include "ui/speechsettingspage.h"

namespace {

// Writes three keys of one group in the given order and saves the map.
void writeTriple(const char *first, int a, const char *second, int b, const char *third, int c)
{
    SettingsMap *map = settingsMap();
    (*map)[first] = a;
    (*map)[second] = b;
    (*map)[third] = c;
    saveSettingsMap(map);
}

void writeWorkMode(int typing, int intelligence, int translation)
{
    SettingsMap *map = settingsMap();
    setWorkMode(map, typing, intelligence, translation);
    saveSettingsMap(map);
}

void writeKey(const char *key, int value)
{
    SettingsMap *map = settingsMap();
    (*map)[key] = value;
    saveSettingsMap(map);
}

// Check boxes store 1 for checked and 0 for unchecked; any other state only saves.
void writeCheckState(const char *key, int state)
{
    SettingsMap *map = settingsMap();
    if (state == Qt::Checked)
        (*map)[key] = 1;
    else if (state == Qt::Unchecked)
        (*map)[key] = 0;
    saveSettingsMap(map);
}

} // namespace

SoftwareSettingsDialog::SoftwareSettingsDialog(QWidget *parent)
    : QDialog(parent), ui(new Ui::SoftwareSettingsDialog)
{
    // The slots are connected by name at the end of setupUi, so every state
    // set below already writes its key back and saves config.txt.
    ui->setupUi(this);
    ui->groupBox->setStyleSheet(QStringLiteral("QGroupBox{border:none;}"));
    ui->groupBox_2->setStyleSheet(QStringLiteral("QGroupBox{border:none;}"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);

    // The speech page lies over the controls of config.txt, below the title bar.
    speechPage = new SpeechSettingsPage(this);
    speechPage->setObjectName(QStringLiteral("speechSettingsPage"));
    speechPage->hide();

    showSettings(Shown::All);

    // The refresh runs while the dialog is hidden too, so it opens up to date.
    refreshTimer.setInterval(1000);
    refreshTimer.setSingleShot(false);
    connect(&refreshTimer, &QTimer::timeout, this, &SoftwareSettingsDialog::refreshModeAndLanguage);
    refreshTimer.start();
}

SoftwareSettingsDialog::~SoftwareSettingsDialog()
{
    delete ui;
}

void SoftwareSettingsDialog::refreshModeAndLanguage()
{
    showSettings(Shown::ModeAndLanguage);
}

// Only the mode and the languages change behind the dialog's back (the tray and
// the strip write them), so only they are refreshed.
void SoftwareSettingsDialog::showSettings(Shown shown)
{
    SettingsMap &map = *settingsMap();
    // Each key is read after the slots of the earlier ones have run: when
    // several keys of a group hold 1, the first one wins.
    if (map[SettingKey::TypingModel] == 1)
        ui->radioButton->setChecked(true);
    if (map[SettingKey::IntelligenceModel] == 1)
        ui->radioButton_2->setChecked(true);
    if (map[SettingKey::TranslationModel] == 1)
        ui->radioButton_3->setChecked(true);

    ui->comboBox->setCurrentIndex(map[SettingKey::TypingLanguage]);
    ui->comboBox_2->setCurrentIndex(map[SettingKey::IntelligenceLanguage]);
    ui->comboBox_3->setCurrentIndex(map[SettingKey::TranslationLanguage]);
    ui->comboBox_4->setCurrentIndex(map[SettingKey::TranslationResultLanguage]);
    if (shown == Shown::ModeAndLanguage)
        return;

    if (map[SettingKey::AutomaticUpdate] == 1)
        ui->radioButton_4->setChecked(true);
    if (map[SettingKey::ReminderUpdate] == 1)
        ui->radioButton_5->setChecked(true);
    if (map[SettingKey::NotUpdate] == 1)
        ui->radioButton_6->setChecked(true);

    if (map[SettingKey::BootUp] == 1)
        ui->checkBox_3->setChecked(true);
    if (map[SettingKey::ClosePrompt] == 1)
        ui->checkBox_2->setChecked(true);
    if (map[SettingKey::RemovePunctuation] == 1)
        ui->checkBox->setChecked(true);
    // A config.txt from before this setting holds no key for it: its default.
    ui->exclusiveSideButtonsCheckBox->setChecked(
        settingOrDefault(SettingKey::ExclusiveSideButtons) == 1);
}

// The mode and update-policy slots do not look at the argument: the button
// losing the check reports before the one gaining it, so the last write is
// always the triple of the newly checked button.
void SoftwareSettingsDialog::on_radioButton_toggled(bool)
{
    writeWorkMode(1, 0, 0);
}

void SoftwareSettingsDialog::on_radioButton_2_toggled(bool)
{
    writeWorkMode(0, 1, 0);
}

void SoftwareSettingsDialog::on_radioButton_3_toggled(bool)
{
    writeWorkMode(0, 0, 1);
}

// Every control has already saved its change: both buttons only close.
void SoftwareSettingsDialog::on_pushButton_clicked()
{
    hide();
}

void SoftwareSettingsDialog::on_pushButton_2_clicked()
{
    hide();
}

void SoftwareSettingsDialog::on_comboBox_currentIndexChanged(int index)
{
    writeKey(SettingKey::TypingLanguage, index);
}

void SoftwareSettingsDialog::on_comboBox_2_currentIndexChanged(int index)
{
    writeKey(SettingKey::IntelligenceLanguage, index);
}

void SoftwareSettingsDialog::on_comboBox_3_currentIndexChanged(int index)
{
    writeKey(SettingKey::TranslationLanguage, index);
}

void SoftwareSettingsDialog::on_comboBox_4_currentIndexChanged(int index)
{
    writeKey(SettingKey::TranslationResultLanguage, index);
}

void SoftwareSettingsDialog::on_radioButton_4_toggled(bool)
{
    writeTriple(SettingKey::AutomaticUpdate, 1, SettingKey::ReminderUpdate, 0,
                SettingKey::NotUpdate, 0);
}

void SoftwareSettingsDialog::on_radioButton_5_toggled(bool)
{
    writeTriple(SettingKey::AutomaticUpdate, 0, SettingKey::ReminderUpdate, 1,
                SettingKey::NotUpdate, 0);
}

void SoftwareSettingsDialog::on_radioButton_6_toggled(bool)
{
    writeTriple(SettingKey::AutomaticUpdate, 0, SettingKey::ReminderUpdate, 0,
                SettingKey::NotUpdate, 1);
}

void SoftwareSettingsDialog::on_checkBox_3_stateChanged(int arg1)
{
    SettingsMap *map = settingsMap();
    // BootUp first, then the session's autostart entry, then the file.
    if (arg1 == Qt::Checked) {
        (*map)[SettingKey::BootUp] = 1;
        platform().setAutoStart(true);
    } else if (arg1 == Qt::Unchecked) {
        (*map)[SettingKey::BootUp] = 0;
        platform().setAutoStart(false);
    }
    saveSettingsMap(map);
}

void SoftwareSettingsDialog::on_checkBox_2_stateChanged(int arg1)
{
    writeCheckState(SettingKey::ClosePrompt, arg1);
}

void SoftwareSettingsDialog::on_checkBox_stateChanged(int arg1)
{
    writeCheckState(SettingKey::RemovePunctuation, arg1);
}

void SoftwareSettingsDialog::on_exclusiveSideButtonsCheckBox_stateChanged(int arg1)
{
    writeCheckState(SettingKey::ExclusiveSideButtons, arg1);
}

void SoftwareSettingsDialog::on_toolButton_2_clicked()
{
    hide();
}

void SoftwareSettingsDialog::showSpeechPage()
{
    const int top = ui->label_7->geometry().bottom() + 1;
    speechPage->setGeometry(0, top, width(), height() - top);
    speechPage->show();
    speechPage->raise();
    ui->speechTabButton->setChecked(true);
}

void SoftwareSettingsDialog::showGeneralPage()
{
    speechPage->hide();
    ui->generalTabButton->setChecked(true);
}

void SoftwareSettingsDialog::on_generalTabButton_clicked()
{
    showGeneralPage();
}

void SoftwareSettingsDialog::on_speechTabButton_clicked()
{
    showSpeechPage();
}
