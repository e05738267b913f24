// GLib names a struct member "signals", which Qt defines as a macro: first.
#include <umockdev.h>

#include "app/settingkeys.h"
#include "app/settings.h"
#include "common/settingsenv.h"
#include "platform/linux/udevusbdevices.h"
#include "recordingmonitor.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

const char bus[] = "/sys/devices/pci0000:00/0000:00:14.0/usb1";

// One USB device with its interfaces, as umockdev-record would describe them.
QByteArray describeDevice(const QByteArray &path, const char *vendor, const char *product,
                          const char *revision, int interfaces,
                          const QByteArrayList &interfaceNumbers)
{
    QByteArray text = "P: " + path + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n";
    if (vendor)
        text += QByteArray("A: idVendor=") + vendor + '\n';
    text += QByteArray("A: idProduct=") + product + "\nA: bcdDevice=" + revision +
            "\nA: bNumInterfaces= " + QByteArray::number(interfaces) + "\n\n";
    // Interfaces are named after the port path; the root hub's port is 0.
    QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    if (name.startsWith("usb"))
        name = name.mid(3) + "-0";
    for (int i = 0; i < interfaceNumbers.size(); ++i)
        text += "P: " + path + '/' + name + ":1." + QByteArray::number(i) +
                "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=" +
                interfaceNumbers.at(i) + "\n\n";
    return text;
}

QByteArray at(const char *relative)
{
    return QByteArray(bus).mid(4) + relative; // without the leading /sys
}

QByteArray rootHub()
{
    return describeDevice(at(""), "1d6b", "0002", "0601", 1, {"00"});
}
QByteArray mouse()
{
    return describeDevice(at("/1-1"), "04d9", "a09f", "0237", 2, {"00", "01"});
}
QByteArray soundCard()
{
    return describeDevice(at("/1-2"), "0d8c", "0132", "0100", 4, {"00", "01", "02", "03"});
}
QByteArray keyboard()
{
    return describeDevice(at("/1-3"), "046d", "c31c", "6401", 1, {"00"});
}
QByteArray hub()
{
    return describeDevice(at("/1-4"), "05e3", "0610", "a2b3", 1, {"00"});
}
QByteArray behindHub()
{
    return describeDevice(at("/1-4/1-4.1"), "0bda", "8153", "3100", 2, {"00", "0a"});
}
QByteArray noVendor()
{
    return describeDevice(at("/1-5"), nullptr, "0001", "0001", 1, {});
}

const QString detected = QStringLiteral("已检测到塔沃鼠标");
const QString interfaceLost = QStringLiteral("鼠标未连接");
const QString deviceLost = QStringLiteral("声卡异常");

QByteArrayList firstIds(const UsbDeviceList &list)
{
    QByteArrayList ids;
    for (const QByteArrayList &node : list.nodes)
        ids << node.value(0);
    return ids;
}

} // namespace

Q_DECLARE_METATYPE(UsbChangeWatch)

