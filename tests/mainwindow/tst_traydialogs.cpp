// The custom command and login dialogs, driven as a user would.
#include "common/child.h"
#include "common/settingsenv.h"
#include "ui/customfunctiondialog.h"
#include "ui/userlogindialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>
#include <algorithm>
#include <memory>

namespace {

std::unique_ptr<QDialog> makeDialog(const QString &kind)
{
    if (kind == QLatin1String("custom"))
        return std::make_unique<CustomFunctionDialog>();
    return std::make_unique<UserLogInDialog>();
}

void sendMouse(QWidget *target, QEvent::Type type, QPoint global, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, target->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

QStringList entries(const QString &path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
}

bool isSelectedTab(QPushButton *button)
{
    return button->styleSheet().contains(QLatin1String("background-color: #3d6662"));
}

} // namespace

class TestTrayDialogs : public QObject
{
    Q_OBJECT

    SettingsEnv env;

private slots:
    void initTestCase()
    {
        QVERIFY(env.enter());
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void closeHidesAndKeepsState_data();
    void closeHidesAndKeepsState();
    void dragsOnlyWithLeftButtonAlone_data();
    void dragsOnlyWithLeftButtonAlone();
    void customTabsSwitchPages();
    void customTablesCannotBeEdited();
    void loginPasswordIsHidden();
    void loginButtonsDoNothing();
};

void TestTrayDialogs::closeHidesAndKeepsState_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("closer"); // a tool button's name, or empty for a close request
    QTest::addColumn<QString>("field");
    QTest::newRow("custom, title-bar button") << "custom"
                                              << "toolButton_3"
                                              << "lineEdit_2";
    QTest::newRow("custom, close request") << "custom"
                                           << ""
                                           << "lineEdit";
    QTest::newRow("login, title-bar button") << "login"
                                             << "toolButton"
                                             << "lineEdit";
    QTest::newRow("login, close request") << "login"
                                          << ""
                                          << "lineEdit_2";
}

void TestTrayDialogs::closeHidesAndKeepsState()
{
    QFETCH(QString, kind);
    QFETCH(QString, closer);
    QFETCH(QString, field);
    std::unique_ptr<QDialog> owner = makeDialog(kind);
    QPointer<QDialog> dialog = owner.get();
    QVERIFY(dialog->windowFlags().testFlag(Qt::FramelessWindowHint));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    auto *edit = child<QLineEdit>(dialog, field.toLatin1().constData());
    edit->setText(QStringLiteral("hello 你好"));
    if (kind == QLatin1String("custom"))
        child<QPushButton>(dialog, "pushButton_2")->click();

    if (closer.isEmpty())
        dialog->close();
    else
        child<QToolButton>(dialog, closer.toLatin1().constData())->click();
    QCoreApplication::processEvents();

    QVERIFY(dialog);
    QVERIFY(dialog->isHidden());
    dialog->show();
    QCOMPARE(edit->text(), QStringLiteral("hello 你好"));
    if (kind == QLatin1String("custom"))
        QCOMPARE(child<QStackedWidget>(dialog, "stackedWidget")->currentIndex(), 1);
}

void TestTrayDialogs::dragsOnlyWithLeftButtonAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("pressButton");
    QTest::addColumn<int>("heldButtons");
    QTest::addColumn<bool>("moves");
    for (const char *kind : {"custom", "login"}) {
        QTest::addRow("%s, left", kind)
            << kind << int(Qt::LeftButton) << int(Qt::LeftButton) << true;
        QTest::addRow("%s, right", kind)
            << kind << int(Qt::RightButton) << int(Qt::RightButton) << false;
        QTest::addRow("%s, left and right", kind)
            << kind << int(Qt::LeftButton) << int(Qt::LeftButton | Qt::RightButton) << false;
        QTest::addRow("%s, left then middle held", kind)
            << kind << int(Qt::LeftButton) << int(Qt::MiddleButton) << false;
    }
}

