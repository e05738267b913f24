#pragma once

#include <QDialog>
#include <QPoint>

namespace Ui {
class UserLogInDialog;
}

// The login form. No account service exists, so its buttons do nothing; the
// typed text stays in the fields because the main window keeps this one object.
// Frameless, dragged by its body, hidden on close.
class UserLogInDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UserLogInDialog(QWidget *parent = nullptr);
    ~UserLogInDialog() override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_toolButton_clicked();

private:
    Ui::UserLogInDialog *ui;
    QPoint dragOffset;
};
