#include "app/logsafe.h"

#include <QtTest>

// What a service sends goes into the log only as one harmless line.
class TestLogSafe : public QObject
{
    Q_OBJECT

private slots:
    void escapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("logged");
        const auto row = [](const char *name, const QString &text, const char *logged) {
            QTest::newRow(name) << text << QString::fromUtf8(logged);
        };
        row("Chinese and English stay", QStringLiteral("打开百度, open Baidu!"),
            "打开百度, open Baidu!");
        row("a line break cannot forge a line", QStringLiteral("bad key\nspeech: all fine"),
            R"(bad key\nspeech: all fine)");
        row("CR and tab", QStringLiteral("a\rb\tc"), R"(a\rb\tc)");
        row("an escape sequence cannot retitle the terminal",
            QStringLiteral("\x1b]0;owned\x07\x1b[2J"), R"(\x1b]0;owned\x07\x1b[2J)");
        row("NUL and DEL", QString::fromLatin1("a\0b\x7f", 4), R"(a\x00b\x7f)");
        row("C1 control: the 8-bit CSI", QString(QChar(0x9b)) + QStringLiteral("2J"), R"(\x9b2J)");
        row("a backslash stays apart from the escapes", QStringLiteral(R"(C:\new)"), R"(C:\\new)");
        row("line and paragraph separators", QString(QChar(0x2028)) + QChar(0x2029),
            R"(\u{2028}\u{2029})");
        row("bidirectional controls cannot reorder the line",
            QString(QChar(0x202e)) + QStringLiteral("1234") + QChar(0x200f) + QChar(0x061c) +
                QChar(0x2066),
            R"(\u{202e}1234\u{200f}\u{061c}\u{2066})");
        row("emoji with a joiner stay", QStringLiteral("👩‍💻"), "👩‍💻");
    }
    void escapes()
    {
        QFETCH(QString, text);
        QFETCH(QString, logged);
        QCOMPARE(logSafe(text), logged);
        QCOMPARE(logSafe(text.toUtf8()), logged);
    }
};

QTEST_GUILESS_MAIN(TestLogSafe)
#include "tst_logsafe.moc"
