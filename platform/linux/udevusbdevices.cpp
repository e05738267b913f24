#include "platform/usbdevices.h"

#include <QHash>

#include <libudev.h>

#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace {

struct UdevUnref
{
    void operator()(udev *handle) const { udev_unref(handle); }
    void operator()(udev_monitor *handle) const { udev_monitor_unref(handle); }
    void operator()(udev_enumerate *handle) const { udev_enumerate_unref(handle); }
    void operator()(udev_device *handle) const { udev_device_unref(handle); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevUnref>;

bool readNumber(udev_device *device, const char *attribute, int base, unsigned *value)
{
    const char *text = udev_device_get_sysattr_value(device, attribute);
    if (!text)
        return false;
    bool ok = false;
    *value = QByteArray(text).trimmed().toUInt(&ok, base);
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
    QByteArray withRevision; // USB\VID_xxxx&PID_xxxx&REV_xxxx
    QByteArray withoutRevision; // USB\VID_xxxx&PID_xxxx
    unsigned interfaceCount = 0;
};

bool readDeviceIds(udev_device *device, UsbDeviceIds *ids)
{
    unsigned vendor, product, revision;
    if (!readNumber(device, "idVendor", 16, &vendor) || !readNumber(device, "idProduct", 16, &product)
        || !readNumber(device, "bcdDevice", 16, &revision))
        return false;
    ids->withoutRevision = "USB\\VID_" + hex4(vendor) + "&PID_" + hex4(product);
    ids->withRevision = ids->withoutRevision + "&REV_" + hex4(revision);
    if (!readNumber(device, "bNumInterfaces", 10, &ids->interfaceCount))
        ids->interfaceCount = 0;
    return true;
}

QByteArray parentPath(const char *syspath)
{
    const QByteArray path(syspath);
    return path.left(path.lastIndexOf('/'));
}

class UdevUsbDevices : public UsbDevices
{
public:
    explicit UdevUsbDevices(UsbChangeWatch watch) : context(udev_new())
    {
        if (!context)
            return;
        // Only udevd broadcasts on the "udev" group; without it a monitor
        // stays silent and the kept list would never be renewed.
        const bool watchable = watch == UsbChangeWatch::Always
            || (watch == UsbChangeWatch::WhenUdevRuns && access("/run/udev/control", F_OK) == 0);
        if (!watchable)
            return;
        // Subscribed before the first read, so nothing between the two is missed.
        monitor.reset(udev_monitor_new_from_netlink(context.get(), "udev"));
        if (monitor
            && (udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", nullptr) < 0
                || udev_monitor_enable_receiving(monitor.get()) < 0))
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
        if (!monitor)
            return true;
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

    UsbDeviceList readAll()
    {
        UsbDeviceList list;
        UdevPtr<udev_enumerate> enumeration;
        if (context)
            enumeration.reset(udev_enumerate_new(context.get()));
        if (!enumeration || udev_enumerate_add_match_subsystem(enumeration.get(), "usb") < 0) {
            list.listFailed = true;
            return list;
        }
        if (udev_enumerate_scan_devices(enumeration.get()) < 0)
            list.enumerationFailed = true;

        // Devices come before their interfaces (the list is sorted by path),
        // so an interface finds its device's IDs here without another read.
        QHash<QByteArray, UsbDeviceIds> devices;
        udev_list_entry *entry;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration.get()))
        {
            const char *syspath = udev_list_entry_get_name(entry);
            list.nodes.append(nodeIds(syspath, &devices));
        }
        return list;
    }

    QByteArrayList nodeIds(const char *syspath, QHash<QByteArray, UsbDeviceIds> *devices)
    {
        UdevPtr<udev_device> device{udev_device_new_from_syspath(context.get(), syspath)};
        if (!device)
            return {};
        const QByteArray type(udev_device_get_devtype(device.get()));
        if (type == "usb_device") {
            UsbDeviceIds ids;
            if (!readDeviceIds(device.get(), &ids))
                return {};
            devices->insert(QByteArray(syspath), ids);
            return {ids.withRevision, ids.withoutRevision};
        }
        if (type != "usb_interface")
            return {};

        UsbDeviceIds ids;
        auto known = devices->constFind(parentPath(syspath));
        if (known != devices->cend()) {
            ids = *known;
        } else {
            udev_device *parent = udev_device_get_parent_with_subsystem_devtype(
                device.get(), "usb", "usb_device"); // owned by device
            if (!parent || !readDeviceIds(parent, &ids))
                return {};
        }
        // Windows lists interfaces as nodes of their own only for composite
        // devices; a single-interface device is just the device.
        unsigned number;
        if (ids.interfaceCount <= 1 || !readNumber(device.get(), "bInterfaceNumber", 16, &number))
            return {};
        char text[8];
        std::snprintf(text, sizeof text, "&MI_%02X", number);
        const QByteArray suffix(text);
        return {ids.withRevision + suffix, ids.withoutRevision + suffix};
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
