#include "common/child.h"
#include "common/settingsenv.h"

#include "app/settingkeys.h"
#include "app/settings.h"
#include "ui/softwaresettingsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>

using namespace SettingKey;

class TestSoftwareSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void constructionShowsMap_data();
    void constructionShowsMap();
    void constructionWithBootUpWritesEntry();

    void modeButtonsWriteTriple_data();
    void modeButtonsWriteTriple();
    void updateButtonsWriteTriple_data();
    void updateButtonsWriteTriple();
    void comboBoxesStoreIndex_data();
    void comboBoxesStoreIndex();
    void checkBoxesStoreOneOrZero_data();
    void checkBoxesStoreOneOrZero();
    void autoStartBoxWritesAndRemovesEntry();

    void hidingButtonsKeepChanges_data();
    void hidingButtonsKeepChanges();
    void closeHides();

    void refreshFollowsMap_data();
    void refreshFollowsMap();

    void dragOnlyWithLeftButtonAlone_data();
    void dragOnlyWithLeftButtonAlone();

private:
    static void click(QAbstractButton *button)
    {
        // Near the left edge: the indicator of radio buttons and check boxes.
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
    }

    SettingsEnv env;
    const QMap<QString, int> defaults{{TypingModel, 0},
                                      {IntelligenceModel, 1},
                                      {TranslationModel, 0},
                                      {TypingLanguage, 0},
                                      {IntelligenceLanguage, 0},
                                      {TranslationLanguage, 0},
                                      {TranslationResultLanguage, 0},
                                      {AutomaticUpdate, 1},
                                      {ReminderUpdate, 0},
                                      {NotUpdate, 0},
                                      {BootUp, 0},
                                      {ClosePrompt, 0},
                                      {RemovePunctuation, 0},
                                      {MonitorTalvoxMouseConnect, 0}};
};

void TestSoftwareSettingsDialog::initTestCase()
{
    QVERIFY(env.enter());
}

void TestSoftwareSettingsDialog::init()
{
    SettingsEnv::reset(defaults);
    QFile::remove(env.autoStartEntry());
}

void TestSoftwareSettingsDialog::constructionShowsMap_data()
{
    QTest::addColumn<QList<int>>("modes");
    QTest::addColumn<QList<int>>("updates");
    QTest::addColumn<QList<bool>>("modeChecks");
    QTest::addColumn<QList<bool>>("updateChecks");
    QTest::addColumn<QList<int>>("savedModes");

    QTest::newRow("intelligent, reminder")
        << QList<int>{0, 1, 0} << QList<int>{0, 1, 0} << QList<bool>{false, true, false}
        << QList<bool>{false, true, false} << QList<int>{0, 1, 0};
    // When a group holds several 1s the first key wins and its slot clears the others.
    QTest::newRow("typing and translation")
        << QList<int>{1, 0, 1} << QList<int>{0, 1, 1} << QList<bool>{true, false, false}
        << QList<bool>{false, true, false} << QList<int>{1, 0, 0};
    QTest::newRow("no mode set") << QList<int>{0, 0, 0} << QList<int>{0, 0, 1}
                                 << QList<bool>{false, false, false}
                                 << QList<bool>{false, false, true} << QList<int>{0, 0, 0};
}

void TestSoftwareSettingsDialog::constructionShowsMap()
{
    QFETCH(QList<int>, modes);
    QFETCH(QList<int>, updates);
    QFETCH(QList<bool>, modeChecks);
    QFETCH(QList<bool>, updateChecks);
    QFETCH(QList<int>, savedModes);

    SettingsMap &map = *settingsMap();
    map[TypingModel] = modes[0];
    map[IntelligenceModel] = modes[1];
    map[TranslationModel] = modes[2];
    map[AutomaticUpdate] = updates[0];
    map[ReminderUpdate] = updates[1];
    map[NotUpdate] = updates[2];
    map[TypingLanguage] = 3;
    map[IntelligenceLanguage] = 1;
    map[TranslationLanguage] = 2;
    map[TranslationResultLanguage] = 1;
    map[ClosePrompt] = 1;

    SoftwareSettingsDialog dialog;
    QCOMPARE(child<QRadioButton>(&dialog, "radioButton")->isChecked(), modeChecks[0]);
    QCOMPARE(child<QRadioButton>(&dialog, "radioButton_2")->isChecked(), modeChecks[1]);
    QCOMPARE(child<QRadioButton>(&dialog, "radioButton_3")->isChecked(), modeChecks[2]);
    QCOMPARE(child<QRadioButton>(&dialog, "radioButton_4")->isChecked(), updateChecks[0]);
    QCOMPARE(child<QRadioButton>(&dialog, "radioButton_5")->isChecked(), updateChecks[1]);
    QCOMPARE(child<QRadioButton>(&dialog, "radioButton_6")->isChecked(), updateChecks[2]);
    QCOMPARE(child<QComboBox>(&dialog, "comboBox")->currentText(), QStringLiteral("四川话"));
    QCOMPARE(child<QComboBox>(&dialog, "comboBox_2")->currentText(), QStringLiteral("英语"));
    QCOMPARE(child<QComboBox>(&dialog, "comboBox_3")->currentText(), QStringLiteral("粤语"));
    QCOMPARE(child<QComboBox>(&dialog, "comboBox_4")->currentText(), QStringLiteral("粤语"));
    QVERIFY(child<QCheckBox>(&dialog, "checkBox_2")->isChecked());
    QVERIFY(!child<QCheckBox>(&dialog, "checkBox")->isChecked());
    QVERIFY(!child<QCheckBox>(&dialog, "checkBox_3")->isChecked());

    QCOMPARE(SettingsEnv::configTriple(TypingModel, IntelligenceModel, TranslationModel),
             savedModes);
    QCOMPARE(SettingsEnv::configFile().value(TypingLanguage), 3);
    QCOMPARE(SettingsEnv::configFile().value(ClosePrompt), 1);
}

