#include <QGuiApplication>
#include <QImage>
#include <QtTest>

// Every picture the windows name must be in the bundle and readable: a missing
// or undecodable .ico shows as an empty space, with no error anywhere.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void iconLoads_data();
    void iconLoads();
};

void TestResources::iconLoads_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    const QSize square(64, 64);
    for (const char *name : {"talvox", "talvoxhui", "close", "close1", "empty", "document",
                             "folder", "select", "right"})
        QTest::newRow(name) << QString(name) << square;
    QTest::newRow("1") << "1" << QSize(64, 24);
    QTest::newRow("2") << "2" << QSize(64, 24);
    QTest::newRow("3") << "3" << QSize(64, 24);
    QTest::newRow("4") << "4" << QSize(24, 32);
    QTest::newRow("mouse") << "mouse" << QSize(256, 128);
}

void TestResources::iconLoads()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QImage image(QStringLiteral(":/ico/%1.ico").arg(name));
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    if (name != "empty") {
        // Something is drawn: not every pixel is transparent.
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y)
            for (int x = 0; x < image.width() && !drawn; ++x)
                drawn = qAlpha(image.pixel(x, y)) > 0;
        QVERIFY(drawn);
    }
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
