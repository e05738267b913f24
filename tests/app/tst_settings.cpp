#include "app/settingkeys.h"
#include "app/settings.h"
#include "common/files.h"
#include "common/fulldisk.h"
#include "common/logcapture.h"
#include "common/readonlydir.h"
#include "common/settingsenv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

namespace {

const QByteArray defaultFile = "TypingModel=0\nIntelligenceModel=1\nTranslationModel=0\n"
                               "TypingLanguage=0\nIntelligenceLanguage=0\nTranslationLanguage=0\n"
                               "TranslationResultLanguage=0\nAutomaticUpdate=1\nReminderUpdate=0\n"
                               "NotUpdate=0\nBootUp=1\nClosePrompt=0\nRemovePunctuation=0\n"
                               "MonitorTalvoxMouseConnect=0\nExclusiveSideButtons=1\n";

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(env.enter()); }

    void load_data();
    void load();
    void defaultFileByteForByte();
    void defaultFileNotWrittenOverExistingFile();
    void saveSortsKeysAndKeepsOddKeys();
    void absentKeyReadsZeroAndIsSaved();
    void unreadableConfigStartsEmpty();
    void unwritableConfigKeepsOldFile();
    void killedSaveLeavesWholeFile();
    void fullDiskAtFirstStart();

private:
    SettingsEnv env;
};

void TestSettings::load_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("value");

    QTest::newRow("last line wins")
        << QByteArray("TypingModel=1\nBootUp=1\nTypingModel=0\n") << "TypingModel" << true << 0;
    QTest::newRow("text reads 0") << QByteArray("BootUp=abc\n") << "BootUp" << true << 0;
    QTest::newRow("second = ignored") << QByteArray("BootUp=1=2\n") << "BootUp" << true << 1;
    QTest::newRow("leading blank is part of the key")
        << QByteArray(" BootUp=1\n") << " BootUp" << true << 1;
    QTest::newRow("leading blank leaves real key absent")
        << QByteArray(" BootUp=1\n") << "BootUp" << false << 0;
    QTest::newRow("negative kept")
        << QByteArray("TypingLanguage=-1\n") << "TypingLanguage" << true << -1;
    QTest::newRow("CR LF") << QByteArray("TypingModel=1\r\nIntelligenceModel=7\r\n")
                           << "IntelligenceModel" << true << 7;
    QTest::newRow("no final line feed")
        << QByteArray("A=1\nNotUpdate=5") << "NotUpdate" << true << 5;
    QTest::newRow("blank line carries nothing") << QByteArray("A=1\n\nB=2\n") << "" << false << 0;
    QTest::newRow("empty value") << QByteArray("ClosePrompt=\n") << "ClosePrompt" << true << 0;
    QTest::newRow("empty file reads as the defaults") << QByteArray() << "BootUp" << true << 1;
}

void TestSettings::load()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(bool, present);
    QFETCH(int, value);

    writeAll("config.txt", content);
    SettingsMap map;
    loadSettingsMap(&map);
    QCOMPARE(map.contains(key), present);
    QCOMPARE(map.value(key, 0), value);
}

void TestSettings::defaultFileByteForByte()
{
    createDefaultConfig();
    QCOMPARE(readAll("config.txt"), defaultFile);

    SettingsMap map;
    loadSettingsMap(&map);
    QCOMPARE(map.size(), 15);
    QCOMPARE(map.value(SettingKey::IntelligenceModel), 1);
    QCOMPARE(map.value(SettingKey::BootUp), 1);
    QCOMPARE(map.value(SettingKey::AutomaticUpdate), 1);
}

void TestSettings::defaultFileNotWrittenOverExistingFile()
{
    // An existing file is never completed or reset, even when keys are missing.
    writeAll("config.txt", "BootUp=0\n");
    createDefaultConfig();
    QCOMPARE(readAll("config.txt"), QByteArray("BootUp=0\n"));
}