class TestUdevUsbDevices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(env.enter()); }

    void init()
    {
        testbed = umockdev_testbed_new();
        QVERIFY(testbed);
        // Without the preload library libudev would read the machine's /sys.
        QVERIFY2(umockdev_in_mock_environment(), "run through scripts/testenv/with-umockdev");
    }

    void cleanup()
    {
        g_object_unref(testbed);
        testbed = nullptr;
    }

    void idsInWindowsForm()
    {
        add(rootHub() + mouse() + soundCard() + keyboard() + hub() + behindHub() + noVendor());
        const UsbDeviceList list = createUsbDevices(UsbChangeWatch::Never)->presentDevices();
        QVERIFY(!list.listFailed);
        QVERIFY(!list.enumerationFailed);
        const QByteArrayList expected{
            "USB\\VID_1D6B&PID_0002&REV_0601",
            "", // interface of a single-interface device: not a node of its own
            "USB\\VID_04D9&PID_A09F&REV_0237",
            "USB\\VID_04D9&PID_A09F&REV_0237&MI_00",
            "USB\\VID_04D9&PID_A09F&REV_0237&MI_01",
            "USB\\VID_0D8C&PID_0132&REV_0100",
            "USB\\VID_0D8C&PID_0132&REV_0100&MI_00",
            "USB\\VID_0D8C&PID_0132&REV_0100&MI_01",
            "USB\\VID_0D8C&PID_0132&REV_0100&MI_02",
            "USB\\VID_0D8C&PID_0132&REV_0100&MI_03",
            "USB\\VID_046D&PID_C31C&REV_6401",
            "",
            "USB\\VID_05E3&PID_0610&REV_A2B3",
            "USB\\VID_0BDA&PID_8153&REV_3100",
            "USB\\VID_0BDA&PID_8153&REV_3100&MI_00",
            "USB\\VID_0BDA&PID_8153&REV_3100&MI_0A",
            "",
            "", // no idVendor
        };
        QCOMPARE(firstIds(list), expected);
        QCOMPARE(list.nodes.at(2),
                 (QByteArrayList{"USB\\VID_04D9&PID_A09F&REV_0237", "USB\\VID_04D9&PID_A09F"}));
        QCOMPARE(list.nodes.at(6), (QByteArrayList{"USB\\VID_0D8C&PID_0132&REV_0100&MI_00",
                                                   "USB\\VID_0D8C&PID_0132&MI_00"}));
    }

    void emptyBus()
    {
        const UsbDeviceList list = createUsbDevices(UsbChangeWatch::Always)->presentDevices();
        QVERIFY(!list.listFailed);
        QVERIFY(list.nodes.isEmpty());
    }

    // What is on the bus folder but not a device link is passed over without
    // calling the list failed.
    void strayEntryOnTheBus()
    {
        add(rootHub());
        gchar *sys = umockdev_testbed_get_sys_dir(testbed);
        const QString stray =
            QString::fromLocal8Bit(sys) + QStringLiteral("/bus/usb/devices/stray");
        g_free(sys);
        QFile file(stray);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        const UsbDeviceList list = createUsbDevices(UsbChangeWatch::Never)->presentDevices();
        QVERIFY(!list.listFailed);
        QVERIFY(!list.enumerationFailed);
        QCOMPARE(firstIds(list), (QByteArrayList{"USB\\VID_1D6B&PID_0002&REV_0601", ""}));
    }

    void monitorFollowsPlugging_data()
    {
        QTest::addColumn<UsbChangeWatch>("watch");
        QTest::newRow("list kept while udev reports no change") << UsbChangeWatch::Always;
        QTest::newRow("list read at every pass") << UsbChangeWatch::Never;
    }

    void monitorFollowsPlugging()
    {
        QFETCH(UsbChangeWatch, watch);
        add(rootHub() + mouse() + soundCard() + keyboard());
        RecordingMonitor monitor(createUsbDevices(watch));
        QCOMPARE(monitor.pass(), QStringList{detected});
        QCOMPARE(connect(), 1);
        QCOMPARE(monitor.pass(), QStringList{});

        unplug("/1-2");
        QCOMPARE(monitor.pass(), QStringList{interfaceLost});
        QCOMPARE(connect(), 0);
        QCOMPARE(monitor.pass(), QStringList{});

        plug(soundCard());
        QCOMPARE(monitor.pass(), QStringList{detected});
        QCOMPARE(connect(), 1);

        unplug("/1-1");
        QCOMPARE(monitor.pass(), QStringList{deviceLost});
        QCOMPARE(connect(), 1);
        unplug("/1-3"); // another device: nothing to tell
        QCOMPARE(monitor.pass(), QStringList{});
        plug(mouse());
        QCOMPARE(monitor.pass(), QStringList{detected});
    }

    // Proves the list is really kept: a change that udev does not announce
    // is seen only by the reader that reads at every pass.
    void keptListIsReadAgainOnlyOnChange()
    {
        add(rootHub() + mouse() + soundCard());
        auto kept = createUsbDevices(UsbChangeWatch::Always);
        auto reread = createUsbDevices(UsbChangeWatch::Never);
        QCOMPARE(kept->presentDevices().nodes.size(), 10);
        QCOMPARE(reread->presentDevices().nodes.size(), 10);

        unplug("/1-2", Announce::No);
        QCOMPARE(reread->presentDevices().nodes.size(), 5);
        QCOMPARE(kept->presentDevices().nodes.size(), 10);

        // Any event on the bus renews the kept list.
        umockdev_testbed_uevent(testbed, bus, "change");
        QCOMPARE(kept->presentDevices().nodes.size(), 5);
    }

private:
    void add(const QByteArray &description)
    {
        GError *error = nullptr;
        const bool added =
            umockdev_testbed_add_from_string(testbed, description.constData(), &error);
        QVERIFY2(added, error ? error->message : "");
    }

    void plug(const QByteArray &description)
    {
        add(description);
        const QByteArray path = "/sys" + description.mid(3, description.indexOf('\n') - 3);
        umockdev_testbed_uevent(testbed, path.constData(), "add");
    }

    // As the kernel does it: the interfaces go first, then the device.
    enum class Announce
    {
        Yes,
        No
    };
    void unplug(const char *relative, Announce announce = Announce::Yes)
    {
        const QByteArray path = QByteArray(bus) + relative;
        const QDir device(QString::fromLocal8Bit(path));
        const QStringList interfaces = device.entryList({device.dirName() + ":*"}, QDir::Dirs);
        for (const QString &name : interfaces) {
            const QByteArray interfacePath = path + '/' + name.toLocal8Bit();
            if (announce == Announce::Yes)
                umockdev_testbed_uevent(testbed, interfacePath.constData(), "remove");
            umockdev_testbed_remove_device(testbed, interfacePath.constData());
        }
        if (announce == Announce::Yes)
            umockdev_testbed_uevent(testbed, path.constData(), "remove");
        umockdev_testbed_remove_device(testbed, path.constData());
    }

    static int connect() { return settingsMap()->value(SettingKey::MonitorTalvoxMouseConnect); }

    UMockdevTestbed *testbed = nullptr;
    SettingsEnv env;
};

QTEST_MAIN(TestUdevUsbDevices)
#include "tst_udevusbdevices.moc"
