#pragma once

#include <QFile>
#include <QString>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>

// What the name of a small data file may be made to lead to: a FIFO, whose plain
// open for reading waits for a writer for good; /dev/zero, which never ends; a
// 1 GB file (sparse: it costs no disk). Tests add the rows with addHostileRows()
// (column "target") and put a link to the target at the file's name with
// plantHostile(); reading must end at once and cost little memory.
inline void addHostileRows()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("link to a FIFO") << QStringLiteral("fifo");
    QTest::newRow("link to /dev/zero") << QStringLiteral("/dev/zero");
    QTest::newRow("link to a 1 GB file") << QStringLiteral("huge");
}

// Makes the target in scratch (a folder of the test's) and links name to it.
inline bool plantHostile(const QString &target, const QString &scratch, const QString &name)
{
    QString path = target;
    if (target == QLatin1String("fifo")) {
        path = scratch + QStringLiteral("/fifo");
        if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
            return false;
    } else if (target == QLatin1String("huge")) {
        path = scratch + QStringLiteral("/huge");
        QFile huge(path);
        if (!huge.open(QIODevice::WriteOnly) || !huge.resize(qint64(1) << 30))
            return false;
    }
    QFile::remove(name);
    return QFile::link(path, name);
}

// The most memory the process has held so far, in MB.
inline long peakMemoryMB()
{
    struct rusage usage = {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}
