#include "app/qsingleapplication.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTextStream>

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

    localServer = new QLocalServer(this);
    localServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(localServer, &QLocalServer::newConnection, this,
            &QSingleApplication::newLocalConnection);
    if (!localServer->listen(name)) {
        // A socket left by an instance that was killed: nobody answered above,
        // so it is stale. It lies in this user's own folder, so it is ours.
        if (localServer->serverError() == QAbstractSocket::AddressInUseError &&
            QFile::exists(localServer->serverName())) {
            QFile::remove(localServer->serverName());
            localServer->listen(name);
        }
    }
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
