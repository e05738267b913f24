// Real typing under Xvfb: the text goes to an editor window of another process
// (typingtarget) or to xterm, and what arrived is compared with what was typed.
#include "actions/punctuation.h"
#include "actions/typabletext.h"
#include "actions/typing.h"
#include "app/settingkeys.h"
#include "app/settings.h"
#include "common/files.h"
#include "common/hostilefiles.h"
#include "common/logcapture.h"
#include "common/targetwindow.h"
#include "platform/linux/textinput.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QString keymap()
{
    return runTool(QStringLiteral("xmodmap"), {QStringLiteral("-pke")});
}

// Keycodes that carry no symbol.
QStringList spareKeycodes()
{
    QStringList codes;
    const QStringList lines = keymap().split(QLatin1Char('\n'));
    static const QRegularExpression empty(QStringLiteral("^keycode\\s+(\\d+)\\s*=\\s*$"));
    for (const QString &line : lines) {
        const auto match = empty.match(line);
        if (match.hasMatch())
            codes << match.captured(1);
    }
    return codes;
}

// The keycode whose first symbol is named sym ("Return", "a"), empty when none.
QString keycodeOf(const QString &sym)
{
    const QRegularExpression line(QStringLiteral("^keycode\\s+(\\d+)\\s*=\\s*%1(\\s|$)").arg(sym),
                                  QRegularExpression::MultilineOption);
    return line.match(keymap()).captured(1);
}

// Where typing keeps its record of lent keycodes: the private runtime folder
// that the test's session gives.
QString recordPath(qint64 pid)
{
    return qEnvironmentVariable("XDG_RUNTIME_DIR") +
           QStringLiteral("/ferrule-keycodes-%1").arg(pid);
}

// A record as a run that died (a pid no process has) left it on this display.
QByteArray deadRunRecord(const QByteArray &lines)
{
    return "pid 2147483646 1\ndisplay " + qgetenv("DISPLAY") + '\n' + lines;
}

bool capsLockOn()
{
    return runTool(QStringLiteral("xset"), {QStringLiteral("q")})
        .contains(QRegularExpression(QStringLiteral("Caps Lock:\\s+on")));
}

// What a window receives of text with line feeds and tabs: a blank for each.
QString blanked(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '))
        .replace(QLatin1Char('\t'), QLatin1Char(' '));
}

QString corpus()
{
    return readCorpus(QStringLiteral(TYPING_CORPUS));
}

// One typingtarget process.
class Target : public TargetWindow
{
public:
    explicit Target(const QStringList &arguments)
        : TargetWindow(QStringLiteral(TYPING_TARGET), arguments)
    {
    }
};

} // namespace

class TypingTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void typable_data();
    void typable();
    void nothingFocused();
    void arrivesIntact_data();
    void arrivesIntact();
    void capsLockOn();
    void heldModifier();
    void dictationsJoinInOneEditor();
    void fewSpareKeycodes_data();
    void fewSpareKeycodes();
    void windowClosedMidText();
    void intoXterm();
    void lineBreaksRunNothingInAShell();
    void recordThatIsNoRecord_data();
    void recordThatIsNoRecord();
    void recordGivesBackOnlyLentKeycodes_data();
    void recordGivesBackOnlyLentKeycodes();
    void recordNeverWrittenThroughALink_data();
    void recordNeverWrittenThroughALink();
    // Last: the window manager leaves its _NET_ACTIVE_WINDOW behind.
    void withWindowManager();

private:
    QString initialKeymap;
    QTemporaryDir runDir;
};

void TypingTest::initTestCase()
{
    QVERIFY2(!qgetenv("DISPLAY").isEmpty(), "runs under Xvfb");
    // config.txt is read from here, before any log is captured.
    QVERIFY(QDir::setCurrent(runDir.path()));
    settingsMap();
    initialKeymap = keymap();
    QVERIFY(!initialKeymap.isEmpty());
    QVERIFY(corpus().count(QLatin1Char('\n')) >= 29);
}

void TypingTest::cleanup()
{
    // Every typing run gives the borrowed keycodes back.
    QCOMPARE(keymap(), initialKeymap);
}

