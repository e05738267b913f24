// A Wayland session whose user may not read the mouse's input device (the udev
// rule is missing): Ferrule says so once, naming the device and the fix, in
// the log and in a prompt, and runs on; typing still works.
#include "common/mockmouse.h"

#include "capture/mousehook.h"
#include "common/logcapture.h"
#include "common/prompts.h"
#include "common/settingsenv.h"
#include "common/targetwindow.h"
#include "platform/platform.h"

#include <QDirIterator>
#include <QtTest>

#include <grp.h>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString noAccessPrompt = QStringLiteral("无权读取鼠标侧键，请见README");

bool plugIn(UMockdevTestbed *testbed, const QTemporaryDir &files, int number)
{
    GError *error = nullptr;
    const QByteArray description =
        MockMouse::describe(number, "Ferrule Test Mouse", "E: ID_INPUT_MOUSE=1");
    const QString ioctls = MockMouse::writeFile(files, QStringLiteral("%1.ioctl").arg(number),
                                                MockMouse::ioctls("Ferrule Test Mouse"));
    if (!umockdev_testbed_add_from_string(testbed, description.constData(), &error) ||
        !umockdev_testbed_load_ioctl(testbed, MockMouse::node(number).constData(),
                                     QFile::encodeName(ioctls).constData(), &error)) {
        g_clear_error(&error);
        return false;
    }
    return true;
}

// The nodes stay the machine's ptys, owned by whoever made the testbed. As root
// the test becomes nobody, who may use the testbed (read its files, talk to its
// ioctl sockets) but not open the ptys; otherwise the ptys are closed to their owner.
bool loseAccess(std::initializer_list<int> numbers)
{
    const QString root = QString::fromLocal8Bit(qgetenv("UMOCKDEV_DIR"));
    if (geteuid() != 0) {
        for (int number : numbers) {
            const QByteArray pty = QFile::encodeName(
                QFileInfo(root + QString::fromLatin1(MockMouse::node(number))).symLinkTarget());
            if (chmod(pty.constData(), 0) != 0)
                return false;
        }
        return true;
    }
    QDirIterator files(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                       QDirIterator::Subdirectories);
    // nobody's own, so that nobody can remove it in the end (/tmp is sticky)
    if (chown(QFile::encodeName(root).constData(), 65534, 65534) != 0)
        return false;
    while (files.hasNext()) {
        const QFileInfo file(files.next());
        if (!file.isSymLink())
            chmod(QFile::encodeName(file.filePath()).constData(), file.isDir() ? 0777 : 0666);
    }
    const gid_t nogroup = 65534;
    return setgroups(1, &nogroup) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
}

} // namespace

class TestEvdevNoAccess : public QObject
{
    Q_OBJECT

private slots:
    void saidOnceAndTypingStillWorks()
    {
        UMockdevTestbed *testbed = umockdev_testbed_new();
        QVERIFY2(umockdev_in_mock_environment(), "run through scripts/testenv/with-umockdev");
        QTemporaryDir files; // the ioctl answers, written before and after becoming nobody
        QVERIFY(QFile::setPermissions(files.path(), QFileDevice::Permissions(0x7777)));
        // Two mice it may not read. Both are there before the reader starts: a
        // mouse added to the testbed is announced at once, and a running reader
        // would open it before its ioctl answers are loaded.
        QVERIFY(plugIn(testbed, files, 5));
        QVERIFY(plugIn(testbed, files, 6));
        QVERIFY(loseAccess({5, 6}));
        SettingsEnv env;
        QVERIFY(env.enter());

        qputenv("WAYLAND_DISPLAY", "wayland-ferrule-test");
        LogCapture log;
        PromptRecorder prompts;
        QVERIFY(installMouseHook());
        const QString line = QStringLiteral(
            "Side buttons: no permission to read /dev/input/event5 (\"Ferrule Test Mouse\"): "
            "install "
            "Ferrule's udev rule 70-ferrule-mouse.rules (the ferrule package does) and log in "
            "again, see README \"Push-to-talk\" !");
        QTRY_COMPARE_WITH_TIMEOUT(prompts.texts, QStringList{noAccessPrompt}, 5000);
        QCOMPARE(log.count(line), 1);

        // The second mouse: in the log, but no second prompt.
        QTRY_VERIFY_WITH_TIMEOUT(
            log.contains(QStringLiteral("no permission to read /dev/input/event6")), 5000);
        QTest::qWait(1500);
        QCOMPARE(prompts.texts, QStringList{noAccessPrompt});
        QCOMPARE(log.count(line), 1);

        // Typing goes on as before. Typing chooses its path per run: on this
        // Xvfb, with no input method to commit through, that is the X11 one.
        qunsetenv("WAYLAND_DISPLAY");
        TargetWindow target(QStringLiteral(TYPING_TARGET), {QStringLiteral("--line")});
        QVERIFY(target.isReady());
        QVERIFY(target.focus());
        const QString text = QStringLiteral("typing still works 打字");
        QCOMPARE(platform().type(text, platform().typingTarget()), text.size());
        QTRY_COMPARE_WITH_TIMEOUT(target.text(), text, 5000);
        g_object_unref(testbed);
    }
};

QTEST_MAIN(TestEvdevNoAccess)
#include "tst_evdevnoaccess.moc"
