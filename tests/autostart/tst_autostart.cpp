#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char handMade[] = "[Desktop Entry]\nType=Application\nName=Talvox\nExec=/opt/old/Talvox\n";

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The value of key in the entry, as written in the file.
QByteArray entryValue(const QByteArray &entry, const QByteArray &key)
{
    for (const QByteArray &line : entry.split('\n'))
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1);
    return QByteArray();
}

} // namespace

class TestAutoStart : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        QVERIFY(QFileInfo(QStringLiteral(AUTOSTART_HELPER)).isExecutable());
    }

    void init()
    {
        configHome = root.filePath(QStringLiteral("config %1").arg(++round));
        entry = configHome + QStringLiteral("/autostart/Talvox.desktop");
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        environment.insert(QStringLiteral("HOME"),
                           root.filePath(QStringLiteral("home %1").arg(round)));
    }

    // The session must start the registering program in the folder it was
    // registered from, whatever characters the two paths hold.
    void entryStartsTheProgramWhereItRegistered_data()
    {
        QTest::addColumn<QString>("programFolder");
        QTest::addColumn<QString>("workFolder");

        QTest::newRow("plain") << "bin"
                               << "run";
        QTest::newRow("blanks") << "Program Files/Ferrule"
                                << "my run dir";
        QTest::newRow("dollar") << "price $HOME"
                                << "$PWD";
        QTest::newRow("double quote") << "say \"hi\""
                                      << "quote\"d";
        QTest::newRow("backslash") << "back\\slash"
                                   << "back\\slash run";
        QTest::newRow("backtick") << "tick `id`"
                                  << "run `id`";
        QTest::newRow("leading blank") << " lead"
                                       << " lead run";
        QTest::newRow("semicolon and hash") << "a;b#c"
                                            << "x;y#z";
        QTest::newRow("non-ASCII") << "程序"
                                   << "运行";
    }

    void entryStartsTheProgramWhereItRegistered()
    {
        QFETCH(QString, programFolder);
        QFETCH(QString, workFolder);

        const QString program = installHelper(programFolder);
        const QString work = makeFolder(workFolder);
        QVERIFY(run(program, work, QStringLiteral("register")));
        QVERIFY(QFile::exists(entry));
        validate();
        const QByteArray text = readFile(entry);
        QCOMPARE(entryValue(text, "Name"), QByteArray("Talvox"));
        QVERIFY2(entryValue(text, "Exec").startsWith('"'), text.constData());

        const QStringList report = launchEntry();
        QCOMPARE(report, (QStringList{program, work, QStringLiteral("0")}));
    }

    // The entry names the program it starts in TryExec: once the program is
    // removed, the session passes over the entry.
    void entryOfRemovedProgramIsPassedOver()
    {
        const QString program = installHelper(QStringLiteral("gone soon"));
        QVERIFY(run(program, makeFolder(QStringLiteral("run")), QStringLiteral("register")));
        validate();
        QCOMPARE(QString::fromUtf8(entryValue(readFile(entry), "TryExec")), program);
        QVERIFY(QFile::remove(program));
        QCOMPARE(launchEntry(), QStringList{QStringLiteral("launch failed")});
    }

    // "%" starts a field code in Exec; a path holding one needs it doubled.
    void percentInProgramPath()
    {
        const QString program = installHelper(QStringLiteral("100% sure"));
        QVERIFY(run(program, makeFolder(QStringLiteral("run")), QStringLiteral("register")));
        validate();
        QByteArray quoted = '"' + program.toUtf8() + '"';
        QCOMPARE(entryValue(readFile(entry), "Exec"), quoted.replace("%", "%%"));
    }

    void rewriteAfterMove()
    {
        const QString before = installHelper(QStringLiteral("old place"));
        QVERIFY(run(before, makeFolder(QStringLiteral("old run")), QStringLiteral("register")));
        const QString after = installHelper(QStringLiteral("new place"));
        const QString work = makeFolder(QStringLiteral("new run"));
        QVERIFY(QFile::remove(before));
        QVERIFY(run(after, work, QStringLiteral("register")));

        QCOMPARE(QDir(configHome + QStringLiteral("/autostart")).entryList(QDir::Files),
                 QStringList{QStringLiteral("Talvox.desktop")});
        QCOMPARE(launchEntry(), (QStringList{after, work, QStringLiteral("0")}));
    }

    void remove_data()
    {
        QTest::addColumn<QByteArray>("existing"); // empty: no entry
        QTest::newRow("own entry") << QByteArray("ours");
        QTest::newRow("hand-made entry") << QByteArray(handMade);
        QTest::newRow("no entry") << QByteArray();
    }

    void remove()
    {
        QFETCH(QByteArray, existing);
        const QString program = installHelper(QStringLiteral("bin"));
        const QString work = makeFolder(QStringLiteral("run"));
        const QString neighbour = configHome + QStringLiteral("/autostart/other.desktop");
        QVERIFY(writeFile(neighbour, handMade));
        if (existing == "ours")
            QVERIFY(run(program, work, QStringLiteral("register")));
        else if (!existing.isEmpty())
            QVERIFY(writeFile(entry, existing));

        QVERIFY(run(program, work, QStringLiteral("remove")));
        QVERIFY(!QFile::exists(entry));
        QCOMPARE(readFile(neighbour), QByteArray(handMade));
    }

    void bootUpAtStart_data()
    {
        QTest::addColumn<QByteArray>("config"); // empty: no config.txt yet
        QTest::addColumn<bool>("handMadeBefore");
        QTest::addColumn<QString>("expected"); // ours, none, hand-made

        QTest::newRow("first start, default 1") << QByteArray() << false << "ours";
        QTest::newRow("1 writes") << QByteArray("BootUp=1\n") << false << "ours";
        QTest::newRow("1 rewrites a hand-made entry") << QByteArray("BootUp=1\n") << true << "ours";
        QTest::newRow("0 removes a hand-made entry") << QByteArray("BootUp=0\n") << true << "none";
        QTest::newRow("0 with no entry") << QByteArray("BootUp=0\n") << false << "none";
        QTest::newRow("key missing counts as 0") << QByteArray("NotUpdate=1\n") << true << "none";
        QTest::newRow("2 leaves the entry") << QByteArray("BootUp=2\n") << true << "hand-made";
        QTest::newRow("2 adds none") << QByteArray("BootUp=2\n") << false << "none";
        QTest::newRow("-1 leaves the entry") << QByteArray("BootUp=-1\n") << true << "hand-made";
    }

    void bootUpAtStart()
    {
        QFETCH(QByteArray, config);
        QFETCH(bool, handMadeBefore);
        QFETCH(QString, expected);

        const QString program = installHelper(QStringLiteral("bin"));
        const QString work = makeFolder(QStringLiteral("run"));
        if (!config.isEmpty())
            QVERIFY(writeFile(work + QStringLiteral("/config.txt"), config));
        if (handMadeBefore)
            QVERIFY(writeFile(entry, handMade));

        QVERIFY(run(program, work, QStringLiteral("start")));
        if (expected == QLatin1String("none")) {
            QVERIFY(!QFile::exists(entry));
        } else if (expected == QLatin1String("hand-made")) {
            QCOMPARE(readFile(entry), QByteArray(handMade));
        } else {
            QCOMPARE(launchEntry(), (QStringList{program, work, QStringLiteral("0")}));
        }
    }

    void configFolder_data()
    {
        QTest::addColumn<QString>("xdgConfigHome"); // "-": unset
        QTest::addColumn<QString>("expectedUnderHome");
        QTest::newRow("set") << ""
                             << "";
        QTest::newRow("unset") << "-"
                               << ".config/autostart/Talvox.desktop";
        QTest::newRow("empty") << ""
                               << ".config/autostart/Talvox.desktop";
        QTest::newRow("relative is ignored") << "relative/config"
                                             << ".config/autostart/Talvox.desktop";
    }

    void configFolder()
    {
        QFETCH(QString, xdgConfigHome);
        QFETCH(QString, expectedUnderHome);
        if (QTest::currentDataTag() != QLatin1String("set")) {
            if (xdgConfigHome == QLatin1String("-"))
                environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
            else
                environment.insert(QStringLiteral("XDG_CONFIG_HOME"), xdgConfigHome);
            entry = environment.value(QStringLiteral("HOME")) + '/' + expectedUnderHome;
        }
        const QString work = makeFolder(QStringLiteral("run"));
        QVERIFY(run(installHelper(QStringLiteral("bin")), work, QStringLiteral("register")));
        QVERIFY2(QFile::exists(entry), qPrintable(entry));
        QVERIFY(!QDir(work + QStringLiteral("/relative")).exists());
    }

