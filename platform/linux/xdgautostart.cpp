#include "platform/linux/xdgautostart.h"

#include "buildconfig.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// Escapes of the desktop-entry "string" type. A leading blank would be
// dropped by readers, so it is written as \s.
QString escapeString(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (c == QLatin1Char(' ') && i == 0)
            out += QLatin1String("\\s");
        else
            out += c;
    }
    return out;
}

// One Exec argument, always quoted so that blanks and reserved characters in
// the path stay part of it. Inside quotes ", `, $ and \ take a backslash, and
// % is doubled so that no field code is expanded. The string escapes are
// applied on top of that (a literal backslash ends up as four).
QString quoteExecArgument(const QString &argument)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return escapeString(quoted);
}

QString configHome()
{
    // Relative values are invalid and must be ignored.
    const QString xdg = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}

// The installed program starts through its launcher, as the menu starts it,
// so a logon start finds the same per-user folder and config.txt. A program
// anywhere else (a build tree, a copy) starts itself.
QString startingProgram()
{
    const QString own = QCoreApplication::applicationFilePath();
    const QString installed =
        QFileInfo(QStringLiteral(FERRULE_INSTALLED_PROGRAM)).canonicalFilePath();
    const QFileInfo launcher(QStringLiteral(FERRULE_LAUNCHER));
    if (!installed.isEmpty() && QFileInfo(own).canonicalFilePath() == installed &&
        launcher.isExecutable())
        return launcher.filePath();
    return own;
}

} // namespace

QString autoStartEntryPath()
{
    return configHome() + QStringLiteral("/autostart/Talvox.desktop");
}

QString autoStartEntryText(const QString &program, const QString &workDir)
{
    // Path keeps logon starts in the folder whose config.txt the user set up;
    // TryExec makes the session pass over the entry once the program is gone
    // (removed with its package), instead of failing to start it at every logon.
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Talvox\n"
                          "Exec=%1\n"
                          "TryExec=%3\n"
                          "Path=%2\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(quoteExecArgument(program), escapeString(workDir), escapeString(program));
}

void setXdgAutoStart(bool enable)
{
    const QString path = autoStartEntryPath();
    if (!enable) {
        QFile::remove(path);
        return;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(autoStartEntryText(startingProgram(), QDir::currentPath()).toUtf8());
        if (file.commit())
            return;
    }
    qWarning().noquote()
        << QStringLiteral("%1 could not be written: %2 !").arg(path, file.errorString());
}
