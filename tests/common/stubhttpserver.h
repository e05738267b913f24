#pragma once

// The HTTP server of every test and benchmark: one request at a time on 127.0.0.1
// (port chosen by the system) in a thread of its own, so it answers while the test
// thread blocks in SDK calls or waits for another process. It records each request
// whole and answers as told: a status and body, never, by closing the connection
// at once, or with a body that never ends (no Content-Length, until the client
// goes); extra header lines (each ending in CRLF) go with an answer, and a path
// may have a body of its own. It notes when each request had arrived whole and
// when its answer was written, for benchmarks of the time spent around the server.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

class StubHttpServer
{
public:
    enum Mode
    {
        Answer,
        NeverAnswer,
        Close,
        Endless
    };

    explicit StubHttpServer(Mode mode = Answer, int status = 200,
                            const QByteArray &body = QByteArray(),
                            const QByteArray &headers = QByteArray())
        : m_mode(mode), m_status(status), m_body(body), m_headers(headers)
    {
        std::atomic<int> port{-1};
        m_thread = std::thread([this, &port] { run(&port); });
        while (port < 0)
            std::this_thread::yield();
        m_port = quint16(port);
    }
    ~StubHttpServer()
    {
        m_stop = true;
        m_thread.join();
    }

    // A port on 127.0.0.1 where nothing listens: one the system has just given
    // out and taken back. 0 if none could be had.
    static quint16 closedPort()
    {
        QTcpServer probe;
        return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
    }

    quint16 port() const { return m_port; }
    bool isListening() const { return m_port != 0; }
    QList<QByteArray> requests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    void clearRequests()
    {
        QMutexLocker lock(&m_mutex);
        m_requests.clear();
    }
    // What the following requests are answered (mode Answer).
    void setAnswer(int status, const QByteArray &body)
    {
        QMutexLocker lock(&m_mutex);
        m_status = status;
        m_body = body;
    }
    // Requests for path (as in the request line) get body instead.
    void setAnswer(const QByteArray &path, const QByteArray &body)
    {
        QMutexLocker lock(&m_mutex);
        m_paths.insert(path, body);
    }
    using Time = std::chrono::steady_clock::time_point;
    QList<Time> requestTimes() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requestTimes;
    }
    QList<Time> answerTimes() const
    {
        QMutexLocker lock(&m_mutex);
        return m_answerTimes;
    }

private:
    void run(std::atomic<int> *port)
    {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            *port = 0;
            return;
        }
        *port = server.serverPort();
        std::vector<std::unique_ptr<QTcpSocket>> held;
        while (!m_stop) {
            if (!server.waitForNewConnection(20))
                continue;
            std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
            const QByteArray request = readRequest(*socket);
            {
                QMutexLocker lock(&m_mutex);
                m_requests.append(request);
                m_requestTimes.append(std::chrono::steady_clock::now());
            }
            if (m_mode == Close) {
                socket->abort();
            } else if (m_mode == NeverAnswer) {
                held.push_back(std::move(socket));
            } else if (m_mode == Endless) {
                answerEndlessly(*socket);
            } else {
                socket->write(answerTo(request));
                socket->waitForBytesWritten(2000);
                {
                    QMutexLocker lock(&m_mutex);
                    m_answerTimes.append(std::chrono::steady_clock::now());
                }
                socket->disconnectFromHost();
                if (socket->state() != QAbstractSocket::UnconnectedState)
                    socket->waitForDisconnected(2000);
            }
        }
    }

    QByteArray answerTo(const QByteArray &request) const
    {
        QMutexLocker lock(&m_mutex);
        const QList<QByteArray> requestLine = request.left(request.indexOf('\r')).split(' ');
        const QByteArray body = m_paths.value(requestLine.value(1), m_body);
        return "HTTP/1.1 " + QByteArray::number(m_status) + " Stub\r\n" + m_headers +
               "Content-Type: application/json\r\n"
               "Connection: close\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }

    // A JSON string that never closes, as fast as the client takes it. Only a
    // little is queued at a time: the server's memory is the test's memory.
    void answerEndlessly(QTcpSocket &socket)
    {
        socket.write("HTTP/1.1 200 Stub\r\nContent-Type: application/json\r\n"
                     "Connection: close\r\n\r\n{\"text\":\"");
        const QByteArray chunk(64 * 1024, 'a');
        while (!m_stop && socket.state() == QAbstractSocket::ConnectedState) {
            if (socket.bytesToWrite() < 4 * chunk.size())
                socket.write(chunk);
            socket.waitForBytesWritten(20);
        }
        socket.abort();
    }

    QByteArray readRequest(QTcpSocket &socket)
    {
        QByteArray data;
        for (int i = 0; i < 250 && !m_stop; ++i) { // at most 5 s
            socket.waitForReadyRead(20);
            data += socket.readAll();
            const int end = data.indexOf("\r\n\r\n");
            if (end < 0)
                continue;
            int length = 0;
            for (const QByteArray &line : data.left(end).split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toInt();
            }
            if (data.size() >= end + 4 + length)
                break;
        }
        return data;
    }

    const Mode m_mode;
    int m_status;
    QByteArray m_body;
    QMap<QByteArray, QByteArray> m_paths;
    const QByteArray m_headers;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable QMutex m_mutex;
    QList<QByteArray> m_requests;
    QList<Time> m_requestTimes;
    QList<Time> m_answerTimes;
    std::thread m_thread;
};
