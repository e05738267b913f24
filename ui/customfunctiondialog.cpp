#include "ui/customfunctiondialog.h"
#include "ui_customfunctiondialog.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>

namespace {

const char selectedTab[] =
    "QPushButton{background-color: #3d6662; color: rgb(255, 255, 255); border: 1px solid #3d6662;"
    " font: 12pt \"微软雅黑\"; padding: 0px;}"
    "QPushButton:hover{background-color: rgb(61, 102, 102); color: rgb(255, 255, 255);}";
const char unselectedTab[] =
    "QPushButton{background-color: #e6e6e6; color: rgb(52, 52, 52); border: 1px solid #3d6662;"
    " font: 12pt \"微软雅黑\"; padding: 0px;}"
    "QPushButton:hover{background-color: rgb(61, 102, 102); color: rgb(255, 255, 255);}";
const char scrollBarLook[] = "QScrollBar{background:#e6e6e6; height:20px;}"
                             "QScrollBar::handle{background:#e6e6e6;}"
                             "QScrollBar::handle:hover{background:#3d6662;}";

const QString unreadableList =
    QStringLiteral("自定义命令词列表无法读取，请检查工作目录中的 customcommands.json 文件！");

} // namespace

CustomFunctionDialog::CustomFunctionDialog(QWidget *parent)
    : QDialog(parent), ui(new Ui::CustomFunctionDialog)
{
    ui->setupUi(this);

    ui->stackedWidget->setCurrentIndex(0);
    ui->pushButton->setStyleSheet(QString::fromUtf8(selectedTab));
    ui->pushButton_2->setStyleSheet(QString::fromUtf8(unselectedTab));

    for (QTableWidget *table : {ui->tableWidget, ui->tableWidget_2}) {
        table->verticalHeader()->setVisible(false);
        table->setColumnWidth(1, 300);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }

    ui->toolButton->setIcon(QIcon(QStringLiteral(":/ico/folder.ico")));
    ui->toolButton_2->setIcon(QIcon(QStringLiteral(":/ico/document.ico")));
    connect(ui->toolButton, &QToolButton::clicked, this, [this] { browseFolder(); });
    connect(ui->toolButton_2, &QToolButton::clicked, this, [this] { browseFile(); });
    connect(ui->pushButton_5, &QPushButton::clicked, this,
            [this] { addAction(CustomAction::Kind::WebAddress); });
    connect(ui->pushButton_6, &QPushButton::clicked, this,
            [this] { addAction(CustomAction::Kind::Folder); });
    connect(ui->pushButton_7, &QPushButton::clicked, this,
            [this] { addAction(CustomAction::Kind::File); });
    connect(ui->pushButton_3, &QPushButton::clicked, this, [this] { removeSelectedAction(); });
    connect(ui->pushButton_4, &QPushButton::clicked, this, [this] {
        pendingActions.clear();
        showActions(ui->tableWidget, pendingActions);
    });
    connect(ui->pushButton_8, &QPushButton::clicked, this, [this] { saveCommand(); });
    connect(ui->pushButton_9, &QPushButton::clicked, this, [this] { deleteCommand(); });
    connect(ui->comboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] { showStoredActions(); });

    ui->tableWidget->horizontalScrollBar()->setStyleSheet(QString::fromUtf8(scrollBarLook));
    ui->tableWidget_2->horizontalScrollBar()->setStyleSheet(QString::fromUtf8(scrollBarLook));
    ui->tableWidget_2->verticalScrollBar()->setStyleSheet(QString::fromUtf8(scrollBarLook));

    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
}

CustomFunctionDialog::~CustomFunctionDialog()
{
    delete ui;
}

void CustomFunctionDialog::browseFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("浏览文件夹"), ui->lineEdit_3->text(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!folder.isEmpty())
        ui->lineEdit_3->setText(QDir::toNativeSeparators(folder));
}

