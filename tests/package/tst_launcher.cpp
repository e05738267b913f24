#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The launcher of the installed program, where the user's folder cannot be
// made: it must say so and end with 1, before anything is started.
class TestLauncher : public QObject
{
    Q_OBJECT

private slots:
    void folderThatCannotBeMade_data();
    void folderThatCannotBeMade();
};

void TestLauncher::folderThatCannotBeMade_data()
{
    // Paths below the temporary folder; "-" unsets the variable. "file" is a regular file.
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<QString>("message");

    QTest::newRow("data home below a file") << "home"
                                            << "@/file/data"
                                            << "cannot create Ferrule's folder @/file/data/ferrule";
    QTest::newRow("folder name taken by a file") << "home"
                                                 << "@"
                                                 << "cannot create Ferrule's folder @/ferrule";
    QTest::newRow("default below a file")
        << "@/file"
        << "-"
        << "cannot create Ferrule's folder @/file/.local/share/ferrule";
    QTest::newRow("relative data home is ignored")
        << "@/file"
        << "data"
        << "cannot create Ferrule's folder @/file/.local/share/ferrule";
    QTest::newRow("no home") << "-"
                             << "-"
                             << "HOME is not set";
}

void TestLauncher::folderThatCannotBeMade()
{
    QFETCH(QString, home);
    QFETCH(QString, dataHome);
    QFETCH(QString, message);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    QFile file(root.filePath("file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(QDir(root.path()).mkdir("work"));
    // In the row "folder name taken by a file" the data home is the root, whose "ferrule"
    // is made a file too.
    QFile taken(root.filePath("ferrule"));
    QVERIFY(taken.open(QIODevice::WriteOnly));
    taken.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const auto set = [&](const QString &name, QString value) {
        if (value == "-")
            env.remove(name);
        else
            env.insert(name, value.replace("@", root.path()));
    };
    set("HOME", home);
    set("XDG_DATA_HOME", dataHome);

    QProcess launcher;
    launcher.setProcessEnvironment(env);
    launcher.setWorkingDirectory(root.filePath("work"));
    launcher.start(QStringLiteral(FERRULE_LAUNCHER_BUILT), QStringList());
    QVERIFY(launcher.waitForFinished(10000));
    const QString err = QString::fromUtf8(launcher.readAllStandardError());
    QVERIFY2(err.contains("ferrule-launcher: " + message.replace("@", root.path())),
             qPrintable(err));
    QCOMPARE(launcher.exitStatus(), QProcess::NormalExit);
    QCOMPARE(launcher.exitCode(), 1);
    QCOMPARE(QDir(root.filePath("work")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList());
}

QTEST_GUILESS_MAIN(TestLauncher)
#include "tst_launcher.moc"
