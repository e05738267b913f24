// GLib names a struct member "signals", which Qt defines as a macro: first.
#include <umockdev.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The whole program on a mock USB bus: plugging the voice mouse in and out
// shows in the state it saves to config.txt.
class TestMonitorProgram : public QObject
{
    Q_OBJECT

private slots:
    void programFollowsTheMouse()
    {
        UMockdevTestbed *testbed = umockdev_testbed_new();
        QVERIFY(umockdev_in_mock_environment());
        const QByteArray root = "/devices/pci0000:00/0000:00:14.0/usb1";
        QVERIFY(umockdev_testbed_add_from_string(
            testbed, description(root, "1d6b", "0002", "0601", 1, "1-0").constData(), nullptr));
        QVERIFY(umockdev_testbed_add_from_string(
            testbed, description(root + "/1-1", "04d9", "a09f", "0237", 2, "1-1").constData(),
            nullptr));
        const QByteArray soundCard = description(root + "/1-2", "0d8c", "0132", "0100", 2, "1-2");
        QVERIFY(umockdev_testbed_add_from_string(testbed, soundCard.constData(), nullptr));

        QTemporaryDir runDir, runtime, config;
        QVERIFY(writeConfig(runDir.filePath("config.txt"), 0));
        // The program inherits the preload library and the mock bus from here.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("XDG_CONFIG_HOME", config.path());
        QProcess program;
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(runDir.path());
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(FERRULE_PROGRAM), QStringList());
        QVERIFY(program.waitForStarted());
        const QString configPath = runDir.filePath("config.txt");

        QTRY_COMPARE_WITH_TIMEOUT(connectState(configPath), 1, 15000);

        // Pull the sound card: its interface goes with it.
        const QByteArray card = "/sys" + root + "/1-2";
        // Announced as udev would, for a program that waits for udev's word.
        for (const char *node : {"/1-2:1.0", "/1-2:1.1", ""}) {
            umockdev_testbed_uevent(testbed, (card + node).constData(), "remove");
            umockdev_testbed_remove_device(testbed, (card + node).constData());
        }
        QTRY_COMPARE_WITH_TIMEOUT(connectState(configPath), 0, 15000);

        QVERIFY(umockdev_testbed_add_from_string(testbed, soundCard.constData(), nullptr));
        for (const char *node : {"", "/1-2:1.0", "/1-2:1.1"})
            umockdev_testbed_uevent(testbed, (card + node).constData(), "add");
        QTRY_COMPARE_WITH_TIMEOUT(connectState(configPath), 1, 15000);

        QCOMPARE(program.state(), QProcess::Running);
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        g_object_unref(testbed);
    }

private:
    static QByteArray description(const QByteArray &path, const char *vendor, const char *product,
                                  const char *revision, int interfaces, const QByteArray &port)
    {
        QByteArray text = "P: " + path +
                          "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=" + vendor +
                          "\nA: idProduct=" + product + "\nA: bcdDevice=" + revision +
                          "\nA: bNumInterfaces= " + QByteArray::number(interfaces) + "\n\n";
        for (int i = 0; i < interfaces; ++i)
            text += "P: " + path + '/' + port + ":1." + QByteArray::number(i) +
                    "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=0" +
                    QByteArray::number(i) + "\n\n";
        return text;
    }

    static bool writeConfig(const QString &path, int connected)
    {
        QFile file(path);
        // BootUp=2 keeps the session's autostart entries out of it.
        return file.open(QIODevice::WriteOnly) &&
               file.write("BootUp=2\nMonitorTalvoxMouseConnect=" + QByteArray::number(connected) +
                          '\n') > 0;
    }

    static int connectState(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : file.readAll().split('\n'))
            if (line.startsWith("MonitorTalvoxMouseConnect="))
                return line.mid(26).toInt();
        return -1;
    }
};

QTEST_GUILESS_MAIN(TestMonitorProgram)
#include "tst_monitorprogram.moc"