void TypingTest::typable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("typed");
    QTest::newRow("line feeds") << QStringLiteral("ls\ntouch pwned\nok")
                                << QStringLiteral("ls touch pwned ok");
    QTest::newRow("CR, CR LF and their runs")
        << QStringLiteral("a\rb\r\nc\r\n\r\n\nd") << QStringLiteral("a b c d");
    QTest::newRow("tab") << QStringLiteral("a\tb") << QStringLiteral("a b");
    QTest::newRow("line and paragraph separators")
        << QStringLiteral("a\u2028b\u2029\u2029c") << QStringLiteral("a b c");
    QTest::newRow("other controls: ESC, DEL, NEL") << QStringLiteral("a\x1b[31mb\x7f\x01"
                                                                     "c\u0085d")
                                                   << QStringLiteral("a [31mb c d");
    QTest::newRow("at both ends") << QStringLiteral("\n\tls\n") << QStringLiteral(" ls ");
    QTest::newRow("bidi controls dropped")
        << QStringLiteral("a\u202ab\u202bc\u202cd\u202de\u202ef\u2066g\u2067h\u2068i\u2069j")
        << QStringLiteral("abcdefghij");
    QTest::newRow("RLM around digits")
        << QStringLiteral("PIN \u200f1 2 3 4\u200f") << QStringLiteral("PIN 1 2 3 4");
    QTest::newRow("LRM and ALM") << QStringLiteral("a\u200eb\u061cc") << QStringLiteral("abc");
    QTest::newRow("NUL is a blank")
        << QString::fromUtf16(u"a\u0000b\n\u0000c", 6) << QStringLiteral("a b c");
    QTest::newRow("bidi control inside a run")
        << QStringLiteral("a\n\u202e\nb") << QStringLiteral("a b");
    QTest::newRow("emoji, outside the BMP, joiners")
        << QStringLiteral("👍🏽 𠀀𝄞 👨\u200d👩\u200d👧 中文，ok。")
        << QStringLiteral("👍🏽 𠀀𝄞 👨\u200d👩\u200d👧 中文，ok。");
}

void TypingTest::typable()
{
    QFETCH(QString, text);
    QFETCH(QString, typed);
    QCOMPARE(typableText(text), typed);
}

void TypingTest::nothingFocused()
{
    // A fresh server has the focus on the pointer root: no window to type into.
    LogCapture log;
    typeText("abc");
    QCOMPARE(log.lines(), QStringList{QStringLiteral("0x0")});
}

void TypingTest::arrivesIntact_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("removePunctuation"); // the setting of "去除标点"
    const QString mixed =
        QStringLiteral("在优酷上搜《美人鱼》，看「歡樂頌」！Price: $3.50 (50%) & 1+1=2 ~ ok？");
    QTest::newRow("corpus in a text editor") << QStringList() << corpus() << 0;
    QTest::newRow("mixed line in a line editor")
        << QStringList{QStringLiteral("--line")} << mixed << 0;
    QTest::newRow("mixed line, punctuation removed")
        << QStringList{QStringLiteral("--line")} << mixed << 1;
    QTest::newRow("empty text") << QStringList{QStringLiteral("--line")} << QString() << 0;
}

void TypingTest::arrivesIntact()
{
    QFETCH(QStringList, options);
    QFETCH(QString, text);
    QFETCH(int, removePunctuation);
    Target target(options);
    QVERIFY(target.isReady());
    QVERIFY(target.focus());

    (*settingsMap())[SettingKey::RemovePunctuation] = removePunctuation;
    LogCapture log;
    typeText(text.toUtf8().constData());
    (*settingsMap())[SettingKey::RemovePunctuation] = 0;
    const QString arrives =
        removePunctuation ? QStringLiteral("在优酷上搜美人鱼看歡樂頌Price $3.50 50% & 1+1=2 ~ ok")
                          : blanked(text);
    QVERIFY(!removePunctuation || arrives.size() < text.size());
    QTRY_COMPARE_WITH_TIMEOUT(target.text(), arrives, 15000);
    // Both handles were logged, the focus one being the target's window, and
    // the way the text went (none for no text): no input method runs here.
    QCOMPARE(log.lines().size(), arrives.isEmpty() ? 2 : 3);
    QVERIFY(log.lines().at(1) != QStringLiteral("0x0"));
    if (!arrives.isEmpty())
        QCOMPARE(log.lines().at(2), QStringLiteral("typing with XTest"));
}

