#include "actions/websearchtable.h"
#include "common/logcapture.h"
#include "common/settingsenv.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

namespace {

// The table as "name=prefix" lines in iteration order.
QStringList entries(const WebSearchTable &table)
{
    QStringList lines;
    for (auto it = table.constBegin(); it != table.constEnd(); ++it)
        lines << QString::fromUtf8(it.key() + '=' + it.value());
    return lines;
}

QByteArray gb18030(const QString &text)
{
    return QTextCodec::codecForName("GB18030")->fromUnicode(text);
}

} // namespace

class WebSearchTableTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void loadsFromFile();
    void loadsDefaultPath();
    void missingFileLeavesTableEmpty();
};

void WebSearchTableTest::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QList<int>>("skipped");
    const QList<int> none;

    QTest::newRow("two sites")
        << QStringLiteral("优酷 https://v.example/q_\n淘宝 https://s.example/?q=\n").toUtf8()
        << QStringList{"优酷=https://v.example/q_", "淘宝=https://s.example/?q="} << none;
    QTest::newRow("first line of a name wins") << QByteArray("a http://first/\na http://second/\n")
                                               << QStringList{"a=http://first/"} << none;
    QTest::newRow("blank lines are skipped") << QByteArray("\na http://a/\n\n   \t\nb http://b/\n")
                                             << QStringList{"a=http://a/", "b=http://b/"} << none;
    QTest::newRow("name without prefix is skipped")
        << QByteArray("a\nb http://b/\n  c  \n") << QStringList{"b=http://b/"} << QList<int>{1, 3};
    QTest::newRow("prefix that is no web URL is skipped")
        << QByteArray("a www.a.example/?q=\nb /home/b/\nc HTTPS://c/\n")
        << QStringList{"c=HTTPS://c/"} << QList<int>{1, 2};
    QTest::newRow("third field ignored")
        << QByteArray("a http://a/ extra words\n") << QStringList{"a=http://a/"} << none;
    QTest::newRow("CR LF line ends") << QByteArray("a http://a/\r\nb http://b/\r\n\r\n")
                                     << QStringList{"a=http://a/", "b=http://b/"} << none;
    QTest::newRow("tabs and runs of blanks")
        << QByteArray("  a\t\t http://a/  \t\n") << QStringList{"a=http://a/"} << none;
    QTest::newRow("no final line feed") << QByteArray("a http://a/\nb http://b/")
                                        << QStringList{"a=http://a/", "b=http://b/"} << none;
    QTest::newRow("hash starts an ordinary name")
        << QByteArray("#a http://a/\n") << QStringList{"#a=http://a/"} << none;
    // Names are held as UTF-8, so byte order is code point order.
    QTest::newRow("names in byte order")
        << QStringLiteral("天猫 http://t/\n京东 http://j/\nB http://B/\na http://a/\n").toUtf8()
        << QStringList{"B=http://B/", "a=http://a/", "京东=http://j/", "天猫=http://t/"} << none;
    QTest::newRow("GB18030 file")
        << gb18030(QStringLiteral("优酷 https://v.example/q_\r\n淘宝 https://s.example/?q=\r\n"))
        << QStringList{"优酷=https://v.example/q_", "淘宝=https://s.example/?q="} << none;
    QTest::newRow("UTF-8 byte order mark")
        << QByteArray("\xEF\xBB\xBF") + QStringLiteral("百度 http://b/\n").toUtf8()
        << QStringList{"百度=http://b/"} << none;
    QTest::newRow("one GB18030 line among UTF-8 lines")
        << QStringLiteral("知乎 https://z/\n").toUtf8() +
               gb18030(QStringLiteral("百度 http://b/\n")) +
               QStringLiteral("京东 http://j/\n").toUtf8()
        << QStringList{"京东=http://j/", "百度=http://b/", "知乎=https://z/"} << none;
    QTest::newRow("empty file") << QByteArray() << QStringList() << none;
}

void WebSearchTableTest::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    QFETCH(QList<int>, skipped);
    WebSearchTable table;
    QCOMPARE(parseWebSearchTable(&table, bytes), skipped);
    QCOMPARE(entries(table), expected);
}

void WebSearchTableTest::loadsFromFile()
{
    QTemporaryDir dir;
    QFile file(dir.filePath("sites.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(gb18030(QStringLiteral("优酷 https://v.example/q_\n\n淘宝 https://s.example/?q=")));
    file.close();
    WebSearchTable table;
    loadWebSearchTable(&table, file.fileName());
    // The interpreter finds the entries by their decoded names.
    QCOMPARE(table.value(QStringLiteral("优酷").toUtf8()), QByteArray("https://v.example/q_"));
    QCOMPARE(table.value(QStringLiteral("淘宝").toUtf8()), QByteArray("https://s.example/?q="));
    QCOMPARE(table.size(), 2);
}

void WebSearchTableTest::loadsDefaultPath()
{
    SettingsEnv env;
    QVERIFY(env.enter());
    QFile file(QStringLiteral("websearch.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("a http://a/\n知乎\n\nb\n");
    file.close();
    WebSearchTable table;
    LogCapture log;
    loadWebSearchTable(&table);
    QCOMPARE(entries(table), QStringList{"a=http://a/"});
    // Skipped lines are named once, in one line.
    QCOMPARE(log.lines(), QStringList{QStringLiteral("./websearch.txt: lines without an http:// or "
                                                     "https:// URL prefix skipped: 2, 4 !")});
}

void WebSearchTableTest::missingFileLeavesTableEmpty()
{
    QTemporaryDir dir;
    WebSearchTable table;
    loadWebSearchTable(&table, dir.filePath("missing.txt"));
    QVERIFY(table.isEmpty());
    // A folder cannot be read as a table either.
    loadWebSearchTable(&table, dir.path());
    QVERIFY(table.isEmpty());
}

QTEST_GUILESS_MAIN(WebSearchTableTest)
#include "tst_websearchtable.moc"
