// Typing on a Chinese desktop: the input method that scripts/testenv started
// (fcitx5 or IBus, named by FERRULE_IME) composes in the window typed into, as
// it does for its user. The typed text must arrive exactly, and afterwards the
// input method must compose the user's keys as it did before.
#include "actions/typabletext.h"
#include "actions/typing.h"
#include "common/fcitx5.h"
#include "common/ibusstate.h"
#include "common/logcapture.h"
#include "common/targetwindow.h"
#include "platform/platform.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

namespace {

bool isFcitx5()
{
    return qgetenv("FERRULE_IME") == "fcitx5";
}

// The root window, to move the focus away from a window.
QString rootWindow()
{
    const QString root = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-root")})
                             .section(QStringLiteral("Window id: "), 1)
                             .section(QLatin1Char(' '), 0, 0);
    return QString::number(root.toULongLong(nullptr, 16));
}

// Waits until a window that is new to the input method has the focus: its
// input context is made only then (GTK's a moment later; keys before that go
// past the input method). Now and then the Qt module loses the focus-in
// that came before its context was made; the window is then focused again once
// it has seen itself lose the focus (Qt waits a moment before it believes a
// focus-out, so a quick round trip through the root window goes unnoticed).
QStringList seenContexts;

void waitForNewContext(const std::function<bool()> &focus, const std::function<bool()> &active)
{
    QStringList &seen = seenContexts;
    QString context;
    auto isNew = [&]() {
        context = isFcitx5() ? fcitx5FocusedContext() : ibusFocusedContext();
        return !context.isEmpty() && !seen.contains(context);
    };
    for (int attempt = 0; attempt < 3 && !QTest::qWaitFor(isNew, 3000); ++attempt) {
        QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), rootWindow()}));
        QTRY_VERIFY(!active());
        QVERIFY(focus());
    }
    QVERIFY(isNew());
    seen << context;
}

// Sets fcitx5's deactivate and activate keys: its own, or none at all.
bool setSwitchKeys(bool own)
{
    const QString keys = own ? QStringLiteral("<{'0': <'Hangul_Romaja'>}>, 'ActivateKeys': "
                                              "<{'0': <'Hangul_Hanja'>}>")
                             : QStringLiteral("<@a{sv} {}>, 'ActivateKeys': <@a{sv} {}>");
    int code = -1;
    runTool(QStringLiteral("gdbus"),
            {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
             QStringLiteral("org.fcitx.Fcitx5"), QStringLiteral("--object-path"),
             QStringLiteral("/controller"), QStringLiteral("--method"),
             QStringLiteral("org.fcitx.Fcitx.Controller1.SetConfig"),
             QStringLiteral("fcitx://config/global"),
             QStringLiteral("<{'Hotkey': <{'DeactivateKeys': %1}>}>").arg(keys)},
            &code);
    const QString config =
        runTool(QStringLiteral("gdbus"),
                {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                 QStringLiteral("org.fcitx.Fcitx5"), QStringLiteral("--object-path"),
                 QStringLiteral("/controller"), QStringLiteral("--method"),
                 QStringLiteral("org.fcitx.Fcitx.Controller1.GetConfig"),
                 QStringLiteral("fcitx://config/global")});
    // The values come first, then a description that holds the defaults.
    const QString values = config.section(QStringLiteral("[('GlobalConfig'"), 0, 0);
    return code == 0 && values.contains(QLatin1String("Hangul_Hanja")) == own;
}

// The path typing must take, as scripts/testenv says: "typing through fcitx5"
// where fcitx5 carries Ferrule's addon, "typing with XTest" where it does not.
QString expectedPath()
{
    return qEnvironmentVariable("FERRULE_IME_PATH");
}

QString corpus()
{
    QFile file(QStringLiteral(TYPING_CORPUS));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A window typed into: a Qt or GTK editor, or xterm talking XIM, whose text is
// what cat writes to a file (its tty reads each key at once).
class Window
{
public:
    explicit Window(const QString &toolkit, const QStringList &options = {})
    {
        qt = toolkit == QLatin1String("qt");
        if (qt)
            editor.reset(new TargetWindow(QStringLiteral(TYPING_TARGET), options));
        else if (toolkit == QLatin1String("gtk"))
            editor.reset(new TargetWindow(QStringLiteral(GTK_TYPING_TARGET), options));
        else
            startXterm();
    }
    ~Window()
    {
        if (xterm.state() != QProcess::NotRunning) {
            xterm.kill();
            xterm.waitForFinished(5000);
        }
    }

    bool isReady() const { return editor ? editor->isReady() : !xtermId.isEmpty(); }
    QString windowId() const { return editor ? editor->windowId() : xtermId; }
    bool focus() const
    {
        return xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), windowId()});
    }
    QString text() { return editor ? editor->text() : typed().mid(cleared); }
    // Whether the window sees itself active; only the Qt editor can tell, the
    // others count as having seen the focus go.
    bool isActive() { return editor && qt ? editor->isActive() : false; }
    void clear()
    {
        if (editor)
            editor->clear();
        else
            cleared = typed().size();
    }
    // What the user's own keys end with here (xterm shows a line once it ends).
    QString lineEnd() const { return editor ? QString() : QStringLiteral("\n"); }

