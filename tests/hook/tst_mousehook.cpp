// The push-to-talk hook on a real X server: side-button presses and releases
// made with xdotool reach mouseHookProc on the GUI thread, start and end a
// capture with one recognition, and still reach the window under the pointer
// (ExclusiveSideButtons=0). With ExclusiveSideButtons=1 a held button is kept
// from that window and a tap reaches it once.
#include "app/settingkeys.h"
#include "app/settings.h"
#include "capture/mousehook.h"
#include "common/logcapture.h"
#include "common/prompts.h"
#include "common/recordingplatform.h"
#include "common/scriptedengine.h"
#include "common/settingsenv.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QProcess>
#include <QtTest>

#include <memory>
#include <optional>

namespace {

const QString pressPrompt = QStringLiteral("请说口令！");

std::unique_ptr<LogCapture> logCapture;

bool pressPromptShown()
{
    return shownPrompts().contains(pressPrompt);
}

int countLines(const QString &text)
{
    return logCapture->lines().count(text);
}

std::optional<LogCapture::Line> findLine(const QString &text)
{
    for (const LogCapture::Line &line : logCapture->entries())
        if (line.text == text)
            return line;
    return std::nullopt;
}

// The window under the pointer: it records the buttons it is clicked with.
class ClickTarget : public QWidget
{
public:
    QList<Qt::MouseButton> pressed;
    QList<Qt::MouseButton> released;

protected:
    void mousePressEvent(QMouseEvent *event) override { pressed << event->button(); }
    void mouseReleaseEvent(QMouseEvent *event) override { released << event->button(); }
};

bool xdotool(const QStringList &arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

} // namespace

class TestMouseHook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void pressAndReleaseReachTheHook_data();
    void pressAndReleaseReachTheHook();
    void quickClickIsHandledInsideThePressPrompt();
    void quickClicksWithoutThePressPrompt();
    void otherButtonsAreIgnored();
    void bothSideButtonsOverlapping();
    void exclusiveSideButtons_data();
    void exclusiveSideButtons();
    void grabHeldByAnotherProgram();

private:
    int logouts() const { return engine->callsOf(ScriptedEngine::Logout).size(); }
    // A click may end before any audio arrived: then nothing is recognized.
    int releasesHandled() const
    {
        return logouts() +
               countLines(QStringLiteral("recording has no audio, nothing recognized !"));
    }

    // Sets ExclusiveSideButtons and waits until the hook has looked at it.
    bool setExclusive(bool exclusive, const QString &expectedLine = QString());

    SettingsEnv env;
    // Takes every prompt; a case that acts while one is up sets a recorder of its own over it.
    PromptRecorder prompts;
    bool exclusiveNow = false;
    std::shared_ptr<ScriptedEngine> engine;
    ClickTarget target;
    RecordingPlatform *desktop = nullptr;
};

void TestMouseHook::initTestCase()
{
    QVERIFY(env.enter());
    engine = std::make_shared<ScriptedEngine>();
    useScriptedEngine(engine);
    desktop = RecordingPlatform::install();
    SettingsMap &settings = *settingsMap();
    setWorkMode(&settings, 1, 0, 0);
    settings[SettingKey::TypingLanguage] = English;
    // Passive, as the hook always was, until a test says otherwise.
    settings[SettingKey::ExclusiveSideButtons] = 0;

    logCapture = std::make_unique<LogCapture>();
    QVERIFY(installMouseHook());
    QVERIFY(logCapture->contains(QStringLiteral("X11 session, XInput2")));

    target.setGeometry(100, 100, 300, 200);
    target.show();
    QVERIFY(QTest::qWaitForWindowExposed(&target));
    const QPoint centre = target.mapToGlobal(target.rect().center());
    QVERIFY(xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"),
                     QString::number(centre.x()), QString::number(centre.y())}));
}

void TestMouseHook::cleanupTestCase()
{
    logCapture.reset();
    useScriptedEngine(nullptr);
    installPlatform(systemPlatform());
}

void TestMouseHook::init()
{
    logCapture->clear();
    target.pressed.clear();
    target.released.clear();
    desktop->typed.clear();
    // Each case dictates into a control of its own: text typed right after
    // the last case's into the same control would join it with a blank.
    desktop->target.focus += 1;
    engine->calls.clear();
}