void CustomFunctionDialog::browseFile()
{
    const QString file =
        QFileDialog::getOpenFileName(this, QStringLiteral("浏览文件"), ui->lineEdit_4->text());
    if (!file.isEmpty())
        ui->lineEdit_4->setText(QDir::toNativeSeparators(file));
}

void CustomFunctionDialog::tell(const QString &text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("提示"), text, QMessageBox::Ok, this);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
}

void CustomFunctionDialog::tellUnreadable()
{
    tell(unreadableList);
}

void CustomFunctionDialog::addAction(CustomAction::Kind kind)
{
    QLineEdit *edit = kind == CustomAction::Kind::WebAddress ? ui->lineEdit_2
                      : kind == CustomAction::Kind::Folder   ? ui->lineEdit_3
                                                             : ui->lineEdit_4;
    const QString typed = edit->text().trimmed();
    if (pendingActions.size() >= customcommands::maxActions) {
        tell(QStringLiteral("每个命令词最多添加%1条功能！").arg(customcommands::maxActions));
        return;
    }
    QString target;
    switch (kind) {
    case CustomAction::Kind::WebAddress:
        if (typed.isEmpty()) {
            tell(QStringLiteral("请输入网址！"));
            return;
        }
        target = customcommands::webAddress(typed);
        if (target.isNull()) {
            tell(QStringLiteral("网址格式不正确：%1\n请输入如 https://www.example.com 的网址。")
                     .arg(typed));
            return;
        }
        break;
    case CustomAction::Kind::Folder:
        if (typed.isEmpty()) {
            tell(QStringLiteral("请输入或选择文件夹！"));
            return;
        }
        if (!QFileInfo(typed).isDir()) {
            tell(QStringLiteral("文件夹不存在：%1").arg(typed));
            return;
        }
        target = QFileInfo(typed).absoluteFilePath();
        break;
    case CustomAction::Kind::File:
        if (typed.isEmpty()) {
            tell(QStringLiteral("请输入或选择文件！"));
            return;
        }
        if (!QFileInfo(typed).isFile()) {
            tell(QStringLiteral("文件不存在：%1").arg(typed));
            return;
        }
        target = QFileInfo(typed).absoluteFilePath();
        break;
    }
    pendingActions.append({kind, target});
    showActions(ui->tableWidget, pendingActions);
    edit->clear();
}

void CustomFunctionDialog::removeSelectedAction()
{
    const int row = ui->tableWidget->currentRow();
    if (row < 0 || row >= pendingActions.size()) {
        tell(QStringLiteral("请先选中要删除的功能！"));
        return;
    }
    pendingActions.removeAt(row);
    showActions(ui->tableWidget, pendingActions);
}

void CustomFunctionDialog::saveCommand()
{
    const QString word = ui->lineEdit->text().trimmed();
    if (word.isEmpty()) {
        tell(QStringLiteral("请输入命令词！"));
        return;
    }
    if (pendingActions.isEmpty()) {
        tell(QStringLiteral("请为命令词“%1”至少添加一条功能！").arg(word));
        return;
    }
    // Read again: the file is the list, and a damaged one must not be overwritten.
    std::optional<CustomCommandList> commands = customcommands::load();
    if (!commands) {
        tellUnreadable();
        return;
    }
    auto existing = std::find_if(commands->begin(), commands->end(),
                                 [&](const CustomCommand &c) { return c.word == word; });
    const bool replaced = existing != commands->end();
    if (replaced)
        existing->actions = pendingActions;
    else
        commands->append({word, pendingActions});
    if (!customcommands::save(*commands)) {
        tell(QStringLiteral("命令词“%1”保存失败：无法写入 customcommands.json 文件！").arg(word));
        return;
    }
    qDebug().noquote() << "custom command" << word << "saved !";
    ui->lineEdit->clear();
    ui->lineEdit_2->clear();
    ui->lineEdit_3->clear();
    ui->lineEdit_4->clear();
    pendingActions.clear();
    showActions(ui->tableWidget, pendingActions);
    refreshStoredWords();
    tell(replaced ? QStringLiteral("命令词“%1”已存在，原有功能已替换为新的功能。").arg(word)
                  : QStringLiteral("命令词“%1”已保存。").arg(word));
}