private:
    void startXterm()
    {
        if (!dir.isValid())
            return;
        const QString idFile = dir.filePath(QStringLiteral("windowid"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        xterm.setProcessEnvironment(environment);
        xterm.start(QStringLiteral("xterm"),
                    {QStringLiteral("-u8"), QStringLiteral("-e"), QStringLiteral("sh"),
                     QStringLiteral("-c"),
                     QStringLiteral("stty -echo -icanon; echo $WINDOWID > '%1'; exec cat > '%2'")
                         .arg(idFile, dir.filePath(QStringLiteral("typed.txt")))});
        QElapsedTimer waited;
        waited.start();
        while (QFile(idFile).size() == 0 && waited.elapsed() < 10000)
            QTest::qWait(20);
        QFile id(idFile);
        if (id.open(QIODevice::ReadOnly))
            xtermId = QString::fromLatin1(id.readAll().trimmed());
    }
    QString typed() const
    {
        QFile out(dir.filePath(QStringLiteral("typed.txt")));
        return out.open(QIODevice::ReadOnly) ? QString::fromUtf8(out.readAll()) : QString();
    }

    std::unique_ptr<TargetWindow> editor;
    QTemporaryDir dir;
    QProcess xterm;
    QString xtermId;
    int cleared = 0;
    bool qt = false;
};

// The user types "nihao" and a space: Chinese in the Chinese state, the
// letters as typed in the English one.
void userTypes(Window &window, bool chinese)
{
    window.clear();
    QVERIFY(xdotool({QStringLiteral("type"), QStringLiteral("nihao")}));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("space")}));
    if (!window.lineEnd().isEmpty())
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
    QTRY_COMPARE_WITH_TIMEOUT(
        window.text(),
        (chinese ? QStringLiteral("你好") : QStringLiteral("nihao ")) + window.lineEnd(), 10000);
    window.clear();
}

// Puts the input method of the focused window in its Chinese or English state
// as the user does, once the window has its input context: fcitx5 starts
// English in each window, Control+Space makes it Chinese; IBus's libpinyin
// starts Chinese, a tap on Shift makes it English (in every window: its mode
// is one for all).
void chooseState(Window &window, bool chinese)
{
    waitForNewContext([&]() { return window.focus(); }, [&]() { return window.isActive(); });
    if (QTest::currentTestFailed())
        return;
    if (isFcitx5()) {
        QCOMPARE(fcitx5State(), 1);
        if (chinese)
            QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+space")}));
        QTRY_COMPARE(fcitx5State(), chinese ? 2 : 1);
    } else {
        // The mode is the one the last window left.
        window.clear();
        QVERIFY(xdotool({QStringLiteral("type"), QStringLiteral("nihao")}));
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("space")}));
        QTRY_VERIFY2_WITH_TIMEOUT(window.text() == QStringLiteral("你好") ||
                                      window.text() == QStringLiteral("nihao "),
                                  qPrintable(window.text()), 10000);
        if ((window.text() == QStringLiteral("你好")) != chinese)
            QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Shift_L")}));
        window.clear();
    }
}

// The input method is in the state the user chose, right when typing is done.
void stateKept(bool chinese)
{
    if (isFcitx5()) {
        QCOMPARE(fcitx5State(), chinese ? 2 : 1);
        if (chinese)
            QCOMPARE(fcitx5(QStringLiteral("CurrentInputMethod")).toString(),
                     QStringLiteral("pinyin"));
    } else {
        QCOMPARE(ibusEngine(), QStringLiteral("libpinyin"));
    }
}

} // namespace

class TypingImeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void arrivesExactly_data();
    void arrivesExactly();
    void joinsTheTextBeforeTheCursor_data();
    void joinsTheTextBeforeTheCursor();
    void focusMovedMidText();
    // Before ownWindow: IBus goes on naming a context of this process as the
    // focused one once its window has gone, as long as the process lives.
    void withoutInputContext();
    void ownWindow();
    void inputMethodStopped();
};

void TypingImeTest::initTestCase()
{
    QVERIFY2(isFcitx5() || qgetenv("FERRULE_IME") == "ibus", "runs under with-fcitx5 or with-ibus");
    // No window has the focus yet: IBus names its stand-in context.
    if (!isFcitx5())
        seenContexts << ibusFocusedContext();
    QCOMPARE(corpus().count(QLatin1Char('\n')), 20);
}

