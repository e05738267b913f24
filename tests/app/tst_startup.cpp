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
    QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(runtime.path() + "/KestrelFerrule"),
                              first.readAllStandardError().right(3000).constData(), 20000);

    // The guard listens before the configuration is written; the file appears whole.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(runDir.filePath("config.txt")), 10000);
    QFile file(runDir.filePath("config.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 16); // 15 lines and the final line end
    QCOMPARE(lines.first(), QByteArray("TypingModel=0"));
    QVERIFY(lines.contains("IntelligenceModel=1"));

    QProcess second;
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(otherDir.path());
    second.start(QStringLiteral(FERRULE_PROGRAM), {"again"});
    QVERIFY2(second.waitForFinished(20000), second.readAllStandardError().right(3000).constData());
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(!QFile::exists(otherDir.filePath("config.txt")));

    QVERIFY2(first.state() == QProcess::Running,
             first.readAllStandardError().right(3000).constData());
    first.terminate();
    QVERIFY(first.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
