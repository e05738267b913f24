#include "app/qsingleapplication.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTextStream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

QSingleApplication::QSingleApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Ferrule"));
    setOrganizationName(QStringLiteral("Kestrel"));
    setOrganizationDomain(QStringLiteral("ferrule.example"));

    const QString name = serverPath();

    QLocalSocket socket;
    socket.connectToServer(name, QIODevice::ReadWrite);
    if (socket.waitForConnected(500)) {
        QTextStream stream(&socket);
        const QStringList args = arguments();
        stream << (args.size() > 1 ? args.last() : QString());
        stream.flush();
        socket.waitForBytesWritten(30000);
        running = true;
        return;
    }

    // Nobody answered, yet an instance may run whose socket cannot be reached
    // (something else took its path) or that is starting right now: the lock
    // beside the socket tells, and two instances would type every text twice.
    const bool locked = takeInstanceLock(name + QStringLiteral(".lock"));
    if (!locked && lockFd >= 0) {
        qWarning().noquote() << QStringLiteral("another Ferrule runs but does not answer at %1: "
                                               "this start ends !")
                                    .arg(name);
        running = true;
        return;
    }

    localServer = new QLocalServer(this);
    localServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(localServer, &QLocalServer::newConnection, this,
            &QSingleApplication::newLocalConnection);
    if (localServer->listen(name))
        return;
    // A socket left by an instance that was killed: nobody answered above, so it
    // is stale. It lies in this user's own folder, so it is ours.
    struct stat info = {};
    if (::lstat(QFile::encodeName(name).constData(), &info) == 0 && S_ISSOCK(info.st_mode)) {
        QFile::remove(name);
        if (localServer->listen(name))
            return;
    }
    if (locked) {
        qWarning().noquote() << QStringLiteral("%1 cannot be listened on (%2): later starts "
                                               "cannot hand over to this one and end !")
                                    .arg(name, localServer->errorString());
        return;
    }
    // Neither the socket nor the lock: another instance could not be told from none.
    qWarning().noquote() << QStringLiteral("%1 cannot be listened on (%2), and no lock can be "
                                           "taken: this start ends !")
                                .arg(name, localServer->errorString());
    running = true;
}

QSingleApplication::~QSingleApplication()
{
    if (lockFd >= 0)
        ::close(lockFd);
}

bool QSingleApplication::takeInstanceLock(const QString &path)
{
    // Held for the whole run; closed on exec, so a program started from here
    // does not keep it after Ferrule ends.
    lockFd = ::open(QFile::encodeName(path).constData(),
                    O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (lockFd < 0)
        return false;
    struct stat info = {};
    if (::fstat(lockFd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(lockFd);
        lockFd = -1;
        return false;
    }
    return ::flock(lockFd, LOCK_EX | LOCK_NB) == 0;
}

QString QSingleApplication::serverPath()
{
    // The runtime folder belongs to the user alone (Qt creates it with mode 0700),
    // so another user's instance neither blocks this one nor loses its socket.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QLatin1Char('/') + QCoreApplication::organizationName() +
           QCoreApplication::applicationName();
}

void QSingleApplication::newLocalConnection()
{
    QLocalSocket *socket = localServer->nextPendingConnection();
    if (!socket)
        return;
    socket->waitForReadyRead(1000);
    QTextStream stream(socket);
    stream >> receivedMessage;
    delete socket;
    emit startedAgain();
}
