#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects, while it lives, the log lines of any thread that start with one of the
// given prefixes ("speech:"), so a window can show the user the line that says what
// went wrong. Every line still goes on to the handler that was there before.
class LogTap
{
public:
    explicit LogTap(const QStringList &prefixes);
    ~LogTap();
    LogTap(const LogTap &) = delete;
    LogTap &operator=(const LogTap &) = delete;

    QStringList lines() const;
    // The last warning or error among the lines, else the last line; empty when none came.
    QString mainLine() const;

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    QStringList m_prefixes;
    QStringList m_lines;
    QString m_lastWarning;
};