void TypingTest::capsLockOn()
{
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Caps_Lock")}));
    QVERIFY(::capsLockOn());
    {
        Target target({QStringLiteral("--line")});
        QVERIFY(target.isReady());
        QVERIFY(target.focus());
        const QString text = QStringLiteral("Hello World, abc XYZ 中文 Qwerty!");
        typeText(text.toUtf8().constData());
        QTRY_COMPARE_WITH_TIMEOUT(target.text(), text, 10000);
    }
    // The user's Caps Lock is on again afterwards.
    QVERIFY(::capsLockOn());
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Caps_Lock")}));
    QVERIFY(!::capsLockOn());
}

void TypingTest::heldModifier()
{
    // Control still held from the user's last chord: "a" would be "select
    // all", "c" copy. The characters must arrive as characters.
    Target target({QStringLiteral("--line")});
    QVERIFY(target.isReady());
    QVERIFY(target.focus());
    QVERIFY(xdotool({QStringLiteral("keydown"), QStringLiteral("Control_L")}));
    const QString text = QStringLiteral("abc中文xyz");
    typeText(text.toUtf8().constData());
    xdotool({QStringLiteral("keyup"), QStringLiteral("Control_L")});
    QTRY_COMPARE_WITH_TIMEOUT(target.text(), text, 10000);
}

// Two dictations into one editor read as typed text. The editors of the tests
// before this one were other processes, often given the same window handles:
// their text does not count.
void TypingTest::dictationsJoinInOneEditor()
{
    Target target({QStringLiteral("--line")});
    QVERIFY(target.isReady());
    QVERIFY(target.focus());
    typeText("young man");
    typeText("eight of spades");
    QTRY_COMPARE_WITH_TIMEOUT(target.text(), QStringLiteral("young man eight of spades"), 10000);
}

void TypingTest::fewSpareKeycodes_data()
{
    QTest::addColumn<int>("left");
    QTest::newRow("one spare keycode") << 1;
    QTest::newRow("no spare keycode") << 0;
}

void TypingTest::fewSpareKeycodes()
{
    QFETCH(int, left);
    const QStringList spare = spareKeycodes();
    QVERIFY(spare.size() > left);
    const QStringList filled = spare.mid(left);
    QStringList fill, empty;
    for (const QString &code : filled) {
        fill << QStringLiteral("-e") << QStringLiteral("keycode %1 = F35").arg(code);
        empty << QStringLiteral("-e") << QStringLiteral("keycode %1 =").arg(code);
    }
    runTool(QStringLiteral("xmodmap"), fill);
    struct Restore
    {
        QStringList empty;
        ~Restore() { runTool(QStringLiteral("xmodmap"), empty); }
    } restore{empty};
    const QString crowded = keymap();
    QCOMPARE(spareKeycodes().size(), left);
    {
        Target target({QStringLiteral("--line")});
        QVERIFY(target.isReady());
        QVERIFY(target.focus());
        // Repeated and alternating characters: one keycode serves them all in turn.
        const QString text = QStringLiteral("中文測試，中文！文中abc");
        typeText(text.toUtf8().constData());
        QTRY_COMPARE_WITH_TIMEOUT(target.text(), text, 15000);
        QCOMPARE(keymap(), crowded);
    }
}

void TypingTest::windowClosedMidText()
{
    // The focused window closes itself after 20 characters. The focus then
    // falls back to the root window, where keys would go to the window under
    // the pointer: the other editor. Typing must stop instead.
    Target other({QStringLiteral("--line"), QStringLiteral("--at"), QStringLiteral("600,500")});
    QVERIFY(other.isReady());
    QVERIFY(xdotool({QStringLiteral("mousemove"), QStringLiteral("700"), QStringLiteral("510")}));
    Target closing({QStringLiteral("--close-after"), QStringLiteral("20"), QStringLiteral("--at"),
                    QStringLiteral("0,0")});
    QVERIFY(closing.isReady());
    QVERIFY(closing.focus());

    // Many different characters, so that spare keycodes must be rebound in
    // turns and typing takes long enough for the window to go in between.
    QString text;
    for (int i = 0; i < 600; ++i)
        text += QChar(0x4e00 + i * 7);
    LogCapture log;
    typeText(text.toUtf8().constData());
    QVERIFY(log.contains(QStringLiteral("focus changed, typing stopped !")));
    QVERIFY(closing.process.waitForFinished(5000));

    // Whatever the other editor got before this would come before these.
    QVERIFY(other.focus());
    typeText("ok");
    QTRY_COMPARE_WITH_TIMEOUT(other.text(), QStringLiteral("ok"), 10000);
}