private:
    QString makeFolder(const QString &name)
    {
        const QString path = root.filePath(QStringLiteral("%1/%2").arg(round).arg(name));
        QDir().mkpath(path);
        return path;
    }

    QString installHelper(const QString &folder)
    {
        const QString program = makeFolder(folder) + QStringLiteral("/ferrule helper");
        QFile::remove(program);
        if (!QFile::copy(QStringLiteral(AUTOSTART_HELPER), program))
            return QString();
        return program;
    }

    bool run(const QString &program, const QString &workDir, const QString &mode)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(workDir);
        process.start(program, {mode});
        return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    void validate()
    {
        QProcess validator;
        validator.start(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY(validator.waitForFinished(30000));
        const QByteArray complaints = validator.readAll();
        QVERIFY2(validator.exitCode() == 0 && !complaints.contains("error"),
                 complaints.constData());
    }

    // Starts the entry as a desktop session would (GLib's launcher) and
    // returns what the started program reported.
    QStringList launchEntry()
    {
        const QString reportPath = root.filePath(QStringLiteral("report %1").arg(++launches));
        QProcessEnvironment launchEnvironment = environment;
        launchEnvironment.insert(QStringLiteral("FERRULE_AUTOSTART_REPORT"), reportPath);
        QProcess launcher;
        launcher.setProcessEnvironment(launchEnvironment);
        launcher.setProcessChannelMode(QProcess::ForwardedChannels);
        launcher.start(QStringLiteral("gio"), {QStringLiteral("launch"), entry});
        if (!launcher.waitForFinished(30000) || launcher.exitCode() != 0)
            return {QStringLiteral("launch failed")};
        QElapsedTimer waited;
        waited.start();
        QStringList report;
        // The launcher does not wait for the program; the report is written last.
        while (waited.elapsed() < 10000) {
            report = QString::fromUtf8(readFile(reportPath)).split('\n', Qt::SkipEmptyParts);
            if (report.size() == 3)
                break;
            QTest::qWait(20);
        }
        return report;
    }

    QTemporaryDir root;
    QString configHome;
    QString entry;
    QProcessEnvironment environment;
    int round = 0;
    int launches = 0;
};

QTEST_MAIN(TestAutoStart)
#include "tst_autostart.moc"
