#include "common/settingsenv.h"

#include "app/datafiles.h"
#include "app/settingkeys.h"
#include "app/settings.h"
#include "common/prompts.h"
#include "ui/convenienttool.h"
#include "ui/promptboxsink.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace SettingKey;

namespace {

const QColor selectedFace(0x3d, 0x66, 0x62);
const QColor unselectedFace(Qt::white);

// The face colour a button is drawn with, away from its border and its text.
QColor face(QPushButton *button)
{
    return button->grab().toImage().pixelColor(3, 3);
}

} // namespace

class TestConvenientTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void modeButtonPressSwitchesMode_data();
    void modeButtonPressSwitchesMode();
    void releaseDuringPromptLeavesButtonUp();
    void closePromptLeavesOutModePrompt();
    void settingsButtonAsksForSettings();
    void leavingTheStripHidesIt();
    void constructionMarksActiveMode();
    void refreshFollowsMap_data();
    void refreshFollowsMap();

private:
    static QPushButton *button(ConvenientTool &tool, const QString &name)
    {
        auto *b = tool.findChild<QPushButton *>(name);
        if (!b)
            qFatal("no button %s", qPrintable(name));
        return b;
    }

    SettingsEnv env;
};

void TestConvenientTool::initTestCase()
{
    QVERIFY(env.enter());
}

void TestConvenientTool::init()
{
    SettingsEnv::reset({{TypingModel, 1},
                        {IntelligenceModel, 0},
                        {TranslationModel, 0},
                        {TypingLanguage, 1},
                        {IntelligenceLanguage, 2},
                        {TranslationLanguage, 0}});
}

void TestConvenientTool::modeButtonPressSwitchesMode_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("mouseButton");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<QString>("prompt");

    QTest::newRow("智能, left") << "pushButton_2" << int(Qt::LeftButton) << QList<int>{0, 1, 0}
                                << "你已选择 智能模式";
    QTest::newRow("翻译, right") << "pushButton_3" << int(Qt::RightButton) << QList<int>{0, 0, 1}
                                 << "你已选择 翻译模式";
    QTest::newRow("智能, middle") << "pushButton_2" << int(Qt::MiddleButton) << QList<int>{0, 1, 0}
                                  << "你已选择 智能模式";
    // The active mode again: the same values are written and the prompt shown again.
    QTest::newRow("打字 again") << "pushButton" << int(Qt::LeftButton) << QList<int>{1, 0, 0}
                                << "你已选择 打字模式";
}

void TestConvenientTool::modeButtonPressSwitchesMode()
{
    QFETCH(QString, name);
    QFETCH(int, mouseButton);
    QFETCH(QList<int>, expected);
    QFETCH(QString, prompt);

    ConvenientTool tool;
    tool.show();
    QFile::remove(DataFiles::config);
    QPushButton *pressed = button(tool, name);

    // Looked at while the prompt's second is running, in the box the user sees.
    ScopedPromptSink boxes(promptBoxSink());
    bool stripHidden = false;
    bool promptShown = false;
    QString promptText;
    PromptWatcher watcher;
    watcher.whileShown = [&] {
        stripHidden = tool.isHidden();
        promptShown = true;
        promptText = watcher.texts.last();
    };
    QElapsedTimer clock;
    clock.start();
    QTest::mousePress(pressed, Qt::MouseButton(mouseButton));
    const qint64 blocked = clock.elapsed();
    QTest::mouseRelease(pressed, Qt::MouseButton(mouseButton));

    QVERIFY(stripHidden);
    QVERIFY(promptShown);
    QCOMPARE(promptText, prompt);
    QVERIFY2(blocked >= 1000, qPrintable(QString::number(blocked)));
    QVERIFY(tool.isHidden());
    // Boxes whose second is over do not pile up.
    QVERIFY(promptBoxes().isEmpty());

    SettingsMap &map = *settingsMap();
    QCOMPARE((QList<int>{map[TypingModel], map[IntelligenceModel], map[TranslationModel]}),
             expected);
    QCOMPARE(SettingsEnv::configTriple(TypingModel, IntelligenceModel, TranslationModel), expected);
    // The languages stay as they were for every mode.
    QCOMPARE(map[TypingLanguage], 1);
    QCOMPARE(map[IntelligenceLanguage], 2);
}

void TestConvenientTool::closePromptLeavesOutModePrompt()
{
    (*settingsMap())[ClosePrompt] = 1;
    ConvenientTool tool;
    tool.show();
    PromptRecorder prompts;
    QTest::mousePress(button(tool, QStringLiteral("pushButton_2")), Qt::LeftButton);
    QTest::mouseRelease(button(tool, QStringLiteral("pushButton_2")), Qt::LeftButton);
    (*settingsMap())[ClosePrompt] = 0;
    QCOMPARE(prompts.texts, QStringList());
    QVERIFY(tool.isHidden());
    QCOMPARE(SettingsEnv::configTriple(TypingModel, IntelligenceModel, TranslationModel),
             (QList<int>{0, 1, 0}));
}