namespace {

// An xterm running the shell command, with the keyboard focus; the command finds
// the terminal's window id in $WINDOWID and writes it to the file windowid.
class Xterm
{
public:
    Xterm(const QString &dir, const QString &command)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(dir);
        process.start(QStringLiteral("xterm"),
                      {QStringLiteral("-u8"), QStringLiteral("-e"), QStringLiteral("sh"),
                       QStringLiteral("-c"),
                       QStringLiteral("echo $WINDOWID > windowid; ") + command});
        idFile = dir + QStringLiteral("/windowid");
    }
    ~Xterm()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    bool focus()
    {
        QElapsedTimer waited;
        waited.start();
        while (QFileInfo(idFile).size() == 0 && waited.elapsed() < 10000)
            QTest::qWait(20);
        QFile id(idFile);
        return id.open(QIODevice::ReadOnly) &&
               xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                        QString::fromLatin1(id.readAll().trimmed())});
    }

    QProcess process;
    QString idFile;
};

QString fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

void TypingTest::intoXterm()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Without canonical mode every character reaches cat as it comes, no Return needed.
    Xterm xterm(dir.path(), QStringLiteral("stty -echo -icanon min 1; exec cat > typed.txt"));
    QVERIFY(xterm.focus());

    // xterm does not answer pings: the characters here fit in the spare
    // keycodes, so that none is rebound while xterm may lag behind.
    const QStringList lines = corpus().split(QLatin1Char('\n'));
    const QString text = QStringList{QStringLiteral("《中文》“繁體”，天氣好。！？"),
                                     lines.at(4),
                                     lines.at(7),
                                     lines.at(10),
                                     lines.at(13),
                                     lines.at(16)}
                             .join(QLatin1Char('\n')) +
                         QLatin1Char('\n');
    typeText(text.toUtf8().constData());
    QTRY_COMPARE_WITH_TIMEOUT(fileText(dir.filePath(QStringLiteral("typed.txt"))), blanked(text),
                              15000);
}

void TypingTest::lineBreaksRunNothingInAShell()
{
    // A result that would run two commands if its line feeds were Return presses.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Xterm xterm(dir.path(), QStringLiteral("exec sh -i > said.txt 2>&1"));
    QVERIFY(xterm.focus());
    typeText("echo one\ntouch pwned\necho two");
    // The user's own Return ends the line: the shell runs one echo of all of it.
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
    QTRY_VERIFY_WITH_TIMEOUT(fileText(dir.filePath(QStringLiteral("said.txt")))
                                 .contains(QStringLiteral("one touch pwned echo two\n")),
                             15000);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("pwned"))));
}

