#include "common/prompts.h"
#include "ui/promptbox.h"
#include "ui/promptboxsink.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QtTest>

class TestPromptBox : public QObject
{
    Q_OBJECT

private slots:
    void showsForOneSecondThenHides();
    void placedAtBottomRightOfDesktop();
    void neverTakesFocus();
    void longTextIsClippedNotWrapped();
    void nestedPromptsHideTogether();
    void startUpSinkShowsEachPromptForItsSecond();
};

void TestPromptBox::showsForOneSecondThenHides()
{
    PromptBox box;
    bool visibleDuring = false;
    QString textDuring;
    QTimer::singleShot(500, [&] {
        visibleDuring = box.isVisible();
        textDuring = promptText(&box);
    });
    QElapsedTimer clock;
    clock.start();
    box.showPrompt(QStringLiteral("请说口令！"));
    QVERIFY(clock.elapsed() >= 1000);
    QVERIFY(visibleDuring);
    QCOMPARE(textDuring, QStringLiteral("请说口令！"));
    QVERIFY(!box.isVisible());
}

void TestPromptBox::placedAtBottomRightOfDesktop()
{
    PromptBox box;
    QRect during;
    QTimer::singleShot(100, [&] { during = box.geometry(); });
    box.showPrompt(QString());
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    QCOMPARE(during, QRect(desktop.width() - 200, desktop.height() - 75, 200, 35));
}

void TestPromptBox::neverTakesFocus()
{
    PromptBox box;
    QVERIFY(box.windowFlags() & Qt::WindowDoesNotAcceptFocus);
    QVERIFY(box.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(box.windowType(), Qt::ToolTip);
    QVERIFY(box.testAttribute(Qt::WA_ShowWithoutActivating));
}

void TestPromptBox::longTextIsClippedNotWrapped()
{
    PromptBox box;
    auto *label = box.findChild<QLabel *>("label");
    QVERIFY(label);
    QVERIFY(!label->wordWrap());
    QCOMPARE(label->geometry(), QRect(0, 0, 200, 35));
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QVERIFY(label->styleSheet().contains("rgb(61, 102, 98)"));
}

// A prompt shown from inside another prompt's second: the inner box hides after
// its own second, and the outer one hides at the same moment, not earlier.
void TestPromptBox::nestedPromptsHideTogether()
{
    PromptBox outer, inner;
    QElapsedTimer clock;
    qint64 innerReturned = -1;
    bool outerVisibleAt1200 = false;
    QTimer::singleShot(500, [&] {
        inner.showPrompt(QStringLiteral("inner"));
        innerReturned = clock.elapsed();
    });
    QTimer::singleShot(1200, [&] { outerVisibleAt1200 = outer.isVisible(); });

    clock.start();
    outer.showPrompt(QStringLiteral("outer"));
    const qint64 outerReturned = clock.elapsed();

    QVERIFY(innerReturned >= 1500);
    QVERIFY(outerVisibleAt1200); // its own second was over, but the inner prompt still ran
    QVERIFY(outerReturned >= innerReturned);
    QVERIFY(outerReturned - innerReturned < 200);
    QVERIFY(!outer.isVisible());
    QVERIFY(!inner.isVisible());
}

// What start-up installs: the logic's prompt in a box of its own for one
// second; the box goes with it.
void TestPromptBox::startUpSinkShowsEachPromptForItsSecond()
{
    ScopedPromptSink boxes(promptBoxSink());
    QStringList during;
    QTimer::singleShot(500, [&] { during = shownPrompts(); });
    QElapsedTimer clock;
    clock.start();
    showPrompt(QStringLiteral("已检测到塔沃鼠标"));
    QVERIFY(clock.elapsed() >= 1000);
    QCOMPARE(during, QStringList{QStringLiteral("已检测到塔沃鼠标")});
    QVERIFY(promptBoxes().isEmpty());
}

QTEST_MAIN(TestPromptBox)
#include "tst_promptbox.moc"
