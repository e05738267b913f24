// The push-to-talk hook on a Wayland session, where the side buttons come from
// the mice's kernel input devices: mice described to umockdev, plugged in and
// out while the hook runs, their events replayed with their timing. Each row's
// presses and releases must reach the hook in order, none lost and none made up.
#include "common/mockmouse.h"

#include "app/settingkeys.h"
#include "app/settings.h"
#include "capture/mousehook.h"
#include "common/logcapture.h"
#include "common/recordingplatform.h"
#include "common/scriptedengine.h"
#include "common/settingsenv.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <memory>

namespace {

const QString down = QStringLiteral("Forward button down !");
const QString up = QStringLiteral("Forward button up !");

// A side button's press or release: "E: <time> 0001 0113|0114 1|0" and its report.
QByteArray button(double time, bool extra, bool press)
{
    const QByteArray at = QByteArray::number(time, 'f', 6);
    return "E: " + at + " 0001 " + (extra ? "0114 " : "0113 ") + (press ? "1" : "0") +
           "\nE: " + at + " 0000 0000 0\n";
}

// count relative motions, one every millisecond from time on.
QByteArray motion(double time, int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i) {
        const QByteArray at = QByteArray::number(time + i * 0.001, 'f', 6);
        text +=
            "E: " + at + " 0002 0000 3\nE: " + at + " 0002 0001 -2\nE: " + at + " 0000 0000 0\n";
    }
    return text;
}

} // namespace

class TestEvdevSideButtons : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void clicksReachTheHookInOrder_data();
    void clicksReachTheHookInOrder();

private:
    // Adds a described device and, with ioctl answers, says it was plugged in.
    bool plugIn(int number, const QByteArray &description, bool answers = true);
    void unplug(int number);
    QStringList hookLines() const;
    bool isOpen(int number) const;

    SettingsEnv env;
    QTemporaryDir files;
    std::unique_ptr<LogCapture> log;
    std::shared_ptr<ScriptedEngine> engine;
    UMockdevTestbed *testbed = nullptr;
    QList<int> plugged;
    int next = 10; // each row's devices are new ones, as the kernel numbers them
};

void TestEvdevSideButtons::initTestCase()
{
    QVERIFY(env.enter());
    testbed = umockdev_testbed_new();
    QVERIFY2(umockdev_in_mock_environment(), "run through scripts/testenv/with-umockdev");
    engine = std::make_shared<ScriptedEngine>();
    useScriptedEngine(engine);
    RecordingPlatform::install();
    SettingsMap &settings = *settingsMap();
    setWorkMode(&settings, 1, 0, 0);
    settings[SettingKey::TypingLanguage] = English;

    // A Wayland session: the buttons come from the kernel's devices.
    qputenv("WAYLAND_DISPLAY", "wayland-ferrule-test");
    log = std::make_unique<LogCapture>();
    QVERIFY(installMouseHook());
    QVERIFY(
        log->contains(QStringLiteral("Wayland session, reading the mice's kernel input devices")));
    QVERIFY(log->contains(QStringLiteral("no mouse with side buttons yet")));
    // ExclusiveSideButtons is on by default, and cannot be followed here.
    QVERIFY(log->contains(QStringLiteral("on Wayland they stay passive")));
}

void TestEvdevSideButtons::cleanupTestCase()
{
    log.reset();
    useScriptedEngine(nullptr);
    g_object_unref(testbed);
}

void TestEvdevSideButtons::cleanup()
{
    for (int number : plugged)
        unplug(number);
    plugged.clear();
    // Whatever the row left running ends before the next one.
    QTRY_VERIFY_WITH_TIMEOUT(promptBoxes().isEmpty() || shownPrompts().isEmpty(), 5000);
    log->clear();
    engine->calls.clear();
}

bool TestEvdevSideButtons::plugIn(int number, const QByteArray &description, bool answers)
{
    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed, description.constData(), &error)) {
        qWarning() << error->message;
        g_clear_error(&error);
        return false;
    }
    if (answers) {
        const QString ioctls = MockMouse::writeFile(files, QStringLiteral("%1.ioctl").arg(number),
                                                    MockMouse::ioctls("Ferrule Test Mouse"));
        if (!umockdev_testbed_load_ioctl(testbed, MockMouse::node(number).constData(),
                                         QFile::encodeName(ioctls).constData(), &error)) {
            qWarning() << error->message;
            g_clear_error(&error);
            return false;
        }
    }
    plugged << number;
    umockdev_testbed_uevent(testbed, MockMouse::sysPath(number).constData(), "add");
    return true;
}

void TestEvdevSideButtons::unplug(int number)
{
    umockdev_testbed_uevent(testbed, MockMouse::sysPath(number).constData(), "remove");
    umockdev_testbed_remove_device(testbed, MockMouse::sysPath(number).constData());
}

QStringList TestEvdevSideButtons::hookLines() const
{
    QStringList lines;
    for (const QString &line : log->lines())
        if (line == down || line == up)
            lines << (line == down ? QStringLiteral("down") : QStringLiteral("up"));
    return lines;
}

// Whether this process holds the device's node open (umockdev's node is a pty).
bool TestEvdevSideButtons::isOpen(int number) const
{
    const QString target =
        QFileInfo(QString::fromLocal8Bit(qgetenv("UMOCKDEV_DIR") + MockMouse::node(number)))
            .symLinkTarget();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot))
        if (!target.isEmpty() && QFileInfo(fds.filePath(fd)).symLinkTarget() == target)
            return true;
    return false;
}