void TestSoftwareSettingsDialog::constructionWithBootUpWritesEntry()
{
    (*settingsMap())[BootUp] = 1;
    QVERIFY(!QFile::exists(env.autoStartEntry()));
    SoftwareSettingsDialog dialog;
    QVERIFY(child<QCheckBox>(&dialog, "checkBox_3")->isChecked());
    QVERIFY(QFile::exists(env.autoStartEntry()));
    QCOMPARE(SettingsEnv::configFile().value(BootUp), 1);
}

void TestSoftwareSettingsDialog::modeButtonsWriteTriple_data()
{
    QTest::addColumn<QList<int>>("start");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("intelligent -> typing")
        << QList<int>{0, 1, 0} << "radioButton" << QList<int>{1, 0, 0};
    QTest::newRow("typing -> intelligent")
        << QList<int>{1, 0, 0} << "radioButton_2" << QList<int>{0, 1, 0};
    QTest::newRow("typing -> translation")
        << QList<int>{1, 0, 0} << "radioButton_3" << QList<int>{0, 0, 1};
    QTest::newRow("translation -> typing")
        << QList<int>{0, 0, 1} << "radioButton" << QList<int>{1, 0, 0};
    QTest::newRow("none -> translation")
        << QList<int>{0, 0, 0} << "radioButton_3" << QList<int>{0, 0, 1};
}

void TestSoftwareSettingsDialog::modeButtonsWriteTriple()
{
    QFETCH(QList<int>, start);
    QFETCH(QString, button);
    QFETCH(QList<int>, expected);

    setWorkMode(settingsMap(), start[0], start[1], start[2]);
    SoftwareSettingsDialog dialog;
    dialog.show();
    click(child<QRadioButton>(&dialog, button.toLatin1().constData()));

    SettingsMap &map = *settingsMap();
    QCOMPARE((QList<int>{map[TypingModel], map[IntelligenceModel], map[TranslationModel]}),
             expected);
    QCOMPARE(SettingsEnv::configTriple(TypingModel, IntelligenceModel, TranslationModel), expected);
    // The other group is left alone.
    QCOMPARE(SettingsEnv::configTriple(AutomaticUpdate, ReminderUpdate, NotUpdate),
             (QList<int>{1, 0, 0}));
}

void TestSoftwareSettingsDialog::updateButtonsWriteTriple_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("remind") << "radioButton_5" << QList<int>{0, 1, 0};
    QTest::newRow("never") << "radioButton_6" << QList<int>{0, 0, 1};
}

void TestSoftwareSettingsDialog::updateButtonsWriteTriple()
{
    QFETCH(QString, button);
    QFETCH(QList<int>, expected);

    SoftwareSettingsDialog dialog;
    dialog.show();
    click(child<QRadioButton>(&dialog, button.toLatin1().constData()));
    QCOMPARE(SettingsEnv::configTriple(AutomaticUpdate, ReminderUpdate, NotUpdate), expected);

    // And back to automatic updates.
    click(child<QRadioButton>(&dialog, "radioButton_4"));
    QCOMPARE(SettingsEnv::configTriple(AutomaticUpdate, ReminderUpdate, NotUpdate),
             (QList<int>{1, 0, 0}));
    QCOMPARE(SettingsEnv::configTriple(TypingModel, IntelligenceModel, TranslationModel),
             (QList<int>{0, 1, 0}));
}

