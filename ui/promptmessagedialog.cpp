#include "ui/promptmessagedialog.h"
#include "ui_promptmessagedialog.h"

PromptMessageDialog::PromptMessageDialog(QWidget *parent)
    : QDialog(parent), ui(new Ui::PromptMessageDialog)
{
    ui->setupUi(this);
    ui->stackedWidget->setCurrentIndex(0);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
}

PromptMessageDialog::~PromptMessageDialog()
{
    delete ui;
}

void PromptMessageDialog::on_pushButton_clicked()
{
    ui->stackedWidget->setCurrentIndex(1);
}

void PromptMessageDialog::on_pushButton_3_clicked()
{
    ui->stackedWidget->setCurrentIndex(0);
}

// The languages live in the settings dialog; the main window opens it.
void PromptMessageDialog::on_pushButton_2_clicked()
{
    emit showSoftwareSets();
}

void PromptMessageDialog::on_pushButton_4_clicked()
{
    hide();
}
