#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>

// Runs a tool to its end and returns what it printed.
inline QString runTool(const QString &program, const QStringList &arguments,
                       int *exitCode = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline bool xdotool(const QStringList &arguments)
{
    int code = -1;
    runTool(QStringLiteral("xdotool"), arguments, &code);
    return code == 0;
}

// A corpus to type, without its last line feed.
inline QString readCorpus(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

// The environment for a window that uses no input method: keys typed into it
// arrive as they are, not composed.
inline QProcessEnvironment withoutInputMethod()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_IM_MODULE"), QStringLiteral("compose"));
    return environment;
}

// An editor window of another process (typingtarget, gtktypingtarget) that
// prints "ready <window id in hex>" once on screen and answers "text" with
// "text <base64 of its text>" and "clear" with "ok".
class TargetWindow
{
public:
    TargetWindow(const QString &program, const QStringList &arguments,
                 const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        process.waitForStarted(10000);
        const QByteArray line = readLine();
        if (line.startsWith("ready "))
            window = QString::fromLatin1(line.mid(6).trimmed());
    }
    ~TargetWindow()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(3000))
            process.kill();
        process.waitForFinished(3000);
    }
    TargetWindow(const TargetWindow &) = delete;
    TargetWindow &operator=(const TargetWindow &) = delete;

    // The window id in decimal, as xdotool takes it.
    QString windowId() const { return QString::number(window.toULongLong(nullptr, 16)); }
    bool isReady() const { return !window.isEmpty(); }
    bool focus() const
    {
        return xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), windowId()});
    }

    QString text()
    {
        if (process.state() != QProcess::Running)
            return QStringLiteral("<gone>");
        process.write("text\n");
        const QByteArray line = readLine();
        return line.startsWith("text ")
                   ? QString::fromUtf8(QByteArray::fromBase64(line.mid(5).trimmed()))
                   : QStringLiteral("<no answer>");
    }
    // Whether the program sees its window as the active one (typingtarget only).
    bool isActive()
    {
        process.write("active\n");
        return readLine().trimmed() == "active 1";
    }
    bool clear()
    {
        process.write("clear\n");
        return readLine().trimmed() == "ok";
    }

    QProcess process;

private:
    QByteArray readLine()
    {
        QElapsedTimer waited;
        waited.start();
        while (!process.canReadLine() && waited.elapsed() < 10000 &&
               process.state() == QProcess::Running)
            process.waitForReadyRead(100);
        return process.readLine();
    }

    QString window;
};