void TestSoftwareSettingsDialog::comboBoxesStoreIndex_data()
{
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QString>("text");

    QTest::newRow("typing: Sichuanese") << "comboBox" << TypingLanguage << 3 << "四川话";
    QTest::newRow("typing: Henanese") << "comboBox" << TypingLanguage << 4 << "河南话";
    QTest::newRow("intelligent: English") << "comboBox_2" << IntelligenceLanguage << 1 << "英语";
    QTest::newRow("translation source: Cantonese")
        << "comboBox_3" << TranslationLanguage << 2 << "粤语";
    // Three choices only: further steps stay on the last one.
    QTest::newRow("translation source: past the end")
        << "comboBox_3" << TranslationLanguage << 4 << "粤语";
    QTest::newRow("translation result: Cantonese")
        << "comboBox_4" << TranslationResultLanguage << 1 << "粤语";
}

void TestSoftwareSettingsDialog::comboBoxesStoreIndex()
{
    QFETCH(QString, combo);
    QFETCH(QString, key);
    QFETCH(int, steps);
    QFETCH(QString, text);

    SoftwareSettingsDialog dialog;
    dialog.show();
    auto *box = child<QComboBox>(&dialog, combo.toLatin1().constData());
    box->setFocus();
    for (int i = 0; i < steps; ++i)
        QTest::keyClick(box, Qt::Key_Down);

    QCOMPARE(box->currentText(), text);
    QCOMPARE((*settingsMap())[key], box->currentIndex());
    QCOMPARE(SettingsEnv::configFile().value(key), box->currentIndex());
    QCOMPARE(box->itemText(SettingsEnv::configFile().value(key)), text);
}

void TestSoftwareSettingsDialog::checkBoxesStoreOneOrZero_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("initially"); // with the key absent from config.txt, or 0

    QTest::newRow("start with the session") << "checkBox_3" << BootUp << "设置开机自启动" << false;
    QTest::newRow("close prompt") << "checkBox_2" << ClosePrompt << "关闭提示" << false;
    QTest::newRow("remove punctuation") << "checkBox" << RemovePunctuation << "去除标点" << false;
    // A config.txt from before the setting: its default, on.
    QTest::newRow("side buttons for speech only")
        << "exclusiveSideButtonsCheckBox" << ExclusiveSideButtons
        << "侧键仅用于语音（短按仍为前进/后退）" << true;
}

void TestSoftwareSettingsDialog::checkBoxesStoreOneOrZero()
{
    QFETCH(QString, box);
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(bool, initially);

    SoftwareSettingsDialog dialog;
    dialog.show();
    auto *check = child<QCheckBox>(&dialog, box.toLatin1().constData());
    QCOMPARE(check->text(), text);
    QCOMPARE(check->isChecked(), initially);

    click(check);
    QCOMPARE(check->isChecked(), !initially);
    QCOMPARE(SettingsEnv::configFile().value(key), initially ? 0 : 1);
    click(check);
    QCOMPARE(check->isChecked(), initially);
    QCOMPARE(SettingsEnv::configFile().value(key), initially ? 1 : 0);
    QCOMPARE((*settingsMap())[key], initially ? 1 : 0);
}

void TestSoftwareSettingsDialog::autoStartBoxWritesAndRemovesEntry()
{
    SoftwareSettingsDialog dialog;
    dialog.show();
    auto *check = child<QCheckBox>(&dialog, "checkBox_3");

    click(check);
    QFile entry(env.autoStartEntry());
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    entry.close();
    QVERIFY2(text.contains(QCoreApplication::applicationFilePath()), qPrintable(text));

    click(check);
    QVERIFY(!QFile::exists(env.autoStartEntry()));
    QCOMPARE(SettingsEnv::configFile().value(BootUp), 0);

    click(check);
    QVERIFY(QFile::exists(env.autoStartEntry()));
    QCOMPARE(SettingsEnv::configFile().value(BootUp), 1);
}

void TestSoftwareSettingsDialog::hidingButtonsKeepChanges_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("取消") << "pushButton_2";
    QTest::newRow("确定") << "pushButton";
    QTest::newRow("close button") << "toolButton_2";
}

void TestSoftwareSettingsDialog::hidingButtonsKeepChanges()
{
    QFETCH(QString, button);

    QPointer<SoftwareSettingsDialog> dialog = new SoftwareSettingsDialog;
    dialog->show();
    click(child<QRadioButton>(dialog, "radioButton_3"));
    auto *combo = child<QComboBox>(dialog, "comboBox_3");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    click(child<QCheckBox>(dialog, "checkBox"));
    const QMap<QString, int> changed = SettingsEnv::configFile();
    QCOMPARE(changed.value(TranslationModel), 1);
    QCOMPARE(changed.value(TranslationLanguage), 1);
    QCOMPARE(changed.value(RemovePunctuation), 1);

    auto *hider = child<QAbstractButton>(dialog, button.toLatin1().constData());
    QTest::mouseClick(hider, Qt::LeftButton);
    QVERIFY(dialog);
    QVERIFY(dialog->isHidden());
    QCOMPARE(SettingsEnv::configFile(), changed);
    QCOMPARE((*settingsMap())[TranslationModel], 1);
    QCOMPARE((*settingsMap())[TranslationLanguage], 1);

    // Shown again, it still shows what was chosen.
    dialog->show();
    QVERIFY(child<QRadioButton>(dialog, "radioButton_3")->isChecked());
    QCOMPARE(combo->currentIndex(), 1);
    delete dialog;
}

