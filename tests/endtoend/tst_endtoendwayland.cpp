// The whole road on a Wayland session: the real program on a headless KWin
// with fcitx5, a mouse described to umockdev whose side button is held while
// speech plays into PulseAudio's microphone, and the text arriving in a native
// Wayland window through the input method.
#include "common/mockmouse.h"

#include "common/fcitx5.h"
#include "common/ferruleprogram.h"
#include "common/targetwindow.h"

#include <QDBusInterface>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QtTest>

namespace {

const char goForward[] = "/usr/share/pocketsphinx/test/data/goforward.raw";
const int mouse = 3;

// A KWin script that activates the window titled "typing target" once it and
// another window are on screen, as the user would click into it.
bool focusTargetOnceBothShow(const QTemporaryDir &files)
{
    const QString script = MockMouse::writeFile(
        files, QStringLiteral("focus.js"),
        "function focusTarget() {\n"
        "    const windows = workspace.clientList();\n"
        "    const target = windows.find(w => w.caption == 'typing target');\n"
        "    if (!target || !windows.some(w => w.normalWindow && w !== target))\n"
        "        return;\n"
        "    workspace.clientAdded.disconnect(focusTarget);\n"
        "    workspace.activeClient = target;\n"
        "}\n"
        "workspace.clientAdded.connect(focusTarget);\n"
        "focusTarget();\n");
    QDBusInterface scripting(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
                             QStringLiteral("org.kde.kwin.Scripting"));
    const QDBusReply<int> id =
        scripting.call(QStringLiteral("loadScript"), script, QStringLiteral("ferrule-focus"));
    return id.isValid() && id.value() >= 0 &&
           scripting.call(QStringLiteral("start")).type() == QDBusMessage::ReplyMessage;
}

} // namespace

class TestEndToEndWayland : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void typingModeEnglish();

private:
    bool waitForOutput(const QByteArray &line, int timeoutMs);

    QTemporaryDir runDir;
    QTemporaryDir homeDir;
    QTemporaryDir files;
    UMockdevTestbed *testbed = nullptr;
    QProcess ferrule;
    QByteArray ferruleOutput;
};

void TestEndToEndWayland::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qgetenv("FERRULE_IME") == "fcitx5",
             "runs under with-kwin");
    // The testbed's folder goes into this process's environment (UMOCKDEV_DIR),
    // and with umockdev's preload the program started from here reads it.
    testbed = umockdev_testbed_new();
    QVERIFY2(umockdev_in_mock_environment(), "run through scripts/testenv/with-umockdev");
    GError *error = nullptr;
    QVERIFY(umockdev_testbed_add_from_string(
        testbed,
        MockMouse::describe(mouse, "Ferrule Test Mouse", "E: ID_INPUT_MOUSE=1").constData(),
        &error));
    const QString ioctls = MockMouse::writeFile(files, QStringLiteral("mouse.ioctl"),
                                                MockMouse::ioctls("Ferrule Test Mouse"));
    QVERIFY(umockdev_testbed_load_ioctl(testbed, MockMouse::node(mouse).constData(),
                                        QFile::encodeName(ioctls).constData(), &error));
}

void TestEndToEndWayland::cleanup()
{
    ferrule.terminate();
    if (!ferrule.waitForFinished(5000))
        ferrule.kill();
    ferrule.waitForFinished(5000);
    ferruleOutput += ferrule.readAll();
    if (QTest::currentTestFailed())
        qWarning().noquote() << "ferrule said:\n" + QString::fromUtf8(ferruleOutput);
}

void TestEndToEndWayland::cleanupTestCase()
{
    if (testbed)
        g_object_unref(testbed);
}

bool TestEndToEndWayland::waitForOutput(const QByteArray &line, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!ferruleOutput.contains(line) && !deadline.hasExpired())
        QTest::qWait(20);
    return ferruleOutput.contains(line);
}

