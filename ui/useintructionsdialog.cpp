#include "ui/useintructionsdialog.h"
#include "ui_useintructionsdialog.h"

namespace {

const QString selectedTab =
    QStringLiteral("QPushButton{background-color: #3d6662; color: white; border: 1px solid #3d6662;"
                   " font: 12pt \"微软雅黑\";}"
                   "QPushButton:hover{background-color: rgb(61, 102, 102); color: white;}");

const QString unselectedTab = QStringLiteral(
    "QPushButton{background-color: #e6e6e6; color: #343434; border: 1px solid #3d6662;"
    " font: 12pt \"微软雅黑\";}"
    "QPushButton:hover{background-color: rgb(61, 102, 102); color: white;}");

} // namespace

UseIntructionsDialog::UseIntructionsDialog(QWidget *parent)
    : QDialog(parent), ui(new Ui::UseIntructionsDialog)
{
    ui->setupUi(this);
    ui->stackedWidget->setCurrentIndex(0);
    ui->stackedWidget_2->setCurrentIndex(0);
    ui->pushButton->setStyleSheet(selectedTab);
    for (QPushButton *button : {ui->pushButton_2, ui->pushButton_3, ui->pushButton_4,
                                ui->pushButton_5, ui->pushButton_6, ui->pushButton_7})
        button->setStyleSheet(unselectedTab);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
}

UseIntructionsDialog::~UseIntructionsDialog()
{
    delete ui;
}

// Shows one of the four pages and marks its tab; the sub-page of the details
// page is left as it was.
void UseIntructionsDialog::showTab(int page)
{
    ui->stackedWidget->setCurrentIndex(page);
    QPushButton *const tabs[] = {ui->pushButton, ui->pushButton_2, ui->pushButton_3,
                                 ui->pushButton_4};
    for (int i = 0; i < 4; ++i)
        tabs[i]->setStyleSheet(i == page ? selectedTab : unselectedTab);
}

void UseIntructionsDialog::on_pushButton_clicked()
{
    showTab(0);
}

void UseIntructionsDialog::on_pushButton_2_clicked()
{
    showTab(1);
}

void UseIntructionsDialog::on_pushButton_3_clicked()
{
    showTab(2);
}

void UseIntructionsDialog::on_pushButton_4_clicked()
{
    showTab(3);
}

void UseIntructionsDialog::on_pushButton_5_clicked()
{
    hide();
}

void UseIntructionsDialog::on_pushButton_6_clicked()
{
    ui->stackedWidget_2->setCurrentIndex(1);
}

void UseIntructionsDialog::on_pushButton_7_clicked()
{
    ui->stackedWidget_2->setCurrentIndex(0);
}
