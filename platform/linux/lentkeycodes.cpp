#include "platform/linux/lentkeycodes.h"

#include "platform/linux/textinput.h"
#include "platform/smallfile.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <X11/Xlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char recordPrefix[] = "ferrule-keycodes-";

// A record of a full keyboard (every keycode lent, its original symbols listed)
// takes about 14 KB; anything larger is no record of ours.
constexpr qint64 maxRecordBytes = 32 * 1024;

// A folder of this user's that nobody else may write to: nobody else can put a
// link at a record's name, nor replace a record.
bool isPrivateFolder(const QString &folder)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && !(info.st_mode & (S_IWGRP | S_IWOTH));
}

// The user's runtime folder ($XDG_RUNTIME_DIR), which the system empties at
// log-out, when it is private; otherwise Ferrule's folder in the user's data
// folder (~/.local/share/ferrule). Empty when neither is private.
QString recordFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return runtime;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString own = data.isEmpty() ? QString() : data + QStringLiteral("/ferrule");
    if (!own.isEmpty() && QDir().mkpath(data))
        ::mkdir(QFile::encodeName(own).constData(), 0700);
    const bool usable = !own.isEmpty() && isPrivateFolder(own);
    // Said once per run and folder, not at every typing run.
    static std::optional<QString> told;
    if (told != runtime) {
        told = runtime;
        const QString why = runtime.isEmpty()
                                ? QStringLiteral("XDG_RUNTIME_DIR is not set")
                                : QStringLiteral("the runtime folder \"%1\" is not a private "
                                                 "folder of this user")
                                      .arg(runtime);
        qWarning().noquote()
            << (usable ? QStringLiteral("%1: lent keycodes are recorded in %2 !").arg(why, own)
                       : QStringLiteral(
                             "%1, and %2 is not one either: lent keycodes are not recorded !")
                             .arg(why, own));
    }
    return usable ? own : QString();
}

// Puts text at path whole: written to a new file of its own (O_EXCL) and renamed
// over the name, so a link planted at the name is replaced, never followed.
bool writeRecord(const QString &path, const QByteArray &text, QString *error)
{
    const QFileInfo info(path);
    QByteArray temporary =
        QFile::encodeName(info.dir().filePath(QLatin1Char('.') + info.fileName())) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    qint64 written = 0;
    int failure = 0;
    while (written < text.size() && !failure) {
        const ssize_t n = ::write(fd, text.constData() + written, size_t(text.size() - written));
        if (n < 0 && errno != EINTR)
            failure = errno;
        else if (n == 0)
            failure = ENOSPC;
        else if (n > 0)
            written += n;
    }
    if (::close(fd) != 0 && !failure)
        failure = errno;
    if (!failure && ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0)
        failure = errno;
    if (failure) {
        *error = QString::fromLocal8Bit(std::strerror(failure));
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

// When the process started, in clock ticks after boot: with the pid it tells a
// live run from a later process that got the same pid. Empty when unknown.
QByteArray startTime(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray line = stat.readAll();
    // After the command name in parentheses: state is field 3, start time field 22.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.value(19);
}

bool isAlive(qint64 pid, const QByteArray &started)
{
    if (pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno != EPERM))
        return false;
    const QByteArray now = startTime(pid);
    return now.isEmpty() || started.isEmpty() || now == started;
}

struct XFreer
{
    void operator()(void *data) const { XFree(data); }
};

struct ModifiersFree
{
    void operator()(XModifierKeymap *map) const { XFreeModifiermap(map); }
};

bool isModifier(Display *display, int code)
{
    std::unique_ptr<XModifierKeymap, ModifiersFree> modifiers(XGetModifierMapping(display));
    for (int i = 0; modifiers && i < 8 * modifiers->max_keypermod; ++i)
        if (modifiers->modifiermap[i] == code)
            return true;
    return false;
}

// Gives key's keycode its original symbols back where the record may (see
// KeycodeRecord). True when it did.
bool giveBack(Display *display, const KeycodeRecord::Key &key)
{
    int min = 0, max = 0;
    XDisplayKeycodes(display, &min, &max);
    if (!KeycodeRecord::isOnKeyboard(key, min, max))
        return false;
    const bool modifier = isModifier(display, key.code);
    int perCode = 0;
    std::unique_ptr<KeySym, XFreer> map(
        modifier ? nullptr : XGetKeyboardMapping(display, KeyCode(key.code), 1, &perCode));
    std::vector<KeycodeRecord::Sym> carried;
    if (map && perCode > 0)
        carried.assign(map.get(), map.get() + perCode);
    if (!KeycodeRecord::mayGiveBack(key, modifier, carried))
        return false;
    std::vector<KeySym> back(key.original.begin(), key.original.end());
    XChangeKeyboardMapping(display, key.code, int(back.size()), back.data(), 1);
    return true;
}

} // namespace

