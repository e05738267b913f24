#include "platform/linux/evdevsidebuttons.h"

#include "platform/linux/clickdispatcher.h"
#include "platform/linux/filedescriptor.h"

#include <QByteArray>
#include <QDebug>
#include <QSet>
#include <QSocketNotifier>

#include <libevdev/libevdev.h>
#include <libudev.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct UdevUnref
{
    void operator()(udev *handle) const { udev_unref(handle); }
    void operator()(udev_monitor *handle) const { udev_monitor_unref(handle); }
    void operator()(udev_device *handle) const { udev_device_unref(handle); }
    void operator()(udev_enumerate *handle) const { udev_enumerate_unref(handle); }
    void operator()(libevdev *handle) const { libevdev_free(handle); }
};
template <typename T> using Owned = std::unique_ptr<T, UdevUnref>;

// The X numbering the rest of Ferrule knows: Back and Forward.
int xButton(unsigned code)
{
    return code == BTN_SIDE ? 8 : 9;
}

// A key bit map from sysfs ("1f0000 0 0 0 0"): words of the kernel's long, the
// most significant first.
bool hasKeyBit(const char *capabilities, unsigned bit)
{
    const QList<QByteArray> words = QByteArray(capabilities).simplified().split(' ');
    const unsigned wordBits = sizeof(unsigned long) * 8;
    const int index = words.size() - 1 - int(bit / wordBits);
    if (index < 0)
        return false;
    bool ok = false;
    const unsigned long word = words.at(index).toULong(&ok, 16);
    return ok && (word >> (bit % wordBits)) & 1;
}

struct Mouse
{
    Mouse(const QByteArray &node, const QByteArray &name, int fd) : node(node), name(name), fd(fd)
    {
    }

    QByteArray node;
    QByteArray name;
    FileDescriptor fd;
    Owned<libevdev> device;
    bool down[2] = {false, false}; // BTN_SIDE, BTN_EXTRA as this reader has passed them on
};

class EvdevSideButtons : public SideButtons
{
public:
    EvdevSideButtons(Owned<udev> context, Handler handler)
        : context(std::move(context)), wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
          stop(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
          dispatcher(std::move(handler), [this] { fetch(); }),
          notifier(wake.get(), QSocketNotifier::Read)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { dispatcher.drain(); });
        // Subscribed before the first enumeration, so a mouse plugged in
        // between the two is not missed.
        monitor.reset(udev_monitor_new_from_netlink(this->context.get(), "udev"));
        if (monitor &&
            (udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "input", nullptr) < 0 ||
             udev_monitor_enable_receiving(monitor.get()) < 0))
            monitor.reset();
        if (!monitor)
            qWarning() << "Side buttons: udev cannot report mice plugged in later !";
        openPresentMice();
        if (mice.empty() && noAccessLogged.isEmpty())
            qDebug() << "Side buttons: no mouse with side buttons yet, one plugged in later is "
                        "watched !";
        // What the enumeration found (a mouse that may not be read) reaches the
        // handler through the event loop, like every click.
        reader = std::thread([this] { read(); });
    }

    ~EvdevSideButtons() override
    {
        const uint64_t one = 1;
        if (write(stop.get(), &one, sizeof one) != sizeof one)
            qWarning() << "Side buttons: the reader could not be told to stop !";
        reader.join();
    }

    // Keeping a click from the desktop would take a virtual input device
    // (uinput) that sends on all the rest: the buttons stay passive here.
    bool setExclusive(bool exclusive) override
    {
        if (exclusive && !passiveSaid)
            qDebug() << "Side buttons: on Wayland they stay passive, a held button also reaches "
                        "the window under the pointer !";
        passiveSaid = passiveSaid || exclusive;
        return false;
    }

