#pragma once

#include <QFile>
#include <QRegularExpression>

// How much memory this process holds, from /proc/self/status (kB), and the most
// it has held since the peak was last reset.
inline qint64 residentKb(const char *field = "VmRSS")
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpression line(QStringLiteral("^%1:\\s*(\\d+) kB").arg(QLatin1String(field)),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

inline qint64 peakResidentKb()
{
    return residentKb("VmHWM");
}

// Makes the peak the current size, so that the next peak tells what came since.
inline bool resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}