void TestEndToEndWayland::typingModeEnglish()
{
    QVERIFY(copyFerruleData(runDir.path()));
    QVERIFY(!MockMouse::writeFile(runDir, QStringLiteral("config.txt"), ferruleConfig(1, 1, 0, 0))
                 .isEmpty());
    ferrule.setProcessChannelMode(QProcess::MergedChannels);
    ferrule.setWorkingDirectory(runDir.path());
    ferrule.setProcessEnvironment(ferruleEnvironment(homeDir.path()));
    connect(&ferrule, &QProcess::readyRead, this, [this] { ferruleOutput += ferrule.readAll(); });
    ferrule.start(QStringLiteral(FERRULE_PROGRAM), QStringList());
    QVERIFY2(waitForOutput("Mouse hook installed !", 20000), ferruleOutput.constData());
    QVERIFY(ferruleOutput.contains(
        "Side buttons: Wayland session, reading the mice's kernel input devices !"));
    QVERIFY2(waitForOutput("Side buttons: watching " + MockMouse::node(mouse) +
                               " (\"Ferrule Test Mouse\") !",
                           10000),
             ferruleOutput.constData());

    // Ferrule's status window (this compositor has no tray) maps when it will,
    // and takes the focus; the user then clicks into the window to dictate into.
    QVERIFY2(waitForOutput("No system tray found, showing the status window instead !", 10000),
             ferruleOutput.constData());
    QVERIFY(focusTargetOnceBothShow(files));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LD_PRELOAD"));
    environment.remove(QStringLiteral("UMOCKDEV_DIR"));
    TargetWindow window(QStringLiteral(TYPING_TARGET), {QStringLiteral("--line")}, environment);
    QVERIFY(window.isReady());
    QTRY_VERIFY_WITH_TIMEOUT(!fcitx5FocusedContext().isEmpty(), 10000);

    // The user holds the side button for 7 s from half a second on; the speech
    // (2.8 s) starts as soon as the recording does.
    const QByteArray events = "E: 0.500000 0001 0113 1\nE: 0.500000 0000 0000 0\n"
                              "E: 7.500000 0001 0113 0\nE: 7.500000 0000 0000 0\n";
    const QString script = MockMouse::writeFile(files, QStringLiteral("mouse.events"), events);
    GError *error = nullptr;
    QVERIFY(umockdev_testbed_load_evemu_events(testbed, MockMouse::node(mouse).constData(),
                                               QFile::encodeName(script).constData(), &error));
    QVERIFY2(waitForOutput("Forward button down !", 5000), ferruleOutput.constData());
    const QString recording = runDir.filePath(QStringLiteral("record.raw"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(recording).size() > 0, 5000);
    QProcess player;
    player.start(QStringLiteral("pacat"),
                 {QStringLiteral("--playback"), QStringLiteral("--raw"),
                  QStringLiteral("--rate=16000"), QStringLiteral("--channels=1"),
                  QStringLiteral("--format=s16le"), QString::fromLatin1(goForward)});
    QVERIFY(player.waitForFinished(30000));
    QCOMPARE(player.exitCode(), 0);
    // The whole speech was recorded while the button was still held.
    QVERIFY2(!ferruleOutput.contains("Forward button up !"), "the recording outlasted the hold");
    QVERIFY2(waitForOutput("Forward button up !", 10000), ferruleOutput.constData());

    QTRY_COMPARE_WITH_TIMEOUT(window.text(), QStringLiteral("go forward ten meters"), 60000);
    QVERIFY2(waitForOutput("typing through fcitx5", 5000), ferruleOutput.constData());

    // Ended as the session's logout ends it: cleanly, with no sanitizer's report.
    ferrule.terminate();
    QVERIFY(ferrule.waitForFinished(10000));
    ferruleOutput += ferrule.readAll();
    QVERIFY2(!ferruleOutput.contains("ERROR: AddressSanitizer") &&
                 !ferruleOutput.contains("runtime error:"),
             ferruleOutput.constData());
}

QTEST_MAIN(TestEndToEndWayland)
#include "tst_endtoendwayland.moc"
