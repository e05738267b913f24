#include "app/settingkeys.h"
#include "app/settings.h"
#include "common/logcapture.h"
#include "common/prompts.h"
#include "common/settingsenv.h"
#include "device/devicemanagement.h"
#include "recordingmonitor.h"
#include "ui/promptboxsink.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

namespace {

using Pass = QVector<QByteArrayList>;

const QByteArrayList mouseInterface{"USB\\VID_0D8C&PID_0132&REV_0100&MI_00",
                                    "USB\\VID_0D8C&PID_0132&MI_00"};
const QByteArrayList mouseDevice{"USB\\VID_04D9&PID_A09F&REV_0237", "USB\\VID_04D9&PID_A09F"};
const QByteArrayList soundCard{"USB\\VID_0D8C&PID_0132&REV_0100", "USB\\VID_0D8C&PID_0132"};
const QByteArrayList rootHub{"USB\\VID_1D6B&PID_0002&REV_0601", "USB\\VID_1D6B&PID_0002"};

const Pass both{rootHub, soundCard, mouseInterface, mouseDevice};
const Pass neither{rootHub};
const Pass interfaceOnly{rootHub, soundCard, mouseInterface};
const Pass deviceOnly{rootHub, mouseDevice};

const QString detected = QStringLiteral("已检测到塔沃鼠标");
const QString interfaceLost = QStringLiteral("鼠标未连接");
const QString deviceLost = QStringLiteral("声卡异常");

// Hands out one prepared list per pass and counts the reads.
class RecordedDevices : public UsbDevices
{
public:
    explicit RecordedDevices(QVector<UsbDeviceList> passes) : passes(std::move(passes)) {}
    UsbDeviceList presentDevices() override
    {
        readTimes << clock.elapsed();
        return passes.value(reads++, passes.isEmpty() ? UsbDeviceList() : passes.last());
    }
    QVector<UsbDeviceList> passes;
    int reads = 0;
    QVector<qint64> readTimes;
    QElapsedTimer clock;
};

UsbDeviceList listOf(const Pass &nodes)
{
    UsbDeviceList list;
    list.nodes = nodes;
    return list;
}

int connectSetting()
{
    return settingsMap()->value(SettingKey::MonitorTalvoxMouseConnect);
}

// A value no pass writes, so "left alone" can be told from a write.
constexpr int untouched = 7;

} // namespace

