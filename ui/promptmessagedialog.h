#pragma once

#include <QDialog>

namespace Ui {
class PromptMessageDialog;
}

// The function-introduction panel opened by a double click on the tray icon:
// example voice commands on two pages and a way to the language settings.
class PromptMessageDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PromptMessageDialog(QWidget *parent = nullptr);
    ~PromptMessageDialog() override;

signals:
    void showSoftwareSets();

private slots:
    void on_pushButton_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_2_clicked();
    void on_pushButton_4_clicked();

private:
    Ui::PromptMessageDialog *ui;
};
