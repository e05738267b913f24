#include "platform/linux/busprobe.h"

#include <QElapsedTimer>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

struct Socket
{
    int fd = -1;
    ~Socket()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Waits for fd to become ready for events, at most until the deadline.
bool waitFor(int fd, short events, const QElapsedTimer &clock, int timeoutMs)
{
    for (;;) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            return false;
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, left);
        if (ready > 0)
            return (entry.revents & events) != 0;
        if (ready == 0)
            return false;
    }
}

} // namespace

bool busAnswers(const QString &address, int timeoutMs)
{
    // The first address of a list is the one clients try first.
    const QString first = address.section(QLatin1Char(';'), 0, 0);
    if (!first.startsWith(QLatin1String("unix:")))
        return true;
    QString path;
    bool abstract = false;
    for (const QString &pair : first.mid(5).split(QLatin1Char(','))) {
        if (pair.startsWith(QLatin1String("path="))) {
            path = pair.mid(5);
        } else if (pair.startsWith(QLatin1String("abstract="))) {
            path = pair.mid(9);
            abstract = true;
        }
    }
    const QByteArray name = path.toLocal8Bit();
    sockaddr_un where{};
    if (name.isEmpty() || size_t(name.size()) + 1 >= sizeof where.sun_path)
        return true;
    where.sun_family = AF_UNIX;
    std::memcpy(where.sun_path + (abstract ? 1 : 0), name.constData(), size_t(name.size()));
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + name.size() + 1);

    QElapsedTimer clock;
    clock.start();
    Socket socket;
    socket.fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket.fd < 0)
        return false;
    if (::connect(socket.fd, reinterpret_cast<const sockaddr *>(&where), length) != 0 &&
        (errno != EINPROGRESS || !waitFor(socket.fd, POLLOUT, clock, timeoutMs)))
        return false;
    // A NUL byte, then the authentication request; a live server answers
    // with OK or REJECTED either way.
    const QByteArray hello = QByteArray(1, '\0') + "AUTH EXTERNAL " +
                             QByteArray::number(uint(::getuid())).toHex() + "\r\n";
    if (::send(socket.fd, hello.constData(), size_t(hello.size()), MSG_NOSIGNAL) != hello.size())
        return false;
    char answer[64];
    return waitFor(socket.fd, POLLIN, clock, timeoutMs) &&
           ::recv(socket.fd, answer, sizeof answer, 0) > 0;
}
