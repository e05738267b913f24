#pragma once

#include <QString>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

// Makes a folder unwritable for the code under test while alive. Root ignores
// file modes, so as root the file-system uid of this thread is switched to
// "nobody" as well, which drops root's power to override them.
class ReadOnlyDir
{
public:
    explicit ReadOnlyDir(const QString &path) : dir(path.toLocal8Bit())
    {
        ::chmod(dir.constData(), 0555);
        if (::geteuid() == 0)
            ::setfsuid(65534);
    }
    ~ReadOnlyDir()
    {
        if (::geteuid() == 0)
            ::setfsuid(0);
        ::chmod(dir.constData(), 0755);
    }
    ReadOnlyDir(const ReadOnlyDir &) = delete;
    ReadOnlyDir &operator=(const ReadOnlyDir &) = delete;

private:
    QByteArray dir;
};
