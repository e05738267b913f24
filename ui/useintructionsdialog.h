#pragma once

#include <QDialog>

namespace Ui {
class UseIntructionsDialog;
}

class QPushButton;

// The instructions window: four tabs (operation, installation, details with
// two sub-pages, questions). It lives for the whole run, so the tab and
// sub-page the user left it on are still there the next time it opens.
class UseIntructionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UseIntructionsDialog(QWidget *parent = nullptr);
    ~UseIntructionsDialog() override;

private slots:
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_4_clicked();
    void on_pushButton_5_clicked();
    void on_pushButton_6_clicked();
    void on_pushButton_7_clicked();

private:
    void showTab(int page);

    Ui::UseIntructionsDialog *ui;
};
