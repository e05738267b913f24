#include "platform/linux/udevusbdevices.h"

#include "platform/linux/filedescriptor.h"

#include <QHash>

#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

// The list is read straight from sysfs, the files libudev itself reads: a
// libudev enumeration builds a whole device object per node (some forty file
// operations: path resolution, uevent, database), where the IDs need one link
// and at most four small attributes. libudev still tells when to read again.

namespace {

const char busDir[] = "/sys/bus/usb/devices";

struct UdevUnref
{
    void operator()(udev *handle) const { udev_unref(handle); }
    void operator()(udev_monitor *handle) const { udev_monitor_unref(handle); }
    void operator()(udev_device *handle) const { udev_device_unref(handle); }
};
template <typename T> using UdevPtr = std::unique_ptr<T, UdevUnref>;

struct DirClose
{
    void operator()(DIR *dir) const { closedir(dir); }
};

// A sysfs attribute of the node name on the bus, as a number. Opened
// relative to the bus folder: the kernel does not walk the whole path again.
bool readNumber(int bus, const QByteArray &name, const char *attribute, int base, unsigned *value)
{
    const QByteArray path = name + '/' + attribute;
    const FileDescriptor file(openat(bus, path.constData(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return false;
    char text[32];
    const ssize_t size = read(file.get(), text, sizeof text);
    if (size <= 0)
        return false;
    bool ok = false;
    *value = QByteArray(text, int(size)).trimmed().toUInt(&ok, base);
    return ok && *value <= 0xFFFF;
}

QByteArray hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return QByteArray(text);
}

struct UsbDeviceIds
{
    QByteArray withRevision;    // USB\VID_xxxx&PID_xxxx&REV_xxxx
    QByteArray withoutRevision; // USB\VID_xxxx&PID_xxxx
    unsigned interfaceCount = 0;
};

bool readDeviceIds(int bus, const QByteArray &name, UsbDeviceIds *ids)
{
    unsigned vendor, product, revision;
    if (!readNumber(bus, name, "idVendor", 16, &vendor) ||
        !readNumber(bus, name, "idProduct", 16, &product) ||
        !readNumber(bus, name, "bcdDevice", 16, &revision))
        return false;
    ids->withoutRevision = "USB\\VID_" + hex4(vendor) + "&PID_" + hex4(product);
    ids->withRevision = ids->withoutRevision + "&REV_" + hex4(revision);
    if (!readNumber(bus, name, "bNumInterfaces", 10, &ids->interfaceCount))
        ids->interfaceCount = 0;
    return true;
}

// A node on the bus: its name there and its place in the device tree.
struct BusNode
{
    QByteArray name; // "1-1", "usb1", "1-1:1.0"
    QByteArray path; // "devices/pci0000:00/0000:00:14.0/usb1/1-1"
};

class UdevUsbDevices : public UsbDevices
{
public:
    explicit UdevUsbDevices(UsbChangeWatch watch)
    {
        // Only udevd broadcasts on the "udev" group; without it a monitor
        // stays silent and a kept list would never be renewed.
        const bool watchable =
            watch == UsbChangeWatch::Always ||
            (watch == UsbChangeWatch::WhenUdevRuns && access("/run/udev/control", F_OK) == 0);
        if (!watchable)
            return;
        context.reset(udev_new());
        if (!context)
            return;
        // Subscribed before the first read, so nothing between the two is missed.
        monitor.reset(udev_monitor_new_from_netlink(context.get(), "udev"));
        if (monitor &&
            (udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", nullptr) < 0 ||
             udev_monitor_enable_receiving(monitor.get()) < 0))
            monitor.reset();
    }

    UsbDeviceList presentDevices() override
    {
        if (!kept || changedSinceLastRead()) {
            last = readAll();
            // A failed read is tried again at the next call.
            kept = monitor && !last.listFailed && !last.enumerationFailed;
        }
        return last;
    }

private:
    bool changedSinceLastRead()
    {
        pollfd watched{udev_monitor_get_fd(monitor.get()), POLLIN, 0};
        if (poll(&watched, 1, 0) == 0)
            return false;
        bool changed = (watched.revents & ~POLLIN) != 0;
        while (UdevPtr<udev_device> event{udev_monitor_receive_device(monitor.get())})
            changed = true;
        // Anything but "no more events" (lost events: ENOBUFS) means the kept
        // list can no longer be trusted.
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            changed = true;
        return changed;
    }

    static UsbDeviceList readAll()
    {
        UsbDeviceList list;
        const std::unique_ptr<DIR, DirClose> dir(opendir(busDir));
        if (!dir) {
            // No USB bus at all is an empty list, not a failure.
            list.listFailed = errno != ENOENT;
            return list;
        }
        std::vector<BusNode> nodes;
        for (;;) {
            errno = 0; // readdir's only way to tell an error from the end
            const dirent *entry = readdir(dir.get());
            if (!entry) {
                list.enumerationFailed = errno != 0;
                break;
            }
            if (entry->d_name[0] == '.')
                continue;
            const QByteArray name(entry->d_name);
            char target[PATH_MAX];
            const ssize_t size = readlinkat(dirfd(dir.get()), entry->d_name, target, sizeof target);
            if (size <= 0 || size == sizeof target)
                continue; // gone since the listing
            QByteArray path(target, int(size));
            while (path.startsWith("../"))
                path.remove(0, 3);
            nodes.push_back({name, path});
        }
        // libudev's order: by place in the device tree, so a device comes
        // right before its interfaces and the devices behind it.
        std::sort(nodes.begin(), nodes.end(),
                  [](const BusNode &a, const BusNode &b) { return a.path < b.path; });

        QHash<QByteArray, UsbDeviceIds> devices; // by path
        list.nodes.reserve(int(nodes.size()));
        for (const BusNode &node : nodes)
            list.nodes.append(nodeIds(dirfd(dir.get()), node, &devices));
        return list;
    }

    static QByteArrayList nodeIds(int bus, const BusNode &node,
                                  QHash<QByteArray, UsbDeviceIds> *devices)
    {
        // Interfaces are the nodes named "<device port>:<configuration>.<interface>".
        if (!node.name.contains(':')) {
            UsbDeviceIds ids;
            if (!readDeviceIds(bus, node.name, &ids))
                return {};
            devices->insert(node.path, ids);
            return {ids.withRevision, ids.withoutRevision};
        }
        const auto device = devices->constFind(node.path.left(node.path.lastIndexOf('/')));
        // Windows lists interfaces as nodes of their own only for composite
        // devices; a single-interface device is just the device.
        unsigned number;
        if (device == devices->cend() || device->interfaceCount <= 1 ||
            !readNumber(bus, node.name, "bInterfaceNumber", 16, &number))
            return {};
        char text[8];
        std::snprintf(text, sizeof text, "&MI_%02X", number);
        const QByteArray suffix(text);
        return {device->withRevision + suffix, device->withoutRevision + suffix};
    }

    UdevPtr<udev> context;
    UdevPtr<udev_monitor> monitor;
    UsbDeviceList last;
    bool kept = false;
};

} // namespace

std::unique_ptr<UsbDevices> createUsbDevices(UsbChangeWatch watch)
{
    return std::make_unique<UdevUsbDevices>(watch);
}