LentKeycodes::LentKeycodes(_XDisplay *display)
    : m_display(QString::fromLocal8Bit(DisplayString(display)))
{
    const QString folder = recordFolder();
    if (!folder.isEmpty())
        m_path = QDir(folder).filePath(recordPrefix +
                                       QString::number(QCoreApplication::applicationPid()));
}

void LentKeycodes::lend(Code code, const std::vector<Sym> &original, Sym sym)
{
    m_record.lend(code, original, sym);
}

void LentKeycodes::save()
{
    if (m_path.isEmpty() || m_record.isEmpty())
        return;
    const qint64 pid = QCoreApplication::applicationPid();
    const QByteArray text = m_record.text({pid, startTime(pid), m_display.toLocal8Bit()});
    QString error;
    if (writeRecord(m_path, text, &error)) {
        m_saved = true;
        return;
    }
    if (!m_failed)
        qWarning().noquote() << QStringLiteral("%1 could not be written (%2): keycodes lent "
                                               "now stay bound if typing is cut short !")
                                    .arg(m_path, error);
    m_failed = true;
}

void LentKeycodes::clear()
{
    if (m_saved)
        QFile::remove(m_path);
    m_saved = false;
    m_record.clear();
}

void LentKeycodes::reclaim(_XDisplay *display)
{
    const QString folder = recordFolder();
    if (folder.isEmpty())
        return;
    const QString ours = QString::fromLocal8Bit(DisplayString(display));
    QDir dir(folder);
    const QStringList records =
        dir.entryList({QLatin1String(recordPrefix) + QLatin1Char('*')}, QDir::Files | QDir::System);
    for (const QString &name : records) {
        const QString path = dir.filePath(name);
        QByteArray record;
        QString error;
        // Not followed: a link here is no record of ours, and may lead to a
        // FIFO (an open that waits for good) or to a device that never ends.
        if (!readSmallFile(path, maxRecordBytes, &record, &error, {false, true})) {
            qWarning().noquote() << QStringLiteral(
                                        "%1 is no record of lent keycodes (%2): removed !")
                                        .arg(path, error);
            QFile::remove(path);
            continue;
        }
        KeycodeRecord::Writer writer;
        if (!KeycodeRecord::readWriter(record, &writer) || isAlive(writer.pid, writer.started) ||
            writer.display != ours.toLocal8Bit())
            continue;
        int given = 0;
        for (const KeycodeRecord::Key &key : KeycodeRecord::readKeys(record))
            given += giveBack(display, key);
        XSync(display, False);
        QFile::remove(path);
        qDebug().noquote() << QStringLiteral("gave back %1 keycodes lent by a typing run that "
                                             "ended before it restored them !")
                                  .arg(given);
    }
}

// Part of the text input service, kept here beside the record it reads.
void TextInput::restoreLentKeycodes()
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return;
    LentKeycodes::reclaim(display);
    XCloseDisplay(display);
}
