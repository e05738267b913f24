// The custom command dialog driven through its widgets: words made, saved,
// listed, shown and deleted, every refusal, the pickers, and the file behind it.
#include "common/child.h"
#include "common/settingsenv.h"

#include "app/customcommands.h"
#include "common/files.h"
#include "ui/customfunctiondialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

using Kind = CustomAction::Kind;

namespace {

const QString listFile = QStringLiteral("customcommands.json");

// Answers the dialog's modal windows from inside their event loops: message
// boxes are recorded and answered with the button of the given caption (the
// first button when none is given), file pickers pick the given path.
class ModalAnswerer : public QObject
{
public:
    explicit ModalAnswerer(const QString &answer = QString(), const QString &pick = QString())
        : answer(answer), pick(pick)
    {
        connect(&poll, &QTimer::timeout, this, &ModalAnswerer::answerModal);
        poll.start(10);
    }

    QStringList messages;
    QStringList pickerTitles;

private:
    void answerModal()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            messages << box->text();
            for (QAbstractButton *button : box->buttons())
                if (answer.isEmpty() || button->text() == answer) {
                    button->click();
                    return;
                }
        } else if (auto *picker = qobject_cast<QFileDialog *>(modal)) {
            pickerTitles << picker->windowTitle();
            // Typed into the name field, as a user may: the picker's list
            // of the folder fills in later.
            picker->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(pick);
            QMetaObject::invokeMethod(picker, "accept");
        }
    }

    QString answer;
    QString pick;
    QTimer poll;
};

QStringList rows(QTableWidget *table)
{
    QStringList shown;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *type = table->item(row, 0);
        if (type && !type->text().isEmpty())
            shown << type->text() + QLatin1Char(' ') + table->item(row, 1)->text();
    }
    return shown;
}

QStringList items(QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

} // namespace

class TestCustomFunctionDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void addSaveListShowDelete();
    void savingAnExistingWordReplacesIt();
    void refusals_data();
    void refusals();
    void sixthRowRefusedRowsRemovedAndCleared();
    void pickersFillLineEdits_data();
    void pickersFillLineEdits();
    void damagedFileLeftAndReported();
    void stateKeptAcrossHideAndShow();

private:
    template <typename T> T *child(const char *name) { return ::child<T>(dialog.get(), name); }
    QLineEdit *edit(const char *name) { return child<QLineEdit>(name); }
    // Clicks a button and returns the messages it brought up.
    QStringList click(const char *button, const QString &answer = QString())
    {
        ModalAnswerer answerer(answer);
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
        return answerer.messages;
    }
    QStringList add(const char *field, const char *button, const QString &text)
    {
        edit(field)->setText(text);
        return click(button);
    }

    SettingsEnv env;
    std::unique_ptr<CustomFunctionDialog> dialog;
    QString folder;
    QString file;
};

void TestCustomFunctionDialog::initTestCase()
{
    QVERIFY(env.enter());
    QApplication::setQuitOnLastWindowClosed(false);
    folder = QDir::current().filePath(QStringLiteral("项目"));
    file = QDir(folder).filePath(QStringLiteral("计划.txt"));
    QVERIFY(QDir().mkpath(folder));
    writeAll(file, "plan");
}

void TestCustomFunctionDialog::init()
{
    QFile::remove(listFile);
    dialog = std::make_unique<CustomFunctionDialog>();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
}

void TestCustomFunctionDialog::addSaveListShowDelete()
{
    auto *table = child<QTableWidget>("tableWidget");
    edit("lineEdit")->setText(QStringLiteral("打开项目"));
    QCOMPARE(add("lineEdit_2", "pushButton_5", QStringLiteral("www.example.com/board")),
             QStringList());
    QCOMPARE(add("lineEdit_3", "pushButton_6", folder), QStringList());
    QCOMPARE(add("lineEdit_4", "pushButton_7", file), QStringList());
    QCOMPARE(rows(table), (QStringList{"网址 http://www.example.com/board", "文件夹 " + folder,
                                       "文件 " + file}));
    for (const char *name : {"lineEdit_2", "lineEdit_3", "lineEdit_4"})
        QVERIFY(edit(name)->text().isEmpty());

    QCOMPARE(click("pushButton_8"), QStringList{"命令词“打开项目”已保存。"});
    const CustomCommand project{"打开项目",
                                {{Kind::WebAddress, "http://www.example.com/board"},
                                 {Kind::Folder, folder},
                                 {Kind::File, file}}};
    QCOMPARE(customcommands::load(), CustomCommandList{project});
    QVERIFY(edit("lineEdit")->text().isEmpty());
    QCOMPARE(rows(table), QStringList());

    edit("lineEdit")->setText(QStringLiteral("周报"));
    add("lineEdit_4", "pushButton_7", file);
    QCOMPARE(click("pushButton_8"), QStringList{"命令词“周报”已保存。"});

    // The second page lists both, and shows the rows of the word chosen.
    QCOMPARE(click("pushButton_2"), QStringList());
    auto *words = child<QComboBox>("comboBox");
    auto *shown = child<QTableWidget>("tableWidget_2");
    QCOMPARE(items(words), (QStringList{"打开项目", "周报"}));
    QCOMPARE(rows(shown), (QStringList{"网址 http://www.example.com/board", "文件夹 " + folder,
                                       "文件 " + file}));
    words->setCurrentIndex(1);
    QCOMPARE(rows(shown), QStringList{"文件 " + file});

    // Deleting asks first; "取消" keeps the word.
    QCOMPARE(click("pushButton_9", QStringLiteral("取消")),
             QStringList{"确定要彻底删除命令词“周报”吗？"});
    QCOMPARE(customcommands::load()->size(), 2);
    QCOMPARE(click("pushButton_9", QStringLiteral("确定")),
             QStringList{"确定要彻底删除命令词“周报”吗？"});
    QCOMPARE(customcommands::load(), CustomCommandList{project});
    QCOMPARE(items(words), QStringList{"打开项目"});
    QCOMPARE(rows(shown).size(), 3);
}

