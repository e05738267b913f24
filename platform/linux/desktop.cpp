#include "platform/desktop.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>

namespace desktop {

bool openUrl(const QUrl &url)
{
    qDebug().noquote() << "open url" << url.toEncoded();
    return QDesktopServices::openUrl(url);
}

QString findProgram(const QStringList &names)
{
    for (const QString &name : names) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

bool startDetached(const QString &program, const QStringList &arguments)
{
    qDebug().noquote() << "start" << program << arguments.join(QLatin1Char(' '));
    if (!QProcess::startDetached(program, arguments)) {
        qWarning().noquote() << "start" << program << "failed !";
        return false;
    }
    return true;
}

bool runAndWait(const QString &program, const QStringList &arguments, int timeoutMs)
{
    qDebug().noquote() << "run" << program << arguments.join(QLatin1Char(' '));
    // Owned by the application so that a program that outlives the wait is
    // neither killed nor leaked: the object goes when the program ends.
    auto *process = new QProcess(QCoreApplication::instance());
    QObject::connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                     process, &QObject::deleteLater);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(program, arguments);
    if (!process->waitForStarted()) {
        qWarning().noquote() << "run" << program << "failed !";
        delete process;
        return false;
    }
    if (!process->waitForFinished(timeoutMs))
        qDebug().noquote() << program << "still running, not waiting any longer !";
    return true;
}

} // namespace desktop