private:
    // --- the reader thread (and the constructor, before it starts) ---

    void openPresentMice()
    {
        Owned<udev_enumerate> enumeration(udev_enumerate_new(context.get()));
        if (!enumeration)
            return;
        udev_enumerate_add_match_subsystem(enumeration.get(), "input");
        udev_enumerate_add_match_property(enumeration.get(), "ID_INPUT_MOUSE", "1");
        udev_enumerate_scan_devices(enumeration.get());
        udev_list_entry *entry;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration.get()))
        {
            Owned<udev_device> device(
                udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
            if (device)
                consider(device.get());
        }
    }

    static bool isTrue(udev_device *device, const char *property)
    {
        const char *value = udev_device_get_property_value(device, property);
        return value && qstrcmp(value, "1") == 0;
    }

    // Opens device when it is a mouse event node with side buttons.
    void consider(udev_device *device)
    {
        const char *node = udev_device_get_devnode(device);
        const char *sysname = udev_device_get_sysname(device);
        if (!node || !sysname || qstrncmp(sysname, "event", 5) != 0)
            return;
        // Keys typed on a keyboard are none of Ferrule's business, even on a
        // device that is a mouse as well.
        if (!isTrue(device, "ID_INPUT_MOUSE") || isTrue(device, "ID_INPUT_KEYBOARD"))
            return;
        udev_device *parent =
            udev_device_get_parent_with_subsystem_devtype(device, "input", nullptr);
        const char *keys =
            parent ? udev_device_get_sysattr_value(parent, "capabilities/key") : nullptr;
        if (keys && !hasKeyBit(keys, BTN_SIDE) && !hasKeyBit(keys, BTN_EXTRA))
            return;
        const char *parentName = parent ? udev_device_get_sysattr_value(parent, "name") : nullptr;
        openMouse(node, parentName ? QByteArray(parentName).trimmed() : QByteArray());
    }

    void openMouse(const QByteArray &node, const QByteArray &name)
    {
        for (const auto &mouse : mice)
            if (mouse->node == node)
                return;
        // Read only and never grabbed: the compositor and every other program
        // keep receiving the mouse as before.
        auto mouse = std::make_unique<Mouse>(
            node, name, open(node.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (mouse->fd.get() < 0) {
            const int error = errno;
            if (error == EACCES || error == EPERM)
                reportNoAccess(node, name);
            else
                qWarning().noquote()
                    << QStringLiteral("Side buttons: %1 (\"%2\") cannot be opened: %3 !")
                           .arg(QString::fromLocal8Bit(node), QString::fromUtf8(name),
                                QString::fromLocal8Bit(std::strerror(error)));
            return;
        }
        libevdev *device = nullptr;
        const int rc = libevdev_new_from_fd(mouse->fd.get(), &device);
        if (rc < 0) {
            qWarning().noquote()
                << QStringLiteral("Side buttons: %1 is no input device libevdev can read: %2 !")
                       .arg(QString::fromLocal8Bit(node),
                            QString::fromLocal8Bit(std::strerror(-rc)));
            return;
        }
        mouse->device.reset(device);
        if (!libevdev_has_event_code(device, EV_KEY, BTN_SIDE) &&
            !libevdev_has_event_code(device, EV_KEY, BTN_EXTRA))
            return;
        mouse->name = libevdev_get_name(device);
        qDebug().noquote() << QStringLiteral("Side buttons: watching %1 (\"%2\") !")
                                  .arg(QString::fromLocal8Bit(node),
                                       QString::fromUtf8(mouse->name));
        mice.push_back(std::move(mouse));
    }

    void reportNoAccess(const QByteArray &node, const QByteArray &name)
    {
        if (noAccessLogged.contains(node))
            return;
        noAccessLogged.insert(node);
        qWarning().noquote()
            << QStringLiteral(
                   "Side buttons: no permission to read %1 (\"%2\"): install Ferrule's udev "
                   "rule 70-ferrule-mouse.rules (the ferrule package does) and log in "
                   "again, see README \"Push-to-talk\" !")
                   .arg(QString::fromLocal8Bit(node), QString::fromUtf8(name));
        if (noAccessReported)
            return;
        noAccessReported = true;
        Click click;
        click.event = Event::NoAccess;
        deliver(click);
    }

    void read()
    {
        for (;;) {
            std::vector<pollfd> watched;
            watched.push_back({stop.get(), POLLIN, 0});
            if (monitor)
                watched.push_back({udev_monitor_get_fd(monitor.get()), POLLIN, 0});
            const size_t firstMouse = watched.size();
            for (const auto &mouse : mice)
                watched.push_back({mouse->fd.get(), POLLIN, 0});
            if (poll(watched.data(), watched.size(), -1) < 0) {
                if (errno == EINTR)
                    continue;
                qWarning() << "Side buttons: poll failed, push-to-talk is off !";
                return;
            }
            if (watched[0].revents)
                return;
            // Mice first: a release read before its mouse's removal is passed on.
            std::vector<Mouse *> gone;
            for (size_t i = firstMouse; i < watched.size(); ++i)
                if (watched[i].revents && !readMouse(mice[i - firstMouse].get()))
                    gone.push_back(mice[i - firstMouse].get());
            for (Mouse *mouse : gone)
                forget(mouse->node);
            if (monitor && watched[1].revents)
                readUdev();
        }
    }

    // False when the mouse is gone.
    bool readMouse(Mouse *mouse)
    {
        input_event event;
        int flag = LIBEVDEV_READ_FLAG_NORMAL;
        for (;;) {
            const int rc = libevdev_next_event(mouse->device.get(), flag, &event);
            if (rc == LIBEVDEV_READ_STATUS_SYNC) {
                if (flag == LIBEVDEV_READ_FLAG_NORMAL) {
                    // The kernel's buffer overflowed: libevdev asks the device
                    // for its present state and hands on what changed meanwhile.
                    qDebug().noquote()
                        << QStringLiteral("Side buttons: %1 dropped events, resynchronising !")
                               .arg(QString::fromLocal8Bit(mouse->node));
                    flag = LIBEVDEV_READ_FLAG_SYNC;
                    continue;
                }
                handle(mouse, event);
            } else if (rc == LIBEVDEV_READ_STATUS_SUCCESS) {
                handle(mouse, event);
            } else if (rc == -EAGAIN) {
                if (flag == LIBEVDEV_READ_FLAG_SYNC) {
                    flag = LIBEVDEV_READ_FLAG_NORMAL; // the resync is over; read on
                    continue;
                }
                return true;
            } else {
                return false; // -ENODEV: unplugged
            }
        }
    }

    void handle(Mouse *mouse, const input_event &event)
    {
        if (event.type != EV_KEY || (event.code != BTN_SIDE && event.code != BTN_EXTRA))
            return;
        bool &down = mouse->down[event.code == BTN_SIDE ? 0 : 1];
        // 2 is autorepeat; a release without the press this reader saw (held
        // when the mouse was opened) is nobody's.
        if ((event.value == 1 && down) || (event.value == 0 && !down) || event.value > 1)
            return;
        down = event.value == 1;
        Click click;
        click.event = down ? Event::Press : Event::Release;
        click.button = xButton(event.code);
        click.timeMs = qint64(event.input_event_sec) * 1000 + event.input_event_usec / 1000;
        deliver(click);
    }

    void readUdev()
    {
        while (Owned<udev_device> device{udev_monitor_receive_device(monitor.get())}) {
            const char *action = udev_device_get_action(device.get());
            const char *node = udev_device_get_devnode(device.get());
            if (!action || !node)
                continue;
            if (qstrcmp(action, "remove") == 0)
                forget(node);
            else if (qstrcmp(action, "add") == 0 || qstrcmp(action, "change") == 0)
                consider(device.get());
        }
    }

    // A mouse that goes while a side button is held lets it go: the kernel
    // reports that release when it can, and this one stands in when it cannot.
    void forget(const QByteArray &node)
    {
        for (auto it = mice.begin(); it != mice.end(); ++it) {
            Mouse *mouse = it->get();
            if (mouse->node != node)
                continue;
            for (int i = 0; i < 2; ++i) {
                if (!mouse->down[i])
                    continue;
                Click click;
                click.event = Event::Release;
                click.button = 8 + i;
                timespec now;
                clock_gettime(CLOCK_REALTIME, &now);
                click.timeMs = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
                deliver(click);
            }
            qDebug().noquote() << QStringLiteral("Side buttons: %1 (\"%2\") is gone !")
                                      .arg(QString::fromLocal8Bit(node),
                                           QString::fromUtf8(mouse->name));
            mice.erase(it);
            return;
        }
    }

    void deliver(const Click &click)
    {
        {
            std::lock_guard<std::mutex> lock(mailboxGuard);
            mailbox.push_back(click);
        }
        const uint64_t one = 1;
        if (write(wake.get(), &one, sizeof one) != sizeof one)
            qWarning() << "Side buttons: the GUI thread could not be woken !";
    }

    // --- the GUI thread ---

    void fetch()
    {
        uint64_t count;
        while (::read(wake.get(), &count, sizeof count) > 0) {
        }
        std::lock_guard<std::mutex> lock(mailboxGuard);
        for (const Click &click : mailbox)
            dispatcher.add(click);
        mailbox.clear();
    }

    Owned<udev> context;
    Owned<udev_monitor> monitor;
    FileDescriptor wake; // the reader has clicks for the GUI thread
    FileDescriptor stop; // the GUI thread ends the reader
    std::vector<std::unique_ptr<Mouse>> mice;
    QSet<QByteArray> noAccessLogged;
    bool noAccessReported = false;
    bool passiveSaid = false; // GUI thread

    std::mutex mailboxGuard;
    std::vector<Click> mailbox;
    ClickDispatcher dispatcher;
    QSocketNotifier notifier;
    std::thread reader;
};

} // namespace

std::unique_ptr<SideButtons> watchEvdevSideButtons(SideButtons::Handler handler)
{
    Owned<udev> context(udev_new());
    if (!context) {
        qWarning() << "Side buttons: udev cannot be used, push-to-talk is off !";
        return nullptr;
    }
    return std::make_unique<EvdevSideButtons>(std::move(context), std::move(handler));
}
