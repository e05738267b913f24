#include "app/logfile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSaveFile>

#include <cstdio>

namespace {

struct LogFile
{
    QMutex mutex;
    QFile file;
    QtMessageHandler debugChannel = nullptr;
};

// Never freed: worker threads may still log while the process ends.
LogFile &logFile()
{
    static auto *log = new LogFile;
    return *log;
}

// Keeps the last keptLogBytes of the file, from the start of a line.
void dropOldestLines(QFile &file)
{
    const QString path = file.fileName();
    file.close();
    QFile old(path);
    QByteArray kept;
    if (old.open(QIODevice::ReadOnly)) {
        old.seek(qMax<qint64>(0, old.size() - keptLogBytes));
        kept = old.readAll();
        if (old.size() > keptLogBytes) {
            const int lineStart = kept.indexOf('\n');
            kept = lineStart < 0 ? QByteArray() : kept.mid(lineStart + 1);
        }
        old.close();
    }
    QSaveFile trimmed(path);
    if (trimmed.open(QIODevice::WriteOnly)) {
        trimmed.write(kept);
        trimmed.commit();
    }
    file.open(QIODevice::WriteOnly | QIODevice::Append);
}

const char *levelOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "debug";
}

void writeLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString line = withoutKeys(message);
    LogFile &log = logFile();
    {
        QMutexLocker lock(&log.mutex);
        if (log.file.isOpen()) {
            const QString stamped =
                QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")) +
                QLatin1String(levelOf(type)) + QLatin1Char(' ') + line + QLatin1Char('\n');
            log.file.write(stamped.toUtf8());
            log.file.flush();
            if (log.file.size() > maxLogBytes)
                dropOldestLines(log.file);
        }
    }
    if (log.debugChannel)
        log.debugChannel(type, context, line);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, line)));
}

} // namespace

QString withoutKeys(const QString &line)
{
    static const QRegularExpression bearer(QStringLiteral("(Bearer\\s+)[^\\s\"']+"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression keyValue(
        QStringLiteral("(api[_ -]?key[\"']?\\s*[=:]\\s*[\"']?)[^\\s\"',;]+"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression secret(QStringLiteral("\\bsk-[A-Za-z0-9_-]{6,}"));
    QString clean = line;
    clean.replace(bearer, QStringLiteral("\\1***"));
    clean.replace(keyValue, QStringLiteral("\\1***"));
    clean.replace(secret, QStringLiteral("***"));
    return clean;
}

void installLogFile(const QString &path)
{
    LogFile &log = logFile();
    {
        QMutexLocker lock(&log.mutex);
        if (log.file.isOpen())
            log.file.close();
        log.file.setFileName(QFileInfo(path).absoluteFilePath());
        if (!log.file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            std::fprintf(stderr, "%s cannot be written: %s !\n", qPrintable(log.file.fileName()),
                         qPrintable(log.file.errorString()));
            return;
        }
        if (log.file.size() > maxLogBytes)
            dropOldestLines(log.file);
    }
    static bool installed = false;
    if (!installed) {
        installed = true;
        log.debugChannel = qInstallMessageHandler(&writeLine);
    }
}

QString logFilePath()
{
    LogFile &log = logFile();
    QMutexLocker lock(&log.mutex);
    return log.file.isOpen() ? log.file.fileName() : QString();
}
