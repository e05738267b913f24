// Cost of one pass of the voice mouse monitor (device list plus the tests):
// on this machine's own USB devices and on a mock tree of 300 USB nodes, with
// the list unchanged since the last pass and with a change before every pass.
// Run it through scripts/testenv/with-umockdev; prints "device_pass key=value ...".

// GLib names a struct member "signals", which Qt defines as a macro: first.
#include <umockdev.h>

#include "device/recordingmonitor.h"
#include "platform/linux/udevusbdevices.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>

namespace {

const char bus[] = "/sys/devices/pci0000:00/0000:00:14.0/usb1";

// Median time of one call in nanoseconds.
double medianNanoseconds(int rounds, const std::function<void()> &before,
                         const std::function<void()> &work)
{
    QVector<qint64> times;
    times.reserve(rounds);
    for (int i = 0; i < rounds; ++i) {
        if (before)
            before();
        QElapsedTimer clock;
        clock.start();
        work();
        times << clock.nsecsElapsed();
    }
    std::sort(times.begin(), times.end());
    return double(times.at(times.size() / 2));
}

// 300 nodes: the root hub and its interface, the voice mouse's two parts among
// 98 composite devices of two interfaces each, and 4 single devices.
QByteArray tree300(int *nodes)
{
    QByteArray text;
    *nodes = 0;
    auto device = [&](const QByteArray &path, const char *vendor, const char *product,
                      const char *revision, int interfaces) {
        text += "P: " + path + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=" + vendor +
                "\nA: idProduct=" + product + "\nA: bcdDevice=" + revision +
                "\nA: bNumInterfaces= " + QByteArray::number(interfaces) + "\n\n";
        ++*nodes;
        QByteArray name = path.mid(path.lastIndexOf('/') + 1);
        if (name.startsWith("usb"))
            name = name.mid(3) + "-0";
        for (int i = 0; i < interfaces; ++i) {
            text += "P: " + path + '/' + name + ":1." + QByteArray::number(i) +
                    "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=0" +
                    QByteArray::number(i) + "\n\n";
            ++*nodes;
        }
    };
    const QByteArray root = QByteArray(bus).mid(4);
    device(root, "1d6b", "0002", "0601", 1);
    device(root + "/1-1", "04d9", "a09f", "0237", 2);
    device(root + "/1-2", "0d8c", "0132", "0100", 2);
    for (int i = 3; i <= 98; ++i)
        device(root + "/1-" + QByteArray::number(i), "1234", "5678", "0100", 2);
    for (int i = 99; i <= 102; ++i)
        device(root + "/1-" + QByteArray::number(i), "1234", "9abc", "0100", 0);
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv); // the monitor is a widget
    QTemporaryDir runDir;         // the monitor's config.txt goes here
    QDir::setCurrent(runDir.path());
    QTextStream out(stdout);

    {
        RecordingMonitor monitor(createUsbDevices());
        monitor.scanDevices();
        const double own = medianNanoseconds(2000, nullptr, [&] { monitor.scanDevices(); });
        RecordingMonitor rereading(createUsbDevices(UsbChangeWatch::Never));
        const double ownFull = medianNanoseconds(200, nullptr, [&] { rereading.scanDevices(); });
        const int count = createUsbDevices(UsbChangeWatch::Never)->presentDevices().nodes.size();
        out << "device_pass_own nodes=" << count << " pass_us=" << own / 1000
            << " full_us=" << ownFull / 1000 << '\n';
    }

    UMockdevTestbed *testbed = umockdev_testbed_new();
    if (!umockdev_in_mock_environment()) {
        out << "device_pass: not under umockdev (run through scripts/testenv/with-umockdev)\n";
        return 1;
    }
    int nodes = 0;
    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed, tree300(&nodes).constData(), &error)) {
        out << "device_pass: " << error->message << '\n';
        return 1;
    }

    RecordingMonitor kept(createUsbDevices(UsbChangeWatch::Always));
    kept.scanDevices();
    const double unchanged = medianNanoseconds(2000, nullptr, [&] { kept.scanDevices(); });
    const double changed = medianNanoseconds(
        50, [&] { umockdev_testbed_uevent(testbed, bus, "change"); }, [&] { kept.scanDevices(); });
    RecordingMonitor rereading(createUsbDevices(UsbChangeWatch::Never));
    const double full = medianNanoseconds(50, nullptr, [&] { rereading.scanDevices(); });
    const int seen = createUsbDevices(UsbChangeWatch::Never)->presentDevices().nodes.size();

    out << "device_pass mock_nodes=" << nodes << " seen=" << seen
        << " unchanged_us=" << unchanged / 1000 << " changed_ms=" << changed / 1e6
        << " full_300_ms=" << full / 1e6 << " prompts=" << kept.prompts.join(',') << '\n';
    g_object_unref(testbed);
    return 0;
}
