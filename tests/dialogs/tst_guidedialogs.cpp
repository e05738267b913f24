#include "common/child.h"

#include "ui/promptmessagedialog.h"
#include "ui/useintructionsdialog.h"

#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QtTest>

#include <memory>

namespace {

const QColor selectedTab(0x3d, 0x66, 0x62);
const QColor unselectedTab(0xe6, 0xe6, 0xe6);

QColor face(QPushButton *button)
{
    return button->grab().toImage().pixelColor(4, 4);
}

QPushButton *button(QWidget *window, const char *name)
{
    return child<QPushButton>(window, name);
}

QStackedWidget *stack(QWidget *window, const char *name)
{
    return child<QStackedWidget>(window, name);
}

// A left-button drag on an empty spot of the window.
void drag(QWidget *window, QPoint at)
{
    QMouseEvent press(QEvent::MouseButtonPress, at, window->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &press);
    const QPoint to = at + QPoint(40, 30);
    QMouseEvent move(QEvent::MouseMove, to, window->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(window, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, window->mapToGlobal(to), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window, &release);
}

} // namespace

class TestGuideDialogs : public QObject
{
    Q_OBJECT

private slots:
    void introductionPageKeptAcrossHideAndShow();
    void introductionAsksForLanguageSettings();
    void instructionTabs_data();
    void instructionTabs();
    void instructionSubPageKeptAcrossTabsAndHiding();
    void closeHides_data();
    void closeHides();
    void cannotBeDragged_data();
    void cannotBeDragged();
};

void TestGuideDialogs::introductionPageKeptAcrossHideAndShow()
{
    PromptMessageDialog dialog;
    dialog.show();
    QStackedWidget *pages = stack(&dialog, "stackedWidget");
    QCOMPARE(pages->currentIndex(), 0);

    QTest::mouseClick(button(&dialog, "pushButton"), Qt::LeftButton); // 查看更多......
    QCOMPARE(pages->currentIndex(), 1);
    QTest::mouseClick(button(&dialog, "pushButton_3"), Qt::LeftButton); // 返回上一页
    QCOMPARE(pages->currentIndex(), 0);

    QTest::mouseClick(button(&dialog, "pushButton"), Qt::LeftButton);
    // "退出" sits on page 0, which is not showing: leave through the close request.
    dialog.close();
    QVERIFY(dialog.isHidden());
    dialog.show();
    QCOMPARE(pages->currentIndex(), 1);

    QTest::mouseClick(button(&dialog, "pushButton_3"), Qt::LeftButton);
    QTest::mouseClick(button(&dialog, "pushButton_4"), Qt::LeftButton); // 退出
    QVERIFY(dialog.isHidden());
}

void TestGuideDialogs::introductionAsksForLanguageSettings()
{
    PromptMessageDialog dialog;
    dialog.show();
    QSignalSpy asked(&dialog, &PromptMessageDialog::showSoftwareSets);
    QTest::mouseClick(button(&dialog, "pushButton_2"), Qt::LeftButton); // 26种其他语言
    QCOMPARE(asked.count(), 1);
    QVERIFY(dialog.isVisible());
    QCOMPARE(stack(&dialog, "stackedWidget")->currentIndex(), 0);
}

void TestGuideDialogs::instructionTabs_data()
{
    QTest::addColumn<int>("tab");
    QTest::newRow("操作说明") << 0;
    QTest::newRow("安装步骤") << 1;
    QTest::newRow("详细说明") << 2;
    QTest::newRow("常见问题") << 3;
}

void TestGuideDialogs::instructionTabs()
{
    QFETCH(int, tab);

    UseIntructionsDialog dialog;
    dialog.show();
    QPushButton *const tabs[] = {button(&dialog, "pushButton"), button(&dialog, "pushButton_2"),
                                 button(&dialog, "pushButton_3"), button(&dialog, "pushButton_4")};
    // Start away from the tab under test.
    QTest::mouseClick(tabs[(tab + 1) % 4], Qt::LeftButton);
    QTest::mouseClick(tabs[tab], Qt::LeftButton);

    QCOMPARE(stack(&dialog, "stackedWidget")->currentIndex(), tab);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(face(tabs[i]), i == tab ? selectedTab : unselectedTab);
    for (const char *name : {"pushButton_5", "pushButton_6", "pushButton_7"})
        QCOMPARE(face(button(&dialog, name)), unselectedTab);
}

void TestGuideDialogs::instructionSubPageKeptAcrossTabsAndHiding()
{
    UseIntructionsDialog dialog;
    dialog.show();
    QStackedWidget *pages = stack(&dialog, "stackedWidget");
    QStackedWidget *subPages = stack(&dialog, "stackedWidget_2");
    QCOMPARE(pages->currentIndex(), 0);
    QCOMPARE(subPages->currentIndex(), 0);

    QTest::mouseClick(button(&dialog, "pushButton_3"), Qt::LeftButton);
    QTest::mouseClick(button(&dialog, "pushButton_6"), Qt::LeftButton); // "1" turns the page
    QCOMPARE(subPages->currentIndex(), 1);

    QTest::mouseClick(button(&dialog, "pushButton_4"), Qt::LeftButton);
    QTest::mouseClick(button(&dialog, "pushButton_5"), Qt::LeftButton); // 退出
    QVERIFY(dialog.isHidden());
    dialog.show();
    QCOMPARE(pages->currentIndex(), 3);
    QCOMPARE(face(button(&dialog, "pushButton_4")), selectedTab);

    QTest::mouseClick(button(&dialog, "pushButton_3"), Qt::LeftButton);
    QCOMPARE(pages->currentIndex(), 2);
    QCOMPARE(subPages->currentIndex(), 1);
    QTest::mouseClick(button(&dialog, "pushButton_7"), Qt::LeftButton); // "2" turns back
    QCOMPARE(subPages->currentIndex(), 0);
}

void TestGuideDialogs::closeHides_data()
{
    QTest::addColumn<bool>("instructions");
    QTest::newRow("introduction") << false;
    QTest::newRow("instructions") << true;
}

void TestGuideDialogs::closeHides()
{
    QFETCH(bool, instructions);
    QPointer<QDialog> dialog;
    if (instructions)
        dialog = new UseIntructionsDialog;
    else
        dialog = new PromptMessageDialog;
    dialog->show();
    dialog->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(dialog);
    QVERIFY(dialog->isHidden());
    delete dialog;
}

void TestGuideDialogs::cannotBeDragged_data()
{
    closeHides_data();
}

void TestGuideDialogs::cannotBeDragged()
{
    QFETCH(bool, instructions);
    std::unique_ptr<QDialog> dialog;
    if (instructions)
        dialog.reset(new UseIntructionsDialog);
    else
        dialog.reset(new PromptMessageDialog);
    dialog->move(150, 20);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    const QPoint start = dialog->pos();
    drag(dialog.get(), QPoint(dialog->width() - 5, 36));
    QCOMPARE(dialog->pos(), start);
}

QTEST_MAIN(TestGuideDialogs)
#include "tst_guidedialogs.moc"
