#include "app/logfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// ferrule.log: every line of the log, kept small, never a service key.
class TestLogFile : public QObject
{
    Q_OBJECT

private slots:
    void keptSmallFromLineStarts();
    void keysNeverWritten_data();
    void keysNeverWritten();

private:
    QByteArray logged(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
    }

    QTemporaryDir dir;
};

void TestLogFile::keptSmallFromLineStarts()
{
    // A log a long run left behind, far past the bound.
    const QString path = dir.filePath(QStringLiteral("big.log"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    for (int i = 0; i < 20000; ++i)
        old.write(QByteArray("old line ") + QByteArray::number(i) + QByteArray(40, 'x') + '\n');
    old.close();

    installLogFile(path);
    QCOMPARE(logFilePath(), path);
    QByteArray text = logged(path);
    QVERIFY(text.size() <= keptLogBytes);
    QVERIFY(text.startsWith("old line "));
    QVERIFY(text.endsWith("old line 19999" + QByteArray(40, 'x') + '\n'));

    for (int i = 0; i < 5000; ++i)
        qDebug().noquote() << QStringLiteral("new line %1 ").arg(i) + QString(100, 'y');
    text = logged(path);
    QVERIFY2(text.size() <= maxLogBytes, QByteArray::number(text.size()).constData());
    QVERIFY(text.size() >= keptLogBytes);
    // Whole lines only, each with its time, the newest last.
    const QList<QByteArray> lines = text.split('\n');
    QVERIFY(
        QRegularExpression(QStringLiteral("^20\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "
                                          "debug new line \\d+ y+$"))
            .match(QString::fromUtf8(lines.first()))
            .hasMatch());
    QVERIFY(lines.at(lines.size() - 2).endsWith("new line 4999 " + QByteArray(100, 'y')));
}

void TestLogFile::keysNeverWritten_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("key");
    QTest::newRow("request header") << "Authorization: Bearer tok-123abc"
                                    << "tok-123abc";
    QTest::newRow("misspelt speech.ini line")
        << "speech.ini: line 9: unknown key or bad value: api-key = sk-live-51Hx9"
        << "sk-live-51Hx9";
    QTest::newRow("ini line") << "api_key=hunter2, then more"
                              << "hunter2";
    QTest::newRow("JSON") << "{\"api_key\": \"abc.def\"}"
                          << "abc.def";
    QTest::newRow("a bare OpenAI key") << "sent sk-proj-AbCdEf123456 along"
                                       << "AbCdEf123456";
}

void TestLogFile::keysNeverWritten()
{
    QFETCH(QString, line);
    QFETCH(QString, key);
    const QString path = dir.filePath(QStringLiteral("keys.log"));
    installLogFile(path);
    qWarning().noquote() << line;
    const QByteArray text = logged(path);
    QVERIFY(text.contains("***"));
    QVERIFY2(!text.contains(key.toUtf8()), text.constData());
    QVERIFY(QFile::remove(path));
}

QTEST_GUILESS_MAIN(TestLogFile)
#include "tst_logfile.moc"
