#include "actions/websearchtable.h"

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

    QTest::newRow("two sites")
        << QStringLiteral("优酷 https://v.example/q_\n淘宝 https://s.example/?q=\n").toUtf8()
        << QStringList{"优酷=https://v.example/q_", "淘宝=https://s.example/?q="};
    QTest::newRow("first line of a name wins")
        << QByteArray("a http://first/\na http://second/\n") << QStringList{"a=http://first/"};
    QTest::newRow("blank lines are skipped") << QByteArray("\na http://a/\n\n   \t\nb http://b/\n")
                                             << QStringList{"a=http://a/", "b=http://b/"};
    QTest::newRow("name without prefix") << QByteArray("a\n") << QStringList{"a="};
    QTest::newRow("third field ignored")
        << QByteArray("a http://a/ extra words\n") << QStringList{"a=http://a/"};
    QTest::newRow("CR LF line ends") << QByteArray("a http://a/\r\nb http://b/\r\n\r\n")
                                     << QStringList{"a=http://a/", "b=http://b/"};
    QTest::newRow("tabs and runs of blanks")
        << QByteArray("  a\t\t http://a/  \t\n") << QStringList{"a=http://a/"};
    QTest::newRow("no final line feed")
        << QByteArray("a http://a/\nb http://b/") << QStringList{"a=http://a/", "b=http://b/"};
    QTest::newRow("hash starts an ordinary name")
        << QByteArray("#a http://a/\n") << QStringList{"#a=http://a/"};
    // Names are held as UTF-8, so byte order is code point order.
    QTest::newRow("names in byte order")
        << QStringLiteral("天猫 http://t/\n京东 http://j/\nB http://B/\na http://a/\n").toUtf8()
        << QStringList{"B=http://B/", "a=http://a/", "京东=http://j/", "天猫=http://t/"};
    QTest::newRow("GB18030 file")
        << gb18030(QStringLiteral("优酷 https://v.example/q_\r\n淘宝 https://s.example/?q=\r\n"))
        << QStringList{"优酷=https://v.example/q_", "淘宝=https://s.example/?q="};
    QTest::newRow("UTF-8 byte order mark")
        << QByteArray("\xEF\xBB\xBF") + QStringLiteral("百度 http://b/\n").toUtf8()
        << QStringList{"百度=http://b/"};
    QTest::newRow("empty file") << QByteArray() << QStringList();
}

void WebSearchTableTest::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    WebSearchTable table;
    parseWebSearchTable(&table, bytes);
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
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QFile file(QStringLiteral("websearch.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("a http://a/\n");
    file.close();
    WebSearchTable table;
    loadWebSearchTable(&table);
    QDir::setCurrent(previous);
    QCOMPARE(entries(table), QStringList{"a=http://a/"});
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
