#pragma once

#include "ui/framelessdrag.h"

#include <QDialog>

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

private slots:
    void on_toolButton_clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override { drag.press(event); }
    void mouseMoveEvent(QMouseEvent *event) override { drag.move(event); }
    void closeEvent(QCloseEvent *event) override { drag.hideOnClose(event); }

private:
    Ui::UserLogInDialog *ui;
    FramelessDrag drag{this};
};