void TestMouseHook::pressAndReleaseReachTheHook_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("qtButton");
    QTest::newRow("button 8") << QStringLiteral("8") << int(Qt::BackButton);
    QTest::newRow("button 9") << QStringLiteral("9") << int(Qt::ForwardButton);
}

void TestMouseHook::pressAndReleaseReachTheHook()
{
    QFETCH(QString, button);
    QFETCH(int, qtButton);
    engine->resultReplies = {ScriptedEngine::ResultReply{0, SPEECH_REC_COMPLETE, "go forward"}};

    QVERIFY(xdotool({QStringLiteral("mousedown"), button}));
    QTRY_VERIFY_WITH_TIMEOUT(findLine(QStringLiteral("Forward button down !")), 5000);
    QVERIFY(findLine(QStringLiteral("Forward button down !"))->onGuiThread);
    // The hook takes nothing away from the window under the pointer.
    QTRY_COMPARE_WITH_TIMEOUT(target.pressed, QList<Qt::MouseButton>{Qt::MouseButton(qtButton)},
                              5000);
    QCOMPARE(logouts(), 0);

    // Held past the prompt and while there is something said, as a user speaking would.
    QTRY_VERIFY_WITH_TIMEOUT(!pressPromptShown(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(QStringLiteral("record.raw")).size() > 0, 5000);
    QVERIFY(xdotool({QStringLiteral("mouseup"), button}));
    QTRY_VERIFY_WITH_TIMEOUT(findLine(QStringLiteral("Forward button up !")), 5000);
    const auto up = findLine(QStringLiteral("Forward button up !"));
    QVERIFY(up->onGuiThread);
    QVERIFY(!up->prompts.contains(pressPrompt));
    QTRY_COMPARE_WITH_TIMEOUT(target.released, QList<Qt::MouseButton>{Qt::MouseButton(qtButton)},
                              5000);

    // The release ran one whole recognition of the file the capture wrote.
    QCOMPARE(logouts(), 1);
    const QList<ScriptedEngine::Call> writes = engine->callsOf(ScriptedEngine::Write);
    QVERIFY(!writes.isEmpty());
    QVERIFY(writes.first().data.startsWith("RIFF"));
    QCOMPARE(desktop->typed, QStringList{QStringLiteral("go forward")});
    QCOMPARE(countLines(QStringLiteral("Forward button down !")), 1);
    QCOMPARE(countLines(QStringLiteral("Forward button up !")), 1);
}

void TestMouseHook::quickClickIsHandledInsideThePressPrompt()
{
    // The prompt stays up until the release has come, as the box's second outlasts a click.
    PromptRecorder pressPrompts;
    pressPrompts.whileShown = [] {
        QVERIFY(QTest::qWaitFor(
            [] { return bool(findLine(QStringLiteral("Forward button up !"))); }, 5000));
    };
    QVERIFY(xdotool({QStringLiteral("click"), QStringLiteral("8")}));
    QTRY_VERIFY_WITH_TIMEOUT(findLine(QStringLiteral("Forward button up !")), 5000);
    // Handled at once, nested in the press's second, not after it.
    QVERIFY(findLine(QStringLiteral("Forward button up !"))->prompts.contains(pressPrompt));
    QTRY_COMPARE_WITH_TIMEOUT(releasesHandled(), 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!pressPromptShown(), 5000);
    QCOMPARE(countLines(QStringLiteral("Forward button down !")), 1);
    QCOMPARE(countLines(QStringLiteral("Forward button up !")), 1);
    QCOMPARE(pressPrompts.texts, QStringList{pressPrompt});
}

void TestMouseHook::quickClicksWithoutThePressPrompt()
{
    // "关闭提示": no "请说口令！"; each release is handled by itself, once.
    (*settingsMap())[SettingKey::ClosePrompt] = 1;
    for (int click = 1; click <= 3; ++click) {
        QVERIFY(xdotool({QStringLiteral("click"), QStringLiteral("8")}));
        QTRY_COMPARE_WITH_TIMEOUT(countLines(QStringLiteral("Forward button up !")), click, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(releasesHandled(), click, 5000);
    }
    (*settingsMap())[SettingKey::ClosePrompt] = 0;
    QCOMPARE(countLines(QStringLiteral("Forward button down !")), 3);
    for (const LogCapture::Line &line : logCapture->entries())
        QVERIFY2(!line.prompts.contains(pressPrompt), qPrintable(line.text));
}

void TestMouseHook::otherButtonsAreIgnored()
{
    // Left, middle, right and the wheel, then one side click to know they have all arrived.
    for (const char *button : {"1", "2", "3", "4", "5"})
        QVERIFY(xdotool({QStringLiteral("click"), QLatin1String(button)}));
    QVERIFY(xdotool({QStringLiteral("click"), QStringLiteral("9")}));
    QTRY_VERIFY_WITH_TIMEOUT(findLine(QStringLiteral("Forward button up !")), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!pressPromptShown(), 5000);
    QCOMPARE(countLines(QStringLiteral("Forward button down !")), 1);
    QCOMPARE(countLines(QStringLiteral("Forward button up !")), 1);
    QTRY_COMPARE_WITH_TIMEOUT(releasesHandled(), 1, 5000);
    // The clicks themselves reached the window.
    QVERIFY(target.pressed.contains(Qt::LeftButton));
    QVERIFY(target.pressed.contains(Qt::RightButton));
}

void TestMouseHook::bothSideButtonsOverlapping()
{
    for (const char *step : {"mousedown 8", "mousedown 9", "mouseup 8", "mouseup 9"}) {
        // Some audio before the first release, so that it has a recording to recognize.
        if (qstrcmp(step, "mouseup 8") == 0)
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(QStringLiteral("record.raw")).size() > 0, 5000);
        QVERIFY(xdotool(QString::fromLatin1(step).split(QLatin1Char(' '))));
        // Each event arrives before the next is made, as a hand would make them.
        const QString expected = QLatin1String(step).startsWith(QLatin1String("mousedown"))
                                     ? QStringLiteral("Forward button down !")
                                     : QStringLiteral("Forward button up !");
        const int before = QLatin1String(step).endsWith(QLatin1Char('8')) ? 0 : 1;
        QTRY_VERIFY_WITH_TIMEOUT(countLines(expected) > before, 5000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(countLines(QStringLiteral("no recording to recognize !")), 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!pressPromptShown(), 5000);
    QCOMPARE(countLines(QStringLiteral("Forward button down !")), 2);
    QCOMPARE(countLines(QStringLiteral("Forward button up !")), 2);

    // One capture, one recognition: the second release ended no recording, so the
    // file the first one wrote is not recognized (and typed) again.
    QCOMPARE(logouts(), 1);
    QCOMPARE(engine->callsOf(ScriptedEngine::Begin).size(), 1);
    QVERIFY(engine->callsOf(ScriptedEngine::Write).first().data.startsWith("RIFF"));
}

bool TestMouseHook::setExclusive(bool exclusive, const QString &expectedLine)
{
    (*settingsMap())[SettingKey::ExclusiveSideButtons] = exclusive ? 1 : 0;
    const QString line = !expectedLine.isEmpty() ? expectedLine
                         : exclusive ? QStringLiteral("held back from the window under the pointer")
                                     : QStringLiteral("passive again");
    if (exclusive == exclusiveNow && expectedLine.isEmpty())
        return true;
    exclusiveNow = exclusive;
    QDeadlineTimer deadline(5000);
    while (!logCapture->contains(line) && !deadline.hasExpired())
        QTest::qWait(20);
    return logCapture->contains(line);
}

void TestMouseHook::exclusiveSideButtons_data()
{
    QTest::addColumn<bool>("exclusive");
    QTest::addColumn<int>("holdMs");       // 0: a click as quick as xdotool makes it
    QTest::addColumn<int>("windowClicks"); // how often the window under the pointer sees it
    QTest::addColumn<int>("recognitions"); // -1: a quick click may hold no audio
    QTest::addColumn<bool>("promptShown");

    QTest::newRow("held, exclusive") << true << 1500 << 0 << 1 << true;
    QTest::newRow("tap, exclusive") << true << 0 << 1 << 0 << false;
    QTest::newRow("held, passive") << false << 1500 << 1 << 1 << true;
    QTest::newRow("tap, passive") << false << 0 << 1 << -1 << true;
}

void TestMouseHook::exclusiveSideButtons()
{
    QFETCH(bool, exclusive);
    QFETCH(int, holdMs);
    QFETCH(int, windowClicks);
    QFETCH(int, recognitions);
    QFETCH(bool, promptShown);
    engine->resultReplies = {ScriptedEngine::ResultReply{0, SPEECH_REC_COMPLETE, "go back"}};
    QVERIFY(setExclusive(exclusive));
    logCapture->clear();
    prompts.texts.clear();
    // The last utterance's file, which a tap must leave as it is.
    QFile::remove(QStringLiteral("record.wav"));
    QVERIFY(QFile(QStringLiteral("record.wav")).open(QIODevice::WriteOnly));

    if (holdMs == 0) {
        QVERIFY(xdotool({QStringLiteral("click"), QStringLiteral("8")}));
    } else {
        QVERIFY(xdotool({QStringLiteral("mousedown"), QStringLiteral("8")}));
        QTRY_VERIFY_WITH_TIMEOUT(findLine(QStringLiteral("Forward button down !")), 5000);
        QTest::qWait(holdMs);
        QVERIFY(xdotool({QStringLiteral("mouseup"), QStringLiteral("8")}));
    }
    QTRY_VERIFY2_WITH_TIMEOUT(findLine(QStringLiteral("Forward button up !")),
                              qPrintable(logCapture->lines().join(QLatin1Char('\n'))), 5000);
    if (recognitions >= 0)
        QTRY_COMPARE_WITH_TIMEOUT(logouts(), recognitions, 5000);
    else
        QTRY_COMPARE_WITH_TIMEOUT(releasesHandled(), 1, 5000);
    const QList<Qt::MouseButton> seen =
        windowClicks ? QList<Qt::MouseButton>{Qt::BackButton} : QList<Qt::MouseButton>{};
    QTRY_COMPARE_WITH_TIMEOUT(target.released, seen, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!pressPromptShown(), 5000);
    // Time for a click passed on to come back as a press of its own: it must not.
    QTest::qWait(500);
    QCOMPARE(target.pressed, seen);
    QCOMPARE(target.released, seen);
    QCOMPARE(countLines(QStringLiteral("Forward button down !")), 1);
    QCOMPARE(countLines(QStringLiteral("Forward button up !")), 1);
    QCOMPARE(prompts.texts.contains(pressPrompt), promptShown);
    const bool tap = exclusive && holdMs == 0;
    QCOMPARE(logCapture->contains(QStringLiteral("side button tapped")), tap);
    if (tap)
        QCOMPARE(QFileInfo(QStringLiteral("record.wav")).size(), 0);
}

void TestMouseHook::grabHeldByAnotherProgram()
{
    QVERIFY(setExclusive(false));
    QProcess grabber;
    grabber.start(QStringLiteral(BUTTON_GRABBER), QStringList());
    QVERIFY(grabber.waitForReadyRead(5000));
    QCOMPARE(grabber.readAllStandardOutput().trimmed(), QByteArray("grabbed"));

    // The side buttons stay passive, and say so once.
    QVERIFY(setExclusive(true, QStringLiteral("another program holds buttons 8 and 9")));
    QTest::qWait(2500); // the setting is looked at again, and again refused
    QCOMPARE(logCapture->count(QStringLiteral("another program holds buttons 8 and 9")), 1);
    QVERIFY(xdotool({QStringLiteral("click"), QStringLiteral("8")}));
    QTRY_COMPARE_WITH_TIMEOUT(releasesHandled(), 1, 5000);
    QVERIFY(!logCapture->contains(QStringLiteral("side button tapped")));

    // Once it lets go, the buttons are Ferrule's at the next look.
    grabber.kill();
    grabber.waitForFinished();
    QTRY_VERIFY_WITH_TIMEOUT(
        logCapture->contains(QStringLiteral("held back from the window under the pointer")), 5000);
    QVERIFY(setExclusive(false));
}

QTEST_MAIN(TestMouseHook)
#include "tst_mousehook.moc"
