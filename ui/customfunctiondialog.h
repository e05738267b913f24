#pragma once

#include <QDialog>
#include <QPoint>

namespace Ui {
class CustomFunctionDialog;
}

// The user's own command words: a form of two pages ("新增命令词",
// "已定义命令词"). Nothing in it is stored yet; it only switches pages and
// offers a folder picker. Frameless, dragged by its body, hidden on close.
class CustomFunctionDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CustomFunctionDialog(QWidget *parent = nullptr);
    ~CustomFunctionDialog() override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();
    void on_toolButton_3_clicked();

private:
    void browseFolder();

    Ui::CustomFunctionDialog *ui;
    QPoint dragOffset;
};
