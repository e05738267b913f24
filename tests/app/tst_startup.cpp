#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The real program: a fresh run folder gets the default config.txt and the
// program keeps running; a second start ends with 0 and touches nothing.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void firstStartCreatesConfigAndSecondStartEnds();
};

void TestStartup::firstStartCreatesConfigAndSecondStartEnds()
{
    QTemporaryDir runtime, runDir, otherDir, config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("XDG_CONFIG_HOME", config.path());

    QProcess first;
    first.setProcessEnvironment(env);
    first.setWorkingDirectory(runDir.path());
    first.start(QStringLiteral(FERRULE_PROGRAM), QStringList());
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(runtime.path() + "/KestrelFerrule"), 10000);

    QFile file(runDir.filePath("config.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 15); // 14 lines and the final line end
    QCOMPARE(lines.first(), QByteArray("TypingModel=0"));
    QVERIFY(lines.contains("IntelligenceModel=1"));

    QProcess second;
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(otherDir.path());
    second.start(QStringLiteral(FERRULE_PROGRAM), {"again"});
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(!QFile::exists(otherDir.filePath("config.txt")));

    QCOMPARE(first.state(), QProcess::Running);
    first.terminate();
    QVERIFY(first.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
