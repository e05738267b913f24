#include "actions/desktopprograms.h"

#include "platform/platform.h"

#include <QDebug>
#include <QDir>

namespace desktopprograms {

namespace {

const QStringList &calculators()
{
    static const QStringList names{"gnome-calculator", "kcalc", "galculator", "xcalc"};
    return names;
}

const QStringList &textEditors()
{
    static const QStringList names{"gedit", "kate",  "mousepad",
                                   "xed",   "pluma", "gnome-text-editor"};
    return names;
}

const QStringList &officeSuites()
{
    static const QStringList names{"libreoffice", "soffice"};
    return names;
}

void startFirst(const QStringList &names, const QStringList &arguments, const char *what)
{
    const QString program = platform().findProgram(names);
    if (program.isEmpty()) {
        qDebug().noquote() << "no" << what << "installed !";
        return;
    }
    platform().startDetached(program, arguments);
}

} // namespace

void openProjectFolder(const QDeadlineTimer &deadline)
{
    const QDir home = QDir::home();
    const QString folder = home.exists(QStringLiteral("Project"))
                               ? home.filePath(QStringLiteral("Project"))
                               : home.path();
    const QString opener = platform().findProgram({QStringLiteral("xdg-open")});
    if (opener.isEmpty()) {
        qDebug() << "no xdg-open installed !";
        return;
    }
    platform().runAndWait(opener, {folder}, int(qMax<qint64>(0, deadline.remainingTime())));
}

void openWithDesktop(const QString &path, const QDeadlineTimer &deadline)
{
    const QString opener = platform().findProgram({QStringLiteral("xdg-open")});
    if (opener.isEmpty()) {
        qDebug() << "no xdg-open installed !";
        return;
    }
    platform().runAndWait(opener, {path}, int(qMax<qint64>(0, deadline.remainingTime())));
}

void startCalculator()
{
    startFirst(calculators(), {}, "calculator");
}

void startTextEditor()
{
    startFirst(textEditors(), {}, "text editor");
}

void newTextDocument()
{
    startFirst(officeSuites(), {QStringLiteral("--writer")}, "LibreOffice");
}

void newSpreadsheet()
{
    startFirst(officeSuites(), {QStringLiteral("--calc")}, "LibreOffice");
}

} // namespace desktopprograms
