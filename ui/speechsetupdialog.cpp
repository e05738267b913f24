#include "ui/speechsetupdialog.h"
#include "ui_speechsetupdialog.h"

#include "app/settingkeys.h"
#include "app/settings.h"
#include "recognition/quilletiat.h"
#include "ui/workmodes.h"

#include <QDebug>

namespace {
// The language the current work mode recognizes: the last mode at 1 counts, as
// for the recognition itself.
int currentLanguage()
{
    SettingsMap &map = *settingsMap();
    int language = Mandarin;
    for (const ModeKeys &keys : workModes)
        if (map[QLatin1String(keys.mode)] == 1)
            language = map[QLatin1String(keys.language)];
    return language;
}
} // namespace

SpeechSettingsRequest *SpeechSettingsRequest::instance()
{
    static SpeechSettingsRequest *request = new SpeechSettingsRequest; // for the whole run
    return request;
}

SpeechSetupDialog::SpeechSetupDialog(QWidget *parent)
    : QDialog(parent), ui(new Ui::SpeechSetupDialog)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // Switching to English helps only where English is not what failed.
    ui->switchToEnglishButton->setVisible(currentLanguage() != English);
}

SpeechSetupDialog::~SpeechSetupDialog()
{
    delete ui;
}

bool SpeechSetupDialog::offerOnce()
{
    static bool offered = false;
    if (offered)
        return false;
    offered = true;
    qDebug() << "speech: no model and no online service for this language, setup offered";
    auto *dialog = new SpeechSetupDialog;
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return true;
}

void SpeechSetupDialog::on_openSpeechSettingsButton_clicked()
{
    close();
    emit SpeechSettingsRequest::instance()->requested();
}

void SpeechSetupDialog::on_switchToEnglishButton_clicked()
{
    SettingsMap *map = settingsMap();
    for (const ModeKeys &keys : workModes)
        if ((*map)[QLatin1String(keys.mode)] == 1)
            (*map)[QLatin1String(keys.language)] = English;
    saveSettingsMap(map);
    close();
    // The English model loads now, not at the next press.
    QuilletIat::preloadSpeechModel();
}

void SpeechSetupDialog::on_laterButton_clicked()
{
    close();
}