void TestTrayDialogs::dragsOnlyWithLeftButtonAlone()
{
    QFETCH(QString, kind);
    QFETCH(int, pressButton);
    QFETCH(int, heldButtons);
    QFETCH(bool, moves);
    std::unique_ptr<QDialog> dialog = makeDialog(kind);
    dialog->move(100, 100);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    const QPoint start = dialog->frameGeometry().topLeft();

    // Grab the body 30 px right and 60 px below the corner, then pull by (+70, +45).
    const QPoint grip = start + QPoint(30, 60);
    sendMouse(dialog.get(), QEvent::MouseButtonPress, grip, Qt::MouseButton(pressButton),
              Qt::MouseButtons(pressButton));
    sendMouse(dialog.get(), QEvent::MouseMove, grip + QPoint(70, 45), Qt::NoButton,
              Qt::MouseButtons(heldButtons));
    sendMouse(dialog.get(), QEvent::MouseButtonRelease, grip + QPoint(70, 45),
              Qt::MouseButton(pressButton), Qt::NoButton);

    QCOMPARE(dialog->frameGeometry().topLeft(), moves ? start + QPoint(70, 45) : start);
}

void TestTrayDialogs::customTabsSwitchPages()
{
    CustomFunctionDialog dialog;
    auto *pages = child<QStackedWidget>(&dialog, "stackedWidget");
    auto *first = child<QPushButton>(&dialog, "pushButton");
    auto *second = child<QPushButton>(&dialog, "pushButton_2");
    QCOMPARE(pages->currentIndex(), 0);
    QVERIFY(isSelectedTab(first) && !isSelectedTab(second));

    dialog.show();
    QTest::mouseClick(second, Qt::LeftButton);
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("page_2"));
    QVERIFY(isSelectedTab(second) && !isSelectedTab(first));

    QTest::mouseClick(first, Qt::LeftButton);
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("page"));
    QVERIFY(isSelectedTab(first) && !isSelectedTab(second));
}

void TestTrayDialogs::customTablesCannotBeEdited()
{
    CustomFunctionDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const std::pair<const char *, const char *> tables[] = {{"pushButton", "tableWidget"},
                                                            {"pushButton_2", "tableWidget_2"}};
    for (const auto &[tab, name] : tables) {
        child<QPushButton>(&dialog, tab)->click();
        auto *table = child<QTableWidget>(&dialog, name);
        QVERIFY(table->isVisible());
        QCOMPARE(table->rowCount(), 5);
        QCOMPARE(table->columnCount(), 2);
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("类型"));
        QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("内容"));
        QCOMPARE(table->columnWidth(1), 300);

        table->setCurrentCell(1, 1);
        const QRect cell = table->visualRect(table->currentIndex());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QTest::keyClick(table, Qt::Key_F2);
        QTest::keyClicks(table, QStringLiteral("x"));
        const QList<QLineEdit *> editors = table->viewport()->findChildren<QLineEdit *>();
        QVERIFY2(std::none_of(editors.cbegin(), editors.cend(),
                              [](QLineEdit *editor) { return editor->isVisible(); }),
                 name);
        QVERIFY(!table->item(1, 1) || table->item(1, 1)->text().isEmpty());
    }
}

void TestTrayDialogs::loginPasswordIsHidden()
{
    UserLogInDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *password = child<QLineEdit>(&dialog, "lineEdit_2");
    QTest::keyClicks(password, QStringLiteral("secret42"));
    QCOMPARE(password->text(), QStringLiteral("secret42"));
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QVERIFY(!password->displayText().contains(QLatin1String("secret")));
    QCOMPARE(password->displayText().size(), 8);
    // The user name stays readable.
    auto *name = child<QLineEdit>(&dialog, "lineEdit");
    QTest::keyClicks(name, QStringLiteral("wang"));
    QCOMPARE(name->displayText(), QStringLiteral("wang"));
}

void TestTrayDialogs::loginButtonsDoNothing()
{
    const QStringList filesBefore = entries(env.path());
    UserLogInDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QWidgetList windowsBefore = QApplication::topLevelWidgets();
    for (const QString &typed : {QString(), QStringLiteral("abc")}) {
        child<QLineEdit>(&dialog, "lineEdit")->setText(typed);
        child<QLineEdit>(&dialog, "lineEdit_2")->setText(typed);
        QTest::mouseClick(child<QPushButton>(&dialog, "pushButton"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(&dialog, "pushButton_2"), Qt::LeftButton);
        QCoreApplication::processEvents();
        QVERIFY(dialog.isVisible());
        QCOMPARE(QApplication::topLevelWidgets().size(), windowsBefore.size());
        QCOMPARE(child<QLineEdit>(&dialog, "lineEdit_2")->text(), typed);
    }
    QCOMPARE(entries(env.path()), filesBefore);
}

QTEST_MAIN(TestTrayDialogs)
#include "tst_traydialogs.moc"
