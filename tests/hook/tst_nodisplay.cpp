// Without an X display the hook cannot be installed: that is said in the log
// and the program runs on without push-to-talk. Start-up says what the
// session lacks, once, in the log and in a prompt.
#include "capture/mousehook.h"
#include "capture/sessioncheck.h"
#include "common/logcapture.h"
#include "common/prompts.h"

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

        // Nothing to hear, nothing to type into.
        PromptRecorder prompts;
        QVERIFY(reportSessionLimits(false));
        QCOMPARE(prompts.texts,
                 QStringList{QStringLiteral("听不到鼠标侧键，也无法输入文字，请见README")});
        QCOMPARE(
            log.count(QStringLiteral("Ferrule can neither hear the side buttons nor type into "
                                     "a window in this session: see README \"Push-to-talk\" !")),
            1);
    }
};

QTEST_MAIN(TestNoDisplay)
#include "tst_nodisplay.moc"