void TestSettings::saveSortsKeysAndKeepsOddKeys()
{
    writeAll("config.txt", defaultFile + " BootUp=4\n");
    SettingsMap map;
    loadSettingsMap(&map);
    map[SettingKey::TypingModel] = 1;
    QVERIFY(saveSettingsMap(&map));

    const QByteArray expected = " BootUp=4\nAutomaticUpdate=1\nBootUp=1\nClosePrompt=0\n"
                                "ExclusiveSideButtons=1\n"
                                "IntelligenceLanguage=0\nIntelligenceModel=1\n"
                                "MonitorTalvoxMouseConnect=0\nNotUpdate=0\nReminderUpdate=0\n"
                                "RemovePunctuation=0\nTranslationLanguage=0\nTranslationModel=0\n"
                                "TranslationResultLanguage=0\nTypingLanguage=0\nTypingModel=1\n";
    QCOMPARE(readAll("config.txt"), expected);
    // Nothing but config.txt is left behind.
    QCOMPARE(QDir(".").entryList(QDir::Files | QDir::Hidden), QStringList{"config.txt"});
}

void TestSettings::absentKeyReadsZeroAndIsSaved()
{
    writeAll("config.txt", "TypingLanguage=-1\n");
    SettingsMap map;
    loadSettingsMap(&map);
    QCOMPARE(map[SettingKey::MonitorTalvoxMouseConnect], 0);
    QVERIFY(saveSettingsMap(&map));
    QCOMPARE(readAll("config.txt"), QByteArray("MonitorTalvoxMouseConnect=0\nTypingLanguage=-1\n"));
}

void TestSettings::unreadableConfigStartsEmpty()
{
    QVERIFY(QDir(".").mkdir("config.txt"));
    createDefaultConfig(); // cannot replace a folder; must not crash
    QVERIFY(QFileInfo("config.txt").isDir());

    LogCapture log;
    SettingsMap map;
    loadSettingsMap(&map);
    QVERIFY(map.isEmpty());
    QVERIFY(log.contains("open file failed !"));
}

void TestSettings::unwritableConfigKeepsOldFile()
{
    writeAll("config.txt", defaultFile);
    SettingsMap map;
    loadSettingsMap(&map);
    map[SettingKey::BootUp] = 0;

    LogCapture log;
    {
        ReadOnlyDir readOnly(env.path());
        QVERIFY(!saveSettingsMap(&map));
    }
    QVERIFY(log.contains("open file failed !"));
    QCOMPARE(readAll("config.txt"), defaultFile);
    QCOMPARE(map.value(SettingKey::BootUp), 0); // the change stays in memory
}

void TestSettings::killedSaveLeavesWholeFile()
{
    // A process that saves the 15-key map as fast as it can is killed at random
    // moments; every time, config.txt must still load as a whole map.
    createDefaultConfig();
    auto *random = QRandomGenerator::global();
    for (int round = 0; round < 40; ++round) {
        QProcess saver;
        saver.setWorkingDirectory(env.path());
        saver.start(QStringLiteral(SETTINGS_SAVER), QStringList());
        QVERIFY(saver.waitForStarted());
        QVERIFY(saver.waitForReadyRead(10000)); // it prints once it is saving
        QThread::usleep(random->bounded(20000));
        saver.kill();
        saver.waitForFinished();

        SettingsMap map;
        loadSettingsMap(&map);
        QCOMPARE(map.size(), 15);
        QVERIFY(map.value(SettingKey::TypingLanguage) >= 0);
    }
}

void TestSettings::fullDiskAtFirstStart()
{
    FullDisk disk(env.path());
    if (!disk.mounted())
        QSKIP("mounting a tmpfs needs root");
    settingsMap()->clear();
    LogCapture log;
    createDefaultConfig();
    QVERIFY(log.contains("./config.txt could not be written"));
    QVERIFY(!QFile::exists("config.txt")); // neither a 0-byte nor a half file
    // The run goes on with the defaults, and the first save that fits writes them.
    QCOMPARE(settingsMap()->size(), 15);
    QCOMPARE(settingsMap()->value(SettingKey::BootUp), 1);
    QVERIFY(!saveSettingsMap(settingsMap()));
    QVERIFY(!QFile::exists("config.txt"));
    disk.makeRoom();
    QVERIFY(saveSettingsMap(settingsMap()));
    SettingsMap saved;
    loadSettingsMap(&saved);
    QCOMPARE(saved, *settingsMap());
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