void TypingImeTest::arrivesExactly_data()
{
    QTest::addColumn<QString>("toolkit");
    QTest::addColumn<bool>("chinese");
    // fcitx5 switched off with its keys, or over the bus when it has none.
    QTest::addColumn<bool>("switchKeys");
    QTest::newRow("Qt, Chinese") << QStringLiteral("qt") << true << true;
    QTest::newRow("GTK 3, Chinese") << QStringLiteral("gtk") << true << true;
    if (isFcitx5()) {
        QTest::newRow("xterm through XIM, Chinese") << QStringLiteral("xterm") << true << true;
        QTest::newRow("Qt, English") << QStringLiteral("qt") << false << true;
        QTest::newRow("GTK 3, Chinese, fcitx5 without its keys")
            << QStringLiteral("gtk") << true << false;
    } else {
        QTest::newRow("GTK 3, English") << QStringLiteral("gtk") << false << true;
    }
}

void TypingImeTest::arrivesExactly()
{
    QFETCH(QString, toolkit);
    QFETCH(bool, chinese);
    QFETCH(bool, switchKeys);
    struct Keys
    {
        bool changed;
        ~Keys()
        {
            if (changed)
                setSwitchKeys(true);
        }
    } keys{!switchKeys};
    if (!switchKeys)
        QVERIFY(setSwitchKeys(false));
    Window window(toolkit);
    QVERIFY(window.isReady());
    QVERIFY(window.focus());
    chooseState(window, chinese);
    if (QTest::currentTestFailed())
        return;
    // The input method does compose in this window, as chosen.
    userTypes(window, chinese);
    if (QTest::currentTestFailed())
        return;

    const QString text = corpus();
    LogCapture log;
    typeText(text.toUtf8().constData());
    if (!expectedPath().isEmpty())
        QVERIFY(log.contains(expectedPath()));
    stateKept(chinese);
    if (QTest::currentTestFailed())
        return;
    // Line breaks arrive as blanks, as everywhere typing goes.
    QTRY_COMPARE_WITH_TIMEOUT(window.text(), typableText(text), 15000);
    userTypes(window, chinese);
}

void TypingImeTest::joinsTheTextBeforeTheCursor_data()
{
    QTest::addColumn<QString>("toolkit");
    QTest::newRow("Qt") << QStringLiteral("qt");
    QTest::newRow("GTK 3") << QStringLiteral("gtk");
}

void TypingImeTest::joinsTheTextBeforeTheCursor()
{
    // What the window tells the input method of the text before the cursor
    // decides the blank in front of a dictation, over what Ferrule typed last.
    if (expectedPath() != QLatin1String("typing through fcitx5"))
        QSKIP("only Ferrule's fcitx5 addon tells the text before the cursor");
    QFETCH(QString, toolkit);
    Window window(toolkit);
    QVERIFY(window.isReady());
    QVERIFY(window.focus());
    chooseState(window, false);
    if (QTest::currentTestFailed())
        return;
    const auto beforeCursor = []() {
        return platform()
            .textBeforeCursor(platform().typingTarget())
            .value_or(QStringLiteral("(not told)"));
    };
    // Typed by hand at a person's pace, no dictation before it. GTK tells
    // fcitx5 its text as each key goes down and up: keys quicker than that
    // leave fcitx5 a character behind.
    const auto byHand = [](const QString &keys) {
        return xdotool(
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("150"), keys});
    };
    QVERIFY(byHand(QStringLiteral("hello")));
    QTRY_COMPARE_WITH_TIMEOUT(beforeCursor(), QStringLiteral("hello"), 10000);
    typeText("world");
    QTRY_COMPARE_WITH_TIMEOUT(window.text(), QStringLiteral("hello world"), 10000);
    // Chinese typed by hand after the dictation that ended in Latin.
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+space")}));
    QTRY_COMPARE(fcitx5State(), 2);
    QVERIFY(byHand(QStringLiteral("nihao ")));
    QTRY_COMPARE_WITH_TIMEOUT(beforeCursor(), QStringLiteral("hello world你好"), 10000);
    typeText("again");
    QTRY_COMPARE_WITH_TIMEOUT(window.text(), QStringLiteral("hello world你好again"), 10000);
}

