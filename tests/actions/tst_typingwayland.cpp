// Typing on a Wayland session: a headless KWin with fcitx5 as its input
// method (scripts/testenv/with-kwin), Qt 5 and GTK 3 windows using the
// compositor's text input. XTest reaches no Wayland window: the text goes
// through fcitx5 or not at all, and then the user is told.
#include "actions/typabletext.h"
#include "actions/typing.h"
#include "common/fcitx5.h"
#include "common/logcapture.h"
#include "common/prompts.h"
#include "common/targetwindow.h"
#include "platform/platform.h"

#include <QtTest>

#include <csignal>
#include <memory>

namespace {

// The Wayland window of a Qt or GTK editor; the test itself stays offscreen.
std::unique_ptr<TargetWindow> openWindow(const QString &toolkit)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("wayland"));
    return std::make_unique<TargetWindow>(toolkit == QLatin1String("qt")
                                              ? QStringLiteral(TYPING_TARGET)
                                              : QStringLiteral(GTK_TYPING_TARGET),
                                          QStringList{QStringLiteral("--line")}, environment);
}

// Waits until fcitx5 serves the window that just opened (KWin gives a new
// window the focus) and puts it in the Chinese state with Pinyin, as the user
// would with Control+Space.
bool chooseChinese(QString *context)
{
    if (!QTest::qWaitFor(
            [&]() {
                *context = fcitx5FocusedContext();
                return !context->isEmpty();
            },
            10000))
        return false;
    fcitx5(QStringLiteral("Activate"));
    return QTest::qWaitFor([]() { return fcitx5State() == 2; }, 5000) &&
           fcitx5(QStringLiteral("CurrentInputMethod")).toString() == QLatin1String("pinyin");
}

// The user types "nihao" and a space, which Pinyin composes into 你好.
void userTypes(TargetWindow &window)
{
    QVERIFY(window.clear());
    int code = -1;
    runTool(QStringLiteral(WAYLAND_KEYS), {QStringLiteral("nihao ")}, &code);
    QCOMPARE(code, 0);
    QTRY_COMPARE_WITH_TIMEOUT(window.text(), QStringLiteral("你好"), 10000);
    QVERIFY(window.clear());
}

} // namespace

class TypingWaylandTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void arrivesExactly_data();
    void arrivesExactly();
    void notTyped_data();
    void notTyped();
};

void TypingWaylandTest::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qgetenv("FERRULE_IME") == "fcitx5",
             "runs under with-kwin");
}

void TypingWaylandTest::arrivesExactly_data()
{
    QTest::addColumn<QString>("toolkit");
    QTest::newRow("Qt 5") << QStringLiteral("qt");
    QTest::newRow("GTK 3") << QStringLiteral("gtk");
}

void TypingWaylandTest::arrivesExactly()
{
    QFETCH(QString, toolkit);
    const std::unique_ptr<TargetWindow> window = openWindow(toolkit);
    QVERIFY(window->isReady());
    QString context;
    QVERIFY(chooseChinese(&context));
    userTypes(*window);
    if (QTest::currentTestFailed())
        return;

    const QString text = readCorpus(QStringLiteral(TYPING_CORPUS));
    LogCapture log;
    typeText(text.toUtf8().constData());
    QVERIFY(log.contains(QStringLiteral("typing through fcitx5")));
    QTRY_COMPARE_WITH_TIMEOUT(window->text(), typableText(text), 10000);
    // fcitx5 knows the text before the cursor, as on X11.
    const QVector<uint> typed = typableText(text).toUcs4();
    const QString last = QString::fromUcs4(typed.constData() + typed.size() - 16, 16);
    QTRY_COMPARE(platform().textBeforeCursor(platform().typingTarget()).value_or(QString()), last);
    // The user's input method is as they left it: the same window, composing
    // Chinese with Pinyin.
    QCOMPARE(fcitx5FocusedContext(), context);
    QCOMPARE(fcitx5State(), 2);
    QCOMPARE(fcitx5(QStringLiteral("CurrentInputMethod")).toString(), QStringLiteral("pinyin"));
    userTypes(*window);
}

void TypingWaylandTest::notTyped_data()
{
    QTest::addColumn<bool>("withWindow");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<QString>("logged");
    QTest::newRow("fcitx5 does not answer")
        << true << true << QStringLiteral("input method fcitx5 does not answer !");
    QTest::newRow("no window has the focus")
        << false << false << QStringLiteral("no input method took the text, nothing typed !");
}

void TypingWaylandTest::notTyped()
{
    // No other way to type exists on Wayland: the user is told, the text is
    // kept in the log, and a commit fcitx5 reads late is not made.
    QFETCH(bool, withWindow);
    QFETCH(bool, stopped);
    QFETCH(QString, logged);
    std::unique_ptr<TargetWindow> window;
    if (withWindow) {
        window = openWindow(QStringLiteral("qt"));
        QVERIFY(window->isReady());
        QString context;
        QVERIFY(chooseChinese(&context));
    } else {
        QTRY_COMPARE(fcitx5FocusedContext(), QString());
    }
    const pid_t daemon = pid_t(qEnvironmentVariableIntValue("FERRULE_IME_PID"));
    QVERIFY(daemon > 0);
    const QString text = QStringLiteral("Hello 你好，世界。");
    LogCapture log;
    PromptRecorder prompts;
    if (stopped)
        QCOMPARE(::kill(daemon, SIGSTOP), 0);
    typeText(text.toUtf8().constData());
    if (stopped)
        QCOMPARE(::kill(daemon, SIGCONT), 0);
    QVERIFY(log.contains(logged));
    QVERIFY(log.contains(QStringLiteral("text not typed: ") + text));
    QCOMPARE(prompts.texts, QStringList{QStringLiteral("无法输入文字")});
    // fcitx5 has read everything sent to it before this call, the late commit too.
    const int state = fcitx5State();
    if (window) {
        QCOMPARE(state, 2);
        QTest::qWait(200);
        QCOMPARE(window->text(), QString());
    }
}

QTEST_MAIN(TypingWaylandTest)
#include "tst_typingwayland.moc"