void TestConvenientTool::releaseDuringPromptLeavesButtonUp()
{
    ConvenientTool tool;
    tool.show();
    QPushButton *pressed = button(tool, QStringLiteral("pushButton_2"));
    // A real click: the button is let go while the prompt is still up.
    PromptRecorder prompts;
    prompts.whileShown = [pressed] { QTest::mouseRelease(pressed, Qt::LeftButton); };
    QTest::mousePress(pressed, Qt::LeftButton);
    QCOMPARE(prompts.texts, QStringList{QStringLiteral("你已选择 智能模式")});
    QCOMPARE(SettingsEnv::configTriple(TypingModel, IntelligenceModel, TranslationModel),
             (QList<int>{0, 1, 0}));

    tool.show();
    QVERIFY(!pressed->isDown());
    QCOMPARE(face(button(tool, QStringLiteral("pushButton_3"))), unselectedFace);
    // After the next refresh only the chosen mode is highlighted.
    QTRY_COMPARE_WITH_TIMEOUT(face(button(tool, QStringLiteral("pushButton"))), unselectedFace,
                              2000);
    QCOMPARE(face(pressed), selectedFace);
}

void TestConvenientTool::settingsButtonAsksForSettings()
{
    ConvenientTool tool;
    tool.show();
    QSignalSpy asked(&tool, &ConvenientTool::showSoftwareSettings);
    QFile::remove(DataFiles::config);

    QTest::mouseClick(button(tool, QStringLiteral("pushButton_4")), Qt::LeftButton);

    QCOMPARE(asked.count(), 1);
    QVERIFY(tool.isHidden());
    QVERIFY(!QFile::exists(DataFiles::config)); // nothing saved
    QCOMPARE((*settingsMap())[TypingModel], 1);
}

void TestConvenientTool::leavingTheStripHidesIt()
{
    ConvenientTool tool;
    tool.show();

    // Leaving one of its buttons (into another button or the strip) keeps it.
    QEvent leaveButton(QEvent::Leave);
    QApplication::sendEvent(button(tool, QStringLiteral("pushButton_2")), &leaveButton);
    QVERIFY(tool.isVisible());

    QEvent leaveStrip(QEvent::Leave);
    QApplication::sendEvent(&tool, &leaveStrip);
    QVERIFY(tool.isHidden());

    // The next tray click shows the same strip again.
    tool.show();
    QVERIFY(tool.isVisible());
}

void TestConvenientTool::constructionMarksActiveMode()
{
    setWorkMode(settingsMap(), 0, 0, 1);
    ConvenientTool tool;
    tool.show();
    QCOMPARE(face(button(tool, QStringLiteral("pushButton_3"))), selectedFace);
    QCOMPARE(face(button(tool, QStringLiteral("pushButton_4"))), unselectedFace);
}

void TestConvenientTool::refreshFollowsMap_data()
{
    QTest::addColumn<QList<int>>("modes");
    QTest::addColumn<QList<bool>>("selected");

    QTest::newRow("intelligent") << QList<int>{0, 1, 0} << QList<bool>{false, true, false};
    QTest::newRow("translation") << QList<int>{0, 0, 1} << QList<bool>{false, false, true};
    // Several at 1: the last in the order typing, intelligent, translation wins.
    QTest::newRow("typing and intelligent")
        << QList<int>{1, 1, 0} << QList<bool>{false, true, false};
}

void TestConvenientTool::refreshFollowsMap()
{
    QFETCH(QList<int>, modes);
    QFETCH(QList<bool>, selected);

    ConvenientTool tool;
    tool.show();
    QPushButton *const buttons[] = {button(tool, QStringLiteral("pushButton")),
                                    button(tool, QStringLiteral("pushButton_2")),
                                    button(tool, QStringLiteral("pushButton_3"))};
    QCOMPARE(face(buttons[0]), selectedFace);

    // The settings dialog or the tray changes the mode behind the strip's back.
    setWorkMode(settingsMap(), modes[0], modes[1], modes[2]);
    QTRY_COMPARE_WITH_TIMEOUT(face(buttons[0]) == selectedFace, selected[0], 2000);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(face(buttons[i]), selected[i] ? selectedFace : unselectedFace);
    QCOMPARE(face(button(tool, QStringLiteral("pushButton_4"))), unselectedFace);
}

QTEST_MAIN(TestConvenientTool)
#include "tst_convenienttool.moc"
