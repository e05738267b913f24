#include "ui/userlogindialog.h"
#include "ui_userlogindialog.h"

UserLogInDialog::UserLogInDialog(QWidget *parent) : QDialog(parent), ui(new Ui::UserLogInDialog)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
}

UserLogInDialog::~UserLogInDialog()
{
    delete ui;
}

void UserLogInDialog::on_toolButton_clicked()
{
    hide();
}
