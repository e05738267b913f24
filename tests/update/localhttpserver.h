#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

// A one-answer-fits-all HTTP server on 127.0.0.1 (port chosen by the system):
// every request gets the status and body set here, then the connection closes.
class LocalHttpServer : public QObject
{
public:
    LocalHttpServer()
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection())
                serve(socket);
        });
    }

    bool isListening() const { return server.isListening(); }
    quint16 port() const { return server.serverPort(); }

    int status = 200;
    QByteArray body;
    // The head of each request received (request line and header lines).
    QList<QByteArray> requests;

private:
    void serve(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            QByteArray &received = pending[socket];
            received += socket->readAll();
            const int end = received.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            requests << received.left(end);
            pending.remove(socket);
            socket->write("HTTP/1.1 " + QByteArray::number(status) +
                          " Answer\r\n"
                          "Content-Type: application/json\r\n"
                          "Content-Length: " +
                          QByteArray::number(body.size()) +
                          "\r\n"
                          "Connection: close\r\n\r\n" +
                          body);
            socket->disconnectFromHost();
        });
    }

    QTcpServer server;
    QHash<QTcpSocket *, QByteArray> pending;
};
