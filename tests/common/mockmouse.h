#pragma once

// GLib names a struct member "signals", which Qt defines as a macro: first.
#include <umockdev.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// Kernel input devices described to umockdev (run the test through
// scripts/testenv/with-umockdev): the event node and its input parent as udev
// sees them, the answers to libevdev's ioctls, and evemu-format event scripts
// replayed with their timing. umockdev matches an ioctl by its size, so every
// answer has exactly the size of libevdev's buffer on x86-64.
namespace MockMouse {

const char inputs[] = "/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/input";

inline QByteArray hex(const QByteArray &bytes, int size)
{
    QByteArray padded = bytes.left(size);
    padded.append(QByteArray(size - padded.size(), '\0'));
    return padded.toHex().toUpper();
}

// An input device with event node /dev/input/event<number>. keyBits: the
// parent's capabilities/key as sysfs shows it; properties: udev's ID_INPUT_*.
inline QByteArray describe(int number, const QByteArray &name, const QByteArray &properties,
                           const QByteArray &keyBits = "1f0000 0 0 0 0")
{
    const QByteArray input = QByteArray(inputs) + "/input" + QByteArray::number(number);
    const QByteArray event = "event" + QByteArray::number(number);
    return "P: " + input + '/' + event + "\nN: input/" + event + "\nE: DEVNAME=/dev/input/" +
           event +
           "\nE: SUBSYSTEM=input\nE: MAJOR=13\nE: MINOR=" + QByteArray::number(64 + number) +
           "\nA: dev=13:" + QByteArray::number(64 + number) + "\nE: ID_INPUT=1\n" + properties +
           "\n\nP: " + input + "\nE: SUBSYSTEM=input\nE: NAME=\"" + name + "\"\nA: name=" + name +
           "\nA: capabilities/ev=17\nA: capabilities/key=" + keyBits +
           "\nA: capabilities/rel=103\n\n";
}

inline QByteArray sysPath(int number)
{
    return "/sys" + QByteArray(inputs) + "/input" + QByteArray::number(number) + "/event" +
           QByteArray::number(number);
}

inline QByteArray node(int number)
{
    return "/dev/input/event" + QByteArray::number(number);
}

// A wheel mouse with BTN_LEFT ... BTN_EXTRA, none held.
inline QByteArray ioctls(const QByteArray &name)
{
    QByteArray keys(96, '\0');
    keys[0x110 / 8] = char(0x1f); // BTN_LEFT, RIGHT, MIDDLE, SIDE, EXTRA
    const QByteArray nothing;
    const struct
    {
        const char *request;
        int result;
        QByteArray data;
        int size;
    } answers[] = {
        {"EVIOCGBIT(0)", 8, QByteArray::fromHex("17"), 8}, // SYN KEY REL MSC
        {"EVIOCGNAME(0)", int(name.size()) + 1, name, 255},
        {"EVIOCGPHYS(0)", 26, "usb-0000:00:14.0-1/input0", 255},
        {"EVIOCGUNIQ(0)", 1, nothing, 255},
        {"EVIOCGID", 0, QByteArray::fromHex("03006d0477c01101"), 8},
        {"EVIOCGVERSION", 0, QByteArray::fromHex("01000100"), 4},
        {"EVIOCGPROP(0)", 8, nothing, 8},
        {"EVIOCGBIT(1)", 96, keys, 96},
        {"EVIOCGBIT(2)", 8, QByteArray::fromHex("0301"), 8}, // REL_X, REL_Y, REL_WHEEL
        {"EVIOCGBIT(3)", 8, nothing, 8},
        {"EVIOCGBIT(4)", 8, QByteArray::fromHex("10"), 8}, // MSC_SCAN
        {"EVIOCGBIT(5)", 8, nothing, 8},
        {"EVIOCGBIT(17)", 8, nothing, 8},
        {"EVIOCGBIT(18)", 8, nothing, 8},
        {"EVIOCGBIT(20)", 8, nothing, 8},
        {"EVIOCGBIT(21)", 16, nothing, 16},
        {"EVIOCGKEY(0)", 96, nothing, 96},
        {"EVIOCGLED(0)", 8, nothing, 8},
        {"EVIOCGSW(0)", 8, nothing, 8},
    };
    QByteArray text = "@DEV /dev/input/event0\n";
    for (const auto &answer : answers)
        text += QByteArray(answer.request) + ' ' + QByteArray::number(answer.result) + ' ' +
                hex(answer.data, answer.size) + '\n';
    return text;
}

// Writes text into dir under name; the path, empty on failure.
inline QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QString();
    return file.fileName();
}

} // namespace MockMouse
