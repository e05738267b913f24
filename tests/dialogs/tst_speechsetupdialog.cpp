// The dialog shown when an utterance fails because its language has no speech
// model and no online service is set: once per run, with "关闭提示" on too, and
// each of its three answers doing what it says.

#include "common/child.h"
#include "common/files.h"
#include "common/settingsenv.h"

#include "app/settingkeys.h"
#include "recognition/quilletiat.h"
#include "ui/mainwindow.h"
#include "ui/softwaresettingsdialog.h"
#include "ui/speechsetupdialog.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

using namespace SettingKey;

namespace {
QList<SpeechSetupDialog *> shownDialogs()
{
    QList<SpeechSetupDialog *> shown;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *dialog = qobject_cast<SpeechSetupDialog *>(widget))
            if (dialog->isVisible())
                shown << dialog;
    return shown;
}
} // namespace

class TestSpeechSetupDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void offeredOncePerRun();
    void answers_data();
    void answers();

private:
    SettingsEnv env;
    const QMap<QString, int> settings{{TypingModel, 0},          {IntelligenceModel, 1},
                                      {TranslationModel, 0},     {TypingLanguage, 2},
                                      {IntelligenceLanguage, 0}, {TranslationLanguage, 0},
                                      {ClosePrompt, 1}};
};

void TestSpeechSetupDialog::initTestCase()
{
    QVERIFY(env.enter());
    // No speech.ini: the embedded engine, with no Mandarin model.
    QFile recording(QStringLiteral(":/speech/mandarin.wav"));
    QVERIFY(recording.open(QIODevice::ReadOnly));
    writeAll(QStringLiteral("record.wav"), recording.readAll());
}

void TestSpeechSetupDialog::offeredOncePerRun()
{
    SettingsEnv::reset(settings);
    {
        QuilletIat utterance;
    }
    QList<SpeechSetupDialog *> shown = shownDialogs();
    QCOMPARE(shown.size(), 1);
    QPointer<SpeechSetupDialog> first = shown.first();
    QVERIFY(child<QPushButton>(first, "switchToEnglishButton")->isVisible());
    QTest::mouseClick(child<QPushButton>(first, "laterButton"), Qt::LeftButton);
    QTRY_VERIFY(first.isNull());

    {
        QuilletIat again;
    }
    QVERIFY(shownDialogs().isEmpty());
}

void TestSpeechSetupDialog::answers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("speechPageShown");
    QTest::addColumn<int>("intelligenceLanguage");

    QTest::newRow("设置语音服务") << QStringLiteral("openSpeechSettingsButton") << true << 0;
    QTest::newRow("切换到英文") << QStringLiteral("switchToEnglishButton") << false << 1;
    QTest::newRow("以后再说") << QStringLiteral("laterButton") << false << 0;
}

void TestSpeechSetupDialog::answers()
{
    QFETCH(QString, answer);
    QFETCH(bool, speechPageShown);
    QFETCH(int, intelligenceLanguage);
    SettingsEnv::reset(settings);
    MainWindow mainWindow;

    QPointer<SpeechSetupDialog> dialog = new SpeechSetupDialog;
    dialog->show();
    QTest::mouseClick(child<QPushButton>(dialog, qPrintable(answer)), Qt::LeftButton);
    QTRY_VERIFY(dialog.isNull());

    auto *settingsWindow = mainWindow.findChild<SoftwareSettingsDialog *>();
    const bool pageShown =
        settingsWindow && settingsWindow->isVisible() &&
        settingsWindow->findChild<QWidget *>(QStringLiteral("speechSettingsPage"))->isVisible();
    QCOMPARE(pageShown, speechPageShown);
    // Only the language of the current mode changes, in the map and in config.txt.
    const QMap<QString, int> file = SettingsEnv::configFile();
    QCOMPARE(file.value(IntelligenceLanguage), intelligenceLanguage);
    QCOMPARE(file.value(TypingLanguage), 2);
    QCOMPARE(SettingsEnv::value(IntelligenceLanguage), intelligenceLanguage);
}

QTEST_MAIN(TestSpeechSetupDialog)
#include "tst_speechsetupdialog.moc"
