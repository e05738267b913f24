#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>

// A small tmpfs mounted over a folder and filled to the last byte, so every
// write in it fails for want of space while files can still be created, as on
// a full disk. Unmounted again when it goes; when the folder is the current
// one, the current folder moves onto the mount and then to /. Mounting needs root (the tests
// run as root); mounted() says whether it worked.
class FullDisk
{
public:
    explicit FullDisk(const QString &dir) : path(dir)
    {
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=64k,mode=0755"), QStringLiteral("tmpfs"),
                               dir}) != 0)
            return;
        isMounted = true;
        // A process inside the folder still sees what lies under the mount.
        if (QDir::currentPath() == QDir(dir).absolutePath())
            QDir::setCurrent(dir);
        QFile filler(fillerPath());
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray block(512, 'x');
        while (filler.write(block) == block.size()) {
        }
    }
    ~FullDisk()
    {
        if (!isMounted)
            return;
        if (QDir::currentPath() == QDir(path).absolutePath())
            QDir::setCurrent(QDir::rootPath());
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), path});
    }
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    bool mounted() const { return isMounted; }
    // Frees the space again.
    void makeRoom() { QFile::remove(fillerPath()); }

private:
    QString fillerPath() const { return path + QStringLiteral("/.filler"); }

    QString path;
    bool isMounted = false;
};
