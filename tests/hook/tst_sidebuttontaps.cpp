// Which releases of held-back side buttons are taps, and which recordings a tap
// may drop, on a table of click sequences.
#include "capture/sidebuttontaps.h"

#include <QtTest>

class TestSideButtonTaps : public QObject
{
    Q_OBJECT

private slots:
    void releases_data()
    {
        // Steps: "p<button> <ms> [held] [started]" or "r<button> <ms> [held]";
        // the outcome of each release: "tap", "tap+drop" or "hold".
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("outcomes");

        QTest::newRow("quick click")
            << QStringList{"p8 0 held started", "r8 120 held"} << QStringList{"tap+drop"};
        QTest::newRow("held past the limit")
            << QStringList{"p8 0 held started", "r8 300 held"} << QStringList{"hold"};
        QTest::newRow("just under it")
            << QStringList{"p9 1000 held started", "r9 1299 held"} << QStringList{"tap+drop"};
        QTest::newRow("the window saw the press")
            << QStringList{"p8 0 started", "r8 50 held"} << QStringList{"hold"};
        QTest::newRow("the window saw the release")
            << QStringList{"p8 0 held started", "r8 50"} << QStringList{"hold"};
        QTest::newRow("release without press") << QStringList{"r8 50 held"} << QStringList{"hold"};
        QTest::newRow("second release of one press")
            << QStringList{"p8 0 held started", "r8 50 held", "r8 60 held"}
            << QStringList{"tap+drop", "hold"};
        // A tap of the other button leaves the held one's recording alone.
        QTest::newRow("tap while the other is held")
            << QStringList{"p8 0 held started", "p9 900 held", "r9 1000 held", "r8 2000 held"}
            << QStringList{"tap", "hold"};
        QTest::newRow("clock going back")
            << QStringList{"p8 5000 held started", "r8 10 held"} << QStringList{"hold"};
    }

    void releases()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, outcomes);
        SideButtonTaps taps;
        QStringList seen;
        for (const QString &step : steps) {
            const QStringList parts = step.split(QLatin1Char(' '));
            const int button = parts.at(0).mid(1).toInt();
            const qint64 time = parts.at(1).toLongLong();
            const bool held = parts.contains(QStringLiteral("held"));
            if (parts.at(0).startsWith(QLatin1Char('p'))) {
                taps.press(button, time, held, parts.contains(QStringLiteral("started")));
                QVERIFY(!taps.tapped(button));
                continue;
            }
            const SideButtonTaps::Release release = taps.release(button, time, held);
            seen << (release.tap ? (release.dropRecording ? "tap+drop" : "tap") : "hold");
            if (release.tap)
                QVERIFY(taps.tapped(button));
        }
        QCOMPARE(seen, outcomes);
    }
};

QTEST_GUILESS_MAIN(TestSideButtonTaps)
#include "tst_sidebuttontaps.moc"