void TestCustomFunctionDialog::savingAnExistingWordReplacesIt()
{
    QVERIFY(customcommands::save(
        {{"打开项目", {{Kind::Folder, folder}}}, {"周报", {{Kind::File, file}}}}));
    edit("lineEdit")->setText(QStringLiteral("打开项目"));
    add("lineEdit_2", "pushButton_5", QStringLiteral("https://example.org"));
    QCOMPARE(click("pushButton_8"),
             QStringList{"命令词“打开项目”已存在，原有功能已替换为新的功能。"});
    QCOMPARE(customcommands::load(),
             (CustomCommandList{{"打开项目", {{Kind::WebAddress, "https://example.org"}}},
                                {"周报", {{Kind::File, file}}}}));
}

void TestCustomFunctionDialog::refusals_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("field"); // the line edit typed into
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("button"); // the button clicked after it
    QTest::addColumn<int>("rows");       // rows in the table afterwards
    QTest::addColumn<QString>("message");

    const QString missing = QDir::current().filePath(QStringLiteral("没有"));
    QTest::newRow("empty word") << ""
                                << "lineEdit_2"
                                << "example.org"
                                << "pushButton_8" << 1 << "请输入命令词！";
    QTest::newRow("blank word") << "  "
                                << "lineEdit_2"
                                << "example.org"
                                << "pushButton_8" << 1 << "请输入命令词！";
    QTest::newRow("word without rows")
        << "打开项目"
        << "lineEdit_2"
        << ""
        << "pushButton_8" << 0 << "请为命令词“打开项目”至少添加一条功能！";
    QTest::newRow("empty address") << "打开项目"
                                   << "lineEdit_2"
                                   << ""
                                   << "pushButton_5" << 0 << "请输入网址！";
    QTest::newRow("malformed address")
        << "打开项目"
        << "lineEdit_2"
        << "http//example"
        << "pushButton_5" << 0
        << "网址格式不正确：http//example\n请输入如 https://www.example.com 的网址。";
    QTest::newRow("empty folder") << "打开项目"
                                  << "lineEdit_3"
                                  << ""
                                  << "pushButton_6" << 0 << "请输入或选择文件夹！";
    QTest::newRow("missing folder")
        << "打开项目"
        << "lineEdit_3" << missing << "pushButton_6" << 0 << "文件夹不存在：" + missing;
    QTest::newRow("a file as folder") << "打开项目"
                                      << "lineEdit_3"
                                      << "FILE"
                                      << "pushButton_6" << 0 << "文件夹不存在：FILE";
    QTest::newRow("empty file") << "打开项目"
                                << "lineEdit_4"
                                << ""
                                << "pushButton_7" << 0 << "请输入或选择文件！";
    QTest::newRow("missing file") << "打开项目"
                                  << "lineEdit_4" << missing << "pushButton_7" << 0
                                  << "文件不存在：" + missing;
    QTest::newRow("a folder as file") << "打开项目"
                                      << "lineEdit_4"
                                      << "FOLDER"
                                      << "pushButton_7" << 0 << "文件不存在：FOLDER";
}

