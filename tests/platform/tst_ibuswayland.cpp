// Text committed through Ferrule's IBus engine into native Wayland windows of
// a headless mutter (scripts/testenv/with-mutter), IBus with libpinyin
// (with-ibus), the toolkits reaching IBus through their own modules; or of a
// headless GNOME Shell (with-gnome-shell) that owns IBus and shows the input
// source: the text arrives exactly, the user's engine composes as before, and
// the shell shows the user's source and mode again.
#include "actions/typabletext.h"
#include "common/gnomeshell.h"
#include "common/ibusstate.h"
#include "common/targetwindow.h"
#include "platform/linux/ibuscommit.h"

#include <QtTest>

namespace {

// The user types keys on the session's keyboard (with-mutter's FIFO): text,
// or "keysym 0x<hex>" for one key.
bool userKeys(const QByteArray &line)
{
    QFile keys(qEnvironmentVariable("FERRULE_USER_KEYS"));
    return keys.open(QIODevice::WriteOnly) && keys.write(line + '\n') == line.size() + 1;
}

// The user types "nihao" and a space; returns what arrived.
QString userTypes(TargetWindow &window)
{
    window.clear();
    userKeys("nihao ");
    return composedNihao(window);
}

} // namespace

class IBusWaylandTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void arrivesExactly_data();
    void arrivesExactly();

private:
    std::unique_ptr<IBusCommit> commit;
    QStringList seenContexts;
};

void IBusWaylandTest::initTestCase()
{
    QVERIFY2(qgetenv("FERRULE_IME") == "ibus" && qEnvironmentVariableIsSet("WAYLAND_DISPLAY") &&
                 qEnvironmentVariableIsSet("FERRULE_USER_KEYS"),
             "runs under with-mutter and with-ibus, or with-gnome-shell");
    seenContexts << ibusFocusedContext();
    // As in Ferrule: on the bus before any window takes the focus.
    commit = std::make_unique<IBusCommit>();
    QVERIFY(commit->isAvailable());
}

void IBusWaylandTest::arrivesExactly_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("chinese");
    QTest::newRow("Qt 5, Chinese") << QStringLiteral(TYPING_TARGET) << true;
    QTest::newRow("GTK 3, Chinese") << QStringLiteral(GTK_TYPING_TARGET) << true;
    QTest::newRow("GTK 3, English") << QStringLiteral(GTK_TYPING_TARGET) << false;
    QTest::newRow("Qt 5, English") << QStringLiteral(TYPING_TARGET) << false;
}

void IBusWaylandTest::arrivesExactly()
{
    QFETCH(QString, program);
    QFETCH(bool, chinese);
    TargetWindow window(program, QStringList());
    QVERIFY(window.isReady());
    // mutter gives a new window the focus; its input context follows. GNOME
    // Shell serves GTK's Wayland input method through one context of its own.
    QString context;
    if (underGnomeShell()) {
        QTRY_COMPARE_WITH_TIMEOUT(shellFocusPid(), window.process.processId(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT((context = ibusFocusedContext(), context != seenContexts.first()),
                                 10000);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(
            (context = ibusFocusedContext(), !context.isEmpty() && !seenContexts.contains(context)),
            10000);
    }
    seenContexts << context;
    // libpinyin's mode is the one the last window left; Shift switches it.
    const QString first = userTypes(window);
    QVERIFY2(first == QStringLiteral("你好") || first == QStringLiteral("nihao "),
             qPrintable(first));
    if ((first == QStringLiteral("你好")) != chinese)
        QVERIFY(userKeys("keysym 0xffe1"));
    const QString composed = chinese ? QStringLiteral("你好") : QStringLiteral("nihao ");
    QCOMPARE(userTypes(window), composed);

    // The shell shows libpinyin as the source, in the mode the user chose.
    const QString shown = QStringLiteral("ibus libpinyin libpinyin ") +
                          (chinese ? QStringLiteral("中") : QStringLiteral("英"));
    if (underGnomeShell())
        QCOMPARE(shellInputSource(), shown);

    const QString text = typableText(readCorpus(QStringLiteral(TYPING_CORPUS)));
    QCOMPARE(commit->commit(text), ImeCommit::Outcome::Committed);
    QCOMPARE(ibusEngine(), QStringLiteral("libpinyin"));
    QTRY_COMPARE_WITH_TIMEOUT(window.text(), text, 10000);
    if (underGnomeShell())
        QTRY_COMPARE_WITH_TIMEOUT(shellInputSource(), shown, 5000);
    QCOMPARE(userTypes(window), composed);
}

QTEST_GUILESS_MAIN(IBusWaylandTest)
#include "tst_ibuswayland.moc"