void TypingImeTest::focusMovedMidText()
{
    // The window typed into hands the focus to another one at its 60th key
    // press (at least 20 characters, with fcitx5's keys around each group),
    // however fast the keys come. With fcitx5 that one is in the English state
    // and must stay so; the first must compose Chinese again when the user
    // comes back.
    if (expectedPath() == QLatin1String("typing through fcitx5"))
        QSKIP("a commit arrives whole: the focus cannot move in the middle of it");
    const bool otherChinese = !isFcitx5();
    Window other(QStringLiteral("qt"));
    QVERIFY(other.isReady());
    QVERIFY(other.focus());
    chooseState(other, otherChinese);
    Window window(QStringLiteral("qt"),
                  {QStringLiteral("--focus-after"), QStringLiteral("60"), other.windowId()});
    QVERIFY(window.isReady());
    QVERIFY(window.focus());
    chooseState(window, true);
    if (QTest::currentTestFailed())
        return;

    QString text;
    for (int i = 0; i < 600; ++i)
        text += i % 3 ? QChar(0x4e00 + i * 7) : QChar('a' + i % 26);
    LogCapture log;
    typeText(text.toUtf8().constData());
    if (log.contains(QStringLiteral("typing through IBus"))) {
        // Committed in one piece: no key press to move the focus at. The
        // user moves it.
        QTRY_COMPARE(window.text(), text);
        QVERIFY(other.focus());
    } else {
        QVERIFY(log.contains(QStringLiteral("focus changed, typing stopped !")));
        QTRY_VERIFY(window.text().size() >= 20);
        QVERIFY(text.startsWith(window.text()));
    }
    QCOMPARE(other.text(), QString());
    // What the user types in each is composed as its state says: the other
    // window was not switched on, the first was switched on again.
    userTypes(other, otherChinese);
    QVERIFY(window.focus());
    userTypes(window, true);
}

void TypingImeTest::ownWindow()
{
    // One of Ferrule's own windows, its input method in the Chinese state.
    QLineEdit edit;
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QVERIFY(xdotool(
        {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(edit.winId())}));
    QTRY_VERIFY(edit.hasFocus());
    if (isFcitx5()) {
        waitForNewContext(
            [&]() {
                return xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                                QString::number(edit.winId())});
            },
            [&]() { return edit.isActiveWindow(); });
        if (QTest::currentTestFailed())
            return;
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+space")}));
        QTRY_COMPARE(fcitx5State(), 2);
    }
    QVERIFY(xdotool({QStringLiteral("type"), QStringLiteral("nihao")}));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("space")}));
    QTRY_COMPARE(edit.text(), QStringLiteral("你好"));
    edit.clear();

    const QString text = corpus().section(QLatin1Char('\n'), 2, 2);
    typeText(text.toUtf8().constData());
    // A commit reaches the window once its event loop runs again.
    QTRY_COMPARE(edit.text(), text);
}

void TypingImeTest::withoutInputContext()
{
    // A window that does not use the input method: no commit path serves it,
    // the keys go to it with XTest.
    TargetWindow window(QStringLiteral(TYPING_TARGET), {QStringLiteral("--line")},
                        withoutInputMethod());
    QVERIFY(window.isReady());
    QVERIFY(window.focus());
    // The input method takes in its own time that no context of its has the
    // focus any more (IBus then names its stand-in context).
    if (isFcitx5())
        QTRY_COMPARE(fcitx5FocusedContext(), QString());
    else
        QTRY_VERIFY(ibusFocusedContext().contains(QLatin1String("/InputContext_1'")));
    const QString text = corpus().section(QLatin1Char('\n'), 2, 2);
    LogCapture log;
    typeText(text.toUtf8().constData());
    QVERIFY(log.contains(QStringLiteral("typing with XTest")));
    QTRY_COMPARE(window.text(), text);
}

void TypingImeTest::inputMethodStopped()
{
    // The daemon stops answering (here: stopped by a signal). Typing waits a
    // bounded time, says so and types anyway into a window that does not use
    // the input method.
    TargetWindow window(QStringLiteral(TYPING_TARGET), {QStringLiteral("--line")},
                        withoutInputMethod());
    QVERIFY(window.isReady());
    QVERIFY(window.focus());
    const pid_t daemon = pid_t(qEnvironmentVariableIntValue("FERRULE_IME_PID"));
    QVERIFY(daemon > 0);
    const QString text = QStringLiteral("Hello 你好，世界。ABC 123");
    LogCapture log;
    QCOMPARE(::kill(daemon, SIGSTOP), 0);
    typeText(text.toUtf8().constData());
    QCOMPARE(::kill(daemon, SIGCONT), 0);
    QVERIFY(log.contains(isFcitx5() ? QStringLiteral("input method fcitx5 does not answer !")
                                    : QStringLiteral("input method IBus does not answer !")));
    QTRY_COMPARE(window.text(), text);
    // The daemon has read everything sent to it before this call, the late
    // commit too: the text is there once.
    if (isFcitx5())
        fcitx5State();
    QCOMPARE(window.text(), text);
}

QTEST_MAIN(TypingImeTest)
#include "tst_typingime.moc"
