#include "ui/customfunctiondialog.h"
#include "ui_customfunctiondialog.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

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
    connect(ui->toolButton_2, &QToolButton::clicked, this, [this] { browseFolder(); });

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
    // No store of user commands exists yet, so the chosen folder is not kept.
    QFileDialog::getExistingDirectory(this, QStringLiteral("浏览文件夹"), QString(),
                                      QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
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
}

void CustomFunctionDialog::on_toolButton_3_clicked()
{
    hide();
}

void CustomFunctionDialog::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    dragOffset = event->globalPos() - frameGeometry().topLeft();
    event->accept();
}

void CustomFunctionDialog::mouseMoveEvent(QMouseEvent *event)
{
    // Only the left button alone drags, as it is the one that stored the offset.
    if (event->buttons() != Qt::LeftButton) {
        QDialog::mouseMoveEvent(event);
        return;
    }
    move(event->globalPos() - dragOffset);
    event->accept();
}

void CustomFunctionDialog::closeEvent(QCloseEvent *event)
{
    // The main window keeps this one object for the whole run.
    event->ignore();
    hide();
}