void TestCustomFunctionDialog::refusals()
{
    QFETCH(QString, word);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, button);
    QFETCH(int, rows);
    QFETCH(QString, message);
    typed.replace(QStringLiteral("FILE"), file).replace(QStringLiteral("FOLDER"), folder);
    message.replace(QStringLiteral("FILE"), file).replace(QStringLiteral("FOLDER"), folder);

    edit("lineEdit")->setText(word);
    if (button == QLatin1String("pushButton_8") && !typed.isEmpty())
        add(field.toLatin1().constData(), "pushButton_5", typed);
    else
        edit(field.toLatin1().constData())->setText(typed);
    QCOMPARE(click(button.toLatin1().constData()), QStringList{message});
    QCOMPARE(::rows(child<QTableWidget>("tableWidget")).size(), rows);
    QVERIFY(!QFile::exists(listFile));
    // What the user typed stays, to be mended.
    QCOMPARE(edit("lineEdit")->text(), word);
}

void TestCustomFunctionDialog::sixthRowRefusedRowsRemovedAndCleared()
{
    auto *table = child<QTableWidget>("tableWidget");
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(add("lineEdit_2", "pushButton_5", QStringLiteral("http://x%1.cn").arg(i)),
                 QStringList());
    QCOMPARE(add("lineEdit_2", "pushButton_5", QStringLiteral("http://x6.cn")),
             QStringList{"每个命令词最多添加5条功能！"});
    QCOMPARE(rows(table).size(), 5);
    QCOMPARE(edit("lineEdit_2")->text(), QStringLiteral("http://x6.cn"));

    // "删除" takes the selected row out, the rows below move up.
    table->setCurrentCell(1, 1);
    QCOMPARE(click("pushButton_3"), QStringList());
    QCOMPARE(rows(table), (QStringList{"网址 http://x1.cn", "网址 http://x3.cn",
                                       "网址 http://x4.cn", "网址 http://x5.cn"}));
    table->setCurrentCell(4, 0); // an empty row
    QCOMPARE(click("pushButton_3"), QStringList{"请先选中要删除的功能！"});
    QCOMPARE(click("pushButton_4"), QStringList());
    QCOMPARE(rows(table), QStringList());
}

void TestCustomFunctionDialog::pickersFillLineEdits_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("pickFile");
    QTest::newRow("folder") << "toolButton"
                            << "lineEdit_3"
                            << "浏览文件夹" << false;
    QTest::newRow("file") << "toolButton_2"
                          << "lineEdit_4"
                          << "浏览文件" << true;
}

void TestCustomFunctionDialog::pickersFillLineEdits()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, title);
    QFETCH(bool, pickFile);
    const QString picked = pickFile ? file : folder;
    ModalAnswerer answerer(QString(), picked);
    child<QToolButton>(button.toLatin1().constData())->click();
    QCOMPARE(answerer.pickerTitles, QStringList{title});
    QCOMPARE(edit(field.toLatin1().constData())->text(), picked);
}

void TestCustomFunctionDialog::damagedFileLeftAndReported()
{
    const QByteArray damaged = R"({"commands": [{"word": "打开项目")";
    writeAll(listFile, damaged);
    const QString unreadable =
        QStringLiteral("自定义命令词列表无法读取，请检查工作目录中的 customcommands.json 文件！");
    QCOMPARE(click("pushButton_2"), QStringList{unreadable});
    QCOMPARE(child<QComboBox>("comboBox")->count(), 0);

    click("pushButton");
    edit("lineEdit")->setText(QStringLiteral("周报"));
    add("lineEdit_4", "pushButton_7", file);
    QCOMPARE(click("pushButton_8"), QStringList{unreadable});
    QCOMPARE(readAll(listFile), damaged);
    // Nothing lost: the word and its row wait for the file to be mended.
    QCOMPARE(edit("lineEdit")->text(), QStringLiteral("周报"));
    QCOMPARE(rows(child<QTableWidget>("tableWidget")).size(), 1);
}

void TestCustomFunctionDialog::stateKeptAcrossHideAndShow()
{
    edit("lineEdit")->setText(QStringLiteral("打开项目"));
    add("lineEdit_3", "pushButton_6", folder);
    edit("lineEdit_2")->setText(QStringLiteral("example.org"));
    QTest::mouseClick(child<QToolButton>("toolButton_3"), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    // A word stored meanwhile shows up when the dialog comes back.
    QVERIFY(customcommands::save({{"周报", {{Kind::File, file}}}}));
    dialog->show();
    QCOMPARE(edit("lineEdit")->text(), QStringLiteral("打开项目"));
    QCOMPARE(edit("lineEdit_2")->text(), QStringLiteral("example.org"));
    QCOMPARE(rows(child<QTableWidget>("tableWidget")), QStringList{"文件夹 " + folder});
    QCOMPARE(items(child<QComboBox>("comboBox")), QStringList{"周报"});

    click("pushButton_2");
    dialog->hide();
    dialog->show();
    QCOMPARE(child<QStackedWidget>("stackedWidget")->currentIndex(), 1);
}

QTEST_MAIN(TestCustomFunctionDialog)
#include "tst_customfunctiondialog.moc"
