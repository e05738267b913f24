#include "ui/userlogindialog.h"
#include "ui_userlogindialog.h"

#include <QCloseEvent>
#include <QMouseEvent>

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

void UserLogInDialog::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    dragOffset = event->globalPos() - frameGeometry().topLeft();
    event->accept();
}

void UserLogInDialog::mouseMoveEvent(QMouseEvent *event)
{
    // Only the left button alone drags, as it is the one that stored the offset.
    if (event->buttons() != Qt::LeftButton) {
        QDialog::mouseMoveEvent(event);
        return;
    }
    move(event->globalPos() - dragOffset);
    event->accept();
}

void UserLogInDialog::closeEvent(QCloseEvent *event)
{
    // The main window keeps this one object for the whole run.
    event->ignore();
    hide();
}
