// Without an X display the hook cannot be installed: that is said in the log
// and the program runs on without push-to-talk.
#include "capture/mousehook.h"
#include "common/logcapture.h"

#include <QtTest>

class TestNoDisplay : public QObject
{
    Q_OBJECT

private slots:
    void installationFailsAndSaysWhy()
    {
        qunsetenv("DISPLAY");
        LogCapture log;
        QVERIFY(!installMouseHook());
        QVERIFY(log.contains(QStringLiteral("no X display")));
        QVERIFY(log.contains(QStringLiteral("Mouse hook not installed, push-to-talk is off !")));
        // A later attempt is not mistaken for an installed hook.
        QVERIFY(!installMouseHook());
    }
};

QTEST_MAIN(TestNoDisplay)
#include "tst_nodisplay.moc"
