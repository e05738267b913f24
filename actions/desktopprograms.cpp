#include "actions/desktopprograms.h"

#include "platform/platform.h"

#include <QDebug>
#include <QDir>

namespace desktopprograms {

namespace {

void start(DesktopProgram kind, const QStringList &arguments, const char *what)
{
    const QString program = platform().findProgram(kind);
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
    openWithDesktop(folder, deadline);
}

void openWithDesktop(const QString &path, const QDeadlineTimer &deadline)
{
    const QString opener = platform().findProgram(DesktopProgram::Opener);
    if (opener.isEmpty()) {
        qDebug() << "no xdg-open installed !";
        return;
    }
    platform().runAndWait(opener, {path}, int(qMax<qint64>(0, deadline.remainingTime())));
}

void startCalculator()
{
    start(DesktopProgram::Calculator, {}, "calculator");
}

void startTextEditor()
{
    start(DesktopProgram::TextEditor, {}, "text editor");
}

void newTextDocument()
{
    start(DesktopProgram::OfficeSuite, {QStringLiteral("--writer")}, "LibreOffice");
}

void newSpreadsheet()
{
    start(DesktopProgram::OfficeSuite, {QStringLiteral("--calc")}, "LibreOffice");
}

} // namespace desktopprograms
