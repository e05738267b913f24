#include "common/fulldisk.h"

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
    void firstStartOnAFullDisk_data();
    void firstStartOnAFullDisk();
    void statusWindowWhereNoTray();
};

namespace {

QString run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The status window's X id while it is on screen, else empty.
QString visibleStatusWindow()
{
    return run(QStringLiteral("xdotool"),
               {"search", "--onlyvisible", "--name", QStringLiteral("^塔沃鼠标——")})
        .section('\n', 0, 0);
}

// Starts the program in runDir (the test's own folder where empty) with the
// runtime and configuration folders of the test, so that it meets only the
// instances the test starts.
void startFerrule(QProcess &process, const QString &runtime, const QString &config,
                  const QString &runDir, const QStringList &args = QStringList())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("XDG_CONFIG_HOME", config);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(runDir);
    process.start(QStringLiteral(FERRULE_PROGRAM), args);
}

} // namespace

void TestStartup::firstStartCreatesConfigAndSecondStartEnds()
{
    QTemporaryDir runtime, runDir, otherDir, config;

    QProcess first;
    startFerrule(first, runtime.path(), config.path(), runDir.path());
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
    startFerrule(second, runtime.path(), config.path(), otherDir.path(), {"again"});
    QVERIFY2(second.waitForFinished(20000), second.readAllStandardError().right(3000).constData());
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(!QFile::exists(otherDir.filePath("config.txt")));

    QVERIFY2(first.state() == QProcess::Running,
             first.readAllStandardError().right(3000).constData());
    first.terminate();
    QVERIFY(first.waitForFinished(10000));
}

void TestStartup::firstStartOnAFullDisk_data()
{
    QTest::addColumn<bool>("emptyFile"); // a 0-byte config.txt left by an earlier full disk
    QTest::newRow("no config.txt") << false;
    QTest::newRow("empty config.txt") << true;
}

void TestStartup::firstStartOnAFullDisk()
{
    // The defaults hold although config.txt cannot be written: BootUp reads 1,
    // not 0, so the autostart entry is written rather than removed.
    QFETCH(bool, emptyFile);
    QTemporaryDir runtime, runDir, config;
    FullDisk disk(runDir.path());
    if (!disk.mounted())
        QSKIP("mounting a tmpfs needs root");
    if (emptyFile)
        QVERIFY(QFile(runDir.filePath("config.txt")).open(QIODevice::WriteOnly));

    QProcess ferrule;
    startFerrule(ferrule, runtime.path(), config.path(), runDir.path());
    QVERIFY(ferrule.waitForStarted());
    QByteArray log;
    QTRY_VERIFY2_WITH_TIMEOUT(
        (log += ferrule.readAllStandardError()).contains("./config.txt could not be written"),
        log.right(3000).constData(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(config.filePath("autostart/Talvox.desktop")), 10000);
    QCOMPARE(log.contains("./config.txt is empty: the default settings are used !"), emptyFile);
    QCOMPARE(QFile::exists(runDir.filePath("config.txt")), emptyFile);
    QCOMPARE(ferrule.state(), QProcess::Running);
    ferrule.terminate();
    QVERIFY(ferrule.waitForFinished(10000));
}

// Xvfb has no system tray (as GNOME without its extension): the status window
// shows at start, and after the user closed it, again at the next start.
void TestStartup::statusWindowWhereNoTray()
{
    // A window manager, so that the user's close reaches the window as it would.
    QProcess manager;
    manager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    QVERIFY(manager.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"), 10000);

    QTemporaryDir runtime, runDir, config;
    QProcess first;
    startFerrule(first, runtime.path(), config.path(), runDir.path());
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY2_WITH_TIMEOUT(!visibleStatusWindow().isEmpty(),
                              first.readAllStandardError().right(3000).constData(), 20000);
    // Said in the log the user can find, beside config.txt.
    QFile log(runDir.filePath("ferrule.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().contains("No system tray found"));

    const QString window = visibleStatusWindow();
    run("xdotool", {"windowactivate", "--sync", window});
    run("xdotool", {"key", "--clearmodifiers", "alt+F4"});
    QTRY_VERIFY_WITH_TIMEOUT(visibleStatusWindow().isEmpty(), 10000);
    QCOMPARE(first.state(), QProcess::Running);

    QProcess second;
    startFerrule(second, runtime.path(), config.path(), QString(), {"again"});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(visibleStatusWindow(), window, 10000);

    first.terminate();
    QVERIFY(first.waitForFinished(10000));
    manager.terminate();
    manager.waitForFinished();
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