void TestSoftwareSettingsDialog::closeHides()
{
    QPointer<SoftwareSettingsDialog> dialog = new SoftwareSettingsDialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->show();
    QVERIFY(!dialog->close()); // the close request is refused ...
    QVERIFY(dialog);
    QVERIFY(dialog->isHidden()); // ... and the dialog hidden instead
    dialog->show();
    QVERIFY(dialog->isVisible());
    delete dialog;
}

void TestSoftwareSettingsDialog::refreshFollowsMap_data()
{
    QTest::addColumn<bool>("visible");
    QTest::newRow("shown") << true;
    QTest::newRow("hidden") << false;
}

void TestSoftwareSettingsDialog::refreshFollowsMap()
{
    QFETCH(bool, visible);

    SoftwareSettingsDialog dialog;
    if (visible)
        dialog.show();
    auto *translation = child<QRadioButton>(&dialog, "radioButton_3");
    QVERIFY(child<QRadioButton>(&dialog, "radioButton_2")->isChecked());

    // Another view (tray, floating strip) changes the map without telling anyone.
    SettingsMap &map = *settingsMap();
    setWorkMode(&map, 0, 0, 1);
    map[TranslationLanguage] = 2;
    map[TypingLanguage] = 4;
    map[ClosePrompt] = 1;
    map[NotUpdate] = 1;

    QTRY_VERIFY_WITH_TIMEOUT(translation->isChecked(), 1500);
    QCOMPARE(child<QComboBox>(&dialog, "comboBox_3")->currentIndex(), 2);
    QCOMPARE(child<QComboBox>(&dialog, "comboBox")->currentIndex(), 4);
    QVERIFY(!child<QRadioButton>(&dialog, "radioButton_2")->isChecked());
    // The update policy and the check boxes are not followed.
    QVERIFY(!child<QCheckBox>(&dialog, "checkBox_2")->isChecked());
    QVERIFY(!child<QRadioButton>(&dialog, "radioButton_6")->isChecked());
    // The moved controls wrote their values back: the file has the new mode.
    QCOMPARE(SettingsEnv::configTriple(TypingModel, IntelligenceModel, TranslationModel),
             (QList<int>{0, 0, 1}));
    QCOMPARE(SettingsEnv::configFile().value(TranslationLanguage), 2);
}

void TestSoftwareSettingsDialog::dragOnlyWithLeftButtonAlone_data()
{
    QTest::addColumn<int>("pressedButton");
    QTest::addColumn<int>("heldButtons");
    QTest::addColumn<bool>("moves");

    QTest::newRow("left") << int(Qt::LeftButton) << int(Qt::LeftButton) << true;
    QTest::newRow("right") << int(Qt::RightButton) << int(Qt::RightButton) << false;
    QTest::newRow("middle") << int(Qt::MiddleButton) << int(Qt::MiddleButton) << false;
    QTest::newRow("left with right")
        << int(Qt::LeftButton) << int(Qt::LeftButton | Qt::RightButton) << false;
    QTest::newRow("none held") << int(Qt::LeftButton) << int(Qt::NoButton) << false;
}

void TestSoftwareSettingsDialog::dragOnlyWithLeftButtonAlone()
{
    QFETCH(int, pressedButton);
    QFETCH(int, heldButtons);
    QFETCH(bool, moves);
    const auto pressed = Qt::MouseButton(pressedButton);
    const auto held = Qt::MouseButtons(heldButtons);

    SoftwareSettingsDialog dialog;
    dialog.move(100, 80);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPoint start = dialog.pos();
    // Grabbed by the title bar, which passes the mouse on to the dialog.
    auto *title = child<QLabel>(&dialog, "label_7");
    const QPoint grab(60, 20);
    QMouseEvent press(QEvent::MouseButtonPress, grab, title->mapToGlobal(grab), pressed, pressed,
                      Qt::NoModifier);
    QApplication::sendEvent(title, &press);
    const QPoint to = grab + QPoint(35, 45);
    QMouseEvent move(QEvent::MouseMove, to, title->mapToGlobal(to), Qt::NoButton, held,
                     Qt::NoModifier);
    QApplication::sendEvent(title, &move);

    QCOMPARE(dialog.pos(), moves ? start + QPoint(35, 45) : start);
}

QTEST_MAIN(TestSoftwareSettingsDialog)
#include "tst_softwaresettingsdialog.moc"
