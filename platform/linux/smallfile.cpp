#include "platform/smallfile.h"

#include "platform/linux/filedescriptor.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

bool readSmallFile(const QString &path, qint64 maxBytes, QByteArray *bytes, QString *error,
                   SmallFileOptions options)
{
    // O_NONBLOCK: opening a FIFO for reading returns at once instead of
    // waiting for a writer; what it is shows only after the open (fstat), so
    // a link cannot be swapped between a look and the open.
    const int flags =
        O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (options.followLinks ? 0 : O_NOFOLLOW);
    const FileDescriptor file(::open(QFile::encodeName(path).constData(), flags));
    if (file.get() < 0) {
        *error = errno == ELOOP && !options.followLinks ? QStringLiteral("it is a link")
                                                        : systemError(errno);
        return false;
    }
    struct stat info = {};
    if (::fstat(file.get(), &info) != 0) {
        *error = systemError(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = S_ISDIR(info.st_mode) ? QStringLiteral("it is a folder")
                                       : QStringLiteral("it is not a regular file");
        return false;
    }
    if (options.ownFileOnly && info.st_uid != ::getuid()) {
        *error = QStringLiteral("it belongs to another user");
        return false;
    }
    const QString tooLarge = QStringLiteral("it is larger than %1 bytes").arg(maxBytes);
    if (info.st_size > maxBytes) {
        *error = tooLarge;
        return false;
    }
    // The file may grow while it is read, and some report no size at all: the
    // bound holds for what is read, not for what fstat said.
    QByteArray content;
    content.reserve(int(info.st_size));
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(file.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = systemError(errno);
            return false;
        }
        if (n == 0)
            break;
        if (content.size() + n > maxBytes) {
            *error = tooLarge;
            return false;
        }
        content.append(chunk, int(n));
    }
    *bytes = content;
    return true;
}