void CustomFunctionDialog::deleteCommand()
{
    const QString word = ui->comboBox->currentText();
    if (word.isEmpty()) {
        tell(QStringLiteral("请先选择要删除的命令词！"));
        return;
    }
    QMessageBox confirm(QMessageBox::Question, QStringLiteral("提示"),
                        QStringLiteral("确定要彻底删除命令词“%1”吗？").arg(word),
                        QMessageBox::Yes | QMessageBox::No, this);
    confirm.button(QMessageBox::Yes)->setText(QStringLiteral("确定"));
    confirm.button(QMessageBox::No)->setText(QStringLiteral("取消"));
    confirm.setDefaultButton(QMessageBox::No);
    if (confirm.exec() != QMessageBox::Yes)
        return;
    std::optional<CustomCommandList> commands = customcommands::load();
    if (!commands) {
        tellUnreadable();
        return;
    }
    commands->erase(std::remove_if(commands->begin(), commands->end(),
                                   [&](const CustomCommand &c) { return c.word == word; }),
                    commands->end());
    if (!customcommands::save(*commands)) {
        tell(QStringLiteral("命令词“%1”删除失败：无法写入 customcommands.json 文件！").arg(word));
        return;
    }
    qDebug().noquote() << "custom command" << word << "deleted !";
    refreshStoredWords();
}

void CustomFunctionDialog::showActions(QTableWidget *table, const QVector<CustomAction> &actions)
{
    // The form's rows stay; the ones past the actions are emptied.
    for (int row = 0; row < table->rowCount(); ++row) {
        const bool used = row < actions.size();
        table->setItem(row, 0,
                       new QTableWidgetItem(used ? customcommands::displayName(actions[row].kind)
                                                 : QString()));
        table->setItem(row, 1, new QTableWidgetItem(used ? actions[row].target : QString()));
    }
}

void CustomFunctionDialog::showStoredActions()
{
    const int index = ui->comboBox->currentIndex();
    showActions(ui->tableWidget_2, index >= 0 && index < storedCommands.size()
                                       ? storedCommands.at(index).actions
                                       : QVector<CustomAction>());
}

bool CustomFunctionDialog::refreshStoredWords()
{
    const QString shown = ui->comboBox->currentText();
    const std::optional<CustomCommandList> commands = customcommands::load();
    storedCommands = commands.value_or(CustomCommandList());
    QStringList words;
    for (const CustomCommand &command : storedCommands)
        words << command.word;
    {
        const QSignalBlocker blocker(ui->comboBox);
        ui->comboBox->clear();
        ui->comboBox->addItems(words);
        // The word on show stays on show while it exists.
        ui->comboBox->setCurrentIndex(std::max(0, static_cast<int>(words.indexOf(shown))));
        if (words.isEmpty())
            ui->comboBox->setCurrentIndex(-1);
    }
    showStoredActions();
    return commands.has_value();
}

void CustomFunctionDialog::on_pushButton_clicked()
{
    ui->stackedWidget->setCurrentIndex(0);
    ui->pushButton->setStyleSheet(QString::fromUtf8(selectedTab));
    ui->pushButton_2->setStyleSheet(QString::fromUtf8(unselectedTab));
}

void CustomFunctionDialog::on_pushButton_2_clicked()
{
    ui->stackedWidget->setCurrentIndex(1);
    ui->pushButton_2->setStyleSheet(QString::fromUtf8(selectedTab));
    ui->pushButton->setStyleSheet(QString::fromUtf8(unselectedTab));
    if (!refreshStoredWords())
        tellUnreadable();
}

void CustomFunctionDialog::on_toolButton_3_clicked()
{
    hide();
}

void CustomFunctionDialog::showEvent(QShowEvent *event)
{
    // The file may have changed while the dialog was hidden.
    refreshStoredWords();
    QDialog::showEvent(event);
}