void TestEvdevSideButtons::clicksReachTheHookInOrder_data()
{
    QTest::addColumn<QByteArray>("events");
    QTest::addColumn<int>("blockMs"); // the GUI thread busy this long after the events start
    QTest::addColumn<bool>("unplug"); // the mouse pulled out once the events have played
    QTest::addColumn<QStringList>("expected");
    // -1: the recording may hold no audio (made while the GUI thread was busy)
    QTest::addColumn<int>("recognitions");
    QTest::addColumn<QString>("logged"); // a line the row must have written

    const QStringList pressRelease{"down", "up"};
    QTest::newRow("hold") << button(0.1, false, true) + button(2.1, false, false) << 0 << false
                          << pressRelease << 1 << QString();
    QTest::newRow("quick tap") << button(0.1, true, true) + button(0.25, true, false) << 0 << false
                               << pressRelease << -1 << QString();
    QTest::newRow("both buttons overlapping")
        << button(0.1, false, true) + button(0.6, true, true) + button(1.6, false, false) +
               button(2.1, true, false)
        << 0 << false << QStringList{"down", "down", "up", "up"} << 1
        << QStringLiteral("no recording to recognize !");
    QTest::newRow("motion around a hold, GUI thread busy 3 s")
        << motion(0.0, 300) + button(0.3, false, true) + motion(0.3, 1500) +
               button(1.8, false, false) + motion(1.8, 300)
        << 3000 << false << pressRelease << -1 << QString();
    // The kernel's buffer overflowed: the release was lost in it, and the
    // device's state (EVIOCGKEY: nothing held) brings it back.
    QTest::newRow("events dropped while held")
        << button(0.1, false, true) + motion(0.1, 100) + "E: 2.000000 0000 0003 0\n" +
               motion(2.001, 10)
        << 0 << false << pressRelease << 1 << QStringLiteral("dropped events, resynchronising !");
    QTest::newRow("unplugged while held") << button(0.1, true, true) + motion(0.1, 200) << 0 << true
                                          << pressRelease << 1 << QStringLiteral("is gone !");
}

void TestEvdevSideButtons::clicksReachTheHookInOrder()
{
    QFETCH(QByteArray, events);
    QFETCH(int, blockMs);
    QFETCH(bool, unplug);
    QFETCH(QStringList, expected);
    QFETCH(int, recognitions);
    QFETCH(QString, logged);
    engine->resultReplies = {ScriptedEngine::ResultReply{0, SPEECH_REC_COMPLETE, "go back"}};

    // A keyboard, and a keyboard that says it is a mouse too: never opened.
    const int keyboard = next++, combined = next++, mouse = next++;
    QVERIFY(plugIn(keyboard,
                   MockMouse::describe(keyboard, "Ferrule Test Keyboard",
                                       "E: ID_INPUT_KEY=1\nE: ID_INPUT_KEYBOARD=1"),
                   false));
    QVERIFY(plugIn(combined,
                   MockMouse::describe(combined, "Ferrule Test Combo",
                                       "E: ID_INPUT_MOUSE=1\nE: ID_INPUT_KEYBOARD=1"),
                   false));
    QVERIFY(plugIn(mouse, MockMouse::describe(mouse, "Ferrule Test Mouse", "E: ID_INPUT_MOUSE=1")));
    const QString watching =
        QStringLiteral("Side buttons: watching /dev/input/event%1 (\"Ferrule Test Mouse\") !")
            .arg(mouse);
    QTRY_VERIFY_WITH_TIMEOUT(log->contains(watching), 5000);
    // The watched node shows as open: the checks below of those never opened can fail.
    QVERIFY(isOpen(mouse));

    const QString script =
        MockMouse::writeFile(files, QStringLiteral("%1.events").arg(mouse), events);
    GError *error = nullptr;
    QVERIFY(umockdev_testbed_load_evemu_events(testbed, MockMouse::node(mouse).constData(),
                                               QFile::encodeName(script).constData(), &error));
    if (blockMs)
        QThread::msleep(blockMs); // as a recognition does: no event loop at all
    if (unplug) {
        QTRY_COMPARE_WITH_TIMEOUT(hookLines(), QStringList{"down"}, 5000);
        // The motion has played: umockdev writes on into a node nobody reads
        // any more only until the pty is full, and then waits for ever.
        QTest::qWait(1500);
        this->unplug(mouse);
        plugged.removeOne(mouse);
        QTRY_VERIFY_WITH_TIMEOUT(
            log->contains(
                QStringLiteral("/dev/input/event%1 (\"Ferrule Test Mouse\") is gone").arg(mouse)),
            5000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(hookLines(), expected, 10000);
    if (recognitions >= 0)
        QTRY_COMPARE_WITH_TIMEOUT(engine->callsOf(ScriptedEngine::Logout).size(), recognitions,
                                  10000);
    QTest::qWait(300); // nothing more comes
    QCOMPARE(hookLines(), expected);
    if (!logged.isEmpty())
        QVERIFY2(log->contains(logged), qPrintable(log->lines().join(QLatin1Char('\n'))));
    for (const LogCapture::Line &line : log->entries())
        if (line.text == down || line.text == up)
            QVERIFY(line.onGuiThread);

    QVERIFY(!isOpen(keyboard));
    QVERIFY(!isOpen(combined));
    QVERIFY(!log->contains(QStringLiteral("Keyboard")));
    QVERIFY(!log->contains(QStringLiteral("Combo")));
}

QTEST_MAIN(TestEvdevSideButtons)
#include "tst_evdevsidebuttons.moc"
