#include "platform/linux/lentkeycodes.h"

#include "platform/linux/textinput.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char recordPrefix[] = "ferrule-keycodes-";

// The user's runtime folder ($XDG_RUNTIME_DIR), which the system empties at
// log-out; without one a folder of the user's own in the temporary folder, made
// private, and refused when someone else owns it or may write to it.
QString recordFolder()
{
    static const QString folder = [] {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
            return runtime;
        const QString own =
            QDir::temp().filePath(QStringLiteral("ferrule-runtime-%1").arg(::getuid()));
        const QByteArray path = QFile::encodeName(own);
        ::mkdir(path.constData(), 0700);
        struct stat info = {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::getuid() || (info.st_mode & 0077)) {
            qWarning().noquote() << QStringLiteral("%1 is not a private folder of this user: "
                                                   "lent keycodes are not recorded !")
                                        .arg(own);
            return QString();
        }
        return own;
    }();
    return folder;
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

QByteArray symList(const std::vector<LentKeycodes::Sym> &syms)
{
    QByteArray list;
    for (const LentKeycodes::Sym sym : syms)
        list += (list.isEmpty() ? "" : " ") + QByteArray::number(qulonglong(sym), 16);
    return list;
}

std::vector<LentKeycodes::Sym> parseSyms(const QByteArray &list)
{
    std::vector<LentKeycodes::Sym> syms;
    for (const QByteArray &sym : list.simplified().split(' '))
        if (!sym.isEmpty())
            syms.push_back(LentKeycodes::Sym(sym.toULongLong(nullptr, 16)));
    return syms;
}

struct XFreer
{
    void operator()(void *data) const { XFree(data); }
};

// Gives code its original symbols back if it still carries one of bound and
// nothing else. True when it did.
bool giveBack(Display *display, int code, const std::vector<LentKeycodes::Sym> &original,
              const std::vector<LentKeycodes::Sym> &bound)
{
    int min = 0, max = 0;
    XDisplayKeycodes(display, &min, &max);
    if (code < min || code > max || original.empty())
        return false;
    int perCode = 0;
    std::unique_ptr<KeySym, XFreer> map(XGetKeyboardMapping(display, KeyCode(code), 1, &perCode));
    if (!map || perCode <= 0)
        return false;
    const KeySym *syms = map.get();
    const KeySym carried = syms[0];
    if (std::find(bound.begin(), bound.end(), carried) == bound.end())
        return false;
    for (int i = 1; i < perCode; ++i)
        if (syms[i] != NoSymbol && syms[i] != carried)
            return false;
    std::vector<KeySym> back(original.begin(), original.end());
    XChangeKeyboardMapping(display, code, int(back.size()), back.data(), 1);
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
    Lent &lent = m_lent[code];
    if (lent.original.empty())
        lent.original = original;
    if (lent.bound.size() >= 2)
        lent.bound.erase(lent.bound.begin());
    lent.bound.insert(sym);
}

void LentKeycodes::save()
{
    if (m_path.isEmpty() || m_lent.empty())
        return;
    QByteArray text = "pid " + QByteArray::number(QCoreApplication::applicationPid()) + ' ' +
                      startTime(QCoreApplication::applicationPid()) + "\ndisplay " +
                      m_display.toLocal8Bit() + '\n';
    for (const auto &[code, lent] : m_lent)
        text += "key " + QByteArray::number(code) + " bound " +
                symList(std::vector<Sym>(lent.bound.begin(), lent.bound.end())) + " original " +
                symList(lent.original) + '\n';
    QSaveFile file(m_path);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit()) {
        m_saved = true;
        return;
    }
    if (!m_failed)
        qWarning().noquote() << QStringLiteral("%1 could not be written (%2): keycodes lent "
                                               "now stay bound if typing is cut short !")
                                    .arg(m_path, file.errorString());
    m_failed = true;
}

void LentKeycodes::clear()
{
    if (m_saved)
        QFile::remove(m_path);
    m_saved = false;
    m_lent.clear();
}

void LentKeycodes::reclaim(_XDisplay *display)
{
    const QString folder = recordFolder();
    if (folder.isEmpty())
        return;
    const QString ours = QString::fromLocal8Bit(DisplayString(display));
    QDir dir(folder);
    const QStringList records =
        dir.entryList({QLatin1String(recordPrefix) + QLatin1Char('*')}, QDir::Files);
    for (const QString &name : records) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        file.close();
        const QList<QByteArray> pid = lines.value(0).split(' ');
        if (pid.value(0) != "pid" || isAlive(pid.value(1).toLongLong(), pid.value(2)) ||
            lines.value(1) != "display " + ours.toLocal8Bit())
            continue;
        int given = 0;
        for (const QByteArray &line : lines) {
            const int bound = line.indexOf(" bound ");
            const int original = line.indexOf(" original ");
            if (!line.startsWith("key ") || bound < 0 || original < bound)
                continue;
            given += giveBack(display, line.mid(4, bound - 4).toInt(),
                              parseSyms(line.mid(original + 10)),
                              parseSyms(line.mid(bound + 7, original - bound - 7)));
        }
        XSync(display, False);
        QFile::remove(file.fileName());
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