class TestDeviceManagement : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(env.enter()); }

    void init()
    {
        (*settingsMap())[SettingKey::MonitorTalvoxMouseConnect] = untouched;
        QFile::remove(QStringLiteral("config.txt"));
    }

    void sequencesOfPasses_data()
    {
        QTest::addColumn<QVector<Pass>>("passes");
        // Per pass: the prompts shown, "|"-separated.
        QTest::addColumn<QStringList>("expectedPrompts");
        // Per pass: the value written with the prompts, or untouched when
        // config.txt must not be written in that pass.
        QTest::addColumn<QVector<int>>("expectedSetting");

        const QString bothLost = interfaceLost + '|' + deviceLost;
        QTest::newRow("both from the start")
            << QVector<Pass>{both, both, both} << QStringList{detected, "", ""}
            << QVector<int>{1, untouched, untouched};
        QTest::newRow("neither from the start")
            << QVector<Pass>{neither, neither, neither} << QStringList{bothLost, "", ""}
            << QVector<int>{0, untouched, untouched};
        QTest::newRow("neither, later both")
            << QVector<Pass>{neither, neither, both} << QStringList{bothLost, "", detected}
            << QVector<int>{0, untouched, 1};
        QTest::newRow("both, neither, both")
            << QVector<Pass>{both, neither, neither, both}
            << QStringList{detected, bothLost, "", detected} << QVector<int>{1, 0, untouched, 1};
        QTest::newRow("back in different passes, interface first")
            << QVector<Pass>{both, neither, interfaceOnly, interfaceOnly, both, both}
            << QStringList{detected, bothLost, "", "", detected, ""}
            << QVector<int>{1, 0, untouched, untouched, 1, untouched};
        QTest::newRow("back in different passes, device first")
            << QVector<Pass>{both, neither, deviceOnly, both}
            << QStringList{detected, bothLost, "", detected} << QVector<int>{1, 0, untouched, 1};
        QTest::newRow("interface missing for exactly one pass")
            << QVector<Pass>{both, deviceOnly, both, both, both}
            << QStringList{detected, interfaceLost, detected, "", ""}
            << QVector<int>{1, 0, 1, untouched, untouched};
        QTest::newRow("device missing for exactly one pass")
            << QVector<Pass>{both, interfaceOnly, both, both}
            << QStringList{detected, deviceLost, detected, ""}
            << QVector<int>{1, untouched, 1, untouched};
        QTest::newRow("interface missing for several passes")
            << QVector<Pass>{both, deviceOnly, deviceOnly, deviceOnly, both}
            << QStringList{detected, interfaceLost, "", "", detected}
            << QVector<int>{1, 0, untouched, untouched, 1};
        QTest::newRow("only the device at first, interface added")
            << QVector<Pass>{deviceOnly, deviceOnly, both}
            << QStringList{interfaceLost, "", detected} << QVector<int>{0, untouched, 1};
        QTest::newRow("only the interface at first, device added")
            << QVector<Pass>{interfaceOnly, interfaceOnly, both}
            << QStringList{deviceLost, "", detected} << QVector<int>{untouched, untouched, 1};
        QTest::newRow("two nodes match the interface pattern")
            << QVector<Pass>{{mouseInterface, mouseInterface, mouseDevice}} << QStringList{detected}
            << QVector<int>{1};
        QTest::newRow("two nodes match the device pattern")
            << QVector<Pass>{{mouseInterface, mouseDevice, mouseDevice}} << QStringList{detected}
            << QVector<int>{1};
        QTest::newRow("&MI_ suffix on the device pattern")
            << QVector<Pass>{{mouseInterface, {"USB\\VID_04D9&PID_A09F&REV_0237&MI_00"}}}
            << QStringList{deviceLost} << QVector<int>{untouched};
        QTest::newRow("device pattern only in the second hardware ID")
            << QVector<Pass>{{mouseInterface,
                              {"USB\\VID_1234&PID_0001&REV_0001", mouseDevice.first()}}}
            << QStringList{deviceLost} << QVector<int>{untouched};
        QTest::newRow("interface pattern only in the second hardware ID")
            << QVector<Pass>{{{"USB\\VID_1234&PID_0001&REV_0001", mouseInterface.first()},
                              mouseDevice}}
            << QStringList{interfaceLost} << QVector<int>{0};
        QTest::newRow("patterns without the USB bus")
            << QVector<Pass>{{{"HID\\VID_0D8C&PID_0132&REV_0100&MI_00"},
                              {"HID\\VID_04D9&PID_A09F&REV_0237"}}}
            << QStringList{bothLost} << QVector<int>{0};
        QTest::newRow("patterns are case-sensitive")
            << QVector<Pass>{{{"USB\\VID_0d8c&PID_0132&REV_0100&MI_00"},
                              {"USB\\VID_04d9&PID_A09F&REV_0237"}}}
            << QStringList{bothLost} << QVector<int>{0};
        QTest::newRow("device pattern behind a longer bus name")
            << QVector<Pass>{{mouseInterface, {"USBSTOR\\VID_04D9&PID_A09F&REV_0237"}}}
            << QStringList{deviceLost} << QVector<int>{untouched};
        QTest::newRow("nodes without hardware IDs are skipped")
            << QVector<Pass>{{{}, mouseInterface, {}, mouseDevice, {}}} << QStringList{detected}
            << QVector<int>{1};
    }

    void sequencesOfPasses()
    {
        QFETCH(QVector<Pass>, passes);
        QFETCH(QStringList, expectedPrompts);
        QFETCH(QVector<int>, expectedSetting);

        QVector<UsbDeviceList> lists;
        for (const Pass &pass : passes)
            lists << listOf(pass);
        RecordingMonitor monitor(std::make_unique<RecordedDevices>(lists));
        for (int i = 0; i < passes.size(); ++i) {
            monitor.prompts.clear();
            (*settingsMap())[SettingKey::MonitorTalvoxMouseConnect] = untouched;
            QFile::remove(QStringLiteral("config.txt"));

            monitor.scanDevices();

            const QString where = QStringLiteral("pass %1").arg(i + 1);
            QVERIFY2(monitor.prompts.join('|') == expectedPrompts.at(i),
                     qPrintable(where + ": " + monitor.prompts.join('|')));
            QVERIFY2(connectSetting() == expectedSetting.at(i), qPrintable(where));
            // Saved exactly when written.
            QVERIFY2(QFile::exists(QStringLiteral("config.txt")) ==
                         (expectedSetting.at(i) != untouched),
                     qPrintable(where));
            if (expectedSetting.at(i) != untouched) {
                SettingsMap saved;
                loadSettingsMap(&saved);
                QCOMPARE(saved.value(SettingKey::MonitorTalvoxMouseConnect), expectedSetting.at(i));
            }
        }
    }

    void settingWrittenAfterItsPrompt()
    {
        RecordingMonitor monitor(std::make_unique<RecordedDevices>(
            QVector<UsbDeviceList>{listOf(both), listOf(neither)}));
        QVector<int> seenDuringPrompt;
        monitor.duringPrompt = [&] { seenDuringPrompt << connectSetting(); };
        monitor.scanDevices();
        monitor.scanDevices();
        QCOMPARE(monitor.prompts, (QStringList{detected, interfaceLost, deviceLost}));
        QCOMPARE(seenDuringPrompt, (QVector<int>{untouched, 1, 0}));
        QCOMPARE(connectSetting(), 0);
    }

    void failuresAreLogged_data()
    {
        QTest::addColumn<bool>("listFailed");
        QTest::addColumn<bool>("enumerationFailed");
        QTest::addColumn<Pass>("nodes");
        QTest::addColumn<QStringList>("expectedLog");
        QTest::addColumn<QStringList>("expectedPrompts");

        QTest::newRow("no list") << true << false << Pass{} << QStringList{"Get classdev failed !"}
                                 << QStringList{interfaceLost, deviceLost};
        QTest::newRow("walk ended early, what was read counts")
            << false << true << both << QStringList{"Enum alldev failed !"}
            << QStringList{detected};
        QTest::newRow("no failure")
            << false << false << both << QStringList{} << QStringList{detected};
    }

    void failuresAreLogged()
    {
        QFETCH(bool, listFailed);
        QFETCH(bool, enumerationFailed);
        QFETCH(Pass, nodes);
        QFETCH(QStringList, expectedLog);
        QFETCH(QStringList, expectedPrompts);

        UsbDeviceList list = listOf(nodes);
        list.listFailed = listFailed;
        list.enumerationFailed = enumerationFailed;
        RecordingMonitor monitor(std::make_unique<RecordedDevices>(QVector<UsbDeviceList>{list}));
        QStringList failures;
        {
            LogCapture log;
            monitor.scanDevices();
            for (const QString &line : log.lines())
                if (line.contains(QLatin1String("failed !")) &&
                    !line.contains(QLatin1String("open file")))
                    failures << line;
        }
        QCOMPARE(failures, expectedLog);
        QCOMPARE(monitor.prompts, expectedPrompts);
    }

    // A tick that arrives while a prompt runs its local event loop must not
    // start a second pass inside the first.
    void noPassInsideAPass()
    {
        auto devices = std::make_unique<RecordedDevices>(
            QVector<UsbDeviceList>{listOf(neither), listOf(both)});
        RecordedDevices *recorded = devices.get();
        RecordingMonitor monitor(std::move(devices));
        monitor.duringPrompt = [&] { monitor.scanDevices(); };
        monitor.scanDevices();
        QCOMPARE(recorded->reads, 1);
        QCOMPARE(monitor.prompts, (QStringList{interfaceLost, deviceLost}));

        monitor.duringPrompt = nullptr;
        monitor.scanDevices();
        QCOMPARE(recorded->reads, 2);
        QCOMPARE(monitor.prompts.last(), detected);
    }

    // The real timer and the real one-second prompt boxes: a pass with two
    // prompts takes two seconds, the ticks inside it are skipped and the next
    // pass follows at the first tick after it.
    void timerWithRealPrompts()
    {
        auto devices = std::make_unique<RecordedDevices>(
            QVector<UsbDeviceList>{listOf(neither), listOf(neither)});
        RecordedDevices *recorded = devices.get();
        recorded->clock.start();
        // The prompts as start-up shows them.
        ScopedPromptSink boxes(promptBoxSink());
        PromptWatcher watcher;
        DeviceManagement monitor(std::move(devices));
        QTRY_VERIFY_WITH_TIMEOUT(recorded->reads >= 2, 6000);
        const qint64 first = recorded->readTimes.at(0);
        const qint64 second = recorded->readTimes.at(1);
        QVERIFY2(first >= 850 && first < 1500, qPrintable(QString::number(first)));
        // Two prompts of one second each, then the next 900 ms tick.
        QVERIFY2(second - first >= 2000 && second - first < 3500,
                 qPrintable(QString::number(second - first)));

        QCOMPARE(watcher.texts, (QStringList{interfaceLost, deviceLost}));
        // Each box went with its second.
        QVERIFY(promptBoxes().isEmpty());
        QCOMPARE(connectSetting(), 0);
    }

private:
    SettingsEnv env;
};

QTEST_MAIN(TestDeviceManagement)
#include "tst_devicemanagement.moc"
