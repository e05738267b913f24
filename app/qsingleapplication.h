#pragma once

#include <QApplication>

class QLocalServer;

// The application object. Its constructor settles whether another instance of
// Ferrule runs for this user: if so, it hands over its last argument and
// isRunning() is true; otherwise it becomes the instance the next start finds.
// isRunning() is true too when another instance holds the lock beside the
// socket but cannot be reached: then this start ends with a log line.
class QSingleApplication : public QApplication
{
    Q_OBJECT

public:
    QSingleApplication(int &argc, char **argv);
    ~QSingleApplication() override;

    bool isRunning() const { return running; }

    // The word the last second start handed over (nothing acts on it).
    QString lastMessage() const { return receivedMessage; }

    // Where the guard's socket lives: a folder only this user can reach.
    static QString serverPath();

signals:
    // A later start handed over its last argument and ended.
    void startedAgain();

private slots:
    void newLocalConnection();

private:
    // Takes the lock only one instance holds; false when it is held elsewhere
    // (lockFd open) or cannot be taken at all (lockFd -1).
    bool takeInstanceLock(const QString &path);

    QLocalServer *localServer = nullptr;
    int lockFd = -1;
    bool running = false;
    QString receivedMessage;
};
