#include "common/logcapture.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

// Two real processes of the application object, each in the same private
// runtime folder (XDG_RUNTIME_DIR), as two starts by one user would be.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void secondStartHandsOverLastArgument_data();
    void secondStartHandsOverLastArgument();
    void socketReachableByItsUserOnly();
    void staleSocketOfKilledInstanceDoesNotBlock();
    void otherUsersInstanceDoesNotBlock();
    void socketPathTakenByAFolder();

private:
    QProcess *startProbe(const QStringList &args, const QString &runtimeDir = QString());
    bool waitForLine(QProcess *p, const QByteArray &line, int ms = 5000);

    QTemporaryDir *runtime = nullptr;
    QList<QProcess *> processes;
};

void TestSingleInstance::init()
{
    runtime = new QTemporaryDir;
    QVERIFY(runtime->isValid());
    QFile::setPermissions(runtime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestSingleInstance::cleanup()
{
    for (QProcess *p : qAsConst(processes)) {
        p->kill();
        p->waitForFinished();
        delete p;
    }
    processes.clear();
    delete runtime;
}

QProcess *TestSingleInstance::startProbe(const QStringList &args, const QString &runtimeDir)
{
    auto *p = new QProcess;
    processes << p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtimeDir.isEmpty() ? runtime->path() : runtimeDir);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::SeparateChannels);
    p->start(QStringLiteral(SINGLE_INSTANCE_PROBE), args);
    p->waitForStarted();
    return p;
}

bool TestSingleInstance::waitForLine(QProcess *p, const QByteArray &line, int ms)
{
    QElapsedTimer timer;
    timer.start();
    QByteArray seen;
    while (timer.elapsed() < ms) {
        if (p->canReadLine() || p->waitForReadyRead(100)) {
            while (p->canReadLine()) {
                const QByteArray got = p->readLine().trimmed();
                if (got == line)
                    return true;
                seen += got + ' ';
            }
        }
        if (p->state() == QProcess::NotRunning && !p->canReadLine())
            break;
    }
    qWarning() << "waited for" << line << "saw" << seen;
    return false;
}

void TestSingleInstance::secondStartHandsOverLastArgument_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("received");

    QTest::newRow("last of two") << QStringList{"a", "b"} << QByteArray("message:b");
    QTest::newRow("word before the blank")
        << QStringList{"x", "hello world"} << QByteArray("message:hello");
}

void TestSingleInstance::secondStartHandsOverLastArgument()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, received);

    QProcess *first = startProbe({});
    QVERIFY(waitForLine(first, "first"));

    QProcess *second = startProbe(args);
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(second->readAllStandardOutput().trimmed(), QByteArray("second"));

    QVERIFY(waitForLine(first, received));
    QCOMPARE(first->state(), QProcess::Running);
}

void TestSingleInstance::socketReachableByItsUserOnly()
{
    QProcess *first = startProbe({});
    QVERIFY(waitForLine(first, "first"));

    const QString socket = runtime->path() + "/KestrelFerrule";
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(socket).constData(), &st), 0);
    QVERIFY(S_ISSOCK(st.st_mode));
    QCOMPARE(st.st_uid, ::geteuid());
    QCOMPARE(st.st_mode & 077, 0u); // neither group nor others
}

void TestSingleInstance::staleSocketOfKilledInstanceDoesNotBlock()
{
    QProcess *first = startProbe({});
    QVERIFY(waitForLine(first, "first"));
    first->kill();
    first->waitForFinished();
    QVERIFY(QFileInfo::exists(runtime->path() + "/KestrelFerrule"));

    QProcess *next = startProbe({});
    QVERIFY(waitForLine(next, "first"));

    QProcess *another = startProbe({"z"});
    QVERIFY(another->waitForFinished(10000));
    QCOMPARE(another->readAllStandardOutput().trimmed(), QByteArray("second"));
    QVERIFY(waitForLine(next, "message:z"));
}

void TestSingleInstance::otherUsersInstanceDoesNotBlock()
{
    // Another user has another runtime folder: both run as first instances.
    QTemporaryDir otherRuntime;
    QProcess *mine = startProbe({});
    QVERIFY(waitForLine(mine, "first"));
    QProcess *theirs = startProbe({}, otherRuntime.path());
    QVERIFY(waitForLine(theirs, "first"));
    QVERIFY(QFileInfo::exists(runtime->path() + "/KestrelFerrule"));
}

void TestSingleInstance::socketPathTakenByAFolder()
{
    // No second start can hand over, yet only one runs (and so types).
    QVERIFY(QDir(runtime->path()).mkdir("KestrelFerrule"));
    QProcess *first = startProbe({});
    QVERIFY(waitForLine(first, "first"));
    QByteArray firstLog;
    QTRY_VERIFY((firstLog += first->readAllStandardError()).contains("cannot be listened on"));

    QProcess *second = startProbe({"b"});
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(second->readAllStandardOutput().trimmed(), QByteArray("second"));
    QVERIFY(second->readAllStandardError().contains("another Ferrule runs but does not answer"));
    QCOMPARE(first->state(), QProcess::Running);

    // Once it has ended, the next start runs.
    first->kill();
    first->waitForFinished();
    QVERIFY(waitForLine(startProbe({}), "first"));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