void TypingTest::withWindowManager()
{
    // A window manager names the active window on the root window and puts
    // its own frame around the target.
    QProcess manager;
    manager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    QVERIFY(manager.waitForStarted());
    auto managed = []() {
        return runTool(QStringLiteral("xprop"),
                       {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
            .contains(QLatin1String("window id"));
    };
    QTRY_VERIFY_WITH_TIMEOUT(managed(), 10000);
    {
        Target target({QStringLiteral("--line")});
        QVERIFY(target.isReady());
        QVERIFY(xdotool(
            {QStringLiteral("windowactivate"), QStringLiteral("--sync"), target.windowId()}));
        QTRY_VERIFY_WITH_TIMEOUT(
            runTool(QStringLiteral("xprop"),
                    {QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW")})
                .contains(QStringLiteral("0x%1").arg(target.windowId().toULongLong(), 0, 16)),
            10000);
        LogCapture log;
        const QString text = QStringLiteral("窗口管理器：Openbox，“活動視窗”！");
        typeText(text.toUtf8().constData());
        QTRY_COMPARE_WITH_TIMEOUT(target.text(), text, 10000);
        QCOMPARE(log.lines().value(0),
                 QStringLiteral("0x%1").arg(target.windowId().toULongLong(), 0, 16));
    }
    manager.terminate();
    QVERIFY(manager.waitForFinished(5000));
}

void TypingTest::recordThatIsNoRecord_data()
{
    addHostileRows();
}

void TypingTest::recordThatIsNoRecord()
{
    // Read at every start and typing run: neither may hang nor fill the memory.
    QFETCH(QString, target);
    QTemporaryDir scratch;
    const QString record = recordPath(2147483646);
    QVERIFY(plantHostile(target, scratch.path(), record));
    const long before = peakMemoryMB();
    LogCapture log;
    TextInput::restoreLentKeycodes();
    QVERIFY(log.contains(QStringLiteral("is no record of lent keycodes")));
    QVERIFY2(peakMemoryMB() - before < 64, qPrintable(QString::number(peakMemoryMB() - before)));
    QVERIFY(!QFileInfo(record).isSymLink());
}

void TypingTest::recordGivesBackOnlyLentKeycodes_data()
{
    QTest::addColumn<QString>("key"); // the key the record names, by its symbol
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("givenBack");
    QTest::newRow("a keycode lent to 中")
        << QString() << QByteArray("bound 1004e2d original 0") << true;
    QTest::newRow("Return") << "Return" << QByteArray("bound ff0d original 0") << false;
    QTest::newRow("a letter") << "a" << QByteArray("bound 61 41 original 0") << false;
    QTest::newRow("the blank") << "space" << QByteArray("bound 20 original 0") << false;
    QTest::newRow("Shift") << "Shift_L" << QByteArray("bound ffe1 original 0") << false;
}

void TypingTest::recordGivesBackOnlyLentKeycodes()
{
    // A record names a keycode; only one that a run lent to a character, and
    // that still carries it, is given back (here: emptied again).
    QFETCH(QString, key);
    QFETCH(QByteArray, line);
    QFETCH(bool, givenBack);
    const QString code = key.isEmpty() ? spareKeycodes().value(0) : keycodeOf(key);
    QVERIFY(!code.isEmpty());
    if (key.isEmpty())
        runTool(QStringLiteral("xmodmap"),
                {QStringLiteral("-e"), QStringLiteral("keycode %1 = U4E2D").arg(code)});
    const QString before = keymap();
    writeAll(recordPath(2147483646), deadRunRecord("key " + code.toLatin1() + ' ' + line + '\n'));
    TextInput::restoreLentKeycodes();
    QVERIFY(!QFile::exists(recordPath(2147483646)));
    QCOMPARE(keymap(), givenBack ? initialKeymap : before);
}

void TypingTest::recordNeverWrittenThroughALink_data()
{
    QTest::addColumn<bool>("sharedRuntime"); // a runtime folder other users can write
    QTest::newRow("link at the record's name") << false;
    QTest::newRow("runtime folder others can write") << true;
}

void TypingTest::recordNeverWrittenThroughALink()
{
    QFETCH(bool, sharedRuntime);
    struct Restore
    {
        QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        ~Restore() { qputenv("XDG_RUNTIME_DIR", runtime); }
    } restore;
    QTemporaryDir shared, outside;
    if (sharedRuntime) {
        QCOMPARE(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(shared.path()));
    }
    // Another user's link, aimed at a file of the victim's.
    const QString victim = outside.filePath(QStringLiteral("victim"));
    writeAll(victim, "precious");
    const QString record = recordPath(QCoreApplication::applicationPid());
    QVERIFY(QFile::link(victim, record));

    LogCapture log;
    {
        Target target({QStringLiteral("--line")});
        QVERIFY(target.isReady());
        QVERIFY(target.focus());
        typeText("中文");
        QTRY_COMPARE_WITH_TIMEOUT(target.text(), QStringLiteral("中文"), 10000);
    }
    QCOMPARE(readAll(victim), QByteArray("precious"));
    QCOMPARE(QDir(outside.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"victim"});
    if (sharedRuntime) {
        QVERIFY(log.contains(QStringLiteral("is not a private folder of this user: lent keycodes "
                                            "are recorded in")));
        QVERIFY(QFileInfo(record).isSymLink()); // not even replaced there
    }
}

QTEST_GUILESS_MAIN(TypingTest)
#include "tst_typing.moc"
